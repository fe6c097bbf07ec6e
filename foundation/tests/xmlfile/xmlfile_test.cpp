#include "../fm/TempFolder.h"
#include "foundation/XMLFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace kvXML;
using kvFM::KCStPath;

namespace {

size_t AttributeCount(const CXMLElement& e) {
    return e.GetAttribVec().size();
}

} // namespace

TEST(XMLFiles, ReadWriteCycle) {
    TempFolder tmp;
    KCXMLFile file(KCStPath(tmp / "sub/A.xml"));
    EXPECT_STREQ(file.GetXML().name.c_str(), "A");
    EXPECT_EQ(file.GetError(), eFMFileNotFound);

    file.GetXML().push_back(new CXMLElement("Keep", "me"));
    EXPECT_EQ(file.Read(), eFMFileNotFound);
    EXPECT_EQ(file.GetError(), eFMFileNotFound);
    ASSERT_EQ(file.GetXML().children.size(), 1u); // untouched

    file.GetXML().AddAttrib("Version", "1");
    EXPECT_EQ(file.Write(), eNoErr);
    EXPECT_EQ(file.GetError(), eNoErr);
    EXPECT_EQ(TempFolder::Read(tmp / "sub/A.xml"), "<A Version=\"1\">\n\t<Keep>me</Keep>\n</A>\n");

    KCXMLFile again(KCStPath(tmp / "sub/A.xml"));
    EXPECT_EQ(again.Read(), eNoErr);
    EXPECT_TRUE(again.IsValid());
    ASSERT_EQ(again.GetXML().children.size(), 1u);
    EXPECT_EQ(again.GetXML().children[0]->text, "me");
    EXPECT_TRUE(again.GetXML().IsValid());

    KCXMLFile copy(again);
    EXPECT_EQ(copy.GetXML().children.size(), 1u);
    EXPECT_EQ(copy.GetFilePath(), again.GetFilePath());
}

TEST(XMLFiles, ReadReplacesWhateverTheTreeHeld) {
    TempFolder tmp;
    TempFolder::Write(tmp / "B.xml", "<Prefs a=\"1\"/>");
    KCXMLFile file(KCStPath(tmp / "B.xml"));
    file.GetXML().push_back(new CXMLElement("Old", "x"));
    file.GetXML().AddAttrib("old", "y");
    EXPECT_EQ(file.Read(), eNoErr);
    EXPECT_STREQ(file.GetXML().name.c_str(), "Prefs");
    EXPECT_EQ(AttributeCount(file.GetXML()), 1u);
    EXPECT_TRUE(file.GetXML().children.empty());
}

TEST(XMLFiles, DamagedFilesFailAndKeepTheBaseName) {
    TempFolder tmp;
    struct {
        const char* content;
        KTErr err;
        size_t children;
    } cases[] = {
        {"<Prefs><a></Prefs>", eXMLParserFailed, 1},
        // A document cut short is a failure, not a success with an
        // incomplete tree.
        {"<Prefs><b/>", eXMLElementIncomplete, 1},
        {"", eXMLParserFailed, 0},
    };
    for (const auto& c : cases) {
        TempFolder::Write(tmp / "Broken.xml", c.content);
        KCXMLFile file(KCStPath(tmp / "Broken.xml"));
        EXPECT_EQ(file.Read(), c.err) << c.content;
        EXPECT_EQ(file.GetError(), c.err);
        EXPECT_FALSE(file.IsValid());
        EXPECT_STREQ(file.GetXML().name.c_str(), "Broken") << c.content;
        EXPECT_EQ(file.GetXML().children.size(), c.children) << c.content;
        EXPECT_FALSE(file.GetXML().IsValid());
    }
    if (geteuid() != 0) {
        TempFolder::Write(tmp / "Locked.xml", "<a/>");
        chmod((tmp / "Locked.xml").c_str(), 0);
        KCXMLFile locked(KCStPath(tmp / "Locked.xml"));
        EXPECT_NE(locked.Read(), eNoErr);
    }
    // A named pipe in the file's place is refused, not waited on.
    ASSERT_EQ(mkfifo((tmp / "Pipe.xml").c_str(), 0600), 0);
    KCXMLFile pipe(KCStPath(tmp / "Pipe.xml"));
    bool hung = false;
    EXPECT_EQ(ReturnsWithoutWaitingOnPipe(
                  tmp / "Pipe.xml", [&] { return pipe.Read(); }, hung),
              eFMIsNotAFile);
    EXPECT_FALSE(hung);
    EXPECT_STREQ(pipe.GetXML().name.c_str(), "Pipe");
    KCXMLFile invalid((KCStPath("relative.xml")));
    EXPECT_EQ(invalid.Read(), eFMIllegalPathRef);
    EXPECT_EQ(invalid.Write(), eFMIllegalPathRef);
}

TEST(XMLFiles, AFailedWriteKeepsTheOldFile) {
    TempFolder tmp;
    TempFolder::Write(tmp / "P.xml", "<P old=\"1\"/>\n");
    KCXMLFile file(KCStPath(tmp / "P.xml"));
    file.GetXML().AddAttrib("new", "2");
    for (int i = 0; i < 20; ++i)
        file.GetXML().push_back(new CXMLElement("Child", "some text"));
    {
        FileSizeLimit limit(16); // the write fails part way, as on a full disk
        EXPECT_NE(file.Write(), eNoErr);
    }
    EXPECT_FALSE(file.IsValid());
    EXPECT_EQ(TempFolder::Read(tmp / "P.xml"), "<P old=\"1\"/>\n");
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(tmp.path)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1); // no temporary file left behind
    EXPECT_EQ(file.Write(), eNoErr);
    EXPECT_NE(TempFolder::Read(tmp / "P.xml").find("new=\"2\""), std::string::npos);
}

TEST(XMLFiles, BuilderFileForms) {
    TempFolder tmp;
    // A document longer than one piece, followed by bytes that are never read.
    std::string doc = "<?xml version=\"1.0\"?>\n<List>";
    for (int i = 0; i < 500; ++i)
        doc += "<Item ID=\"" + std::to_string(i) + "\">text</Item>";
    doc += "</List>";
    TempFolder::Write(tmp / "list.xml", doc + "<<not xml at all");
    CXMLElement root;
    {
        CXMLTreeBuilder builder(root);
        EXPECT_EQ(BuildFromDataFork(builder, KCStPath(tmp / "list.xml")), eNoErr);
        EXPECT_TRUE(builder.IsBuildingDone());
    }
    EXPECT_EQ(root.children.size(), 500u);
    EXPECT_TRUE(root.IsValid());

    CXMLElement none;
    CXMLTreeBuilder missing(none);
    EXPECT_EQ(BuildFromDataFork(missing, KCStPath(tmp / "missing.xml")), eFMFileNotFound);

    // Writing: at the cursor of an open file, and replacing a file's content.
    CXMLElement small("S", "v");
    {
        kvFM::KCStFileCreate out(KCStPath(tmp / "out.xml"), kvFM::eCreateAlways,
                                 kvFM::eWritePermission);
        ASSERT_TRUE(out.IsValid());
        EXPECT_EQ(out.WriteFromFromString("<!-- head -->\n"), eNoErr);
        EXPECT_EQ(AppendToOpenFile(small, out.GetFileRef()), eNoErr);
    }
    EXPECT_EQ(TempFolder::Read(tmp / "out.xml"), "<!-- head -->\n<S>v</S>\n");
    EXPECT_EQ(WriteToDataFork(small, KCStPath(tmp / "out.xml")), eNoErr);
    EXPECT_EQ(TempFolder::Read(tmp / "out.xml"), "<S>v</S>\n");
    EXPECT_EQ(WriteToDataFork(small, KCStPath(tmp / "nothing.xml")), eFMFileNotFound);
    EXPECT_FALSE(KCStPath(tmp / "nothing.xml").IsExist());
    EXPECT_EQ(AppendToOpenFile(small, kvFM::GetInvalidOpenFileRef()), eFMIllegalOpenFileRef);
}

TEST(PreferenceFiles, LiveInTheUsersPreferencesFolder) {
    TempFolder tmp;
    ScopedEnv config("XDG_CONFIG_HOME", tmp / "config");
    KCXMLPreferencesFile prefs("B.xml");
    EXPECT_EQ(prefs.GetFilePath().GetPathString(), tmp / "config/Quorl Audio/Preferences/B.xml");
    EXPECT_TRUE(prefs.GetFilePath().IsValid());
    EXPECT_STREQ(prefs.GetXML().name.c_str(), "");
    EXPECT_EQ(prefs.GetXML().GetError(), eXMLElementUninitalized);

    EXPECT_EQ(prefs.Read(), eFMFileNotFound);
    prefs.GetXML().name = "Prefs";
    prefs.GetXML().SetError(eNoErr);
    prefs.GetXML().AddAttrib("a", "1");
    EXPECT_EQ(prefs.Write(), eNoErr);
    EXPECT_EQ(TempFolder::Read(tmp / "config/Quorl Audio/Preferences/B.xml"), "<Prefs a=\"1\"/>\n");

    KCXMLPreferencesFile back("B.xml");
    EXPECT_EQ(back.Read(), eNoErr);
    EXPECT_STREQ(back.GetXML().name.c_str(), "Prefs");
    EXPECT_EQ(AttributeCount(back.GetXML()), 1u);

    EXPECT_EQ(KCXMLPreferencesFile::kPrefFileType, KV_FOURCC("kvPF"));
    EXPECT_EQ(KCXMLPreferencesFile::kXPreferenceFileType.description, "Preferences File");
    EXPECT_EQ(KCXMLPreferencesFile::kXPreferenceFileType.extension, "xml");
    EXPECT_EQ(KCXMLPreferencesFile::kXPreferenceFileType.creator, KV_FOURCC("KSSD"));

    KCXMLPreferencesFile unnamed;
    EXPECT_EQ(unnamed.GetFilePath().GetError(), eFMIllegalPathRef);
    EXPECT_EQ(unnamed.Read(), eFMIllegalPathRef);
}

namespace {

// `depth` elements, each inside the one before.
std::string NestedDocument(size_t depth) {
    std::string doc;
    doc.reserve(depth * 7);
    for (size_t i = 0; i < depth; ++i)
        doc += "<e>";
    for (size_t i = 0; i < depth; ++i)
        doc += "</e>";
    return doc;
}

// A chain of `depth` elements below `root`.
void AddChain(CXMLElement& root, size_t depth) {
    CXMLElement* at = &root;
    for (size_t i = 0; i < depth; ++i) {
        auto* child = new CXMLElement("e", "");
        at->push_back(child);
        at = child;
    }
}

} // namespace

TEST(XMLFiles, AHostileDepthIsRefusedWhenReadAndNeverAbortsAWrite) {
    TempFolder tmp;
    // A million nested elements (7 MB): refused while reading, long before
    // the tree or its text could grow with the depth.
    TempFolder::Write(tmp / "Deep.xml", NestedDocument(1000000));
    KCXMLFile deep(KCStPath(tmp / "Deep.xml"));
    EXPECT_EQ(deep.Read(), eXMLTreeNotValid);
    EXPECT_STREQ(deep.GetXML().name.c_str(), "Deep");

    // A tree made in memory whose text would take gigabytes: the write
    // fails with a status and the old file stays whole.
    TempFolder::Write(tmp / "Old.xml", "<Old/>\n");
    KCXMLFile file(KCStPath(tmp / "Old.xml"));
    AddChain(file.GetXML(), 100000);
    EXPECT_EQ(file.Write(), eMemNewFailed);
    EXPECT_EQ(TempFolder::Read(tmp / "Old.xml"), "<Old/>\n");
    std::string text;
    EXPECT_EQ(kvXML::WriteToDataFork(file.GetXML(), KCStPath(tmp / "Old.xml")), eMemNewFailed);
    EXPECT_EQ(kvXML::WriteElementText(file.GetXML(), text), eMemNewFailed);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(TempFolder::Read(tmp / "Old.xml"), "<Old/>\n");
}
