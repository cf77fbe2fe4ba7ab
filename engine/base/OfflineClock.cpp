#include "engine/base/OfflineClock.h"

#include <cmath>
#include <filesystem>

OfflineClock::OfflineClock(double framesPerSecond) : fps_(framesPerSecond) {
    // Integer ticks that divide exactly: 1000 ticks per frame, FPS x 1000 ticks per second.
    ticksPerFrame_ = 1000;
    ticksPerSecond_ = std::llround(framesPerSecond * 1000.0);
    if (ticksPerSecond_ <= 0) ticksPerSecond_ = 1;
}

int64_t OfflineClock::Counter::frequency() const {
    return clock_.ticksPerSecond_;
}

int64_t OfflineClock::Counter::now() const {
    return clock_.frame() * clock_.ticksPerFrame_;
}

OfflineAudioBackend::OfflineAudioBackend(const OfflineClock& clock, LengthProbe songLength)
    : clock_(clock), probe_(std::move(songLength)) {}

uint32_t OfflineAudioBackend::createStream(const std::string& path, bool loop) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error_ = ErrorFileOpen;
        return 0;
    }
    length_ = probe_ ? probe_(path) : 0.0;
    loop_ = loop;
    playing_ = false;
    error_ = 0;
    return ++stream_;
}

bool OfflineAudioBackend::play(uint32_t stream) {
    if (stream == 0 || stream != stream_) {
        error_ = ErrorHandle;
        return false;
    }
    playFrame_ = clock_.frame();
    playing_ = true;
    return true;
}

bool OfflineAudioBackend::playFrom(uint32_t stream, double seconds) {
    if (!play(stream)) return false;
    playFrame_ = clock_.frame() - std::llround(seconds * clock_.framesPerSecond());
    return true;
}

bool OfflineAudioBackend::stop(uint32_t stream) {
    if (stream == 0 || stream != stream_) return false;
    playing_ = false;
    return true;
}

double OfflineAudioBackend::position(uint32_t stream) {
    const int64_t start = playFrame_;
    if (stream != stream_ || !playing_) return 0.0;
    double seconds = static_cast<double>(clock_.frame() - start) / clock_.framesPerSecond();
    const double length = length_;
    if (length > 0.0) seconds = loop_ ? std::fmod(seconds, length) : std::min(seconds, length);
    return seconds;
}

double OfflineAudioBackend::length(uint32_t stream) {
    const double length = length_;
    return stream != 0 && stream == stream_ && loop_ && length > 0.0 ? length : 0.0;
}

int OfflineAudioBackend::lastError() {
    return error_;
}
