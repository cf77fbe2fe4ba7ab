#include "engine/base/LoaderJitter.h"

#if defined(BEATSHOW_LOADER_JITTER)
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

void loaderJitter() {
    static const int longest = [] {
        const char* setting = std::getenv("BEATSHOW_LOADER_JITTER");
        if (!setting || !*setting) return 0;
        const int ms = std::atoi(setting);
        return ms > 0 ? ms : 5;
    }();
    if (longest == 0) return;
    thread_local std::minstd_rand random(std::random_device{}());
    const int microseconds = static_cast<int>(random() % (static_cast<unsigned>(longest) * 1000u + 1u));
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}
#endif
