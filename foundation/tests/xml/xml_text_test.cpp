#include "foundation/XMLText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <vector>

using kvXML::CXMLElement;
using kvXML::CXMLTreeBuilder;

namespace {

KTErr Build(const std::string& text, CXMLElement& root) {
    CXMLTreeBuilder builder(root);
    return builder.BuildFromSingleBuffer(text.data(), text.size());
}

std::string Write(const CXMLElement& root) {
    std::string out;
    kvXML::WriteElementText(root, out);
    return out;
}

CXMLElement MakePrefs() {
    CXMLElement prefs("Prefs", "");
    prefs.AddAttrib("Version", "1");
    prefs.push_back(new CXMLElement("Name", "a<b"));
    prefs.push_back(new CXMLElement("Empty", ""));
    auto* code = new CXMLElement("Code", "x=1");
    code->cdata = true;
    prefs.push_back(code);
    auto* list = new CXMLElement("List", "");
    auto* item = new CXMLElement("Item", "");
    item->AddAttrib("ID", "3");
    list->push_back(item);
    prefs.push_back(list);
    return prefs;
}

TEST(XMLWriter, WritesTheDocumentForm) {
    const char* expected = "<Prefs Version=\"1\">\n"
                           "\t<Name>a&lt;b</Name>\n"
                           "\t<Empty/>\n"
                           "\t<Code>\n"
                           "\t\t<![CDATA[\n"
                           "\t\tx=1\n"
                           "\t\t]]>\n"
                           "\t</Code>\n"
                           "\t<List>\n"
                           "\t\t<Item ID=\"3\"/>\n"
                           "\t</List>\n"
                           "</Prefs>\n";
    const CXMLElement prefs = MakePrefs();
    EXPECT_EQ(Write(prefs), expected);
    EXPECT_EQ(CXMLElement::level, 0u);

    // The builder's string form is the same text, replacing what was there.
    CXMLElement root;
    CXMLTreeBuilder builder(root);
    ASSERT_EQ(builder.BuildFromSingleBuffer(expected, std::strlen(expected)), eNoErr);
    std::string out = "old";
    builder.WriteToString(out);
    EXPECT_NE(out, expected); // read back, the CDATA flag is gone...
    root.children[2]->cdata = true;
    builder.WriteToString(out);
    EXPECT_EQ(out, expected); // ...and nothing else differs
}

TEST(XMLWriter, SmallFormsAndIndentation) {
    struct {
        CXMLElement element;
        const char* text;
    } cases[] = {
        {CXMLElement("e", ""), "<e/>\n"},
        {CXMLElement("e", "t"), "<e>t</e>\n"},
        {CXMLElement("q", "<\"&'>"), "<q>&lt;&quot;&amp;&apos;&gt;</q>\n"},
    };
    cases[0].element.AddAttrib("a", "<\"&'>");
    cases[0].element.cdata = true; // an empty CDATA text changes nothing
    const char* withAttribute = "<e a=\"&lt;&quot;&amp;&apos;&gt;\"/>\n";
    EXPECT_EQ(Write(cases[0].element), withAttribute);
    for (size_t i = 1; i < std::size(cases); ++i)
        EXPECT_EQ(Write(cases[i].element), cases[i].text);

    // Text beside children goes on its own line, without tabs.
    CXMLElement mixed("m", "t");
    mixed.push_back(new CXMLElement("c", ""));
    EXPECT_EQ(Write(mixed), "<m>\nt\n\t<c/>\n</m>\n");

    // The writer starts at the shared depth and leaves it as it was.
    CXMLElement::level = 1;
    EXPECT_EQ(Write(mixed), "\t<m>\nt\n\t\t<c/>\n\t</m>\n");
    EXPECT_EQ(CXMLElement::level, 1u);
    CXMLElement::level = 0;
}

TEST(XMLReader, TextNormalisation) {
    struct {
        const char* doc;
        const char* text;
    } cases[] = {
        {"<a>'abcd'</a>", "abcd"},
        {"<a>'abc'</a>", "'abc'"},
        {"<a>'abcde'</a>", "'abcde'"},
        {"<a>  a b  </a>", "a b"},
        {"<a>x<b/>y</a>", "xy"},
        {"<a> x <b/> y </a>", "x  y"},
        {"<a>&lt;&#65;&amp;</a>", "<A&"},
        {"<a><![CDATA[<b>]]></a>", "<b>"},
        {"<a>\n\t\xC3\xA9 \r\n</a>", "\xC3\xA9"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>", "\xC3\xA9"},
        {"<!DOCTYPE a [<!ENTITY e \"zz\">]><a>x&e;y</a>", "xy"},
    };
    for (const auto& c : cases) {
        CXMLElement root;
        ASSERT_EQ(Build(c.doc, root), eNoErr) << c.doc;
        EXPECT_EQ(root.text, c.text) << c.doc;
        EXPECT_FALSE(root.cdata);
    }
}

TEST(XMLReader, MarkupThatAddsNothing) {
    const std::string plain = "<r k=\"v\" j=\"w\"><c>t</c><d/></r>";
    const std::string dressed = "<?xml version=\"1.0\"?>\n<!-- c1 -->\n<?pi data?>\n"
                                "<r k=\"v\" j=\"w\">\n  <!-- c2 --><c>t<?pi2?></c>\n"
                                "  <d></d>\n</r>\n<!-- trailing -->\n";
    CXMLElement a, b;
    ASSERT_EQ(Build(plain, a), eNoErr);
    ASSERT_EQ(Build(dressed, b), eNoErr);
    EXPECT_EQ(Write(a), Write(b));
    EXPECT_TRUE(b.IsValid());
    ASSERT_EQ(b.GetAttribVec().size(), 2u);
    EXPECT_STREQ(b.GetAttribVec()[1].name.c_str(), "j");
    for (const CXMLElement* c : b.children) {
        EXPECT_TRUE(c->IsValid());
        EXPECT_EQ(c->parent, nullptr);
    }
}

TEST(XMLReader, RoundTripOfEscapesAndCDATA) {
    CXMLElement tree("r", "");
    tree.AddAttrib("q", "<\"&'>");
    const char* cdataTexts[] = {"a<b&c", "x]]>y", "]]>", "a]]]]>>b]]", "]]]", "a\rb\r\nc]]\r>"};
    for (const char* t : cdataTexts) {
        auto* e = new CXMLElement("c", t);
        e->cdata = true;
        tree.push_back(e);
    }
    tree.push_back(new CXMLElement("p", "1 < 2 > 0 & \"x\" 'y'"));

    CXMLElement back;
    ASSERT_EQ(Build(Write(tree), back), eNoErr);
    std::string q;
    EXPECT_TRUE(back.GetAttrib("q", q));
    EXPECT_EQ(q, "<\"&'>");
    ASSERT_EQ(back.children.size(), std::size(cdataTexts) + 1);
    for (size_t i = 0; i < std::size(cdataTexts); ++i)
        EXPECT_EQ(back.children[i]->text, cdataTexts[i]);
    EXPECT_EQ(back.children.back()->text, "1 < 2 > 0 & \"x\" 'y'");
}

TEST(XMLReader, FailuresOfTheOneCallForm) {
    struct {
        const char* doc;
        KTErr status;
        bool rootValid;
    } cases[] = {
        {"<a>", eMemNullPointer, false},
        {"<a></a>", eNoErr, true},
        {"<a/>", eNoErr, true},
        {"<a><b>", eXMLParserFailed, false},
        {"<a><b/>", eXMLParserFailed, false},
        {"<a></b>", eXMLParserFailed, false},
        {"<a x='1' x='2'/>", eXMLParserFailed, false},
        {"<a/><b/>", eXMLParserFailed, true},
        {"just text", eXMLParserFailed, false},
        {"<a>\x01</a>", eXMLParserFailed, false},
    };
    for (const auto& c : cases) {
        CXMLElement root;
        EXPECT_EQ(Build(c.doc, root), c.status) << c.doc;
        EXPECT_EQ(root.IsValid(), c.rootValid) << c.doc;
    }
    CXMLElement root;
    CXMLTreeBuilder builder(root);
    EXPECT_EQ(builder.BuildFromSingleBuffer(nullptr, 10), eMemNullPointer);
    EXPECT_EQ(root.GetError(), eXMLElementIncomplete);
}

TEST(XMLReader, PartialTreeOfAFailedBuild) {
    CXMLElement root;
    {
        CXMLTreeBuilder builder(root);
        const std::string doc = "<a><b/><c><d>";
        EXPECT_EQ(builder.BuildFromSingleBuffer(doc.data(), doc.size()), eXMLParserFailed);
        EXPECT_FALSE(builder.IsBuildingDone());
    }
    EXPECT_STREQ(root.name.c_str(), "a");
    EXPECT_EQ(root.GetError(), eXMLElementIncomplete);
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_TRUE(root.children[0]->IsValid());
    EXPECT_EQ(root.children[1]->children[0]->parent, nullptr);
    EXPECT_EQ(root.children[1]->parent, nullptr);
}

// Feeds `doc` in pieces of `piece` bytes, then finishes.
KTErr BuildInPieces(const std::string& doc, size_t piece, CXMLElement& root, bool& done) {
    CXMLTreeBuilder builder(root);
    done = false;
    for (size_t at = 0; at < doc.size() && !done; at += piece) {
        const KTErr err =
            builder.BuildFromBuffer(doc.data() + at, std::min(piece, doc.size() - at), done);
        if (err != eNoErr)
            return err;
    }
    EXPECT_EQ(done, builder.IsBuildingDone());
    return builder.Finish();
}

TEST(XMLReader, PiecesGiveTheSameTree) {
    const std::string doc = Write(MakePrefs());
    CXMLElement whole;
    ASSERT_EQ(Build(doc, whole), eNoErr);
    for (size_t piece : {1, 2, 7, 64, 4096}) {
        CXMLElement root;
        bool done = false;
        EXPECT_EQ(BuildInPieces(doc, piece, root, done), eNoErr) << piece;
        EXPECT_TRUE(done);
        EXPECT_TRUE(root.IsValid());
        EXPECT_EQ(Write(root), Write(whole)) << piece;
    }
}

TEST(XMLReader, EndOfInputBeforeTheDocumentEnds) {
    struct {
        const char* doc;
        KTErr status;
    } cases[] = {
        {"<a><b/>", eXMLElementIncomplete}, // truncated: not a success
        {"<a><b", eXMLElementIncomplete},   {"", eXMLParserFailed}, {"  ", eXMLParserFailed},
        {"<a></b>", eXMLParserFailed},      {"<a/>", eNoErr},
    };
    for (const auto& c : cases) {
        CXMLElement root;
        bool done = false;
        EXPECT_EQ(BuildInPieces(c.doc, 3, root, done), c.status) << c.doc;
        EXPECT_EQ(root.IsValid(), c.status == eNoErr) << c.doc;
    }
    CXMLElement root;
    bool done = false;
    EXPECT_EQ(BuildInPieces("<a><b/>", 100, root, done), eXMLElementIncomplete);
    EXPECT_STREQ(root.name.c_str(), "a");
    EXPECT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.GetError(), eXMLElementIncomplete);
}

TEST(XMLReader, IdleCallbackAfterEachPiece) {
    std::string doc = "<r>";
    while (doc.size() < 3000)
        doc += "<item v=\"123456789\"/>";
    doc += "</r>";
    CXMLElement root;
    CXMLTreeBuilder builder(root);
    int calls = 0;
    builder.SetIdleCallBack([](void* data) { ++*static_cast<int*>(data); }, &calls);
    EXPECT_EQ(builder.BuildFromSingleBufferWithIdle(doc.data(), doc.size()), eNoErr);
    EXPECT_EQ(calls, static_cast<int>((doc.size() + 1023) / 1024));
    EXPECT_TRUE(root.IsValid());

    CXMLElement bad;
    CXMLTreeBuilder failing(bad);
    const std::string truncated = doc.substr(0, 2500);
    EXPECT_EQ(failing.BuildFromSingleBufferWithIdle(truncated.data(), truncated.size()),
              eXMLParserFailed);
    EXPECT_FALSE(bad.IsValid());
}

TEST(XMLReader, WrapperReportsErrorsAndWhiteSpace) {
    CXMLElement root;
    CXMLTreeBuilder builder(root);
    const std::string doc = "<a>\n\n<b></c>";
    EXPECT_EQ(builder.BuildFromSingleBuffer(doc.data(), doc.size()), eXMLParserFailed);
    EXPECT_NE(builder.XML_GetErrorCode(), 0);
    EXPECT_EQ(builder.XML_GetCurrentLineNumber(), 3u);
    EXPECT_NE(static_cast<void*>(builder), nullptr);
    EXPECT_EQ(kvXML::expatpp::skipWhiteSpace(" \t\r\nx "), 4);
    EXPECT_EQ(kvXML::expatpp::skipWhiteSpace("\v"), 0);
}

TEST(XMLReader, HandlerExceptionsLeaveTheParse) {
    struct Throwing : kvXML::expatpp {
        void startElement(const char* name, const char**) override {
            ++starts;
            if (std::string(name) == "bad")
                throw std::runtime_error("no");
        }
        int starts = 0;
    } parser;
    const std::string doc = "<a><bad/><c/></a>";
    EXPECT_THROW(parser.XML_Parse(doc.data(), static_cast<int>(doc.size()), 1), std::runtime_error);
    EXPECT_EQ(parser.starts, 2); // the parse stopped at once
}

TEST(XMLWriter, WriteAllTextHandlesShortAndFailingWrites) {
    const std::string text = "0123456789";
    std::string sink;
    // At most three bytes per call.
    EXPECT_EQ(kvXML::WriteAllText(text,
                                  [&](const char* d, unsigned long n, unsigned long& written) {
                                      written = std::min(n, 3ul);
                                      sink.append(d, written);
                                      return eNoErr;
                                  }),
              eNoErr);
    EXPECT_EQ(sink, text);

    int calls = 0;
    EXPECT_EQ(kvXML::WriteAllText(text,
                                  [&](const char*, unsigned long, unsigned long& written) {
                                      ++calls;
                                      written = 0; // success without progress
                                      return eNoErr;
                                  }),
              eFMWriteFailed);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(kvXML::WriteAllText(text,
                                  [&](const char*, unsigned long n, unsigned long& written) {
                                      written = n;
                                      return eFMDiskFull;
                                  }),
              eFMDiskFull);
}

TEST(XMLReader, CutNamesAndValuesStayReadable) {
    // Cut at the capacity, a character of several bytes would leave half of
    // itself behind, and the written document could not be read at all.
    const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC";
    CXMLElement tree((std::string(62, 'n') + e).c_str(), "");
    tree.AddAttrib("a", std::string(126, 'v') + e);
    tree.AddAttrib("b", std::string(125, 'v') + euro);
    tree.AddAttrib("c", std::string(125, 'v') + e); // fits whole
    CXMLElement back;
    ASSERT_EQ(Build(Write(tree), back), eNoErr);
    EXPECT_EQ(std::string(back.name.c_str()), std::string(62, 'n'));
    std::string value;
    EXPECT_TRUE(back.GetAttrib("a", value));
    EXPECT_EQ(value, std::string(126, 'v'));
    EXPECT_TRUE(back.GetAttrib("b", value));
    EXPECT_EQ(value, std::string(125, 'v'));
    EXPECT_TRUE(back.GetAttrib("c", value));
    EXPECT_EQ(value, std::string(125, 'v') + e);
}

TEST(XMLReader, LineBreaksAndTabsSurviveARoundTrip) {
    // A reader turns tabs and line ends in attribute values into blanks and
    // carriage returns in text into line feeds, unless they are written as
    // character references.
    CXMLElement tree("r", "");
    tree.AddAttrib("a", "1\t2\n3\r4\r\n5");
    tree.push_back(new CXMLElement("t", "x\r\ny\rz\n\tw"));
    const std::string written = Write(tree);
    EXPECT_EQ(written, "<r a=\"1&#9;2&#10;3&#13;4&#13;&#10;5\">\n"
                       "\t<t>x&#13;\ny&#13;z\n\tw</t>\n"
                       "</r>\n");
    CXMLElement back;
    ASSERT_EQ(Build(written, back), eNoErr);
    std::string value;
    EXPECT_TRUE(back.GetAttrib("a", value));
    EXPECT_EQ(value, "1\t2\n3\r4\r\n5");
    ASSERT_EQ(back.children.size(), 1u);
    EXPECT_EQ(back.children[0]->text, "x\r\ny\rz\n\tw");
}

// Runs `work` on a thread with a small stack (128 KB).
template <typename F>
void OnSmallStack(F work) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t thread;
    auto run = [](void* data) -> void* {
        (*static_cast<F*>(data))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, &work), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

TEST(XMLTree, DeepTreesNeedNoDeepStack) {
    // A document nested a few thousand levels deep is small, yet copying or
    // writing its tree must not recurse once per level.
    constexpr int kDepth = 3000;
    std::string doc;
    for (int i = 0; i < kDepth; ++i)
        doc += "<e>";
    doc += "x";
    for (int i = 0; i < kDepth; ++i)
        doc += "</e>";
    CXMLElement root;
    ASSERT_EQ(Build(doc, root), eNoErr);

    std::string written, copyWritten, assignedWritten;
    OnSmallStack([&] {
        CXMLElement copy(root);
        CXMLElement assigned("other", "");
        assigned.push_back(new CXMLElement("old", ""));
        assigned = root;
        written = Write(root);
        copyWritten = Write(copy);
        assignedWritten = Write(assigned);
    });
    EXPECT_EQ(written.size(), size_t(kDepth) * kDepth + 7u * kDepth + 1u); // tabs grow per level
    EXPECT_EQ(written.substr(written.size() - 11), "\t</e>\n</e>\n");
    EXPECT_EQ(copyWritten, written);
    EXPECT_EQ(assignedWritten, written);

    CXMLElement back;
    ASSERT_EQ(Build(written, back), eNoErr);
    const CXMLElement* deepest = &back;
    int depth = 1;
    while (!deepest->children.empty()) {
        deepest = deepest->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(deepest->text, "x");
}

TEST(XMLWriter, BytesXMLCannotCarryDoNotSpoilTheDocument) {
    // Control characters and bytes that are not UTF-8 (a file name in an 8-bit
    // encoding, say) have no form in an XML document: each becomes U+FFFD, so
    // that the rest of the document can still be read. Valid UTF-8 is kept.
    const std::string bad = "\xEF\xBF\xBD";
    struct {
        std::string held;
        std::string read;
    } cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
        {"a\x01"
         "b\x1F"
         "c",
         "a" + bad + "b" + bad + "c"},
        {std::string("x\0y", 3), "x" + bad + "y"},
        {"caf\xE9s", "caf" + bad + "s"}, // 8-bit text
        {"\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80", bad + bad + "|" + bad + bad + bad + "|" + bad +
                                                       bad + bad +
                                                       bad}, // overlong, surrogate, too high
        {"\xE2\x82|\xEF\xBF\xBF", bad + bad + "|" + bad},    // cut short; not a character
    };
    for (const auto& c : cases) {
        CXMLElement tree("r", "");
        tree.AddAttrib("a", c.held);
        tree.push_back(new CXMLElement("t", c.held));
        auto* cdata = new CXMLElement("c", c.held);
        cdata->cdata = true;
        tree.push_back(cdata);
        CXMLElement back;
        ASSERT_EQ(Build(Write(tree), back), eNoErr) << c.held;
        std::string value;
        EXPECT_TRUE(back.GetAttrib("a", value));
        EXPECT_EQ(value, c.held.find('\0') == std::string::npos ? c.read : "x"); // held up to NUL
        ASSERT_EQ(back.children.size(), 2u);
        EXPECT_EQ(back.children[0]->text, c.read);
        EXPECT_EQ(back.children[1]->text, c.read);
    }
}

} // namespace

TEST(XMLReader, NestingDeeperThanTheLimitIsRefused) {
    const auto nested = [](unsigned depth) {
        std::string doc;
        for (unsigned i = 0; i < depth; ++i)
            doc += "<e>";
        for (unsigned i = 0; i < depth; ++i)
            doc += "</e>";
        return doc;
    };
    // The root and kMaxXMLDepth levels below it are read.
    CXMLElement fits;
    EXPECT_EQ(Build(nested(kvXML::kMaxXMLDepth + 1), fits), eNoErr);
    // One more is refused, in one piece or in many; the tree keeps what
    // was built.
    CXMLElement deep;
    EXPECT_EQ(Build(nested(kvXML::kMaxXMLDepth + 2), deep), eXMLTreeNotValid);
    EXPECT_EQ(deep.children.size(), 1u);
    CXMLElement pieces;
    CXMLTreeBuilder builder(pieces);
    const std::string doc = nested(kvXML::kMaxXMLDepth + 2);
    bool done = false;
    EXPECT_EQ(builder.BuildFromBuffer(doc.data(), doc.size(), done), eXMLTreeNotValid);
    EXPECT_FALSE(done);
    EXPECT_EQ(builder.Finish(), eXMLTreeNotValid);
}
