// Thin layer over the platform's threads: a lazily created recursive lock,
// sleeping, thread identifiers, a mutex-and-condition monitor, and threads
// with a portable priority scale.
#pragma once

#include <cstdint>

namespace kvThread {

// Base of classes that must not be copied.
class noncopyableobject {
protected:
    noncopyableobject() = default;
    ~noncopyableobject() = default;

public:
    noncopyableobject(const noncopyableobject&) = delete;
    noncopyableobject& operator=(const noncopyableobject&) = delete;
};

// A recursive lock that exists only after init(); obtain() and release() do
// nothing before that. init() must run before other threads use the object.
class ThreadMutexInited {
public:
    ThreadMutexInited() = default;
    ~ThreadMutexInited();
    ThreadMutexInited(const ThreadMutexInited&) = delete;
    ThreadMutexInited& operator=(const ThreadMutexInited&) = delete;

    void init();
    void uninit();
    bool is_init() const { return section != nullptr; }
    void obtain();
    void release();
    // True when there is no lock, or when it was entered without waiting.
    bool tryobtain();

private:
    struct CriticalSection;
    CriticalSection* section = nullptr;
};

// The platform's 32-bit thread id; invalid_thread_id stands for no thread.
using thread_id = uint32_t;
inline constexpr thread_id invalid_thread_id = 0;

struct thread_record;
// A thread made by create_thread; invalid_thread_handle stands for none.
using thread_handle = thread_record*;
inline constexpr thread_handle invalid_thread_handle = nullptr;

using thread_function = int (*)(int);

// Sleeps (microseconds + 499) / 1000 milliseconds for a positive argument (a
// zero-length sleep only yields); zero or negative returns at once.
void sleep(int microseconds);
void sleep_milliseconds(unsigned int milliseconds);
void yield();

thread_id current_thread_id();
// False for an id that names no thread, or a thread whose function returned.
bool is_thread_alive(thread_id id);
// 1 below normal, 3 above normal, 4 time critical, anything else normal,
// each relative to the process's priority (the main thread's nice value:
// below normal is one step nicer than the process, normal the same).
// Raising the priority needs the system's permission; a refusal is ignored.
void set_current_thread_priority(int priorityClass);
// A monotonic microsecond count that wraps at 2^32.
uint32_t microseconds_now();

// Mutex-and-condition monitor.
struct condition_monitor;
condition_monitor* create_condition_monitor();
void destroy_condition_monitor(condition_monitor* monitor);
void lock(condition_monitor* monitor);
bool trylock(condition_monitor* monitor);
void unlock(condition_monitor* monitor);
// The caller holds the monitor; it is released while waiting and held again
// on return. True when woken by signal or broadcast, false on time-out.
bool wait(condition_monitor* monitor);
bool timed_wait(condition_monitor* monitor, int microseconds);
// Wakes one waiting thread, if any.
void signal(condition_monitor* monitor);
// Wakes every waiting thread and returns once each has taken its wake-up.
void broadcast(condition_monitor* monitor);

// Starts `function(argument)` on a new thread; `out` stays invalid on failure.
// Priority classes as for set_current_thread_priority; 2 keeps the default.
void create_thread(thread_handle& out, thread_function function, int argument, int priorityClass);
// Waits for the thread to end; stores its exit code when `exitCode` is given.
bool join_thread(thread_handle thread, int* exitCode);
// Forcing a thread to end is refused: it always answers false. A thread
// stopped at an arbitrary point keeps the locks it holds (the allocator's
// among them) and skips its clean-up, so nothing after it would be safe;
// threads end by returning from their function.
bool terminate_thread(thread_handle thread);
// Releases the handle (a thread still running goes on by itself).
void close_thread(thread_handle thread);

} // namespace kvThread
