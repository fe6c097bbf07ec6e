#include "foundation/KThread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>

namespace kvThread {

// ---- ThreadMutexInited ------------------------------------------------------

struct ThreadMutexInited::CriticalSection {
    std::recursive_mutex mutex;
};

ThreadMutexInited::~ThreadMutexInited() {
    uninit();
}

void ThreadMutexInited::init() {
    if (section == nullptr)
        section = new (std::nothrow) CriticalSection;
}

void ThreadMutexInited::uninit() {
    delete section;
    section = nullptr;
}

void ThreadMutexInited::obtain() {
    if (section != nullptr)
        section->mutex.lock();
}

void ThreadMutexInited::release() {
    if (section != nullptr)
        section->mutex.unlock();
}

bool ThreadMutexInited::tryobtain() {
    return section == nullptr || section->mutex.try_lock();
}

// ---- Sleeping, identity, priority ------------------------------------------

namespace {

std::chrono::milliseconds RoundToMilliseconds(int microseconds) {
    return std::chrono::milliseconds((static_cast<long long>(microseconds) + 499) / 1000);
}

// The process's own priority, which the classes are relative to: the main
// thread's nice value (a program started with `nice` runs its normal
// threads at that value).
int ProcessNice() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    return errno == 0 ? nice : 0;
}

int NiceOfClass(int priorityClass) {
    int offset = 0;
    switch (priorityClass) {
    case 1:
        offset = 1;
        break;
    case 3:
        offset = -1;
        break;
    case 4:
        offset = -15;
        break;
    default:
        break;
    }
    return std::clamp(ProcessNice() + offset, -20, 19);
}

void SetThreadNice(int nice) {
    // Raising the priority needs a permission most users lack; the thread
    // then keeps its priority.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(current_thread_id()), nice);
}

// Threads started by create_thread whose function has returned. The kernel
// may still list such a thread for a moment, so this is asked first.
std::mutex gEndedMutex;
std::unordered_set<thread_id> gEnded;

void MarkThreadStarted(thread_id id) {
    std::lock_guard<std::mutex> guard(gEndedMutex);
    gEnded.erase(id);
}

bool KernelKnowsThread(thread_id id) {
    return ::syscall(SYS_tgkill, ::getpid(), static_cast<pid_t>(id), 0) == 0;
}

void MarkThreadEnded(thread_id id) {
    std::lock_guard<std::mutex> guard(gEndedMutex);
    // Threads the kernel has let go of need no entry: keep the set small.
    if (gEnded.size() >= 256)
        std::erase_if(gEnded, [](thread_id ended) { return !KernelKnowsThread(ended); });
    gEnded.insert(id);
}

bool HasThreadEnded(thread_id id) {
    std::lock_guard<std::mutex> guard(gEndedMutex);
    return gEnded.count(id) != 0;
}

// The state letter of a task of this process, or 0 when it is not listed.
char TaskState(thread_id id) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%u/stat", id);
    FILE* f = std::fopen(path, "r");
    if (f == nullptr)
        return 0;
    char line[512];
    const size_t n = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    line[n] = '\0';
    // "tid (name) S ...": the name may hold blanks and parentheses.
    for (size_t i = n; i > 0; --i) {
        if (line[i - 1] == ')')
            return i + 1 < n ? line[i + 1] : 0;
    }
    return 0;
}

} // namespace

void sleep(int microseconds) {
    if (microseconds <= 0)
        return;
    const auto ms = RoundToMilliseconds(microseconds);
    if (ms.count() == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(ms);
}

void sleep_milliseconds(unsigned int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void yield() {
    std::this_thread::yield();
}

thread_id current_thread_id() {
    return static_cast<thread_id>(::gettid());
}

bool is_thread_alive(thread_id id) {
    if (id == invalid_thread_id || HasThreadEnded(id))
        return false;
    if (!KernelKnowsThread(id))
        return false;
    const char state = TaskState(id);
    return state != 0 && state != 'Z' && state != 'X';
}

void set_current_thread_priority(int priorityClass) {
    SetThreadNice(NiceOfClass(priorityClass));
}

uint32_t microseconds_now() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

// ---- Condition monitor ------------------------------------------------------

// The monitor's own mutex is kept as a flag under `state`, so that a waiter
// can release it and start waiting in one step.
struct condition_monitor {
    std::mutex state;
    std::condition_variable lockFree;
    std::condition_variable wakeUp;
    std::condition_variable wakeUpsTaken;
    bool locked = false;
    int waiting = 0;
    int wakeUps = 0; // released and not yet taken; never more than `waiting`
    bool broadcasting = false;
};

condition_monitor* create_condition_monitor() {
    return new (std::nothrow) condition_monitor;
}

void destroy_condition_monitor(condition_monitor* monitor) {
    delete monitor;
}

void lock(condition_monitor* monitor) {
    std::unique_lock<std::mutex> guard(monitor->state);
    monitor->lockFree.wait(guard, [monitor] { return !monitor->locked; });
    monitor->locked = true;
}

bool trylock(condition_monitor* monitor) {
    std::lock_guard<std::mutex> guard(monitor->state);
    if (monitor->locked)
        return false;
    monitor->locked = true;
    return true;
}

void unlock(condition_monitor* monitor) {
    {
        std::lock_guard<std::mutex> guard(monitor->state);
        monitor->locked = false;
    }
    monitor->lockFree.notify_one();
}

namespace {

bool WaitOn(condition_monitor* m, bool timed, int microseconds) {
    std::unique_lock<std::mutex> guard(m->state);
    ++m->waiting;
    m->locked = false;
    m->lockFree.notify_one();

    auto woken = [m] { return m->wakeUps > 0; };
    bool gotWakeUp;
    if (timed)
        gotWakeUp = m->wakeUp.wait_for(guard, RoundToMilliseconds(microseconds), woken);
    else {
        m->wakeUp.wait(guard, woken);
        gotWakeUp = true;
    }
    if (gotWakeUp)
        --m->wakeUps;
    --m->waiting;
    if (m->broadcasting && m->wakeUps == 0)
        m->wakeUpsTaken.notify_all();

    m->lockFree.wait(guard, [m] { return !m->locked; });
    m->locked = true;
    return gotWakeUp;
}

} // namespace

bool wait(condition_monitor* monitor) {
    return WaitOn(monitor, false, 0);
}

bool timed_wait(condition_monitor* monitor, int microseconds) {
    return WaitOn(monitor, true, microseconds < 0 ? 0 : microseconds);
}

void signal(condition_monitor* monitor) {
    std::lock_guard<std::mutex> guard(monitor->state);
    if (monitor->waiting > monitor->wakeUps) {
        ++monitor->wakeUps;
        monitor->wakeUp.notify_one();
    }
}

void broadcast(condition_monitor* monitor) {
    std::unique_lock<std::mutex> guard(monitor->state);
    if (monitor->waiting == 0)
        return;
    monitor->broadcasting = true;
    monitor->wakeUps = monitor->waiting;
    monitor->wakeUp.notify_all();
    monitor->wakeUpsTaken.wait(guard, [monitor] { return monitor->wakeUps == 0; });
    monitor->broadcasting = false;
}

// ---- Threads ----------------------------------------------------------------

struct thread_record {
    pthread_t thread;
    bool joined = false;
    int exitCode = 0;
};

namespace {

struct StartRecord {
    thread_function function;
    int argument;
    int priorityClass;
};

void* ThreadMain(void* data) {
    const StartRecord start = *static_cast<StartRecord*>(data);
    delete static_cast<StartRecord*>(data);
    const thread_id self = current_thread_id();
    MarkThreadStarted(self);
    if (start.priorityClass != 2)
        SetThreadNice(NiceOfClass(start.priorityClass));
    const int result = start.function(start.argument);
    MarkThreadEnded(self);
    return reinterpret_cast<void*>(static_cast<intptr_t>(result));
}

} // namespace

void create_thread(thread_handle& out, thread_function function, int argument, int priorityClass) {
    out = invalid_thread_handle;
    if (function == nullptr)
        return;
    auto* record = new (std::nothrow) thread_record;
    auto* start = new (std::nothrow) StartRecord{function, argument, priorityClass};
    if (record == nullptr || start == nullptr ||
        pthread_create(&record->thread, nullptr, ThreadMain, start) != 0) {
        delete record;
        delete start;
        return;
    }
    out = record;
}

bool join_thread(thread_handle thread, int* exitCode) {
    if (thread == invalid_thread_handle)
        return false;
    if (!thread->joined) {
        void* result = nullptr;
        if (pthread_join(thread->thread, &result) != 0)
            return false;
        thread->joined = true;
        thread->exitCode = static_cast<int>(reinterpret_cast<intptr_t>(result));
    }
    if (exitCode != nullptr)
        *exitCode = thread->exitCode;
    return true;
}

bool terminate_thread(thread_handle) {
    return false;
}

void close_thread(thread_handle thread) {
    if (thread == invalid_thread_handle)
        return;
    if (!thread->joined)
        pthread_detach(thread->thread);
    delete thread;
}

} // namespace kvThread
