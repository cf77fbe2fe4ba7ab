#include "app/CaptureTimeline.h"

#include <algorithm>
#include <cmath>

int64_t CaptureTimeline::indexReaching(double seconds, double fps) {
    // The frame loop compares single-precision music times; the estimate is moved to the first
    // index that passes the same comparison.
    const float target = static_cast<float>(seconds);
    int64_t i = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(seconds * fps - 1e-6)));
    while (static_cast<float>(static_cast<double>(i) / fps) < target)
        ++i;
    while (i > 0 && static_cast<float>(static_cast<double>(i - 1) / fps) >= target)
        --i;
    return i;
}

CaptureTimeline::CaptureTimeline(double fps, double startSeconds, double untilSeconds, int64_t frameLimit)
    : fps_(fps), first_(startSeconds > 0 ? std::max<int64_t>(1, indexReaching(startSeconds, fps)) : 0),
      until_(untilSeconds >= 0 ? indexReaching(untilSeconds, fps) : -1),
      limit_(std::max<int64_t>(0, frameLimit)), skip_(startSeconds > 0 ? 1 : 0) {}

bool CaptureTimeline::keep(bool showEnded) {
    ++drawn_;
    if (finished_) return false;
    if (showEnded) {
        finished_ = true;
        return false;
    }
    if (drawn_ <= skip_) return false;
    const int64_t index = first_ + kept_;
    if (until_ >= 0 && index >= until_) {
        finished_ = true;
        return false;
    }
    ++kept_;
    if ((until_ >= 0 && index + 1 >= until_) || (limit_ > 0 && kept_ >= limit_)) finished_ = true;
    return true;
}

int64_t CaptureTimeline::expectedFrames(double exitSeconds) const {
    int64_t end = until_;
    if (exitSeconds >= 0) {
        const int64_t exit = indexReaching(exitSeconds, fps_);
        end = end < 0 ? exit : std::min(end, exit);
    }
    if (limit_ > 0) end = end < 0 ? first_ + limit_ : std::min(end, first_ + limit_);
    return end < 0 ? -1 : std::max<int64_t>(0, end - first_);
}

// ---- the music ----

CaptureSound::CaptureSound(int rate, int channels, std::vector<int16_t> samples, double fps,
                           int64_t firstIndex)
    : rate_(rate > 0 ? rate : 48000), channels_(channels > 0 ? channels : 2), samples_(std::move(samples)),
      fps_(fps), first_(firstIndex) {}

double CaptureSound::songSeconds() const {
    return static_cast<double>(samples_.size() / static_cast<size_t>(channels_)) / rate_;
}

int64_t CaptureSound::sampleAt(int64_t index) const {
    return std::llround(static_cast<long double>(index) * rate_ / static_cast<long double>(fps_));
}

void CaptureSound::appendFrame(int64_t k, std::vector<int16_t>& out) const {
    const int64_t begin = sampleAt(first_ + k);
    const int64_t end = sampleAt(first_ + k + 1);
    const size_t channels = static_cast<size_t>(channels_);
    const int64_t songFrames = static_cast<int64_t>(samples_.size() / channels);
    if (songFrames == 0) {
        out.insert(out.end(), static_cast<size_t>(end - begin) * channels, 0);
        return;
    }
    // The song loops as the show's clock does when the show outlasts it.
    int64_t at = begin % songFrames;
    for (int64_t left = end - begin; left > 0;) {
        const int64_t run = std::min(left, songFrames - at);
        const auto from = samples_.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(at) * channels);
        out.insert(out.end(), from, from + static_cast<std::ptrdiff_t>(static_cast<size_t>(run) * channels));
        left -= run;
        at = 0;
    }
}

// ---- progress ----

namespace {

std::string clockText(double seconds) {
    const long total = static_cast<long>(std::max(0.0, seconds) + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

} // namespace

std::string captureProgressLine(int64_t done, int64_t total, double elapsedSeconds, int barWidth) {
    const double fps = elapsedSeconds > 0 ? static_cast<double>(done) / elapsedSeconds : 0.0;
    char numbers[160];
    std::string line = "capture ";
    if (total > 0) {
        const int64_t shown = std::min(done, total);
        const int filled =
            static_cast<int>(static_cast<double>(shown) / static_cast<double>(total) * barWidth);
        line += "[" + std::string(static_cast<size_t>(filled), '#') +
                std::string(static_cast<size_t>(barWidth - filled), '-') + "]  ";
        const std::string left = fps > 0 ? clockText(static_cast<double>(total - shown) / fps) : "?";
        std::snprintf(numbers, sizeof numbers, "%lld/%lld frames  %.1f fps  elapsed %s  left %s",
                      static_cast<long long>(done), static_cast<long long>(total), fps,
                      clockText(elapsedSeconds).c_str(), left.c_str());
    } else {
        std::snprintf(numbers, sizeof numbers,
                      "%lld frames  %.1f fps  elapsed %s  (no end known: Ctrl+C stops)",
                      static_cast<long long>(done), fps, clockText(elapsedSeconds).c_str());
    }
    return line + numbers;
}

CaptureProgress::CaptureProgress(std::FILE* out, bool terminal, double quietSeconds)
    : out_(out), terminal_(terminal), interval_(terminal ? 0.25 : quietSeconds) {}

void CaptureProgress::update(int64_t done, int64_t total, double elapsedSeconds) {
    const bool due = lastPrinted_ < 0 ? terminal_ || elapsedSeconds >= interval_
                                      : elapsedSeconds - lastPrinted_ >= interval_;
    if (!due || !out_) return;
    lastPrinted_ = elapsedSeconds;
    const std::string line = captureProgressLine(done, total, elapsedSeconds);
    if (terminal_) {
        std::fprintf(out_, "\r%s\033[K", line.c_str());
        lineOpen_ = true;
    } else {
        std::fprintf(out_, "%s\n", line.c_str());
    }
    std::fflush(out_);
}

void CaptureProgress::finish(int64_t done, int64_t total, double elapsedSeconds) {
    if (!out_) return;
    const std::string line = captureProgressLine(done, total, elapsedSeconds);
    std::fprintf(out_, terminal_ ? "\r%s\033[K\n" : "%s\n", line.c_str());
    std::fflush(out_);
    lineOpen_ = false;
}

void CaptureProgress::clear() {
    if (!terminal_ || !lineOpen_ || !out_) return;
    std::fprintf(out_, "\r\033[K");
    std::fflush(out_);
    lineOpen_ = false;
}
