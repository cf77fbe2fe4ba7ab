#include "engine/base/MusicPlayer.h"

MusicPlayer::MusicPlayer() : silentCounter_(&steadyCounter()) {}

void MusicPlayer::setBackend(std::shared_ptr<AudioBackend> backend) {
    std::lock_guard lock(mutex_);
    backend_ = std::move(backend);
    stream_ = 0;
    isPlaying_ = false;
    silentRunning_ = false;
}

void MusicPlayer::setSilentClock(const PerformanceCounter& counter) {
    std::lock_guard lock(mutex_);
    silentCounter_ = &counter;
}

int MusicPlayer::load(const std::string& path) {
    std::lock_guard lock(mutex_);
    stream_ = backend_ ? backend_->createStream(path, true) : 0;
    return stream_ != 0 ? 0 : -1;
}

int MusicPlayer::play() {
    return playFrom(0.0);
}

int MusicPlayer::playFrom(double seconds) {
    std::lock_guard lock(mutex_);
    const bool started = seconds > 0.0 ? backend_ && backend_->playFrom(stream_, seconds)
                                       : backend_ && backend_->play(stream_);
    if (stream_ != 0 && started) {
        isPlaying_ = true;
        silentRunning_ = false;
        return 0;
    }
    silentRunning_ = true;
    silentStart_ = silentCounter_->now() -
                   static_cast<int64_t>(seconds * static_cast<double>(silentCounter_->frequency()));
    return -1;
}

double MusicPlayer::position() {
    std::lock_guard lock(mutex_);
    if (isPlaying_ && stream_ != 0 && backend_) return backend_->position(stream_);
    if (silentRunning_)
        return static_cast<double>(silentCounter_->now() - silentStart_) /
               static_cast<double>(silentCounter_->frequency());
    return 0.0;
}

std::string MusicPlayer::errorText() {
    std::lock_guard lock(mutex_);
    // Without a backend there is no audio library to ask; -1 reads as "unknown error".
    return std::to_string(backend_ ? backend_->lastError() : -1);
}

bool MusicPlayer::isPlaying() const {
    std::lock_guard lock(mutex_);
    return isPlaying_;
}

uint32_t MusicPlayer::stream() const {
    std::lock_guard lock(mutex_);
    return stream_;
}
