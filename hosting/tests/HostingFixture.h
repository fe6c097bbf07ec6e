// Shared test helpers: the resource manager with the packed fixture
// libraries open, and small XML builders.
#pragma once

#include "foundation/RM.h"
#include "foundation/XMLElement.h"
#include "foundation/XMLNameMaps.h"
#include "foundation/XMLText.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The resource manager, started for one test, with the host's and the
// plug-in's resource containers open.
class HostingResources : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RMInit(0), eNoErr);
        ASSERT_EQ(RMOpenResContainer(kvFM::KCStPath(KV_HOSTING_FIXTURE_HOST), 0, host), eNoErr);
        ASSERT_EQ(RMOpenResContainer(kvFM::KCStPath(KV_HOSTING_FIXTURE_PLUGIN), 0, plugin), eNoErr);
    }
    void TearDown() override {
        RMCloseResContainer(host);
        RMCloseResContainer(plugin);
        EXPECT_EQ(RMDispose(), eNoErr);
    }

    KTResContainerType* host = nullptr;
    KTResContainerType* plugin = nullptr;
};

// A tree from XML text (texts trimmed, quoted codes unquoted, as every
// reader sees them).
inline std::unique_ptr<kvXML::CXMLElement> ParseXML(const std::string& text) {
    auto root = std::make_unique<kvXML::CXMLElement>();
    kvXML::CXMLTreeBuilder builder(*root);
    const KTErr err = builder.BuildFromSingleBuffer(text.data(), text.size());
    EXPECT_EQ(err, eNoErr) << text;
    return root;
}

// The text of a tree, for comparisons.
inline std::string TextOf(const kvXML::CXMLElement& element) {
    std::string text;
    kvXML::WriteElementText(element, text);
    return text;
}

// The texts of the children of an element, in order.
inline std::vector<std::string> ChildTexts(const kvXML::CXMLElement& element) {
    std::vector<std::string> texts;
    for (const kvXML::CXMLElement* child : element.children)
        texts.push_back(child->text);
    return texts;
}

inline std::vector<std::string> ChildNames(const kvXML::CXMLElement& element) {
    std::vector<std::string> names;
    for (const kvXML::CXMLElement* child : element.children)
        names.push_back(child->name.c_str());
    return names;
}
