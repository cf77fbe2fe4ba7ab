// What the command-line options add to every frame: deterministic offline time, frame and time
// limits, shots of chosen music times, and frame-time statistics at the end.
#pragma once

#include "app/CommandLine.h"
#include "engine/loop/MainLoop.h"

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

    // The file name a shot at music time t gets.
    static std::string shotFileName(double t);
    // "frames: N  fps: F  frame ms: min A  median B  p99 C  max D", from the frame durations.
    static std::string statisticsLine(const std::vector<double>& frameMilliseconds, double wallSeconds);

    long long framesRun() const { return frames_; }
    const std::vector<std::string>& shotsWritten() const { return shotsWritten_; }
    // Prints the statistics when --stats was given: the statistics line, and the number and
    // longest of the frames drawn while a scene was loading.
    void finish();

private:
    ProgramOptions options_;
    OfflineClock* offline_;
    CaptureFunction capture_;
    PngWriter writePng_;
    size_t nextShot_ = 0;
    long long frames_ = 0;
    std::vector<double> frameTimes_;
    std::vector<double> loadingFrameTimes_;
    std::vector<std::string> shotsWritten_;
    int64_t startNanoseconds_ = 0;
    int64_t frameStart_ = 0;
    double firstPlayingFrame_ = -1.0;
};
