#include "TestFiles.h"
#include "foundation/ElfRes.h"

#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

using kvElfRes::Image;
using kvElfRes::ResName;
using kvElfRes::Resource;
using kvElfRes::WriteResources;

namespace {

ResName N(const char* name) {
    return ResName::Name(name);
}
ResName Num(uint16_t number) {
    return ResName::Number(number);
}

std::unique_ptr<Image> Open(const fs::path& p) {
    std::unique_ptr<Image> image;
    EXPECT_EQ(Image::OpenFile(p, image), eNoErr) << p;
    return image;
}

// The bytes of a resource as text, or "<missing>".
std::string Text(const Image& image, const ResName& type, const ResName& id) {
    const kvElfRes::ResourceView* r = image.Find(type, id);
    if (r == nullptr)
        return "<missing>";
    return std::string(reinterpret_cast<const char*>(image.Data(*r)), r->size);
}

// A container with the kinds of keys a file can hold: four-character
// types, a three-character type, a numbered type and a named resource.
std::vector<Resource> MixedResources() {
    return {
        {N("XPLL"), Num(1001), Bytes("<a/>")},     {N("PNG_"), Num(1001), Bytes("png 1001")},
        {N("PNG_"), Num(1000), Bytes("png 1000")}, {N("XPLL"), Num(1000), Bytes("<b/>")},
        {N("XPLL"), N("NAMED"), Bytes("by name")}, {N("ABC"), Num(1), Bytes("three")},
        {Num(10), Num(1), Bytes("numbered type")}, {N("EMPT"), Num(5), {}},
    };
}

} // namespace

TEST(ElfResources, WrittenLibraryListsSortedKeysAndStillLoads) {
    TempFolder dir;
    const fs::path lib = dir / "libfixture.so";
    fs::copy_file(KV_FIXTURE_LIB, lib);
    ASSERT_EQ(WriteResources(lib, MixedResources()), eNoErr);

    auto image = Open(lib);
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->HasResourceSection());
    const std::vector<ResName> types = {Num(10), N("ABC"), N("EMPT"), N("PNG_"), N("XPLL")};
    EXPECT_EQ(image->Types(), types);
    const std::vector<ResName> ids = {Num(1000), Num(1001), N("NAMED")};
    EXPECT_EQ(image->Ids(N("XPLL")), ids);
    EXPECT_TRUE(image->Ids(N("NONE")).empty());
    EXPECT_EQ(Text(*image, N("PNG_"), Num(1000)), "png 1000");
    EXPECT_EQ(Text(*image, N("XPLL"), N("NAMED")), "by name");
    EXPECT_EQ(Text(*image, Num(10), Num(1)), "numbered type");
    ASSERT_NE(image->Find(N("EMPT"), Num(5)), nullptr);
    EXPECT_EQ(image->Find(N("EMPT"), Num(5))->size, 0u);
    EXPECT_EQ(image->Find(N("XPLL"), Num(999)), nullptr);
    EXPECT_EQ(image->Find(N("xpll"), Num(1000)), nullptr) << "the reader compares exactly";

    // The loader still accepts the rewritten library and runs its code.
    void* handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto answer = reinterpret_cast<int (*)()>(dlsym(handle, "kv_fixture_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    dlclose(handle);
}

TEST(ElfResources, RewritingReplacesTheSetWithoutGrowingTheFile) {
    TempFolder dir;
    const fs::path lib = dir / "lib.so";
    fs::copy_file(KV_FIXTURE_LIB, lib);
    ASSERT_EQ(WriteResources(lib, MixedResources()), eNoErr);
    const auto firstSize = fs::file_size(lib);
    ASSERT_EQ(WriteResources(lib, MixedResources()), eNoErr);
    EXPECT_EQ(fs::file_size(lib), firstSize) << "a rewrite must drop the old section";

    ASSERT_EQ(WriteResources(lib, {{N("XCLI"), Num(1000), Bytes("only")}}), eNoErr);
    auto image = Open(lib);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Types(), std::vector<ResName>{N("XCLI")});
    EXPECT_EQ(Text(*image, N("XCLI"), Num(1000)), "only");

    // An empty set leaves an empty section: a container without resources.
    ASSERT_EQ(WriteResources(lib, {}), eNoErr);
    image = Open(lib);
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->Types().empty());
    EXPECT_LT(fs::file_size(lib), firstSize);
}

TEST(ElfResources, WrittenProgramStillRunsAndKeepsItsMode) {
    TempFolder dir;
    const fs::path exe = dir / "program";
    fs::copy_file(KV_FIXTURE_EXE, exe);
    const auto modeBefore = fs::status(exe).permissions();
    ASSERT_EQ(WriteResources(exe, {{N("XPLL"), Num(1001), Bytes("<x/>")}}), eNoErr);
    EXPECT_EQ(fs::status(exe).permissions(), modeBefore);
    const int status = std::system(exe.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
    auto image = Open(exe);
    ASSERT_TRUE(image);
    EXPECT_EQ(Text(*image, N("XPLL"), Num(1001)), "<x/>");
}

TEST(ElfResources, WritingThroughALinkRewritesItsTarget) {
    TempFolder dir;
    const fs::path lib = dir / "libreal.so.1";
    fs::copy_file(KV_FIXTURE_LIB, lib);
    fs::create_symlink("libreal.so.1", dir / "libreal.so");
    ASSERT_EQ(WriteResources(dir / "libreal.so", {{N("XINF"), Num(1000), Bytes("i")}}), eNoErr);
    EXPECT_TRUE(fs::is_symlink(dir / "libreal.so"));
    auto image = Open(lib);
    ASSERT_TRUE(image);
    EXPECT_EQ(Text(*image, N("XINF"), Num(1000)), "i");
}

TEST(ElfResources, FailedWritesLeaveTheFileAndFolderAsTheyWere) {
    TempFolder dir;
    const fs::path lib = dir / "lib.so";
    fs::copy_file(KV_FIXTURE_LIB, lib);
    ASSERT_EQ(WriteResources(lib, {{N("XPLL"), Num(1), Bytes("old")}}), eNoErr);
    const auto original = ReadBytes(lib);

    struct Case {
        const char* what;
        std::vector<Resource> resources;
        KTErr expected;
    } cases[] = {
        {"duplicate key", {{N("A"), Num(1), {}}, {N("A"), Num(1), {}}}, eRMResExists},
        {"empty name", {{N(""), Num(1), {}}}, eRMInvalidResID},
        {"long name", {{ResName::Name(std::string(256, 'x')), Num(1), {}}}, eRMInvalidResID},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WriteResources(lib, c.resources), c.expected) << c.what;
        EXPECT_EQ(ReadBytes(lib), original) << c.what;
    }

    if (geteuid() != 0) {
        fs::permissions(lib, fs::perms::owner_read);
        EXPECT_EQ(WriteResources(lib, {}), eFMPermissionErr) << "read-only file";
        fs::permissions(lib, fs::perms::owner_read | fs::perms::owner_write);
        fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(WriteResources(lib, {}), eFMPermissionErr) << "read-only folder";
        fs::permissions(dir.path, fs::perms::owner_all);
    }
    EXPECT_EQ(ReadBytes(lib), original);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"lib.so"}) << "no temporary file may remain";
}

TEST(ElfResources, FilesThatAreNoElfImageFailFast) {
    TempFolder dir;
    WriteBytes(dir / "text", Bytes("just some text that is long enough to hold an ELF header, "
                                   "but is not one at all......"));
    WriteBytes(dir / "empty", {});
    auto elf32 = ReadBytes(KV_FIXTURE_LIB);
    elf32[EI_CLASS] = ELFCLASS32;
    WriteBytes(dir / "elf32", elf32);
    auto object = ReadBytes(KV_FIXTURE_LIB);
    object[16] = ET_REL;
    WriteBytes(dir / "object", object);
    fs::create_directory(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0); // no writer will ever come

    struct Case {
        const char* name;
        KTErr expected;
    } cases[] = {{"text", eRMInvalidResContainer},   {"empty", eRMInvalidResContainer},
                 {"elf32", eRMInvalidResContainer},  {"object", eRMInvalidResContainer},
                 {"folder", eRMInvalidResContainer}, {"fifo", eRMInvalidResContainer},
                 {"missing", eFMFileNotFound}};
    for (const Case& c : cases) {
        std::unique_ptr<Image> image;
        EXPECT_EQ(Image::OpenFile(dir / c.name, image), c.expected) << c.name;
        EXPECT_FALSE(image) << c.name;
        if (c.expected != eRMInvalidResContainer)
            continue;
        if (!fs::is_regular_file(dir / c.name)) {
            EXPECT_EQ(WriteResources(dir / c.name, {}), eRMInvalidResContainer) << c.name;
            continue;
        }
        const auto before = ReadBytes(dir / c.name);
        EXPECT_EQ(WriteResources(dir / c.name, {}), eRMInvalidResContainer) << c.name;
        EXPECT_EQ(ReadBytes(dir / c.name), before);
    }
}

TEST(ElfResources, ElfWithoutResourcesIsAnEmptyContainer) {
    auto image = Open(KV_FIXTURE_LIB);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->HasResourceSection());
    EXPECT_TRUE(image->Types().empty());
    EXPECT_TRUE(image->Resources().empty());
}

TEST(ElfResources, HeaderOnlyImageGainsASectionTable) {
    // An ELF header and nothing else: no program or section headers.
    Elf64_Ehdr h{};
    std::memcpy(h.e_ident, ELFMAG, SELFMAG);
    h.e_ident[EI_CLASS] = ELFCLASS64;
    h.e_ident[EI_DATA] = ELFDATA2LSB;
    h.e_ident[EI_VERSION] = EV_CURRENT;
    h.e_type = ET_DYN;
    h.e_machine = EM_X86_64;
    h.e_version = EV_CURRENT;
    h.e_ehsize = sizeof h;
    std::vector<uint8_t> bytes(sizeof h);
    std::memcpy(bytes.data(), &h, sizeof h);

    TempFolder dir;
    WriteBytes(dir / "bare", bytes);
    auto image = Open(dir / "bare");
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->HasResourceSection());

    ASSERT_EQ(WriteResources(dir / "bare", {{N("XPLL"), Num(7), Bytes("seven")}}), eNoErr);
    image = Open(dir / "bare");
    ASSERT_TRUE(image);
    EXPECT_EQ(Text(*image, N("XPLL"), Num(7)), "seven");
    ASSERT_EQ(WriteResources(dir / "bare", {{N("XPLL"), Num(8), Bytes("eight")}}), eNoErr);
    image = Open(dir / "bare");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Find(N("XPLL"), Num(7)), nullptr);
    EXPECT_EQ(Text(*image, N("XPLL"), Num(8)), "eight");
}

TEST(ElfResources, TypeNamesOfFourCharacterCodes) {
    EXPECT_EQ(kvElfRes::TypeNameOf(0x58506c6c), N("XPLL")); // 'XPll'
    EXPECT_EQ(kvElfRes::TypeNameOf(0x504e475f), N("PNG_"));
    EXPECT_EQ(kvElfRes::TypeNameOf(0x61620000), N("AB")) << "a zero byte ends the name";
}
