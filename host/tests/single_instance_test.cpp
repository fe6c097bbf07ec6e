#include "HostTestSupport.h"
#include "host/SingleInstance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

std::string Start(const std::string& name, bool multiInstance = false) {
    std::vector<std::string> arguments{"start", name};
    if (multiInstance)
        arguments.push_back("-mi");
    const ProcessResult result =
        RunProcess(GUARD_PROBE_PATH, arguments, "", std::chrono::seconds(20));
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    return result.out;
}

class SingleInstanceTest : public testing::Test {
protected:
    ScratchHome home;
};

TEST_F(SingleInstanceTest, SecondStartAsksTheOwnerToComeForward) {
    Owner owner("RigwellApp");
    ASSERT_EQ(owner.Line(), "owner");
    EXPECT_EQ(Start("RigwellApp"), "forwarded\n");
    EXPECT_EQ(owner.Line(), "front");
    // With -mi the second runs, without taking the name.
    EXPECT_EQ(Start("RigwellApp", true), "runs not-owner\n");
    // Other names are owned by their own starts.
    EXPECT_EQ(Start("abcd"), "runs owner\n");
    EXPECT_EQ(owner.Stop(), 0);
    // After the owner has gone a new start owns the name.
    EXPECT_EQ(Start("RigwellApp"), "runs owner\n");
}

TEST_F(SingleInstanceTest, OwnerWithoutWindowLetsLaterStartsRun) {
    ASSERT_EQ(AcquireSingleInstance("abcd", nullptr), 1);
    EXPECT_EQ(Start("abcd"), "runs not-owner\n");
    // Acquiring again releases first, so this process still owns it.
    KCInstanceWindow other;
    EXPECT_EQ(AcquireSingleInstance("abcd", &other), 1);
    EXPECT_TRUE(other.IsNull());
    ASSERT_TRUE(SetSingleInstanceWindow(nullptr));
    EXPECT_FALSE(SetSingleInstanceWindow(nullptr));
    EXPECT_EQ(Start("abcd"), "forwarded\n");
    ReleaseSingleInstance();
    EXPECT_FALSE(SetSingleInstanceWindow(nullptr));
    EXPECT_EQ(Start("abcd"), "runs owner\n");
}

TEST_F(SingleInstanceTest, NamesAreEscapedAndTheFolderIsPrivate) {
    EXPECT_EQ(EscapeInstanceName("Ab-_9"), "Ab-_9");
    EXPECT_EQ(EscapeInstanceName("../x"), "%2E%2E%2Fx");
    EXPECT_EQ(EscapeInstanceName("a%b c"), "a%25b%20c");

    ScopedEnv runtime("XDG_RUNTIME_DIR", home.File("run"));
    std::filesystem::create_directories(home.File("run"));
    ASSERT_EQ(AcquireSingleInstance("../x", nullptr), 1);
    const std::string folder = SingleInstanceFolder();
    EXPECT_EQ(folder, home.File("run") + "/rigwell-" + std::to_string(getuid()));
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(std::filesystem::exists(folder + "/PluginInst_%2E%2E%2Fx_0.lock"));
    EXPECT_FALSE(std::filesystem::exists(home.File("x_0.lock")));
    ReleaseSingleInstance();
}

TEST_F(SingleInstanceTest, ADeadOwnersSocketIsReplaced) {
    // A socket file left behind by an owner that died.
    const std::string folder = SingleInstanceFolder();
    std::filesystem::create_directories(folder);
    chmod(folder.c_str(), 0700);
    const std::string path = folder + "/PluginInst_dead_0";
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    // Nobody listens: a later start runs and owns the name.
    EXPECT_EQ(Start("dead"), "runs owner\n");
    ASSERT_EQ(AcquireSingleInstance("dead", nullptr), 1);
    EXPECT_TRUE(SetSingleInstanceWindow(nullptr));
    EXPECT_EQ(Start("dead"), "forwarded\n");
    ReleaseSingleInstance();
}

} // namespace

namespace {

// An owner that stored its window but never answers: the later start gives
// up after its bounded wait and still exits normally.
TEST_F(SingleInstanceTest, ASilentOwnerIsWaitedForABoundedTime) {
    const std::string folder = SingleInstanceFolder();
    std::filesystem::create_directories(folder);
    chmod(folder.c_str(), 0700);
    const std::string base = folder + "/PluginInst_mute_0";
    const int lock = open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, base.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listening, 4), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Start("mute"), "forward-failed\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    close(listening);
    close(lock);
}

} // namespace

namespace {

// The guard's object form: the first object of a name is the first
// instance while any object holds it; BringToFront asks the name's owner.
TEST_F(SingleInstanceTest, ObjectFormMarksTheNameAndBringsTheOwnerForward) {
    {
        KCWinSingleInstance first("Rigwell & Runner", "abcd");
        EXPECT_TRUE(first.IsFirstInstance());
        EXPECT_EQ(first.GetWindowTitle(), "Rigwell & Runner");
        KCWinSingleInstance second("Rigwell & Runner", "abcd");
        EXPECT_FALSE(second.IsFirstInstance());
        EXPECT_TRUE(KCWinSingleInstance("Rigwell & Runner", "efgh").IsFirstInstance());
        // Nobody owns the name with a window: nothing to bring forward.
        EXPECT_FALSE(first.BringToFront());
    }
    EXPECT_TRUE(KCWinSingleInstance("Rigwell & Runner", "abcd").IsFirstInstance());

    Owner owner("RigwellApp");
    ASSERT_EQ(owner.Line(), "owner");
    EXPECT_TRUE(KCWinSingleInstance("Rigwell & Runner", "RigwellApp").BringToFront());
    EXPECT_EQ(owner.Line(), "front");
    EXPECT_EQ(owner.Stop(), 0);
}

} // namespace
