#include "app/RunControl.h"

#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "engine/base/OfflineClock.h"
#include "render/RenderInterface.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Presses in frame order; those of one frame in the order given.
ProgramOptions sortedPresses(ProgramOptions options) {
    std::stable_sort(options.presses.begin(), options.presses.end(),
                     [](const auto& a, const auto& b) { return a.frame < b.frame; });
    return options;
}

} // namespace

RunControl::RunControl(const ProgramOptions& options, OfflineClock* offlineClock, CaptureFunction capture,
                       PngWriter writePng)
    : options_(sortedPresses(options)), offline_(offlineClock), capture_(std::move(capture)),
      writePng_(std::move(writePng)), startNanoseconds_(steadyNanoseconds()), frameStart_(startNanoseconds_) {
}

void RunControl::beforeFrame() {
    movesBefore_ = engine().showMoves;
    if (offline_) {
        // Offline frames start once the show plays: the frames and the log then do not depend on
        // how long loading took. Meanwhile this thread makes on the device what the loader
        // registers, as frames would: the loader waits for that before the show plays.
        EngineRegistry& r = engine();
        while (!r.playing && !r.quitRequested) {
            if (r.renderer) r.renderer->waitForResources(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        offline_->advanceFrame();
    }
    frameStart_ = steadyNanoseconds();
}

std::string RunControl::shotFileName(double t, int take) {
    char name[64];
    if (take > 1)
        std::snprintf(name, sizeof name, "shot-%09.3f-%d.png", t, take);
    else
        std::snprintf(name, sizeof name, "shot-%09.3f.png", t);
    return name;
}

SceneLoadFunction RunControl::timeSceneLoads(SceneLoadFunction load) {
    return [this, load = std::move(load)](const std::string& file) {
        const bool first = loadStarted_.load() == 0;
        if (first) loadStarted_ = steadyNanoseconds();
        const int result = load(file);
        if (first) loadReturned_ = steadyNanoseconds();
        return result;
    };
}

void RunControl::afterFrame(double) {
    EngineRegistry& r = engine();
    // The start lay past the show's end: no frame of the show was drawn, so none is counted or shot.
    if (r.startPastEnd) return;
    ++frames_;
    // Measured on the wall clock from the start of the frame: offline frames all claim the same
    // step, but the statistics are about what running them cost.
    const int64_t now = steadyNanoseconds();
    frameTimes_.push_back(static_cast<double>(now - frameStart_) * 1e-6);
    // A frame that began after the loader returned saw every registration; the first such frame
    // that leaves nothing waiting made the last resource. Every frame until then shared the
    // machine with the load.
    const int64_t started = loadStarted_.load();
    const int64_t returned = loadReturned_.load();
    if (lastResourceMade_ == 0 && returned != 0) {
        if (!resourcesPending_)
            lastResourceMade_ = returned;
        else if (frameStart_ >= returned && !resourcesPending_())
            lastResourceMade_ = now;
    }
    if (started != 0 && now >= started && (lastResourceMade_ == 0 || frameStart_ < lastResourceMade_))
        longestLoadFrame_ = std::max(longestLoadFrame_, frameTimes_.back());
    // The loader thread competes with these frames for the machine; they are reported apart.
    if (r.loading) loadingFrameTimes_.push_back(frameTimes_.back());
    if (!options_.frameLog.empty())
        frameLog_.push_back({static_cast<double>(frameStart_ - startNanoseconds_) * 1e-9, frameTimes_.back(),
                             r.loading || !r.playing       ? "load"
                             : r.showMoves != movesBefore_ ? "seek"
                                                           : "show"});
    if (firstPlayingFrame_ < 0 && r.playing)
        firstPlayingFrame_ = static_cast<double>(now - startNanoseconds_) * 1e-9;
    if (r.playing) {
        if (showFrames_++ == 0) showStart_ = frameStart_;
        showEnd_ = now;
    }
    // Show time: a shot or an end past the song's loop point is taken in its later pass. On the
    // song's first pass it is the music time itself.
    const double musicTime = r.showTime;

    // After a move back (a seek, a reload, --repeat) the shot times ahead come round again; their
    // frames are written beside the first ones, so that the two can be compared. Other frames
    // whose time goes back (the show's end taking the scene down) take nothing again.
    const std::vector<double>& shotTimes = options_.shotTimes;
    if (r.showMoves != movesBefore_ && musicTime < lastMusicTime_)
        nextShot_ = static_cast<size_t>(std::lower_bound(shotTimes.begin(), shotTimes.end(), musicTime) -
                                        shotTimes.begin());
    lastMusicTime_ = musicTime;
    shotTakes_.resize(shotTimes.size());
    while (nextShot_ < shotTimes.size() && musicTime >= shotTimes[nextShot_]) {
        const double t = shotTimes[nextShot_];
        const int take = ++shotTakes_[nextShot_++];
        std::vector<uint8_t> rgb;
        int width = 0, height = 0;
        const std::string path =
            (std::filesystem::path(options_.shotDirectory) / shotFileName(t, take)).string();
        std::error_code ec;
        std::filesystem::create_directories(options_.shotDirectory, ec);
        if (capture_ && capture_(rgb, width, height) && writePng_ && writePng_(path, rgb, width, height)) {
            shotsWritten_.push_back(path);
            logStream << "shot " << path << std::endl;
        } else {
            logStream << "shot " << path << " could not be written" << std::endl;
        }
    }
    while (nextPress_ < options_.presses.size() && options_.presses[nextPress_].frame <= frames_) {
        const std::string& key = options_.presses[nextPress_++].key;
        if (!pressKey_ || !pressKey_(key)) logStream << "--press: no key '" << key << "'" << std::endl;
    }
    if (options_.frameLimit > 0 && frames_ >= options_.frameLimit) r.quitRequested = true;
    if (options_.untilSeconds >= 0 && musicTime >= options_.untilSeconds) r.quitRequested = true;
}

std::string RunControl::statisticsLine(const std::vector<double>& frameMilliseconds, double wallSeconds) {
    char line[256];
    if (frameMilliseconds.empty()) {
        std::snprintf(line, sizeof line, "frames: 0");
        return line;
    }
    std::vector<double> sorted = frameMilliseconds;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) {
        const size_t i = static_cast<size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5);
        return sorted[std::min(i, sorted.size() - 1)];
    };
    const double fps = wallSeconds > 0 ? static_cast<double>(sorted.size()) / wallSeconds : 0.0;
    std::snprintf(line, sizeof line,
                  "frames: %zu  fps: %.1f  frame ms: min %.2f  median %.2f  p99 %.2f  max %.2f",
                  sorted.size(), fps, sorted.front(), at(0.5), at(0.99), sorted.back());
    return line;
}

void RunControl::finish() {
    if (!options_.frameLog.empty()) {
        std::ofstream out(options_.frameLog);
        char line[96];
        for (const LoggedFrame& frame : frameLog_) {
            std::snprintf(line, sizeof line, "%.4f %.3f %s\n", frame.start, frame.milliseconds, frame.kind);
            out << line;
        }
        if (!out) logStream << "beatshow: cannot write the frame log " << options_.frameLog << std::endl;
    }
    if (!options_.stats) return;
    const double wall = static_cast<double>(steadyNanoseconds() - startNanoseconds_) * 1e-9;
    logStream << statisticsLine(frameTimes_, wall) << std::endl;
    if (!loadingFrameTimes_.empty()) {
        char line[128];
        std::snprintf(line, sizeof line, "frames while loading: %zu  max %.2f ms", loadingFrameTimes_.size(),
                      *std::max_element(loadingFrameTimes_.begin(), loadingFrameTimes_.end()));
        logStream << line << std::endl;
    }
    if (loadReturned_.load() != 0) {
        const double loader = static_cast<double>(loadReturned_.load() - loadStarted_.load()) * 1e-6;
        char line[200];
        if (lastResourceMade_ != 0)
            std::snprintf(
                line, sizeof line,
                "scene load: %.1f ms from the scene file to the last resource made (loader %.1f ms); "
                "longest frame meanwhile %.2f ms",
                static_cast<double>(lastResourceMade_ - loadStarted_.load()) * 1e-6, loader,
                longestLoadFrame_);
        else
            std::snprintf(
                line, sizeof line,
                "scene load: loader %.1f ms; resources were still waiting for the renderer at the end",
                loader);
        logStream << line << std::endl;
    }
    if (firstPlayingFrame_ >= 0)
        logStream << "first frame of the show after " << firstPlayingFrame_ << " s" << std::endl;
    if (showFrames_ > 0) {
        char line[128];
        std::snprintf(line, sizeof line, "show frames: %lld in %.3f s", showFrames_,
                      static_cast<double>(showEnd_ - showStart_) * 1e-9);
        logStream << line << std::endl;
    }
}
