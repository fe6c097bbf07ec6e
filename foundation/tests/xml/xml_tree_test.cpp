#include "foundation/XMLElement.h"
#include "foundation/XMLNameMaps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kvXML::CMapNames;
using kvXML::CXMLElement;

namespace {

TEST(XMLElement, ConstructorsFillNameAndText) {
    const std::string name70(70, 'n');
    const unsigned char counted[] = {3, 'a', 'b', 'c', 'd'};
    const unsigned char countedEmpty[] = {0, 'x'};
    struct {
        CXMLElement element;
        const char* name;
        const char* text;
    } cases[] = {
        {CXMLElement("a", "text"), "a", "text"},
        {CXMLElement(std::string("b"), std::string("s")), "b", "s"},
        {CXMLElement(name70, "t"), nullptr, "t"},
        {CXMLElement(nullptr, "t"), "", "t"},
        {CXMLElement("c", counted), "c", "abc"},
        {CXMLElement("c", countedEmpty), "c", ""},
        {CXMLElement("t", true), "t", "true"},
        {CXMLElement("f", false), "f", "false"},
        {CXMLElement("l", -12L, std::dec), "l", "-12"},
        {CXMLElement("u", static_cast<unsigned short>(65535), std::dec), "u", "65535"},
        {CXMLElement("h", 255L, std::hex), "h", "ff"},
        {CXMLElement("d", 0.5, std::fixed), "d", "0.500000"},
        {CXMLElement("d", 0.5, std::dec), "d", "0.5"},
        {CXMLElement("d", 1234567.0, std::dec), "d", "1.23457e+06"},
    };
    for (const auto& c : cases) {
        const std::string expectedName = c.name ? c.name : name70.substr(0, 63);
        EXPECT_EQ(c.element.name.c_str(), expectedName);
        EXPECT_EQ(c.element.text, c.text) << expectedName;
        EXPECT_TRUE(c.element.IsValid());
        EXPECT_FALSE(c.element.cdata);
    }

    CXMLElement empty;
    EXPECT_EQ(empty.GetError(), eXMLElementUninitalized);
    empty.Clear();
    EXPECT_FALSE(empty.IsValid());
}

TEST(XMLElement, AttributesAreCutAndFoundByExactName) {
    CXMLElement e("e", "");
    const std::string longName(70, 'n');
    e.AddAttrib(longName, "v");
    e.AddAttrib("long", std::string(200, 'x').c_str());
    e.AddAttrib("a", "1");
    e.AddAttrib("a", "2");

    std::string value = "stale";
    EXPECT_FALSE(e.GetAttrib(longName, value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(e.GetAttrib(longName.substr(0, 63), value));
    EXPECT_EQ(value, "v");
    EXPECT_TRUE(e.GetAttrib("long", value));
    EXPECT_EQ(value, std::string(127, 'x'));
    EXPECT_FALSE(e.GetAttrib("A", value)); // case counts

    EXPECT_TRUE(e.GetAttrib("a", value));
    EXPECT_EQ(value, "1");
    e.SetAttrib("a", "3");
    e.SetAttrib("new", "4");
    ASSERT_EQ(e.GetAttribVec().size(), 5u);
    EXPECT_STREQ(e.GetAttribVec()[2].value.c_str(), "3");
    EXPECT_STREQ(e.GetAttribVec()[3].value.c_str(), "2");
    EXPECT_STREQ(e.GetAttribVec()[4].name.c_str(), "new");
}

TEST(XMLElement, NumericAttributesAndID) {
    struct {
        const char* value; // null: no attribute
        bool found;
        long number;
    } cases[] = {{"12abc", true, 12},
                 {" -7", true, -7},
                 {"abc", false, 99},
                 {"", false, 99},
                 {nullptr, false, 99}};
    for (const auto& c : cases) {
        CXMLElement e("e", "");
        if (c.value)
            e.AddAttrib("n", c.value);
        long number = 99;
        EXPECT_EQ(e.GetAttrib("n", number), c.found) << (c.value ? c.value : "(none)");
        EXPECT_EQ(number, c.number);
    }
    CXMLElement e("e", "");
    e.AddAttrib("ID", "42");
    long id = 0;
    std::string idText;
    EXPECT_TRUE(e.GetID(id));
    EXPECT_TRUE(e.GetID(idText));
    EXPECT_EQ(id, 42);
    EXPECT_EQ(idText, "42");
}

// root -> A(a1(x), a2), B, C(c1)
CXMLElement* MakeTree() {
    auto* root = new CXMLElement("root", "r");
    auto* a = new CXMLElement("A", "");
    auto* a1 = new CXMLElement("a1", "");
    a1->push_back(new CXMLElement("x", "deep"));
    a->push_back(a1);
    a->push_back(new CXMLElement("a2", ""));
    root->push_back(a);
    root->push_back(new CXMLElement("B", ""));
    auto* c = new CXMLElement("C", "");
    c->push_back(new CXMLElement("c1", ""));
    root->push_back(c);
    return root;
}

TEST(XMLElement, CopyAndAssignAreDeep) {
    CXMLElement* source = MakeTree();
    source->cdata = true;
    source->SetError(eXMLElementIncomplete);
    source->AddAttrib("k", "v");

    CXMLElement copy(*source);
    CXMLElement assigned("old", "");
    assigned.push_back(new CXMLElement("gone", ""));
    assigned = *source;
    for (const CXMLElement* c : {&copy, &assigned}) {
        EXPECT_TRUE(c->cdata);
        EXPECT_EQ(c->GetError(), eXMLElementIncomplete);
        EXPECT_STREQ(c->name.c_str(), "root");
        ASSERT_EQ(c->children.size(), 3u);
        EXPECT_NE(c->children[0], source->children[0]);
        ASSERT_EQ(c->children[0]->children.size(), 2u);
        ASSERT_EQ(c->children[0]->children[0]->children.size(), 1u);
        EXPECT_NE(c->children[0]->children[0]->children[0],
                  source->children[0]->children[0]->children[0]);
        EXPECT_EQ(c->children[0]->children[0]->children[0]->text, "deep");
        EXPECT_EQ(c->GetAttribVec().size(), 1u);
    }
    delete source; // the copies own their own nodes (the sanitizer checks)
    assigned = assigned;
    EXPECT_EQ(assigned.children.size(), 3u);

    // Assigning an element its own child replaces it by a copy of the child.
    CXMLElement* tree = MakeTree();
    *tree = *tree->children[2];
    EXPECT_STREQ(tree->name.c_str(), "C");
    ASSERT_EQ(tree->children.size(), 1u);
    EXPECT_STREQ(tree->children[0]->name.c_str(), "c1");
    delete tree;
}

TEST(XMLElement, PromoteClearAndSubElements) {
    CXMLElement* root = MakeTree();
    root->PromoteSubElements();
    std::vector<std::string> names;
    for (const CXMLElement* c : root->children)
        names.push_back(c->name.c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"a1", "a2", "c1"}));
    EXPECT_EQ(root->children[0]->children.size(), 1u); // grandchildren keep theirs

    root->SetError(eNoErr);
    root->AddAttrib("k", "v");
    root->cdata = true;
    root->Clear();
    EXPECT_TRUE(root->name.empty());
    EXPECT_TRUE(root->text.empty());
    EXPECT_FALSE(root->cdata);
    EXPECT_TRUE(root->children.empty());
    EXPECT_TRUE(root->GetAttribVec().empty());
    EXPECT_TRUE(root->IsValid()); // the status stays
    delete root;
}

TEST(XMLElement, DeepTreeIsDestroyedWithoutRecursion) {
    auto* root = new CXMLElement("d", "");
    CXMLElement* e = root;
    for (int i = 0; i < 200000; ++i) {
        auto* child = new CXMLElement("d", "");
        e->push_back(child);
        e = child;
    }
    delete root;
}

TEST(XMLNameMaps, DepthAndOrder) {
    CXMLElement prefs("Prefs", "");
    auto* b1 = new CXMLElement("b", "first");
    b1->push_back(new CXMLElement("inner", "i"));
    prefs.push_back(b1);
    prefs.push_back(new CXMLElement("a", ""));
    prefs.push_back(new CXMLElement("b", "second"));

    CMapNames rootOnly(&prefs, 1);
    EXPECT_EQ(rootOnly.Count("Prefs"), 1u);
    EXPECT_EQ(rootOnly.FindElement("a"), nullptr);
    std::string text = "kept";
    EXPECT_EQ(rootOnly.GetElementText("a", text), eXMLElementMissing);
    EXPECT_EQ(text, "kept");

    CMapNames two(&prefs, 2);
    EXPECT_EQ(two.Count("b"), 2u);
    EXPECT_EQ(two.Count("inner"), 0u);
    EXPECT_EQ(two.FindElement("b"), b1);
    std::vector<CXMLElement*> found{nullptr};
    EXPECT_EQ(two.FindElements("b", found), 2u);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[1]->text, "first");
    EXPECT_EQ(found[2]->text, "second");
    EXPECT_EQ(two.GetElementText("b", text), eNoErr);
    EXPECT_EQ(text, "first");
    std::vector<std::string> names;
    two.GetNameList(names);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "b", "Prefs"}));

    CMapNames all(&prefs);
    EXPECT_EQ(all.Count("inner"), 1u);
    CMapNames copy(all);
    EXPECT_EQ(copy.FindElement("inner"), b1->children[0]);

    for (const CMapNames& empty : {CMapNames(), CMapNames(&prefs, 0)}) {
        std::vector<std::string> none;
        empty.GetNameList(none);
        EXPECT_TRUE(none.empty());
    }
}

TEST(XMLNameMaps, LongNamesAreCutToOneKey) {
    CXMLElement root("r", "");
    const std::string base(63, 'n');
    root.push_back(new CXMLElement(base + "x", "1"));
    root.push_back(new CXMLElement(base + "y", "2"));
    CMapNames map(&root, 2);
    EXPECT_EQ(map.Count(base + "zzz"), 2u);
    EXPECT_EQ(map.Count(base), 2u);
}

} // namespace
