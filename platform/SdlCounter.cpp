#include "platform/SdlCounter.h"

#include <SDL2/SDL_timer.h>

namespace platform {

namespace {

class SdlPerformanceCounter : public PerformanceCounter {
public:
    int64_t frequency() const override { return static_cast<int64_t>(SDL_GetPerformanceFrequency()); }
    int64_t now() const override { return static_cast<int64_t>(SDL_GetPerformanceCounter()); }
};

} // namespace

const PerformanceCounter& performanceCounter() {
    static const SdlPerformanceCounter counter;
    return counter;
}

} // namespace platform
