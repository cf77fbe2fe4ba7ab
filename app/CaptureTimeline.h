// The arithmetic of a capture: which frames of an offline run go into the video, how many there
// will be, which samples of the music play under each, and the progress line.
//
// Times are frame indices on the offline clock's grid: index i is music time i / fps. A frame's
// picture shows the show at the music time read by the frame before it (automation and timed
// events run on that time; the position a frame reads is taken up by the next one), so the
// first frame of a run from the start shows index 0, and a run started at T (replayed up to
// just before it) draws index ceil(T x fps) - 1 first, which the capture leaves out. The frame
// in which the show ends (its "exit" event) already shows the time past the end and is
// left out too: a show that ends at E gives exactly (E - T) x fps frames. A frame limit (--frames)
// counts the frames kept, so that `--start T --frames N` gives N frames too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class CaptureTimeline {
public:
    // `untilSeconds` negative, `frameLimit` 0: no such limit.
    CaptureTimeline(double fps, double startSeconds, double untilSeconds, int64_t frameLimit = 0);

    // The index of the first frame kept, and of the first one no longer wanted (-1: none).
    int64_t firstIndex() const { return first_; }
    int64_t untilIndex() const { return until_; }

    // Called once for every drawn frame, in order: whether its picture goes into the capture.
    // `showEnded`: the show ended during this frame.
    bool keep(bool showEnded);
    // No later frame will be kept: the show ended, or the last frame before --until was kept.
    bool finished() const { return finished_; }
    int64_t kept() const { return kept_; }

    // The frames a capture gets when the show's "exit" event is at `exitSeconds` (negative: it has
    // none); -1 when neither the event, --until nor the frame limit bounds it.
    int64_t expectedFrames(double exitSeconds) const;

    // The first index whose music time, as the frame loop compares it (in single precision),
    // reaches `seconds`.
    static int64_t indexReaching(double seconds, double fps);

private:
    double fps_;
    int64_t first_;
    int64_t until_;
    int64_t limit_;
    int skip_;
    int64_t drawn_ = 0;
    int64_t kept_ = 0;
    bool finished_ = false;
};

// The music under the kept frames: frame k gets the samples from (first + k) / fps to
// (first + k + 1) / fps of the song, looped at its end, so that sound and pictures start together
// and never drift apart by more than a sample. A capture without music gets silence.
class CaptureSound {
public:
    // `samples`: the whole song, interleaved; empty for silence at `rate` and `channels`.
    CaptureSound(int rate, int channels, std::vector<int16_t> samples, double fps, int64_t firstIndex);

    int rate() const { return rate_; }
    int channels() const { return channels_; }
    // The song's length (0 for silence): where the show's clock loops.
    double songSeconds() const;
    // Appends the samples (all channels) that play under kept frame k.
    void appendFrame(int64_t k, std::vector<int16_t>& out) const;
    // The sample frame (per channel) at which clock index `index` begins.
    int64_t sampleAt(int64_t index) const;

private:
    int rate_;
    int channels_;
    std::vector<int16_t> samples_;
    double fps_;
    int64_t first_;
};

// "capture [######------]  120/300 frames  11.4 fps  elapsed 0:10  left 0:15"; without a known
// total, the frames done and "no end known".
std::string captureProgressLine(int64_t done, int64_t total, double elapsedSeconds, int barWidth = 30);

// Prints the progress line on standard error: redrawn in place on a terminal (a few times a
// second), as a line of its own every few seconds otherwise.
class CaptureProgress {
public:
    CaptureProgress(std::FILE* out, bool terminal, double quietSeconds = 5.0);
    // Prints when it is due (always for the first frame on a terminal).
    void update(int64_t done, int64_t total, double elapsedSeconds);
    // The last state, and the end of the line on a terminal.
    void finish(int64_t done, int64_t total, double elapsedSeconds);
    // Clears the line on a terminal, before something else is printed.
    void clear();

private:
    std::FILE* out_;
    bool terminal_;
    double interval_;
    double lastPrinted_ = -1.0;
    bool lineOpen_ = false;
};
