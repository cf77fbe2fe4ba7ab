// The high-resolution performance counter for FrameTimer: SDL_GetPerformanceCounter and
// SDL_GetPerformanceFrequency. Reading it needs no SDL subsystem and is safe from any thread.
#pragma once

#include "engine/base/FrameTimer.h"

namespace platform {

// One process-wide instance; it lives until the process ends.
const PerformanceCounter& performanceCounter();

} // namespace platform
