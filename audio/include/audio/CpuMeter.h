// The process-wide load meter: the GUI thread's idle ticks and the audio
// thread's processing calls add their durations; the GUI thread reads and
// resets them. The accumulators are atomic; the values are statistics only.
#pragma once

#include <cstdint>
#include <string>

class CpuMeter {
public:
    static void AddIdleTime(int64_t microseconds);
    static void AddProcessTime(int64_t microseconds);
    static void SetAudioFormat(int32_t sampleRate, int32_t bufferSize);
    static void SetIdleInterval(double seconds);

    // Average idle tick in microseconds (0 without ticks); resets the idle
    // sum and count; returns the idle percentage of the idle interval.
    static double GetIdleLoad(int64_t& microseconds);
    // Smoothed processing time and its percentage of one buffer's duration;
    // resets the process sum and count.
    static void GetProcessLoad(int64_t& microseconds, double& percentage);
    // Clears the sums, counts and the smoothed value.
    static void Reset();
    // "\tProcess micSec: <us> CPU usage: <percent>\n"
    static std::string FormatStatistics();

    static int32_t GetSampleRate();
    static int32_t GetBufferSize();
    static double GetIdleInterval();
};
