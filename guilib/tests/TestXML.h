// Trees from XML text, for the tests of the GUI library.
#pragma once

#include "foundation/XMLText.h"

#include <gtest/gtest.h>

#include <string>

namespace testxml {

inline kvXML::CXMLElement Parse(const std::string& text) {
    kvXML::CXMLElement root;
    kvXML::CXMLTreeBuilder builder(root);
    EXPECT_EQ(builder.BuildFromSingleBuffer(text.data(), static_cast<unsigned long>(text.size())),
              0);
    return root;
}

} // namespace testxml
