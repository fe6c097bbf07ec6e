#include "TempFolder.h"
#include "foundation/KCStPath.h"
#include "foundation/kvFMFolders.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace kvFM;

TEST(Paths, TextsAreNormalisedOrRefused) {
    struct {
        const char* text;
        KTErr err;
        const char* stored;
    } cases[] = {
        {"/", 0, "/"},
        {"/usr/lib", 0, "/usr/lib"},
        {"/usr/lib/", 0, "/usr/lib"},
        {"\\usr\\lib\\..\\share", 0, "/usr/share"},
        {"/a//b/./c/../d", 0, "/a/b/d"},
        {"/../a", 0, "/../a"},
        {"relative/x", eFMIncompletePath, ""},
        {"", eFMPathTooShort, ""},
        {"/a/b|c", eFMTranslateFileNameFailed, ""},
        {"/a/b\x01", eFMTranslateFileNameFailed, ""},
        {"/a/\"q\"", eFMTranslateFileNameFailed, ""},
        {"/a/x:y. ", 0, "/a/x:y. "},
    };
    for (const auto& c : cases) {
        KTPathType* ref = reinterpret_cast<KTPathType*>(1);
        EXPECT_EQ(CreatePathRefFromString(c.text, ref), c.err) << c.text;
        EXPECT_STREQ(GetPathAsString(ref), c.stored) << c.text;
        EXPECT_EQ(IsValid(ref), c.err == eNoErr) << c.text;
        DisposePathRef(ref);
        EXPECT_EQ(ref, nullptr);
    }
    KTPathType* ref = nullptr;
    EXPECT_EQ(CreatePathRefFromString(nullptr, ref), eMemNullPointer);
}

TEST(Paths, TooLongTextsFailInsteadOfBeingCut) {
    const std::string longText = "/" + std::string(PATH_MAX + 10, 'a');
    KTPathType* ref = nullptr;
    EXPECT_EQ(CreatePathRefFromString(longText.c_str(), ref), eFMPathTooLong);
    EXPECT_EQ(ref, nullptr);

    KTPathString out;
    const std::string fits1100 = "/" + std::string(1100, 'b');
    EXPECT_EQ(NormalizePathString(fits1100.c_str(), out), eFMPathTooLong);

    // A path over 1,023 characters is still a path; only the returned
    // KTPathString copies are cut.
    std::string deep = "/x";
    while (deep.size() < 1500)
        deep += "/component";
    KCStPath p(deep);
    ASSERT_TRUE(p.IsValid());
    EXPECT_EQ(p.GetPathString(), deep);
    EXPECT_EQ(std::strlen(GetNativePathAsString(p.GetPathRef(), out)), 1023u);

    // Appending past the system's limit fails and leaves no reference.
    KCStPath q("/base");
    q.Append(std::string(PATH_MAX, 'c'));
    EXPECT_EQ(q.GetError(), eFMPathTooLong);
    EXPECT_FALSE(q.IsValid());
}

TEST(Paths, LeafBaseExtension) {
    KCStPath p("/a/b.tar.gz");
    EXPECT_EQ(p.GetLeaf(), "b.tar.gz");
    EXPECT_EQ(p.GetBase(), "b.tar");
    EXPECT_EQ(p.GetExtension(), "gz");
    EXPECT_EQ(p.GetPosixPathString(), "/a/b.tar.gz");
    KCStPath noExt("/a/README");
    EXPECT_EQ(noExt.GetBase(), "README");
    EXPECT_EQ(noExt.GetExtension(), "");
    KTPathString s;
    EXPECT_STREQ(GetLeaf(nullptr, s), "");
}

TEST(Paths, RelativeDifference) {
    struct {
        const char* from;
        const char* to;
        const char* rel;
    } cases[] = {
        {"/a/b", "/a/c/d", "../c/d"},
        {"/a", "/a/c", "c"},
        {"/a/b/x", "/a/c", "../../c"},
        {"/a/b", "/a/b", ""},
        {"/a/b", "/a", ".."},            // `to` above `from`
        {"/a/b/c", "/a/bx", "../../bx"}, // the difference right after a separator
        {"/a/bc", "/a/b", "../b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KCStPath(c.from).GetRelativeDifference(KCStPath(c.to)), c.rel)
            << c.from << " -> " << c.to;
    KTPathString out;
    KCStPath a("/a");
    EXPECT_EQ(GetRelativeDifference(a.GetPathRef(), nullptr, out), eMemNullPointer);
}

TEST(Paths, ObjectStateAndAssignment) {
    KCStPath empty;
    EXPECT_FALSE(empty.IsValid());
    EXPECT_EQ(empty.GetError(), eFMIllegalPathRef);
    EXPECT_EQ(KCStPath(std::string()).GetError(), eFMIllegalPathRef);

    KCStPath rel("some/where");
    EXPECT_FALSE(rel.IsValid());
    EXPECT_EQ(rel.GetError(), eFMIncompletePath);

    KCStPath a("/x/y");
    KCStPath b("/x/y");
    KTPathType* before = b.GetPathRef();
    b.SetError(-77);
    b = a; // same path: nothing changes, not even the error
    EXPECT_EQ(b.GetPathRef(), before);
    EXPECT_EQ(b.GetError(), -77);
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a.GetPathRef() == b);

    KCStPath c("/other");
    c = a;
    EXPECT_EQ(c.GetPathString(), "/x/y");
    EXPECT_NE(c.GetPathRef(), a.GetPathRef());
    EXPECT_TRUE(c.IsValid());

    c = empty; // a source without a reference clears the target
    EXPECT_FALSE(c.IsValid());
    EXPECT_EQ(c.GetError(), eFMIllegalPathRef);

    KCStPath d(a, "z/w");
    EXPECT_EQ(d.GetPathString(), "/x/y/z/w");
    KCStPath e(empty, "z");
    EXPECT_EQ(e.GetError(), eFMIllegalPathRef);

    a.Append("../q");
    EXPECT_EQ(a.GetPathString(), "/x/q");
    a.Append("bad|name");
    EXPECT_FALSE(a.IsValid());
    EXPECT_EQ(a.GetPathRef(), nullptr);

    KTPathType* copy = d.CreatePathRefCopy();
    KCStPath f;
    f.TakeOver(copy);
    EXPECT_TRUE(f.IsValid());
    EXPECT_EQ(f, d);
}

TEST(Paths, AbsoluteOrRelativeUsesTheCurrentFolder) {
    TempFolder tmp;
    char old[PATH_MAX];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(tmp.path.c_str()), 0);
    KCStPathAbsoluteOrRelative rel("sub/../file.txt");
    KCStPathAbsoluteOrRelative abs("/etc/hosts");
    ASSERT_EQ(chdir(old), 0);
    char real[PATH_MAX];
    ASSERT_NE(realpath(tmp.path.c_str(), real), nullptr);
    EXPECT_TRUE(rel.IsValid());
    EXPECT_EQ(rel.GetPathString(), std::string(real) + "/file.txt");
    EXPECT_EQ(abs.GetPathString(), "/etc/hosts");
    EXPECT_EQ(KCStPathAbsoluteOrRelative("").GetError(), eFMIllegalPathRef);
}

TEST(Paths, QueriesOnDisk) {
    TempFolder tmp;
    TempFolder::Write(tmp / "f.txt", "12345");
    mkdir((tmp / "d").c_str(), 0755);
    KCStPath file(tmp / "f.txt"), folder(tmp / "d"), missing(tmp / "nope");

    EXPECT_TRUE(file.IsFile());
    EXPECT_FALSE(file.IsFolder());
    EXPECT_TRUE(folder.IsFolder());
    EXPECT_FALSE(folder.IsFile());
    EXPECT_TRUE(file.IsExist());
    EXPECT_FALSE(missing.IsExist());
    EXPECT_FALSE(DoesFileExist(nullptr));
    EXPECT_EQ(file.GetFileSize(), 5u);
    EXPECT_EQ(file.GetError(), eNoErr);
    EXPECT_EQ(folder.GetFileSize(), 0u);
    EXPECT_EQ(folder.GetError(), eFMIsNotAFile);
    EXPECT_GT(file.GetFileLastWriteTime(), 1600000000);
    int64_t t = 5;
    EXPECT_EQ(GetFileLastWriteTimeFromPathRef(missing.GetPathRef(), t), eFMFileNotFound);
    EXPECT_EQ(t, 0);

    EXPECT_TRUE(IsSameFile(file.GetPathRef(), KCStPath(tmp / "d/../f.txt").GetPathRef()));
    EXPECT_FALSE(IsSameFile(file.GetPathRef(), missing.GetPathRef()));

    bool locked = true;
    EXPECT_EQ(IsLocked(file.GetPathRef(), locked), eNoErr);
    EXPECT_FALSE(locked);
    chmod((tmp / "f.txt").c_str(), 0444);
    EXPECT_TRUE(file.IsLocked());
    EXPECT_EQ(IsLocked(missing.GetPathRef(), locked), eFMFileNotFound);
    EXPECT_EQ(IsLocked(nullptr, locked), eMemNullPointer);
    if (geteuid() != 0) {
        EXPECT_FALSE(file.IsWritable());
    }
    chmod((tmp / "f.txt").c_str(), 0644);
    EXPECT_TRUE(file.IsWritable());
}

TEST(Paths, CachePathMirrorsTheFileBelowTheCacheFolder) {
    TempFolder tmp;
    ScopedEnv config("XDG_CONFIG_HOME", tmp / "config");
    KCStCachePath cache(KCStPath("/dir/f.xml"));
    EXPECT_TRUE(cache.IsValid());
    EXPECT_EQ(cache.GetPathString(), tmp / "config/Quorl Audio/Caches/dir/f.xml");
    KTPathType* bad = nullptr;
    EXPECT_EQ(CreatePathRefToCacheFile(nullptr, bad), eFMIllegalPathRef);
}
