#include "TempFolder.h"
#include "foundation/KCStFile.h"
#include "foundation/kvFMFolders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

using namespace kvFM;

TEST(Folders, CreateDeleteMoveDuplicate) {
    TempFolder tmp;
    KCStPath deep(tmp / "a/b/c");
    EXPECT_EQ(CreateFolder(deep), eNoErr);
    EXPECT_TRUE(deep.IsFolder());
    EXPECT_EQ(CreateFolder(deep), eNoErr); // exists: fine
    TempFolder::Write(tmp / "file", "data");
    KCStPath file(tmp / "file");
    EXPECT_EQ(CreateFolder(file), eFMIsNotAFolder);
    EXPECT_EQ(CreateFolder(KCStPath(tmp / "file/below")), eFMIsNotAFolder);
    EXPECT_EQ(CreateFolder(static_cast<KTPathType*>(nullptr)), eMemNullPointer);

    // Deleting: files and empty folders only.
    EXPECT_EQ(DeleteFileSystemObject(KCStPath(tmp / "a")), eFMFileNotEmpty);
    EXPECT_EQ(DeleteFileSystemObject(deep), eNoErr);
    EXPECT_FALSE(deep.IsExist());
    EXPECT_EQ(DeleteFileSystemObject(deep), eFMDeleteFailed);

    // Moving checks its arguments in order.
    KCStPath moved(tmp / "a/moved");
    EXPECT_EQ(MoveFileSystemObject(KCStPath(tmp / "nothing"), moved), eFMFileNotFound);
    EXPECT_EQ(MoveFileSystemObject(file, KCStPath(tmp / "a")), eFMFileAllreadyExists);
    EXPECT_EQ(MoveFileSystemObject(file, KCStPath()), eFMIllegalPathRef);
    EXPECT_EQ(MoveFileSystemObject(file, moved), eNoErr);
    EXPECT_FALSE(file.IsExist());
    EXPECT_EQ(TempFolder::Read(moved.GetPathString()), "data");

    // Duplicating.
    KCStPath copy(tmp / "copy");
    EXPECT_EQ(DuplicateFile(moved, copy), eNoErr);
    EXPECT_EQ(TempFolder::Read(copy.GetPathString()), "data");
    EXPECT_EQ(DuplicateFile(moved, copy), eFMFileAllreadyExists);
    EXPECT_EQ(DuplicateFile(moved, moved), eFMSamePath);
    EXPECT_EQ(DuplicateFile(KCStPath(tmp / "a"), KCStPath(tmp / "x")), eFMIsNotAFile);
    EXPECT_EQ(DuplicateFile(KCStPath(tmp / "none"), KCStPath(tmp / "x")), eFMFileNotFound);
    EXPECT_EQ(DuplicateFile(moved, KCStPath(tmp / "no/such/folder/x")), eFMFileNotFound);
}

TEST(Folders, IterationDeliversEveryEntryOnce) {
    TempFolder tmp;
    TempFolder::Write(tmp / "one", "");
    TempFolder::Write(tmp / "two", "");
    mkdir((tmp / "sub").c_str(), 0755);

    std::vector<std::string> seen;
    {
        KCStFolderIterator it((KCStPath(tmp.path)));
        EXPECT_TRUE(it.IsValid());
        KCStPath item;
        while (it.GetNextFolderItem(item))
            seen.push_back(item.GetLeaf());
        EXPECT_EQ(it.GetError(), eFMEndOfFolder);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "sub", "two"}));

    std::vector<KCStPath> files{KCStPath("/kept")};
    EXPECT_EQ(
        KCStFolderIterator::GetFilePathVectorFromFolder(KCStPath(tmp.path), gOnlyFiles, files),
        eNoErr);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].GetPathString(), "/kept");
    for (size_t i = 1; i < files.size(); ++i)
        EXPECT_TRUE(files[i].IsFile());
    std::vector<KCStPath> all;
    EXPECT_EQ(
        KCStFolderIterator::GetFilePathVectorFromFolder(KCStPath(tmp.path), EveryThing(), all),
        eNoErr);
    EXPECT_EQ(all.size(), 3u);
}

TEST(Folders, EmptyMissingAndUnreadableFolders) {
    TempFolder tmp;
    mkdir((tmp / "empty").c_str(), 0755);
    void* it = reinterpret_cast<void*>(1);
    KTPathType* item = nullptr;
    EXPECT_EQ(FindFirstFolderItem(KCStPath(tmp / "empty").GetPathRef(), it, item), eFMEndOfFolder);
    EXPECT_EQ(it, nullptr);
    EXPECT_EQ(FindFirstFolderItem(KCStPath(tmp / "missing").GetPathRef(), it, item),
              eFMIsNotAFolder);

    KCStFolderIterator empty((KCStPath(tmp / "empty")));
    EXPECT_FALSE(empty.IsValid());
    KCStPath out;
    EXPECT_FALSE(empty.GetNextFolderItem(out));

    std::vector<KCStPath> list;
    EXPECT_EQ(
        KCStFolderIterator::GetFilePathVectorFromFolder(KCStPath(tmp / "empty"), gOnlyFiles, list),
        eNoErr);
    EXPECT_EQ(KCStFolderIterator::GetFilePathVectorFromFolder(KCStPath(tmp / "missing"), gOnlyFiles,
                                                              list),
              eNoErr);
    EXPECT_TRUE(list.empty());

    // Ending an iteration early frees it.
    ASSERT_EQ(FindFirstFolderItem(KCStPath(tmp.path).GetPathRef(), it, item), eNoErr);
    DisposePathRef(item);
    EXPECT_EQ(DisposeFolderIterator(it), eNoErr);
    EXPECT_EQ(it, nullptr);

    // A folder that cannot be read is reported, not passed off as empty.
    chmod(tmp.path.c_str(), 0755);
    mkdir((tmp / "locked").c_str(), 0755);
    TempFolder::Write(tmp / "locked/f", "");
    chmod((tmp / "locked").c_str(), 0);
    const std::string locked = tmp / "locked";
    const int outcome = RunWithoutPrivileges(tmp.path, [&] {
        std::vector<KCStPath> items;
        return KCStFolderIterator::GetFilePathVectorFromFolder(KCStPath(locked), gOnlyFiles,
                                                               items) == eFMPermissionErr &&
               items.empty();
    });
    chmod((tmp / "locked").c_str(), 0755);
    if (outcome == 3)
        GTEST_SKIP() << "the temporary folder is closed to other users";
    EXPECT_EQ(outcome, 0);
}

TEST(Shortcuts, SymbolicLinksResolveAndReplace) {
    TempFolder tmp;
    TempFolder::Write(tmp / "target.txt", "t");
    TempFolder::Write(tmp / "other.txt", "o");
    KCStPath target(tmp / "target.txt"), other(tmp / "other.txt"), link(tmp / "links/to.txt");

    KTPathType* linkRef = link.CreatePathRefCopy();
    ASSERT_EQ(CreateFileSystemLink(target.GetPathRef(), eCreateAlways, linkRef), eNoErr);
    EXPECT_TRUE(IsWinShortcut(linkRef));
    EXPECT_TRUE(link.IsFileSystemLink());
    EXPECT_FALSE(target.IsFileSystemLink());

    KCStPath resolved(link);
    resolved.ResolveFileSystemLink();
    EXPECT_EQ(resolved.GetError(), eNoErr);
    EXPECT_EQ(resolved, target);

    // Replacing an existing link; a plain file is never overwritten.
    ASSERT_EQ(CreateFileSystemLink(other.GetPathRef(), eCreateAlways, linkRef), eNoErr);
    KTPathType* dest = nullptr;
    EXPECT_EQ(ResolveFileSystemLink(linkRef, dest), eNoErr);
    EXPECT_STREQ(GetPathAsString(dest), other.GetPathString().c_str());
    DisposePathRef(dest);
    KTPathType* onFile = other.CreatePathRefCopy();
    EXPECT_EQ(CreateFileSystemLink(target.GetPathRef(), eCreateAlways, onFile),
              eFMFileAllreadyExists);
    EXPECT_EQ(TempFolder::Read(other.GetPathString()), "o");
    DisposePathRef(onFile);

    // Relative link texts are read from the link's folder.
    ASSERT_EQ(symlink("../target.txt", (tmp / "links/rel").c_str()), 0);
    KCStPath rel(tmp / "links/rel");
    rel.ResolveFileSystemLink();
    EXPECT_EQ(rel, target);

    // A broken link is no shortcut; a plain path is left as it is.
    ASSERT_EQ(symlink((tmp / "gone").c_str(), (tmp / "broken").c_str()), 0);
    KTPathType* broken = KCStPath(tmp / "broken").CreatePathRefCopy();
    EXPECT_FALSE(IsWinShortcut(broken));
    EXPECT_EQ(ResolveWinShortcut(broken, dest), eFMSymlinkBroken);
    EXPECT_EQ(ResolveFileSystemLink(broken, dest), eFMIsNoAFileSystemLink);
    DisposePathRef(broken);
    KCStPath plain(target);
    plain.ResolveFileSystemLink();
    EXPECT_EQ(plain, target);
    EXPECT_EQ(ResolveWinShortcut(KCStPath(tmp / "none").GetPathRef(), dest), eFMFileNotFound);
    DisposePathRef(linkRef);
}

TEST(SystemFolders, FollowTheXdgFolders) {
    TempFolder tmp;
    ScopedEnv home("HOME", tmp / "home");
    ScopedEnv config("XDG_CONFIG_HOME", tmp / "cfg");
    ScopedEnv temp("TMPDIR", tmp / "tmp");
    struct {
        KEFoldersDomain domain;
        KESystemFolders kind;
        std::string text; // empty: eFMNoSuchSystemFolder
    } cases[] = {
        {eUserDomain, eAppDataFolder, tmp / "cfg"},
        {eUserDomain, ePreferencesFolder, tmp / "cfg"},
        {eUserDomain, eQuorlPreferencesFolder, tmp / "cfg/Quorl Audio/Preferences"},
        {eUserDomain, eQuorlCacheFolder, tmp / "cfg/Quorl Audio/Caches"},
        {eUserDomain, eQuorlAppDataFolder, tmp / "cfg/Quorl Audio"},
        {eUserDomain, eTemporaryFolder, tmp / "tmp"},
        {eSystemDomain, eTemporaryFolder, tmp / "tmp"},
        {eUserDomain, eRootFolder, "/"},
        {eUserDomain, eDesktopFolder, tmp / "home/Desktop"},
        {eSystemDomain, eDesktopFolder, ""},
        {eUserDomain, eTrashFolder, ""},
        {eLocalDomain, eLibrariesFolder, ""},
        {eUserDomain, eAudioComponentsFolder, ""},
        {eSystemDomain, eAppDataFolder, ""},
        {static_cast<KEFoldersDomain>(9), eTemporaryFolder, ""},
        {eUserDomain, static_cast<KESystemFolders>(14), ""},
    };
    for (const auto& c : cases) {
        KCStPath p(c.domain, c.kind);
        const std::string label =
            std::string(KEFoldersDomainName(c.domain)) + " " + KESystemFoldersName(c.kind);
        if (c.text.empty()) {
            EXPECT_EQ(p.GetError(), eFMNoSuchSystemFolder) << label;
        } else {
            EXPECT_EQ(p.GetError(), eNoErr) << label;
            EXPECT_EQ(p.GetPathString(), c.text) << label;
        }
    }
    // The base application-data folder is made; the maker's folders are not.
    EXPECT_TRUE(KCStPath(tmp / "cfg").IsFolder());
    EXPECT_FALSE(KCStPath(tmp / "cfg/Quorl Audio").IsExist());
    EXPECT_STREQ(KEFoldersDomainName(static_cast<KEFoldersDomain>(5)), "Unknown Folder Domain");
    EXPECT_STREQ(KESystemFoldersName(static_cast<KESystemFolders>(-1)), "Unknown System Folder");

    // Without XDG_CONFIG_HOME the folder is ~/.config.
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(KCStPath(eUserDomain, eAppDataFolder).GetPathString(), tmp / "home/.config");
}
