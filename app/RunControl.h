// What the command-line options add to every frame: deterministic offline time, frame and time
// limits, shots of chosen music times, and frame-time statistics at the end.
#pragma once

#include "app/CommandLine.h"
#include "engine/loop/LoaderThread.h"
#include "engine/loop/MainLoop.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class OfflineClock;

class RunControl : public FrameObserver {
public:
    // Reads the presented frame as upright RGB rows, top row first; false when it cannot.
    using CaptureFunction = std::function<bool(std::vector<uint8_t>& rgb, int& width, int& height)>;
    // Writes RGB rows as a PNG file; false when it cannot.
    using PngWriter =
        std::function<bool(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height)>;

    RunControl(const ProgramOptions& options, OfflineClock* offlineClock, CaptureFunction capture,
               PngWriter writePng);

    void beforeFrame() override;
    void afterFrame(double dt) override;

    // The file name a shot at music time t gets; `take` counts the times it was taken in this
    // run (a show that jumps back, by a seek or a loop, reaches its shot times again).
    static std::string shotFileName(double t, int take = 1);
    // "frames: N  fps: F  frame ms: min A  median B  p99 C  max D", from the frame durations.
    static std::string statisticsLine(const std::vector<double>& frameMilliseconds, double wallSeconds);

    // The first scene load is timed for the statistics: the returned function runs `load` and
    // notes when the loader opened the scene file and when it returned (from the loader thread).
    SceneLoadFunction timeSceneLoads(SceneLoadFunction load);
    // Whether the renderer still has registered resources to make (a device renderer makes its
    // GL objects in later frames). Without it every resource counts as made when the loader returns.
    void setResourcesPending(std::function<bool()> pending) { resourcesPending_ = std::move(pending); }
    // Presses a key through the window system (the --press option); false for an unknown key.
    void setKeyPresser(std::function<bool(const std::string& key)> press) { pressKey_ = std::move(press); }

    long long framesRun() const { return frames_; }
    const std::vector<std::string>& shotsWritten() const { return shotsWritten_; }
    // Prints the statistics when --stats was given: the statistics line, the number and
    // longest of the frames drawn while a scene was loading, and, for a timed scene load, the
    // milliseconds from the scene file to the last resource made with the longest frame meanwhile,
    // and the wall time of the show's frames from the start of the first to the end of the last.
    void finish();

private:
    ProgramOptions options_;
    OfflineClock* offline_;
    CaptureFunction capture_;
    PngWriter writePng_;
    size_t nextShot_ = 0;
    std::vector<int> shotTakes_; // per shot time, how often it was taken
    double lastMusicTime_ = 0.0;
    long long frames_ = 0;
    std::vector<double> frameTimes_;
    std::vector<double> loadingFrameTimes_;
    // --frame-log: start in seconds, duration in ms, kind ("load", "seek" or "show").
    struct LoggedFrame {
        double start;
        double milliseconds;
        const char* kind;
    };
    std::vector<LoggedFrame> frameLog_;
    unsigned movesBefore_ = 0;
    std::vector<std::string> shotsWritten_;
    int64_t startNanoseconds_ = 0;
    int64_t frameStart_ = 0;
    double firstPlayingFrame_ = -1.0;
    // The frames of the show itself (after the loading), for comparing runs of the same frames.
    long long showFrames_ = 0;
    int64_t showStart_ = 0;
    int64_t showEnd_ = 0;
    std::function<bool()> resourcesPending_;
    std::function<bool(const std::string&)> pressKey_;
    size_t nextPress_ = 0;
    // Steady-clock nanoseconds; 0 until they happen. Written by the loader thread.
    std::atomic<int64_t> loadStarted_{0};
    std::atomic<int64_t> loadReturned_{0};
    int64_t lastResourceMade_ = 0;
    double longestLoadFrame_ = 0.0; // ms, of the frames from the scene file to the last resource
};
