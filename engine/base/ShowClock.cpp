#include "engine/base/ShowClock.h"

#include "engine/base/Log.h"

double ShowClock::position() {
    return followsMusic() ? music_.position() : own_;
}

void ShowClock::advance(double frameMilliseconds) {
    if (!followsMusic() && !paused_) own_ += frameMilliseconds * 0.001 * speed_;
}

void ShowClock::startAt(double seconds) {
    own_ = seconds;
    if (!followsMusic()) return;
    if (music_.playFrom(seconds) == -1)
        logStream << "Cannot start audio stream" << music_.errorText() << std::endl;
}

void ShowClock::setPaused(bool paused) {
    const bool followed = followsMusic();
    paused_ = paused;
    apply(followed);
}

void ShowClock::setSpeed(double speed) {
    if (!(speed > 0.0)) return;
    const bool followed = followsMusic();
    speed_ = speed;
    apply(followed);
}

void ShowClock::reset() {
    paused_ = false;
    speed_ = 1.0;
    own_ = 0.0;
}

void ShowClock::apply(bool followedBefore) {
    if (followedBefore == followsMusic()) return;
    if (followedBefore) {
        own_ = music_.position();
        music_.stop();
    } else {
        startAt(own_);
    }
}
