#include "engine/base/MusicPlayer.h"

#include <cmath>

MusicPlayer::MusicPlayer() : silentCounter_(&steadyCounter()) {}

void MusicPlayer::setBackend(std::shared_ptr<AudioBackend> backend) {
    std::lock_guard lock(mutex_);
    backend_ = std::move(backend);
    stream_ = 0;
    lastError_ = 0;
    isPlaying_ = false;
    silentRunning_ = false;
    streamPath_.clear();
    ++loads_;
}

void MusicPlayer::setSilentClock(const PerformanceCounter& counter) {
    std::lock_guard lock(mutex_);
    silentCounter_ = &counter;
}

int MusicPlayer::load(const std::string& path) {
    std::lock_guard lock(mutex_);
    stream_ = backend_ ? backend_->createStream(path, true) : 0;
    lastError_ = !backend_ ? -1 : stream_ != 0 ? 0 : backend_->lastError();
    streamPath_ = stream_ != 0 ? path : std::string();
    ++loads_;
    return stream_ != 0 ? 0 : -1;
}

std::string MusicPlayer::streamPath(uint64_t* loads) const {
    std::lock_guard lock(mutex_);
    if (loads) *loads = loads_;
    return streamPath_;
}

int MusicPlayer::play() {
    return playFrom(0.0);
}

int MusicPlayer::playFrom(double seconds) {
    std::lock_guard lock(mutex_);
    // A missing stream goes to the backend as it is, so that the failure carries the backend's
    // own code for an unknown handle rather than whatever an earlier call left behind.
    const bool started = seconds > 0.0 ? backend_ && backend_->playFrom(stream_, seconds)
                                       : backend_ && backend_->play(stream_);
    if (started && stream_ != 0) {
        isPlaying_ = true;
        silentRunning_ = false;
        lastError_ = 0;
        return 0;
    }
    lastError_ = backend_ ? backend_->lastError() : -1;
    silentRunning_ = true;
    silentStart_ =
        silentCounter_->now() - std::llround(seconds * static_cast<double>(silentCounter_->frequency()));
    return -1;
}

void MusicPlayer::stop() {
    std::lock_guard lock(mutex_);
    if (isPlaying_ && backend_) backend_->stop(stream_);
    isPlaying_ = false;
    silentRunning_ = false;
}

double MusicPlayer::position() {
    std::lock_guard lock(mutex_);
    if (isPlaying_ && stream_ != 0 && backend_) return backend_->position(stream_);
    if (silentRunning_)
        return static_cast<double>(silentCounter_->now() - silentStart_) /
               static_cast<double>(silentCounter_->frequency());
    return 0.0;
}

double MusicPlayer::length() {
    std::lock_guard lock(mutex_);
    if (silentRunning_ || stream_ == 0 || !backend_) return 0.0;
    return backend_->length(stream_);
}

std::string MusicPlayer::errorText() {
    std::lock_guard lock(mutex_);
    return std::to_string(lastError_);
}

bool MusicPlayer::isPlaying() const {
    std::lock_guard lock(mutex_);
    return isPlaying_;
}

uint32_t MusicPlayer::stream() const {
    std::lock_guard lock(mutex_);
    return stream_;
}
