#include "engine/base/FrameTimer.h"

#include <chrono>

namespace {

class SteadyCounter : public PerformanceCounter {
public:
    int64_t frequency() const override { return 1000000000; }
    int64_t now() const override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace

const PerformanceCounter& steadyCounter() {
    static const SteadyCounter counter;
    return counter;
}

FrameTimer::FrameTimer(const PerformanceCounter& counter)
    : counter_(&counter), frequency_(counter.frequency()), last_(counter.now()) {}

double FrameTimer::toMilliseconds(int64_t difference) const {
    return static_cast<double>(difference) / static_cast<double>(frequency_) * 1000.0;
}

double FrameTimer::tick() {
    now_ = counter_->now();
    const int64_t difference = now_ - last_;
    last_ = now_;
    return toMilliseconds(difference);
}

void FrameTimer::markStart() {
    markStart_ = counter_->now();
}

void FrameTimer::markEnd() {
    markEnd_ = counter_->now();
}

double FrameTimer::interval() const {
    return toMilliseconds(markEnd_ - markStart_);
}

void FrameTimer::useCounter(const PerformanceCounter& counter) {
    counter_ = &counter;
    frequency_ = counter.frequency();
    last_ = counter.now();
}

void FrameTimer::restart() {
    last_ = counter_->now();
}
