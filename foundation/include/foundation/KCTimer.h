// A periodic callback on the thread that runs the wx event loop. At most
// one KCTimer runs in the process at any time.
#pragma once

class KCTimer {
public:
    explicit KCTimer(double seconds);
    // A copy takes the interval; it starts stopped.
    KCTimer(const KCTimer& other);
    KCTimer& operator=(const KCTimer& other);
    virtual ~KCTimer();

    void SetInterval(double milliseconds) { interval = milliseconds; }
    double GetInterval() const { return interval; }
    bool IsRunning() const { return timerID != 0; }

    virtual void Start();
    virtual void Stop();
    virtual void YourCallbackFunc() = 0;

    // The running timer, or null.
    static KCTimer* Current();

private:
    double interval; // milliseconds
    unsigned timerID;
};
