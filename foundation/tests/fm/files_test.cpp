#include "TempFolder.h"
#include "foundation/KCStFile.h"
#include "foundation/kvFMFolders.h"

#include "foundation/CGeneralSysUtils.h"
#include "foundation/KCMemObj.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

using namespace kvFM;

TEST(Files, OpenReadAndClose) {
    TempFolder tmp;
    TempFolder::Write(tmp / "a.bin", "hello world");
    KCStPath path(tmp / "a.bin");

    KTOpenFileType* f = nullptr;
    ASSERT_EQ(OpenFile(path.GetPathRef(), eReadPermission, f), eNoErr);
    char buf[64];
    unsigned long done = 99;
    EXPECT_EQ(ReadFromFile(f, buf, 5, done), eNoErr);
    EXPECT_EQ(done, 5u);
    EXPECT_EQ(std::string(buf, 5), "hello");
    // Asking for more than is left reads up to the end; at the end 0 bytes.
    EXPECT_EQ(ReadFromFile(f, buf, sizeof buf, done), eNoErr);
    EXPECT_EQ(done, 6u);
    EXPECT_EQ(ReadFromFile(f, buf, sizeof buf, done), eNoErr);
    EXPECT_EQ(done, 0u);
    uint64_t size = 0, cursor = 0;
    EXPECT_EQ(GetFileSizeFromOpenFileRef(f, size), eNoErr);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(GetFileCursor(f, cursor), eNoErr);
    EXPECT_EQ(cursor, 11u);
    // One call moves at most 2^32 - 1 bytes: larger requests are refused.
    EXPECT_EQ(ReadFromFile(f, buf, 0x100000000ul, done), eFMWrongParameters);
    EXPECT_EQ(CloseFile(f), eNoErr);
    EXPECT_FALSE(IsValidOpenFileRef(f));
    EXPECT_EQ(CloseFile(f), eFMIllegalOpenFileRef);
    EXPECT_EQ(ReadFromFile(f, buf, 1, done), eFMIllegalOpenFileRef);
}

TEST(Files, FailuresOfOpening) {
    TempFolder tmp;
    KTOpenFileType* f = nullptr;
    KCStPath missing(tmp / "missing");
    EXPECT_EQ(OpenFile(missing.GetPathRef(), eReadPermission, f), eFMFileNotFound);
    EXPECT_FALSE(IsValidOpenFileRef(f));
    EXPECT_EQ(OpenFile(nullptr, eReadPermission, f), eMemNullPointer);
    // A folder is not a file to open.
    EXPECT_EQ(OpenFile(KCStPath(tmp.path).GetPathRef(), eReadPermission, f), eGenericErr);
    EXPECT_FALSE(IsValidOpenFileRef(f));

    KCStFileRead reader(missing);
    EXPECT_FALSE(reader.IsValid());
    EXPECT_EQ(reader.GetError(), eFMFileNotFound);
    KCStFileWrite writer(missing);
    EXPECT_EQ(writer.GetError(), eFMFileNotFound);
}

// A named pipe is no file: every way of opening it is refused at once,
// instead of waiting for the other end of the pipe.
TEST(Files, NamedPipesAreRefusedWithoutWaiting) {
    TempFolder tmp;
    const std::string fifo = tmp / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const KCStPath path(fifo);
    struct {
        const char* label;
        std::function<KTErr(KTOpenFileType*&)> open;
    } cases[] = {
        {"read", [&](auto& f) { return OpenFile(path.GetPathRef(), eReadPermission, f); }},
        {"write", [&](auto& f) { return OpenFile(path.GetPathRef(), eWritePermission, f); }},
        {"read-write",
         [&](auto& f) { return OpenFile(path.GetPathRef(), eReadWritePermission, f); }},
        {"open or create",
         [&](auto& f) {
             return CreateAFile(path.GetPathRef(), eOpenOrCreate, eWritePermission, f);
         }},
        {"create always",
         [&](auto& f) {
             return CreateAFile(path.GetPathRef(), eCreateAlways, eReadPermission, f);
         }},
    };
    for (auto& c : cases) {
        KTOpenFileType* f = nullptr;
        bool hung = false;
        const KTErr err = ReturnsWithoutWaitingOnPipe(
            fifo, [&] { return c.open(f); }, hung);
        EXPECT_FALSE(hung) << c.label;
        EXPECT_EQ(err, eFMIsNotAFile) << c.label;
        EXPECT_FALSE(IsValidOpenFileRef(f)) << c.label;
        if (IsValidOpenFileRef(f))
            CloseFile(f);
    }
    bool hung = false;
    KCMemObj block;
    EXPECT_EQ(ReturnsWithoutWaitingOnPipe(
                  fifo, [&] { return ReadFileToKCMemObj(path, block); }, hung),
              eFMIsNotAFile);
    EXPECT_FALSE(hung);
    block.DisposePtr();

    // Copying it or loading it as an image fails the same way.
    EXPECT_EQ(ReturnsWithoutWaitingOnPipe(
                  fifo, [&] { return DuplicateFile(path, KCStPath(tmp / "copy")); }, hung),
              eFMIsNotAFile);
    EXPECT_FALSE(hung);
    EXPECT_FALSE(KCStPath(tmp / "copy").IsExist());
    void* image = nullptr;
    EXPECT_EQ(
        ReturnsWithoutWaitingOnPipe(
            fifo, [&] { return LoadFileToMemory(const_cast<char*>(fifo.c_str()), image); }, hung),
        0u);
    EXPECT_FALSE(hung);
    EXPECT_EQ(ReturnsWithoutWaitingOnPipe(
                  fifo,
                  [&] { return LoadDataSegmentToMemory(const_cast<char*>(fifo.c_str()), image); },
                  hung),
              0u);
    EXPECT_FALSE(hung);
    EXPECT_EQ(image, nullptr);
}

TEST(Files, SharingFollowsThePermission) {
    TempFolder tmp;
    TempFolder::Write(tmp / "s", "x");
    KCStPath path(tmp / "s");
    {
        KCStFileRead r1(path), r2(path);
        EXPECT_TRUE(r1.IsValid());
        EXPECT_TRUE(r2.IsValid()); // readers share
        KTOpenFileType* w = nullptr;
        EXPECT_EQ(OpenFile(path.GetPathRef(), eWritePermission, w), eGenericErr);
    }
    KCStFileWrite w1(path);
    ASSERT_TRUE(w1.IsValid());
    KCStFileRead r(path);
    EXPECT_FALSE(r.IsValid()); // a writer is alone
    // Creating with truncation must not cut a file another holder writes.
    KCStFileCreate c(path, eCreateAlways, eWritePermission);
    EXPECT_FALSE(c.IsValid());
    EXPECT_EQ(TempFolder::Read(tmp / "s"), "x");
}

TEST(Files, CreateFlagsAndMissingFolders) {
    TempFolder tmp;
    KCStPath deep(tmp / "one/two/file.txt");
    {
        KCStFileCreate c(deep, eCreateNew, eWritePermission);
        ASSERT_TRUE(c.IsValid());
        EXPECT_EQ(c.WriteFromFromString("abc"), eNoErr);
    }
    EXPECT_EQ(TempFolder::Read(deep.GetPathString()), "abc");
    EXPECT_EQ(KCStFileCreate(deep, eCreateNew, eWritePermission).GetError(), eFMFileAllreadyExists);
    {
        // Opened with write permission the cursor sits at the end: appends.
        KCStFileCreate c(deep, eOpenOrCreate, eWritePermission);
        EXPECT_EQ(c.WriteFromFromString("de"), eNoErr);
    }
    EXPECT_EQ(TempFolder::Read(deep.GetPathString()), "abcde");
    {
        KCStFileWrite w(deep);
        EXPECT_EQ(w.WriteFromFromString("f"), eNoErr);
    }
    EXPECT_EQ(TempFolder::Read(deep.GetPathString()), "abcdef");
    {
        KCStFileCreate c(deep, eCreateAlways, eReadWritePermission);
        EXPECT_EQ(c.GetFileSize(), 0u);
    }
    KTOpenFileType* f = nullptr;
    EXPECT_EQ(CreateAFile(deep.GetPathRef(), static_cast<KECreateFlags>(7), eWritePermission, f),
              eGenericErr);
    // A file standing where a folder is needed.
    TempFolder::Write(tmp / "plain", "");
    EXPECT_EQ(
        CreateAFile(KCStPath(tmp / "plain/x").GetPathRef(), eOpenOrCreate, eWritePermission, f),
        eFMIsNotAFolder);
}

TEST(Files, CursorAndSize) {
    TempFolder tmp;
    KCStFileCreate c(KCStPath(tmp / "c"), eCreateAlways, eReadWritePermission);
    ASSERT_TRUE(c.IsValid());
    EXPECT_EQ(c.WriteFromFromString("0123456789"), eNoErr);
    EXPECT_EQ(c.SetCursor(2, eFromStart), eNoErr);
    EXPECT_EQ(c.GetCursor(), 2u);
    EXPECT_EQ(c.SetCursor(3, eFromCurrent), eNoErr);
    EXPECT_EQ(c.GetCursor(), 5u);
    EXPECT_EQ(c.SetCursor(static_cast<uint64_t>(-4), eFromEnd), eNoErr);
    EXPECT_EQ(c.GetCursor(), 6u);
    // An unknown mode is refused before anything moves.
    EXPECT_EQ(SetFileCursor(c.GetFileRef(), 0, static_cast<KEPositionMode>(3)), eGenericErr);
    EXPECT_EQ(c.GetCursor(), 6u);
    EXPECT_EQ(SetFileCursor(GetInvalidOpenFileRef(), 0, static_cast<KEPositionMode>(3)),
              eGenericErr);
    EXPECT_EQ(SetFileCursor(GetInvalidOpenFileRef(), 0, eFromStart), eFMIllegalOpenFileRef);

    EXPECT_EQ(SetFileSize(c.GetFileRef(), 4), eNoErr);
    EXPECT_EQ(c.GetFileSize(), 4u);
    EXPECT_EQ(c.GetCursor(), 4u);
    EXPECT_EQ(SetFileSize(c.GetFileRef(), 8), eNoErr);
    EXPECT_EQ(c.GetFileSize(), 8u);
}

TEST(Files, ReadToStdStringKeepsWhatWasThere) {
    TempFolder tmp;
    TempFolder::Write(tmp / "t", "content");
    KCStFileRead r(KCStPath(tmp / "t"));
    std::string text = "pre:";
    EXPECT_EQ(r.ReadToStdString(text), eNoErr);
    EXPECT_EQ(text, "pre:content");
    // From a cursor past the start only the rest comes, without padding.
    r.SetCursor(4, eFromStart);
    std::string rest;
    EXPECT_EQ(r.ReadToStdString(rest), eNoErr);
    EXPECT_EQ(rest, "ent");
}

TEST(Files, TemporaryFilesAreUniqueAndOpen) {
    TempFolder tmp;
    ScopedEnv env("TMPDIR", tmp / "t");
    KTOpenFileType* f1 = nullptr;
    KTOpenFileType* f2 = nullptr;
    KTPathType* p1 = nullptr;
    KTPathType* p2 = nullptr;
    ASSERT_EQ(CreateTempFile(f1, p1), eNoErr);
    ASSERT_EQ(CreateTempFile(f2, p2), eNoErr);
    KTPathString leaf;
    EXPECT_EQ(std::string(GetLeaf(p1, leaf)).substr(0, 2), "KS");
    EXPECT_FALSE(IsSamePath(p1, p2));
    EXPECT_EQ(std::string(GetPathAsString(p1)).rfind(tmp / "t/", 0), 0u);
    unsigned long done = 0;
    EXPECT_EQ(WriteToFile(f1, "abc", 3, done), eNoErr);
    EXPECT_EQ(SetFileCursor(f1, 0, eFromStart), eNoErr);
    char buf[3];
    EXPECT_EQ(ReadFromFile(f1, buf, 3, done), eNoErr);
    EXPECT_EQ(std::string(buf, 3), "abc");
    CloseFile(f1);
    CloseFile(f2);
    DisposePathRef(p1);
    DisposePathRef(p2);
}

TEST(Files, AtomicWriteReplacesOrLeavesTheOldFile) {
    TempFolder tmp;
    KCStPath path(tmp / "sub/data.txt");
    ASSERT_EQ(WriteFileAtomically(path.GetPathRef(), "first", 5), eNoErr);
    EXPECT_EQ(TempFolder::Read(path.GetPathString()), "first");
    const mode_t mask = umask(027);
    umask(mask);
    struct stat fresh;
    ASSERT_EQ(stat(path.GetPathString().c_str(), &fresh), 0);
    EXPECT_EQ(fresh.st_mode & 07777, 0666u & ~mask); // a new file follows the umask
    chmod(path.GetPathString().c_str(), 0640);
    ASSERT_EQ(WriteFileAtomically(path.GetPathRef(), "second!", 7), eNoErr);
    EXPECT_EQ(TempFolder::Read(path.GetPathString()), "second!");
    struct stat st;
    ASSERT_EQ(stat(path.GetPathString().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u); // the old file's mode is kept

    ASSERT_EQ(WriteFileAtomically(KCStPath(tmp / "secret").GetPathRef(), "s", 1, 0600, false),
              eNoErr);
    ASSERT_EQ(stat((tmp / "secret").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // A write that fails part way (as on a full disk): the old file stays
    // whole.
    {
        FileSizeLimit limit(4);
        EXPECT_NE(WriteFileAtomically(path.GetPathRef(), "third try", 9), eNoErr);
    }
    EXPECT_EQ(TempFolder::Read(path.GetPathString()), "second!");
    // Through a symbolic link the linked file is replaced; the link stays.
    ASSERT_EQ(symlink((tmp / "secret").c_str(), (tmp / "sub/link").c_str()), 0);
    ASSERT_EQ(WriteFileAtomically(KCStPath(tmp / "sub/link").GetPathRef(), "via link", 8), eNoErr);
    EXPECT_EQ(TempFolder::Read(tmp / "secret"), "via link");
    ASSERT_EQ(lstat((tmp / "sub/link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    unlink((tmp / "sub/link").c_str());

    // No temporary file is left behind.
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(tmp / "sub")) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

// The one reader of whole files: only regular files, bounded, never a throw
// or a wait, whatever stands at the path.
TEST(Files, ReadRegularFile) {
    TempFolder tmp;
    std::string bytes("a\0b\xff\xfe", 5);
    TempFolder::Write(tmp / "data.bin", bytes);
    std::string out = "stale";
    EXPECT_EQ(ReadRegularFile(tmp / "data.bin", out), eNoErr);
    EXPECT_EQ(out, bytes);
    TempFolder::Write(tmp / "empty", "");
    EXPECT_EQ(ReadRegularFile(tmp / "empty", out), eNoErr);
    EXPECT_TRUE(out.empty());

    // At the limit it reads; one byte over, it refuses.
    EXPECT_EQ(ReadRegularFile(tmp / "data.bin", out, 5), eNoErr);
    EXPECT_EQ(ReadRegularFile(tmp / "data.bin", out, 4), eFMFileSizeTooBig);
    EXPECT_TRUE(out.empty());

    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(tmp / "folder");
    std::filesystem::create_symlink(tmp / "data.bin", tmp / "link");
    const struct {
        std::string path;
        KTErr expected;
    } cases[] = {
        {tmp / "missing", eFMFileNotFound},
        {tmp / "folder", eFMIsAFolder},
        {tmp / "fifo", eFMIsNotAFile},
        {"/dev/null", eFMIsNotAFile},
        {"", eFMFileNotFound},
    };
    for (const auto& c : cases) {
        out = "stale";
        EXPECT_EQ(ReadRegularFile(c.path, out), c.expected) << c.path;
        EXPECT_TRUE(out.empty()) << c.path;
    }
    // A link to a file reads the file.
    EXPECT_EQ(ReadRegularFile(tmp / "link", out), eNoErr);
    EXPECT_EQ(out, bytes);
    // A file whose reported size is 0 but that has content (as in /proc)
    // is read to its end, within the limit.
    EXPECT_EQ(ReadRegularFile("/proc/self/status", out), eNoErr);
    EXPECT_NE(out.find("Name:"), std::string::npos);
    EXPECT_EQ(ReadRegularFile("/proc/self/status", out, 8), eFMFileSizeTooBig);
}
