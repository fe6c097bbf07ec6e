#include "registry/KVRegistry.h"
#include "testsupport/ScopedEnv.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Every test gets its own registry folder.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kvregXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        dir = root + "/reg";
        setenv("QUORL_REGISTRY_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("QUORL_REGISTRY_DIR");
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    static std::string Read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string root;
    std::string dir;
};

} // namespace

TEST_F(Registry, ValuesSurviveInTheHiveFile) {
    KVHKEY key = nullptr;
    bool created = false;
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_CURRENT_USER, "Software\\Quorl Audio\\DulmDSP\\General", &key,
                             &created),
              KV_REG_SUCCESS);
    EXPECT_TRUE(created);
    EXPECT_EQ(KVRegSetDWORD(key, "PopType", 2), KV_REG_SUCCESS);
    EXPECT_EQ(KVRegSetString(key, "PopFilename", "C:\\pop files\\reset.pop"), KV_REG_SUCCESS);
    const unsigned char blob[] = {0, 1, 2, 0xFF, '<', '&'};
    EXPECT_EQ(KVRegSetValue(key, "Blob", KV_REG_BINARY, blob, sizeof blob), KV_REG_SUCCESS);
    EXPECT_EQ(KVRegCloseKey(key), KV_REG_SUCCESS);

    const std::string file = dir + "/HKEY_CURRENT_USER.xml";
    EXPECT_EQ(KVRegistryHiveFile(KV_HKEY_CURRENT_USER), file);
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(Read(file).find("<Value name=\"PopType\" type=\"4\">2</Value>"), std::string::npos);
    // Nothing but the hive and its lock file is left in the folder.
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "HKEY_CURRENT_USER.xml" || name == "HKEY_CURRENT_USER.lock") << name;
    }

    // Opened afresh (names in any case), everything reads back from the file.
    ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "SOFTWARE\\quorl audio\\DulmDSP\\general", &key),
              KV_REG_SUCCESS);
    uint32_t n = 0;
    EXPECT_EQ(KVRegQueryDWORD(key, "poptype", n), KV_REG_SUCCESS);
    EXPECT_EQ(n, 2u);
    std::string text;
    EXPECT_EQ(KVRegQueryString(key, "PopFilename", text), KV_REG_SUCCESS);
    EXPECT_EQ(text, "C:\\pop files\\reset.pop");
    unsigned char back[16];
    uint32_t size = sizeof back, type = 0;
    EXPECT_EQ(KVRegQueryValue(key, "Blob", &type, back, &size), KV_REG_SUCCESS);
    EXPECT_EQ(type, KV_REG_BINARY);
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(std::memcmp(back, blob, size), 0);
    KVRegCloseKey(key);

    // The other hive is a file of its own.
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorl", &key), KV_REG_SUCCESS);
    EXPECT_EQ(KVRegSetString(key, "Location", "/opt/plugins"), KV_REG_SUCCESS);
    KVRegCloseKey(key);
    EXPECT_TRUE(fs::exists(dir + "/HKEY_LOCAL_MACHINE.xml"));
    EXPECT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "SOFTWARE\\Quorl", &key), KV_REG_FILE_NOT_FOUND);
}

TEST_F(Registry, MissingKeysAndValuesAndSmallBuffers) {
    KVHKEY key = reinterpret_cast<KVHKEY>(1);
    EXPECT_EQ(KVRegOpenKey(KV_HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorl", &key), KV_REG_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorl", &key), KV_REG_SUCCESS);
    uint32_t size = 0;
    EXPECT_EQ(KVRegQueryValue(key, "Location", nullptr, nullptr, &size), KV_REG_FILE_NOT_FOUND);

    ASSERT_EQ(KVRegSetString(key, "Location", "/a/longer/folder"), KV_REG_SUCCESS);
    EXPECT_EQ(KVRegQueryValue(key, "Location", nullptr, nullptr, &size), KV_REG_SUCCESS);
    EXPECT_EQ(size, 17u); // the text and its NUL
    char small[4];
    size = sizeof small;
    EXPECT_EQ(KVRegQueryValue(key, "Location", nullptr, small, &size), KV_REG_MORE_DATA);
    EXPECT_EQ(size, 17u);

    // A value of another kind is not read as this kind.
    uint32_t n = 77;
    EXPECT_EQ(KVRegQueryDWORD(key, "Location", n), KV_REG_INVALID_PARAMETER);
    EXPECT_EQ(n, 77u);
    std::string text = "kept";
    EXPECT_EQ(KVRegQueryString(key, "Missing", text), KV_REG_FILE_NOT_FOUND);
    EXPECT_EQ(text, "kept");

    EXPECT_EQ(KVRegDeleteValue(key, "location"), KV_REG_SUCCESS);
    EXPECT_EQ(KVRegDeleteValue(key, "Location"), KV_REG_FILE_NOT_FOUND);
    KVRegCloseKey(key);
    EXPECT_EQ(KVRegCloseKey(key), KV_REG_INVALID_HANDLE);
    EXPECT_EQ(KVRegQueryValue(key, "x", nullptr, nullptr, &size), KV_REG_INVALID_HANDLE);
}

TEST_F(Registry, TextsOfEveryKindRoundTrip) {
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_CURRENT_USER, "T", &key), KV_REG_SUCCESS);
    const std::string texts[] = {
        std::string("plain"),
        std::string("  spaces at both ends  "),
        std::string("line\r\nbreaks\tand tab"),
        std::string("quotes \" ' & <tags>"),
        std::string("caf\xc3\xa9"),
        std::string("not utf8 \xff\xfe"),
        std::string("bell\x07"),
        std::string(""),
    };
    for (size_t i = 0; i < std::size(texts); ++i)
        ASSERT_EQ(KVRegSetString(key, ("v" + std::to_string(i)).c_str(), texts[i]), KV_REG_SUCCESS);
    // A text stored without its NUL, and one with a NUL inside, keep their bytes.
    ASSERT_EQ(KVRegSetValue(key, "raw", KV_REG_SZ, "ab", 2), KV_REG_SUCCESS);
    ASSERT_EQ(KVRegSetValue(key, "inner", KV_REG_SZ, "a\0b", 4), KV_REG_SUCCESS);
    ASSERT_EQ(KVRegSetValue(key, "", KV_REG_DWORD, "\x01\x02\x03\x04", 4), KV_REG_SUCCESS);
    KVRegCloseKey(key);

    ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "T", &key), KV_REG_SUCCESS);
    for (size_t i = 0; i < std::size(texts); ++i) {
        std::string back;
        EXPECT_EQ(KVRegQueryString(key, ("v" + std::to_string(i)).c_str(), back), KV_REG_SUCCESS);
        EXPECT_EQ(back, texts[i]) << i;
    }
    char buf[8];
    uint32_t size = sizeof buf;
    EXPECT_EQ(KVRegQueryValue(key, "raw", nullptr, buf, &size), KV_REG_SUCCESS);
    EXPECT_EQ(size, 2u);
    size = sizeof buf;
    EXPECT_EQ(KVRegQueryValue(key, "inner", nullptr, buf, &size), KV_REG_SUCCESS);
    EXPECT_EQ(std::string(buf, size), std::string("a\0b", 4));
    uint32_t n = 0;
    EXPECT_EQ(KVRegQueryDWORD(key, nullptr, n), KV_REG_SUCCESS);
    EXPECT_EQ(n, 0x04030201u);
    KVRegCloseKey(key);
}

TEST_F(Registry, EnumerateAndDelete) {
    KVHKEY base = nullptr, key = nullptr;
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_LOCAL_MACHINE, "software\\asio", &base), KV_REG_SUCCESS);
    for (const char* name : {"Zeta", "alpha", "Mid"}) {
        ASSERT_EQ(KVRegCreateKey(base, name, &key), KV_REG_SUCCESS);
        KVRegCloseKey(key);
    }
    bool created = true;
    ASSERT_EQ(KVRegCreateKey(base, "ALPHA", &key, &created), KV_REG_SUCCESS);
    EXPECT_FALSE(created);
    KVRegSetString(key, "second", "2");
    KVRegSetString(key, "first", "1");
    KVRegSetString(key, "second", "two"); // keeps its place

    std::vector<std::string> names;
    char name[64];
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof name;
        const long rc = KVRegEnumKey(base, i, name, &size);
        if (rc == KV_REG_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(rc, KV_REG_SUCCESS);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Mid", "Zeta"}));
    uint32_t tiny = 3;
    EXPECT_EQ(KVRegEnumKey(base, 0, name, &tiny), KV_REG_MORE_DATA);
    EXPECT_EQ(tiny, 5u);

    uint32_t nameSize = sizeof name, type = 0, dataSize = 0;
    EXPECT_EQ(KVRegEnumValue(key, 0, name, &nameSize, &type, nullptr, &dataSize), KV_REG_SUCCESS);
    EXPECT_STREQ(name, "second");
    EXPECT_EQ(dataSize, 4u);
    nameSize = sizeof name;
    EXPECT_EQ(KVRegEnumValue(key, 2, name, &nameSize, &type, nullptr, &dataSize),
              KV_REG_NO_MORE_ITEMS);

    // A key with subkeys stays; a deleted key's open handle reports it.
    EXPECT_EQ(KVRegDeleteKey(KV_HKEY_LOCAL_MACHINE, "software\\asio"), KV_REG_ACCESS_DENIED);
    EXPECT_EQ(KVRegDeleteKey(base, "alpha"), KV_REG_SUCCESS);
    EXPECT_EQ(KVRegDeleteKey(base, "alpha"), KV_REG_FILE_NOT_FOUND);
    std::string text;
    EXPECT_EQ(KVRegQueryString(key, "first", text), KV_REG_KEY_DELETED);
    EXPECT_EQ(KVRegSetString(key, "first", "x"), KV_REG_KEY_DELETED);
    EXPECT_EQ(KVRegDeleteKey(KV_HKEY_LOCAL_MACHINE, ""), KV_REG_INVALID_PARAMETER);
    KVRegCloseKey(key);
    KVRegCloseKey(base);
}

TEST_F(Registry, DamagedHiveIsReportedAndKeptAside) {
    fs::create_directories(dir);
    const std::string file = dir + "/HKEY_CURRENT_USER.xml";
    std::ofstream(file) << "<Registry><Key name=\"A\">"; // cut off
    KVHKEY key = nullptr;
    EXPECT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "A", &key), KV_REG_BADDB);
    // A change starts a new hive and keeps the damaged file for the user.
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_CURRENT_USER, "B", &key), KV_REG_SUCCESS);
    EXPECT_EQ(KVRegSetDWORD(key, "n", 1), KV_REG_SUCCESS);
    KVRegCloseKey(key);
    EXPECT_EQ(Read(file + ".bad"), "<Registry><Key name=\"A\">");
    EXPECT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "B", &key), KV_REG_SUCCESS);
    KVRegCloseKey(key);
}

TEST_F(Registry, WritersDoNotLoseEachOthersValues) {
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_CURRENT_USER, "Shared", &key), KV_REG_SUCCESS);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([key, t] {
            for (int i = 0; i < 10; ++i)
                KVRegSetDWORD(key, ("t" + std::to_string(t) + "_" + std::to_string(i)).c_str(),
                              static_cast<uint32_t>(i));
        });
    for (auto& w : writers)
        w.join();
    int count = 0;
    char name[32];
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof name;
        if (KVRegEnumValue(key, i, name, &size, nullptr, nullptr, nullptr) != KV_REG_SUCCESS)
            break;
        ++count;
    }
    EXPECT_EQ(count, 40);
    KVRegCloseKey(key);
}

TEST_F(Registry, FolderFollowsTheEnvironment) {
    EXPECT_EQ(KVRegistryFolder(), dir);
    unsetenv("QUORL_REGISTRY_DIR");
    const std::string config = root + "/config";
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
        EXPECT_EQ(KVRegistryFolder(), config + "/Quorl Audio/Registry");
        KVHKEY key = nullptr;
        ASSERT_EQ(KVRegCreateKey(KV_HKEY_CURRENT_USER, "X", &key), KV_REG_SUCCESS);
        KVRegCloseKey(key);
        EXPECT_TRUE(fs::exists(config + "/Quorl Audio/Registry/HKEY_CURRENT_USER.xml"));
        struct stat st;
        ASSERT_EQ(stat((config + "/Quorl Audio/Registry").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    // Without XDG_CONFIG_HOME the application-data folder is ~/.config.
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", (root + "/home").c_str());
    EXPECT_EQ(KVRegistryFolder(), root + "/home/.config/Quorl Audio/Registry");
}

TEST_F(Registry, AnotherProcessSeesTheValues) {
    // One process writes and ends; a later one (here: this one) reads.
    const pid_t pid = fork();
    if (pid == 0) {
        KVHKEY key = nullptr;
        const bool ok =
            KVRegCreateKey(KV_HKEY_CURRENT_USER, "Software\\Quorl Audio", &key) == KV_REG_SUCCESS &&
            KVRegSetDWORD(key, "MaxBands", 6) == KV_REG_SUCCESS;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "Software\\Quorl Audio", &key), KV_REG_SUCCESS);
    uint32_t bands = 0;
    EXPECT_EQ(KVRegQueryDWORD(key, "MaxBands", bands), KV_REG_SUCCESS);
    EXPECT_EQ(bands, 6u);
    KVRegCloseKey(key);
}

namespace {

// Runs `fn` in a child process without root's rights (as "nobody" when the
// tests run as root), so that permissions apply; answers 0 when fn
// answered true, 1 when false (3 when it cannot reach its folder).
template <typename Fn>
int RunWithoutPrivileges(Fn fn) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(30);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        _exit(fn() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 4;
}

} // namespace

TEST_F(Registry, AFailedWriteKeepsTheHiveWhole) {
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_CURRENT_USER, "Software\\Quorl", &key), KV_REG_SUCCESS);
    ASSERT_EQ(KVRegSetString(key, "Location", "/opt/plugins"), KV_REG_SUCCESS);
    const std::string file = dir + "/HKEY_CURRENT_USER.xml";
    const std::string before = Read(file);
    {
        // Files may grow no further than this: the write fails part way, as
        // on a full disk.
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        auto* previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = before.size() + 8;
        setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_EQ(KVRegSetString(key, "Big", std::string(4096, 'x')), KV_REG_WRITE_FAULT);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
    EXPECT_EQ(Read(file), before);
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "HKEY_CURRENT_USER.xml" || name == "HKEY_CURRENT_USER.lock") << name;
    }
    std::string text;
    EXPECT_EQ(KVRegQueryString(key, "Location", text), KV_REG_SUCCESS);
    EXPECT_EQ(text, "/opt/plugins");
    EXPECT_EQ(KVRegQueryString(key, "Big", text), KV_REG_FILE_NOT_FOUND);
    KVRegCloseKey(key);
}

TEST_F(Registry, TheHiveStaysPrivateWhateverItsModeWas) {
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_CURRENT_USER, "K", &key), KV_REG_SUCCESS);
    const std::string file = dir + "/HKEY_CURRENT_USER.xml";
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    EXPECT_EQ(KVRegSetDWORD(key, "n", 1), KV_REG_SUCCESS);
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    KVRegCloseKey(key);
}

// A hive that cannot be read is reported; a change must not replace it by
// a hive holding only the new value.
TEST_F(Registry, AnUnreadableHiveIsNeverReplaced) {
    fs::create_directories(dir);
    const std::string file = dir + "/HKEY_CURRENT_USER.xml";
    const std::string content =
        "<Registry><Key name=\"K\"><Value name=\"keep\" type=\"4\">7</Value></Key></Registry>\n";
    std::ofstream(file) << content;
    // Others may write in the folder but not read the hive.
    ASSERT_EQ(chmod(root.c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    ASSERT_EQ(chmod(file.c_str(), 0622), 0);
    const std::string folder = dir;
    const int outcome = RunWithoutPrivileges([&folder] {
        if (access(folder.c_str(), W_OK | X_OK) != 0)
            _exit(3);
        KVHKEY key = nullptr;
        return KVRegCreateKey(KV_HKEY_CURRENT_USER, "K", &key) != KV_REG_SUCCESS &&
               KVRegSetDWORD(KV_HKEY_CURRENT_USER, "added", 1) != KV_REG_SUCCESS;
    });
    if (outcome == 3)
        GTEST_SKIP() << "the temporary folder is closed to other users";
    EXPECT_EQ(outcome, 0);
    EXPECT_EQ(Read(file), content);
}

// Byte strings that look like UTF-8 but that XML cannot carry: overlong
// forms, surrogates, the two non-characters, code points above U+10FFFF.
static const std::string kNotXMLText[] = {
    "\xC0\x80", "\xED\xA0\x80", "\xEF\xBF\xBE", "\xEF\xBF\xBF", "\xF4\x90\x80\x80", "\xE0\x80\x80",
};

TEST_F(Registry, TextsXMLCannotCarryRoundTripAndKeepTheHiveReadable) {
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_CURRENT_USER, "Software\\T", &key), KV_REG_SUCCESS);
    ASSERT_EQ(KVRegSetDWORD(key, "Keep", 42), KV_REG_SUCCESS);
    for (size_t i = 0; i < std::size(kNotXMLText); ++i) {
        const std::string name = "Bad" + std::to_string(i);
        ASSERT_EQ(KVRegSetString(key, name.c_str(), kNotXMLText[i]), KV_REG_SUCCESS) << i;
        // Names are refused rather than stored in a form that reads back otherwise.
        EXPECT_EQ(KVRegSetDWORD(key, kNotXMLText[i].c_str(), 1), KV_REG_INVALID_PARAMETER) << i;
        KVHKEY sub = nullptr;
        EXPECT_EQ(KVRegCreateKey(key, ("k" + kNotXMLText[i]).c_str(), &sub),
                  KV_REG_INVALID_PARAMETER)
            << i;
    }
    // Every query still reads the hive, and a later change keeps what was there.
    uint32_t n = 0;
    ASSERT_EQ(KVRegQueryDWORD(key, "Keep", n), KV_REG_SUCCESS);
    EXPECT_EQ(n, 42u);
    ASSERT_EQ(KVRegSetDWORD(key, "Later", 7), KV_REG_SUCCESS);
    EXPECT_FALSE(fs::exists(dir + "/HKEY_CURRENT_USER.xml.bad"));
    KVRegCloseKey(key);

    ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "Software\\T", &key), KV_REG_SUCCESS);
    EXPECT_EQ(KVRegQueryDWORD(key, "Keep", n), KV_REG_SUCCESS);
    EXPECT_EQ(n, 42u);
    for (size_t i = 0; i < std::size(kNotXMLText); ++i) {
        std::string back;
        EXPECT_EQ(KVRegQueryString(key, ("Bad" + std::to_string(i)).c_str(), back), KV_REG_SUCCESS);
        EXPECT_EQ(back, kNotXMLText[i]) << i;
    }
    KVRegCloseKey(key);
}

namespace {

// A hive file of `depth` keys, each inside the one before.
std::string NestedHive(size_t depth) {
    std::string text = "<Registry>";
    text.reserve(depth * 20 + 64);
    for (size_t i = 0; i < depth; ++i)
        text += "<Key name=\"k\">";
    text += "<Value name=\"Deep\" type=\"4\">5</Value>";
    for (size_t i = 0; i < depth; ++i)
        text += "</Key>";
    return text + "</Registry>\n";
}

} // namespace

TEST_F(Registry, ADeeplyNestedHiveIsReadChangedAndWrittenWithoutCrashing) {
    constexpr size_t kDepth = 150000; // far deeper than the stack allows recursion
    fs::create_directories(dir);
    const std::string file = dir + "/HKEY_CURRENT_USER.xml";
    {
        std::ofstream out(file, std::ios::binary);
        out << NestedHive(kDepth);
    }
    ASSERT_EQ(KVRegSetDWORD(KV_HKEY_CURRENT_USER, "Top", 1), KV_REG_SUCCESS);
    // The rewritten hive does not grow with the square of its depth.
    EXPECT_LT(fs::file_size(file), kDepth * 100);
    // The deep value is still there.
    std::string path;
    for (size_t i = 0; i < kDepth; ++i)
        path += "k\\";
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, path.c_str(), &key), KV_REG_SUCCESS);
    uint32_t n = 0;
    EXPECT_EQ(KVRegQueryDWORD(key, "Deep", n), KV_REG_SUCCESS);
    EXPECT_EQ(n, 5u);
    KVRegCloseKey(key);
}

TEST_F(Registry, KeysOutOfOrderOrNamedTwiceReadAsTheStoreWritesThem) {
    fs::create_directories(dir);
    const std::string file = dir + "/HKEY_CURRENT_USER.xml";
    {
        std::ofstream out(file, std::ios::binary);
        out << "<Registry><Key name=\"b\"><Value name=\"x\" type=\"4\">1</Value></Key>"
               "<Key name=\"A\"><Key name=\"z\"/></Key>"
               "<Key name=\"B\"><Value name=\"y\" type=\"4\">2</Value><Key name=\"c\"/></Key>"
               "<Key name=\"a\"><Key name=\"y\"/></Key></Registry>";
    }
    char name[16];
    std::vector<std::string> top;
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof name;
        if (KVRegEnumKey(KV_HKEY_CURRENT_USER, i, name, &size) != KV_REG_SUCCESS)
            break;
        top.push_back(name);
    }
    EXPECT_EQ(top, (std::vector<std::string>{"A", "b"}));
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "B", &key), KV_REG_SUCCESS);
    uint32_t n = 0;
    EXPECT_EQ(KVRegQueryDWORD(key, "x", n), KV_REG_SUCCESS);
    EXPECT_EQ(KVRegQueryDWORD(key, "y", n), KV_REG_SUCCESS);
    EXPECT_EQ(n, 2u);
    KVRegCloseKey(key);
    ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "a\\y", &key), KV_REG_SUCCESS);
    KVRegCloseKey(key);
    ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "a\\z", &key), KV_REG_SUCCESS);
    KVRegCloseKey(key);
}

TEST_F(Registry, AHiveWithBytesXMLCannotCarryIsReadByteForByte) {
    // As earlier versions of the store wrote such values and names: raw.
    fs::create_directories(dir);
    const std::string file = dir + "/HKEY_CURRENT_USER.xml";
    {
        std::ofstream out(file, std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Registry>\n"
               "\t<Key name=\"T\">\n"
               "\t\t<Value name=\"Keep\" type=\"4\">42</Value>\n"
               "\t\t<Value name=\"Bad\" type=\"1\">\xC0\x80 caf\xC3\xA9&#13;</Value>\n"
               "\t\t<Key name=\"k\xED\xA0\x80\">\n"
               "\t\t\t<Value name=\"n\xEF\xBF\xBE\" type=\"4\">7</Value>\n"
               "\t\t</Key>\n"
               "\t</Key>\n</Registry>\n";
    }
    const auto check = [&] {
        KVHKEY key = nullptr;
        ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "T", &key), KV_REG_SUCCESS);
        uint32_t n = 0;
        EXPECT_EQ(KVRegQueryDWORD(key, "Keep", n), KV_REG_SUCCESS);
        EXPECT_EQ(n, 42u);
        std::string text;
        EXPECT_EQ(KVRegQueryString(key, "Bad", text), KV_REG_SUCCESS);
        EXPECT_EQ(text, "\xC0\x80 caf\xC3\xA9\r");
        char name[16];
        uint32_t size = sizeof name;
        ASSERT_EQ(KVRegEnumKey(key, 0, name, &size), KV_REG_SUCCESS);
        EXPECT_EQ(std::string(name, size), "k\xED\xA0\x80");
        KVRegCloseKey(key);
    };
    check();
    // A change keeps every value, and the hive stays readable.
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegOpenKey(KV_HKEY_CURRENT_USER, "T", &key), KV_REG_SUCCESS);
    ASSERT_EQ(KVRegSetDWORD(key, "Later", 1), KV_REG_SUCCESS);
    KVRegCloseKey(key);
    EXPECT_FALSE(fs::exists(file + ".bad"));
    check();
}
