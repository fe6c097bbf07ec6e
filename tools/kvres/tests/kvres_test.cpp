#include "kvres/Manifest.h"

#include "../../../foundation/tests/elfres/TestFiles.h"

#include <sys/wait.h>

#include <sstream>

using kvElfRes::ResName;
using kvres::ManifestEntry;

namespace {

ResName N(const char* name) {
    return ResName::Name(name);
}
ResName Num(uint16_t number) {
    return ResName::Number(number);
}

struct RunResult {
    int exitCode;
    std::string output;
};

RunResult RunKvres(const fs::path& manifest, const fs::path& target) {
    const std::string command =
        std::string(KV_KVRES) + " '" + manifest.string() + "' '" + target.string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = pipe ? pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

} // namespace

TEST(KvresManifest, ParsesLinesRelativeToTheManifest) {
    const std::string text = "# resources of the fixture\n"
                             "\n"
                             "XPll 1001 xml/load spec.xml  \n"
                             "  PNG_\t1000\timages/knob.png\r\n"
                             "XPLL named data.bin\n"
                             "10 -1 raw.bin\n";
    std::vector<ManifestEntry> entries;
    std::string error;
    ASSERT_TRUE(kvres::ParseManifest(text, "/src/res/manifest.txt", entries, error)) << error;
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].type, N("XPLL")) << "types are stored upper-cased";
    EXPECT_EQ(entries[0].id, Num(1001));
    EXPECT_EQ(entries[0].file, fs::path("/src/res/xml/load spec.xml"));
    EXPECT_EQ(entries[0].line, 3);
    EXPECT_EQ(entries[1].type, N("PNG_"));
    EXPECT_EQ(entries[1].file, fs::path("/src/res/images/knob.png"));
    EXPECT_EQ(entries[2].id, N("NAMED"));
    EXPECT_EQ(entries[3].type, Num(10));
    EXPECT_EQ(entries[3].id, Num(0xFFFF)) << "-1 is the 16-bit number 65535";
}

TEST(KvresManifest, ErrorsNameTheManifestLine) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"XPLL 1000\n", "m.txt:1: error: expected 'TYPE NUMBER FILE'"},
        {"\nXPLL\n", "m.txt:2: error: expected 'TYPE NUMBER FILE'"},
        {"XPLL 70000 a.xml\n", "m.txt:1: error: bad resource number '70000'"},
        {"XPLL -40000 a.xml\n", "m.txt:1: error: bad resource number '-40000'"},
        {"99999 1 a.xml\n", "m.txt:1: error: bad resource type '99999'"},
        {"XPLL 1 a.xml\nxpll 1 b.xml\n",
         "m.txt:2: error: resource 'xpll 1' already listed on line 1"},
    };
    for (const Case& c : cases) {
        std::vector<ManifestEntry> entries;
        std::string error;
        EXPECT_FALSE(kvres::ParseManifest(c.text, "m.txt", entries, error)) << c.text;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    }
}

TEST(KvresXml, MalformedXmlIsReportedWithFileAndLine) {
    std::string error;
    EXPECT_TRUE(kvres::CheckXml(Bytes("<?xml version=\"1.0\"?>\n<a><b/></a>\n"), "ok.xml", error));
    EXPECT_FALSE(kvres::CheckXml(Bytes("<a>\n  <b>\n</a>\n"), "bad.xml", error));
    EXPECT_EQ(error.rfind("bad.xml:3:", 0), 0u) << error;
    EXPECT_NE(error.find("malformed XML resource: mismatched tag"), std::string::npos) << error;
    EXPECT_FALSE(kvres::CheckXml({}, "empty.xml", error));

    EXPECT_TRUE(kvres::IsXmlResource("a.XML", Bytes("anything")));
    EXPECT_TRUE(kvres::IsXmlResource("a.dat", Bytes("\xEF\xBB\xBF<?xml version='1.0'?><a/>")));
    EXPECT_FALSE(kvres::IsXmlResource("a.png", Bytes("\x89PNG")));
    EXPECT_FALSE(kvres::IsXmlResource("a.bin", {}));
}

TEST(KvresTool, PacksAManifestIntoALibrary) {
    TempFolder dir;
    fs::create_directory(dir / "res");
    WriteBytes(dir / "res/spec.xml", Bytes("<?xml version=\"1.0\"?>\n<LoadSpec/>\n"));
    WriteBytes(dir / "res/blob.bin", {0, 1, 2, 3});
    WriteBytes(dir / "res/manifest.txt", Bytes("XPll 1001 spec.xml\nPNG_ 1000 blob.bin\n"));
    const fs::path lib = dir / "lib.so";
    fs::copy_file(KV_FIXTURE_LIB, lib);

    const RunResult run = RunKvres(dir / "res/manifest.txt", lib);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::unique_ptr<kvElfRes::Image> image;
    ASSERT_EQ(kvElfRes::Image::OpenFile(lib, image), eNoErr);
    const auto* xml = image->Find(N("XPLL"), Num(1001));
    ASSERT_NE(xml, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->Data(*xml)), xml->size),
              "<?xml version=\"1.0\"?>\n<LoadSpec/>\n");
    ASSERT_NE(image->Find(N("PNG_"), Num(1000)), nullptr);
    EXPECT_EQ(image->Find(N("PNG_"), Num(1000))->size, 4u);
}

TEST(KvresTool, FailuresLeaveTheTargetUntouched) {
    TempFolder dir;
    WriteBytes(dir / "bad.xml", Bytes("<a>\n<b></a>\n"));
    WriteBytes(dir / "good.xml", Bytes("<a/>"));
    WriteBytes(dir / "malformed.txt", Bytes("XPLL 1 good.xml\nXPLL 2 bad.xml\n"));
    WriteBytes(dir / "missing.txt", Bytes("XPLL 1 nowhere.xml\n"));
    const fs::path lib = dir / "lib.so";
    fs::copy_file(KV_FIXTURE_LIB, lib);
    WriteBytes(dir / "text", Bytes("not an ELF file"));
    WriteBytes(dir / "good.txt", Bytes("XPLL 1 good.xml\n"));
    const auto before = ReadBytes(lib);

    struct Case {
        const char* manifest;
        fs::path target;
        std::string message;
    } cases[] = {
        {"malformed.txt", lib, (dir / "bad.xml").string() + ":2:"},
        {"missing.txt", lib, "missing.txt:1: error: cannot read resource file"},
        {"absent.txt", lib, "absent.txt: error: cannot read the manifest"},
        {"good.txt", dir / "text", "cannot write resources (eRMInvalidResContainer)"},
    };
    for (const Case& c : cases) {
        const RunResult run = RunKvres(dir / c.manifest, c.target);
        EXPECT_EQ(run.exitCode, 1) << c.manifest;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
    EXPECT_EQ(ReadBytes(lib), before);
}
