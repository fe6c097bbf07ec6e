// One running host per instance name. The first start of a name owns it
// (an exclusive lock on a lock file); once its main window exists it
// answers on a Unix socket, so that a later start of the same name can ask
// it to come to the front and then exit.
//
// Files live in "rigwell-<uid>" (mode 0700) under $XDG_RUNTIME_DIR, else
// $TMPDIR, else /tmp: "PluginInst_<name>_0" is the socket and
// "PluginInst_<name>_0.lock" the lock file. Characters of the name other
// than letters, digits, '-' and '_' are written as "%XX".
//
// Every failure of the guard's system calls is silent and counts as finding
// no other instance.
#pragma once

#include <functional>
#include <string>

class KCWinSingleInstance;

// A later start's view of the owner's main window: a connection to it, or
// none while the owner has not stored a window (or in command-line mode,
// where it never does).
class KCInstanceWindow {
public:
    KCInstanceWindow() = default;
    ~KCInstanceWindow();
    KCInstanceWindow(KCInstanceWindow&& other) noexcept;
    KCInstanceWindow& operator=(KCInstanceWindow&& other) noexcept;
    KCInstanceWindow(const KCInstanceWindow&) = delete;
    KCInstanceWindow& operator=(const KCInstanceWindow&) = delete;

    bool IsNull() const { return fd < 0; }
    void Close();

private:
    friend int AcquireSingleInstance(const std::string& name, KCInstanceWindow* other);
    friend bool SetForegroundWindow(KCInstanceWindow& window);
    friend class KCWinSingleInstance;
    int fd = -1;
};

// 1 when this process now owns the name, else 0. When another process owns
// it and has stored its window, `other` (when given) receives a connection
// to that window. Any name this process held before is released first.
int AcquireSingleInstance(const std::string& name, KCInstanceWindow* other);

// Stores the owner's main window: from now on a come-to-front request of a
// later start calls `onFront` (on the guard's own thread) and is answered
// once it returns. Does nothing when this process owns no name or already
// stored its window; returns whether the window is stored now.
bool SetSingleInstanceWindow(std::function<void()> onFront);

// Asks the owner to come to the front and waits at most a few seconds for
// its answer. True when it answered; the connection is closed either way.
bool SetForegroundWindow(KCInstanceWindow& window);

// Stops answering, removes the socket and gives the name up. Also runs when
// the process exits.
void ReleaseSingleInstance();

// Forgets what this process held without closing anything (for a child
// made by fork, which must not touch its parent's guard).
void ResetSingleInstanceState();

// The folder of the guard's files and the escaped form of a name.
std::string SingleInstanceFolder();
std::string EscapeInstanceName(const std::string& name);

// The guard as an object, beside the process-wide functions above (the
// program itself uses those). An object marks the name as in use for its
// lifetime (a shared lock on "PluginInst_<name>.mutex" in the guard's
// folder); it is the first instance when no other object held the name
// when it was made.
class KCWinSingleInstance {
public:
    KCWinSingleInstance(const std::string& windowTitle, const std::string& mutexName);
    ~KCWinSingleInstance();
    KCWinSingleInstance(const KCWinSingleInstance&) = delete;
    KCWinSingleInstance& operator=(const KCWinSingleInstance&) = delete;

    bool IsFirstInstance() const { return first; }
    const std::string& GetWindowTitle() const { return windowTitle; }
    const std::string& GetMutexName() const { return mutexName; }

    // Asks the running program that owns the instance name `mutexName`
    // (AcquireSingleInstance) to bring its main window to the front; true
    // when it answered.
    bool BringToFront() const;

private:
    int lockFd = -1;
    bool first = true;
    std::string windowTitle;
    std::string mutexName;
};
