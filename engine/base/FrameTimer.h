// Wall-time measurement in milliseconds from a high-resolution counter.
//
// The counter is injectable: the program uses the platform's performance counter, tests and
// offline rendering use a counter they advance themselves. The arithmetic is fixed: the
// difference of two signed 64-bit readings, divided by the frequency in double precision,
// then multiplied by 1000.
#pragma once

#include <cstdint>

class PerformanceCounter {
public:
    virtual ~PerformanceCounter() = default;
    virtual int64_t frequency() const = 0;
    virtual int64_t now() const = 0;
};

// std::chrono::steady_clock in nanoseconds; the default for every FrameTimer.
const PerformanceCounter& steadyCounter();

// A counter that only moves when told to; frequency 1,000,000 (microseconds).
class ManualCounter : public PerformanceCounter {
public:
    int64_t frequency() const override { return 1000000; }
    int64_t now() const override { return value_; }
    void advanceMicroseconds(int64_t us) { value_ += us; }
    void advanceMilliseconds(double ms) { value_ += static_cast<int64_t>(ms * 1000.0); }

private:
    int64_t value_ = 0;
};

class FrameTimer {
public:
    // Reads the frequency, then takes the first reading into `last`.
    explicit FrameTimer(const PerformanceCounter& counter = steadyCounter());

    // Milliseconds since the previous tick (or since construction for the first call).
    double tick();
    void markStart();
    void markEnd();
    // (markEnd - markStart) in milliseconds; 0 until both marks were taken.
    double interval() const;

    // Changes the counter for later readings (the program swaps in the platform's counter,
    // offline rendering a fixed-step one); the next tick measures from a fresh reading.
    void useCounter(const PerformanceCounter& counter);
    // The next tick measures from a fresh reading of the same counter.
    void restart();

private:
    double toMilliseconds(int64_t difference) const;

    const PerformanceCounter* counter_;
    int64_t frequency_ = 0;
    int64_t last_ = 0;
    int64_t now_ = 0;
    int64_t markStart_ = 0;
    int64_t markEnd_ = 0;
};
