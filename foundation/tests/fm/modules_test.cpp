#include "TempFolder.h"
#include "foundation/CGeneralSysUtils.h"
#include "foundation/KCMemObj.h"
#include "foundation/KCStFile.h"
#include "foundation/KUDLL.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sys/stat.h>
#include <vector>

using namespace kvFM;

TEST(DynamicLibraries, LoadBindRelease) {
    KTNativeDLLRefType* lib = nullptr;
    ASSERT_EQ(KULoadDLL(KCStPath(KV_TEST_MODULE), 0, lib), eNoErr);
    ASSERT_NE(lib, nullptr);
    auto answer = reinterpret_cast<int (*)()>(KUGetSymbol(lib, "kvfm_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    void* address = reinterpret_cast<void*>(1);
    EXPECT_EQ(KUGetSymbol(lib, std::string("kvfm_counter"), address), eNoErr);
    EXPECT_EQ(*static_cast<int*>(address), 7);
    EXPECT_EQ(KUGetSymbol(lib, std::string("no_such_symbol"), address), eGenericErr);
    EXPECT_EQ(address, nullptr);
    EXPECT_EQ(KUGetSymbol(lib, "hidden_helper"), nullptr);
    KUReleaseDLL(lib);
    EXPECT_EQ(lib, nullptr);
    KUReleaseDLL(lib); // harmless
}

TEST(DynamicLibraries, FailuresAreClassified) {
    TempFolder tmp;
    KTNativeDLLRefType* lib = reinterpret_cast<KTNativeDLLRefType*>(1);
    EXPECT_EQ(KULoadDLL(KCStPath(tmp / "missing.so"), 0, lib), eFMFileNotFound);
    EXPECT_EQ(lib, nullptr);
    TempFolder::Write(tmp / "junk.so", "not a library at all");
    EXPECT_EQ(KULoadDLL(KCStPath(tmp / "junk.so"), 0, lib), eGenericErr);
    EXPECT_EQ(KULoadDLL(KCStPath(), 0, lib), eFMIllegalPathRef);
}

namespace {

std::vector<unsigned char> ModuleBytes() {
    const std::string text = TempFolder::Read(KV_TEST_MODULE);
    return std::vector<unsigned char>(text.begin(), text.end());
}

} // namespace

TEST(ModuleImages, ReadHeadersSectionsAndExports) {
    auto bytes = ModuleBytes();
    ASSERT_GT(bytes.size(), sizeof(Elf64_Ehdr));
    const void* image = bytes.data();
    ASSERT_NE(KUGetModuleHeader(image, bytes.size()), nullptr);
    const Elf64_Shdr* text = KUGetSectionHeader(".TEXT", image, bytes.size());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->sh_type, unsigned(SHT_PROGBITS));
    EXPECT_EQ(KUGetSectionHeader(".nothing", image, bytes.size()), nullptr);

    char name[64];
    EXPECT_TRUE(KUGetModuleFileName(image, bytes.size(), name, sizeof name));
    EXPECT_STREQ(name, KV_TEST_MODULE_SONAME);
    char tiny[4];
    EXPECT_TRUE(KUGetModuleFileName(image, bytes.size(), tiny, sizeof tiny));
    EXPECT_EQ(std::strlen(tiny), 3u);

    const void* proc = KUGetProcAddress(image, bytes.size(), "KVFM_ANSWER");
    ASSERT_NE(proc, nullptr);
    EXPECT_GE(static_cast<const unsigned char*>(proc), bytes.data() + text->sh_offset);
    EXPECT_LT(static_cast<const unsigned char*>(proc),
              bytes.data() + text->sh_offset + text->sh_size);
    EXPECT_EQ(KUGetProcAddress(image, bytes.size(), "hidden_helper"), nullptr);

    const int count = KUGetExportedProcsList(image, bytes.size(), nullptr, nullptr, 0);
    std::vector<const char*> names(count);
    std::vector<const void*> procs(count);
    EXPECT_EQ(KUGetExportedProcsList(image, bytes.size(), names.data(), procs.data(), count),
              count);
    std::vector<std::string> got(names.begin(), names.end());
    EXPECT_NE(std::find(got.begin(), got.end(), "kvfm_answer"), got.end());
    EXPECT_NE(std::find(got.begin(), got.end(), "kvfm_counter"), got.end());
    EXPECT_EQ(std::find(got.begin(), got.end(), "hidden_helper"), got.end());
    EXPECT_NE(std::find(got.begin(), got.end(), "kvfm_uses_helper"), got.end());
}

TEST(ModuleImages, DamagedImagesNeverReadOutside) {
    const auto good = ModuleBytes();
    std::mt19937 rng(1234);
    // Truncations and random byte changes: every answer stays inside the
    // buffer (AddressSanitizer watches) and nothing crashes.
    for (int round = 0; round < 300; ++round) {
        std::vector<unsigned char> bytes = good;
        if (round % 3 == 0)
            bytes.resize(rng() % good.size());
        for (int k = 0; k < 20; ++k)
            if (!bytes.empty())
                bytes[rng() % bytes.size()] = static_cast<unsigned char>(rng());
        // A fresh allocation of the exact size makes any overrun visible.
        std::vector<unsigned char> exact(bytes);
        exact.shrink_to_fit();
        const void* image = exact.data();
        KUGetModuleHeader(image, exact.size());
        KUGetSectionHeader(".text", image, exact.size());
        char name[32];
        KUGetModuleFileName(image, exact.size(), name, sizeof name);
        if (const void* p = KUGetProcAddress(image, exact.size(), "kvfm_answer")) {
            EXPECT_GE(static_cast<const unsigned char*>(p), exact.data());
            EXPECT_LT(static_cast<const unsigned char*>(p), exact.data() + exact.size());
        }
        KUGetExportedProcsList(image, exact.size(), nullptr, nullptr, 0);
    }
    const char notElf[] = "MZ\x90\x00 plainly not an ELF image, just text";
    EXPECT_EQ(KUGetModuleHeader(notElf, sizeof notElf), nullptr);
    EXPECT_EQ(KUGetSectionHeader(".text", notElf, sizeof notElf), nullptr);
    EXPECT_EQ(KUGetModuleHeader(nullptr, 100), nullptr);
}

TEST(ModuleImages, CodeSegmentOfAFile) {
    auto bytes = ModuleBytes();
    const Elf64_Shdr* text = KUGetSectionHeader(".text", bytes.data(), bytes.size());
    ASSERT_NE(text, nullptr);

    void* block = nullptr;
    const unsigned long size = LoadDataSegmentToMemory(const_cast<char*>(KV_TEST_MODULE), block);
    ASSERT_EQ(size, text->sh_size);
    EXPECT_EQ(std::memcmp(block, bytes.data() + text->sh_offset, size), 0);
    delete[] static_cast<char*>(block);

    KCStFileReadCodeSegment file((KCStPath(KV_TEST_MODULE)));
    KCMemObj code;
    EXPECT_EQ(file.ReadCodeSegment(code), eNoErr);
    EXPECT_EQ(code.GetPtrSize(), text->sh_size);
    code.DisposePtr();

    void* whole = nullptr;
    EXPECT_EQ(LoadFileToMemory(const_cast<char*>(KV_TEST_MODULE), whole), bytes.size());
    delete[] static_cast<char*>(whole);

    TempFolder tmp;
    TempFolder::Write(tmp / "plain.txt", "just text");
    KCStFileReadCodeSegment plain((KCStPath(tmp / "plain.txt")));
    EXPECT_NE(plain.ReadCodeSegment(code), eNoErr);
    EXPECT_EQ(LoadDataSegmentToMemory(const_cast<char*>((tmp / "plain.txt").c_str()), block), 0u);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(LoadFileToMemory(const_cast<char*>((tmp / "none").c_str()), whole), 0u);
}

TEST(MemoryFiles, WholeFilesInAndOut) {
    TempFolder tmp;
    KCStPath path(tmp / "sub/mem.bin");
    KCMemObj block;
    ASSERT_EQ(block.Assign("0123456789", 10), eNoErr);
    EXPECT_EQ(WriteFileFromKCMemObj(path, block), eNoErr);
    EXPECT_EQ(TempFolder::Read(path.GetPathString()), "0123456789");
    block.DisposePtr();

    KCMemObj back;
    EXPECT_EQ(ReadFileToKCMemObj(path, back), eNoErr);
    ASSERT_EQ(back.GetPtrSize(), 10u);
    EXPECT_EQ(std::memcmp(back.GetPtr(), "0123456789", 10), 0);
    back.DisposePtr();

    KCStFileRead reader(path);
    reader.SetCursor(7, eFromStart);
    KCMemObj whole;
    EXPECT_EQ(ReadTheWholeFile(reader.GetFileRef(), whole), eNoErr); // rewinds
    EXPECT_EQ(whole.GetPtrSize(), 10u);
    whole.DisposePtr();

    EXPECT_EQ(ReadFileToKCMemObj(KCStPath(tmp / "missing"), back), eFMFileNotFound);
    EXPECT_EQ(ReadTheWholeFile(GetInvalidOpenFileRef(), whole), eFMIllegalOpenFileRef);
}

TEST(MemoryFiles, FilesOf4GiBAreRefused) {
    TempFolder tmp;
    KCStPath path(tmp / "huge");
    {
        KCStFileCreate f(path, eCreateAlways, eReadWritePermission);
        // A sparse file: no disk space is used.
        ASSERT_EQ(SetFileSize(f.GetFileRef(), 0x100000000ull), eNoErr);
    }
    KCStFileRead reader(path);
    KCMemObj block;
    EXPECT_EQ(ReadTheWholeFile(reader.GetFileRef(), block), eFMFileSizeTooBig);
    EXPECT_EQ(reader.ReadToKCMemObj(block), eFMFileSizeTooBig);
    std::string text;
    EXPECT_EQ(reader.ReadToStdString(text), eFMFileSizeTooBig);
    EXPECT_EQ(block.GetPtr(), nullptr);
}

TEST(SystemUtils, ClockAndTexts) {
    UMicroseconds a;
    CGeneralSysUtils::Sleep(10);
    UMicroseconds b;
    const int64_t diff = b.Get() - a.Get();
    EXPECT_GE(diff, 10000);
    EXPECT_LT(diff, 2000000);
    UMicroseconds c(2500000);
    EXPECT_DOUBLE_EQ(c.Seconds(), 2.5);
    EXPECT_DOUBLE_EQ(c.MilliSeconds(), 2500.0);
    EXPECT_EQ(static_cast<uint64_t>(c), 2500000u);

    EXPECT_EQ(CGeneralSysUtils::GetCurrentProcessID(), static_cast<int>(getpid()));
    std::string when;
    EXPECT_EQ(CGeneralSysUtils::GetCurrentDateAndTimeString(when), eNoErr);
    ASSERT_FALSE(when.empty());
    EXPECT_EQ(when.back(), '\n');
}

// A module's version is its own, from the version resource written into it
// at build; a file without one has no version information (-4003).
TEST(SystemUtils, VersionStringIsTheModulesOwn) {
    std::string version = "unchanged";
    EXPECT_EQ(CGeneralSysUtils::GetVersionString(KCStPath(KV_VERSIONED_MODULE), version), eNoErr);
    EXPECT_EQ(version, KV_PROJECT_VERSION);

    TempFolder tmp;
    TempFolder::Write(tmp / "notes.txt", "not a module\n");
    for (const std::string& module :
         {std::string(KV_TEST_MODULE), tmp / "notes.txt", std::string("/no/such/module.so")}) {
        std::string none = "unchanged";
        EXPECT_EQ(CGeneralSysUtils::GetVersionString(KCStPath(module), none), eMemNullPointer)
            << module;
        EXPECT_EQ(none, "unchanged");
    }
}

TEST(SystemUtils, BeepGoesToTheTraceFile) {
    TempFolder tmp;
    ScopedEnv trace("QUORL_TRACE", tmp / "trace.txt");
    CGeneralSysUtils::DefaultSystemBeep();
    EXPECT_EQ(TempFolder::Read(tmp / "trace.txt"), "Beep\n");

    // A named pipe that nobody reads does not stop the program.
    ASSERT_EQ(mkfifo((tmp / "pipe").c_str(), 0600), 0);
    ScopedEnv pipe("QUORL_TRACE", tmp / "pipe");
    bool hung = false;
    ReturnsWithoutWaitingOnPipe(
        tmp / "pipe",
        [] {
            CGeneralSysUtils::DefaultSystemBeep();
            return true;
        },
        hung);
    EXPECT_FALSE(hung);
}
