#include "ui/XMLPathRef.h"

#include <gtest/gtest.h>

using kvFM::KCStPath;
using kvXML::CXMLElement;

namespace {

TEST(XMLPathRef, AValidTextReplacesAnEmptyPathAndRereadingChangesNothing) {
    CXMLElement element("pluginFilePath", "/usr/lib/quorl/plugins");
    KCStPath path;
    kvXML::ReadFromXML_KTPathRef(&element, path);
    EXPECT_TRUE(path.IsValid());
    EXPECT_EQ(path.GetError(), eNoErr);
    EXPECT_EQ(path.GetPathString(), "/usr/lib/quorl/plugins");

    KTPathType* const before = path.GetPathRef();
    kvXML::ReadFromXML_KTPathRef(&element, path);
    EXPECT_EQ(path.GetPathRef(), before) << "the same path leaves the reference alone";
}

TEST(XMLPathRef, TextsThatMakeNoPathLeaveThePathAsItWas) {
    for (const char* text : {"", "relative/folder", "/bad|name"}) {
        SCOPED_TRACE(text);
        CXMLElement element("pluginFilePath", text);
        KCStPath path("/opt/plugins");
        kvXML::ReadFromXML_KTPathRef(&element, path);
        EXPECT_EQ(path.GetPathString(), "/opt/plugins");
        EXPECT_EQ(path.GetError(), eNoErr);

        KCStPath empty;
        kvXML::ReadFromXML_KTPathRef(&element, empty);
        EXPECT_FALSE(empty.IsValid());
        EXPECT_EQ(empty.GetError(), eFMIllegalPathRef);
    }
}

TEST(XMLPathRef, AWrittenPathReadsBackEqualAndReplacesADifferentOne) {
    const KCStPath original("/home/user/Quorl Plugins/DulmAudioDSP.so");
    CXMLElement element("pluginFilePath", "old text");
    EXPECT_EQ(kvXML::WriteToXML_KTPathRef(original, &element), &element);
    EXPECT_EQ(element.text, "/home/user/Quorl Plugins/DulmAudioDSP.so");

    KCStPath other("/somewhere/else");
    kvXML::ReadFromXML_KTPathRef(&element, other);
    EXPECT_TRUE(other == original);
    EXPECT_NE(other.GetPathRef(), original.GetPathRef()) << "the target holds its own copy";
}

} // namespace
