#include "app/Capture.h"

#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "platform/System.h"
#include "platform/VorbisDecoder.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <future>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;

// Passes everything on to the show's backend and notes which file plays. Every song the show
// opens is decoded at once on a thread of its own, so the decoding overlaps the scene's load.
class MusicWatcher : public AudioBackend {
public:
    explicit MusicWatcher(std::shared_ptr<AudioBackend> inner) : inner_(std::move(inner)) {}

    uint32_t createStream(const std::string& path, bool loop) override {
        const uint32_t stream = inner_ ? inner_->createStream(path, loop) : 0;
        std::lock_guard lock(mutex_);
        if (stream == 0) return 0;
        paths_[stream] = path;
        if (!decoded_.count(path))
            decoded_[path] = std::async(std::launch::async, [path] {
                                 auto song = std::make_shared<platform::DecodedAudio>();
                                 const int code = platform::decodeVorbisFile(path, *song);
                                 return std::make_pair(code, song);
                             }).share();
        return stream;
    }
    bool play(uint32_t stream) override { return started(stream, inner_ && inner_->play(stream)); }
    bool playFrom(uint32_t stream, double seconds) override {
        return started(stream, inner_ && inner_->playFrom(stream, seconds));
    }
    double position(uint32_t stream) override { return inner_ ? inner_->position(stream) : 0.0; }
    // The song's length tells the frame loop where the music starts over, so the events just
    // before that point fire in a capture as they do when played.
    double length(uint32_t stream) override { return inner_ ? inner_->length(stream) : 0.0; }
    int lastError() override { return inner_ ? inner_->lastError() : 0; }

    // The song playing (empty: none, the show runs on its silent clock) and its samples; false
    // with the decoder's reason when the file does not decode.
    bool song(std::string& path, platform::DecodedAudio& samples, std::string& problem) {
        std::shared_future<std::pair<int, std::shared_ptr<platform::DecodedAudio>>> decoding;
        {
            std::lock_guard lock(mutex_);
            path = playing_;
            if (path.empty()) return true;
            decoding = decoded_[path];
        }
        if (!decoding.valid()) return true;
        const auto& [code, decoded] = decoding.get();
        if (code != platform::AudioOk) {
            problem = platform::audioErrorText(code);
            return false;
        }
        samples = *decoded;
        return true;
    }

private:
    bool started(uint32_t stream, bool ok) {
        std::lock_guard lock(mutex_);
        if (ok) {
            const auto it = paths_.find(stream);
            playing_ = it != paths_.end() ? it->second : std::string();
        }
        return ok;
    }

    std::shared_ptr<AudioBackend> inner_;
    std::mutex mutex_;
    std::map<uint32_t, std::string> paths_;
    std::map<std::string, std::shared_future<std::pair<int, std::shared_ptr<platform::DecodedAudio>>>>
        decoded_;
    std::string playing_;
};

namespace {

// Why the capture stops before its end: 0 while it runs on, else the signal's number or one of
// the window's reasons below. The first reason stays.
constexpr int StopByEscape = -1;
constexpr int StopByClosedWindow = -2;
std::atomic<int> stopRequest{0};

void requestStop(int reason) {
    int none = 0;
    stopRequest.compare_exchange_strong(none, reason);
    engine().quitRequested.store(true);
}

// Ctrl+C, SIGTERM (a shutdown, kill) and SIGHUP (the terminal went away; on Windows the console
// closed) end the frame loop at its next turn; the capture keeps what it has. They stay caught
// until the file is done: a second signal (an impatient second Ctrl+C) must not kill the program
// between two frames and leave the hidden file behind. Reads and writes of other threads (the
// encoder's pipes, the PNG files, the audio device) go on where they were.
void onStopSignal(int number) {
    requestStop(number);
}

void handleStopSignals() {
    stopRequest = 0;
    platform::catchStopRequests(onStopSignal, true);
}

void restoreStopSignals() {
    platform::releaseStopRequests();
}

// "Ctrl+C", "SIGTERM", "Escape": what stopped the capture, for its last line.
std::string stopName(int reason) {
    switch (reason) {
    case platform::StopInterrupt:
        return "Ctrl+C";
    case platform::StopTerminate:
        return "SIGTERM";
    case platform::StopHangUp:
#if defined(_WIN32)
        return "closing the console";
#else
        return "SIGHUP";
#endif
    case StopByEscape:
        return "Escape";
    case StopByClosedWindow:
        return "closing the window";
    default:
        return "signal " + std::to_string(reason);
    }
}

// A stopped capture's exit status: a signal's as the shell reports a program it ended; the
// window's as Ctrl+C's, the same wish of the same person.
int stopStatus(int reason) {
    return reason > 0 ? 128 + reason : 128 + platform::StopInterrupt;
}

// The program's window, less its keys and mouse: what a capture records must not depend on a
// hand at the keyboard (Space would pause it, an arrow seek it). Escape and a request to close
// stop the capture as Ctrl+C does, rather than ending the show as if it had reached its end.
class CaptureWindow : public SystemWindow {
public:
    explicit CaptureWindow(std::unique_ptr<SystemWindow> inner) : inner_(std::move(inner)) {}

    bool pollMessage(WindowMessage& message) override {
        // Everything waiting is read at once, so that nothing piles up for later frames.
        while (inner_->pollMessage(message)) {
            if (message.type == WindowMessage::KeyDown && message.key == VirtualKey::Escape)
                requestStop(StopByEscape);
            else if (message.type == WindowMessage::Close)
                requestStop(StopByClosedWindow);
        }
        message = WindowMessage{};
        return false;
    }
    bool makeContextCurrent() override { return inner_->makeContextCurrent(); }
    void swapBuffers() override { inner_->swapBuffers(); }
    int drawableWidth() const override { return inner_->drawableWidth(); }
    int drawableHeight() const override { return inner_->drawableHeight(); }
    void showWindow() override { inner_->showWindow(); }
    void setCursorVisible(bool visible) override { inner_->setCursorVisible(visible); }
    void getCursorPosition(int& x, int& y) override { inner_->getCursorPosition(x, y); }
    void moveCursor(int x, int y) override { inner_->moveCursor(x, y); }
    void showMessageBox(const std::string& caption, const std::string& text, bool error) override {
        inner_->showMessageBox(caption, text, error);
    }

private:
    std::unique_ptr<SystemWindow> inner_;
};

// The earliest of the show's "exit" events, in seconds; negative when it has none.
double exitEventSeconds() {
    double earliest = -1.0;
    for (const EventTrigger& trigger : engine().triggers.triggers())
        if (trigger.name == "exit" && (earliest < 0 || trigger.time < earliest)) earliest = trigger.time;
    return earliest;
}

// The encoder's last words, for the line that says why a capture failed.
std::string lastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    const size_t newline = text.find_last_of('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

} // namespace

// Frames of the same name already in the folder come from an earlier capture. Those the new
// one numbers alike would be written over and the rest would follow its last frame, so that the
// folder would hold one sequence made of two captures. Nothing is removed or written over: the
// capture is refused, naming them, and the person decides what goes.
bool CaptureSession::earlierFramesIn(const fs::path& directory, std::string& error) const {
    const std::string& output = options_.capture.output;
    std::error_code ec;
    long long first = -1, last = -1;
    std::string firstName, lastName;
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
        const std::string name = entry.path().filename().string();
        const long long number = frameNumberOf(output, name);
        if (number < 0) continue;
        ++count;
        if (first < 0 || number < first) first = number, firstName = name;
        if (last < 0 || number > last) last = number, lastName = name;
    }
    const fs::path sound(soundFileBesideFrames(output));
    const bool soundThere = fs::exists(directory / sound.filename(), ec);
    if (count == 0 && !soundThere) return true;
    const std::string folder = directory.string() == "." ? "this folder" : directory.string();
    std::string held;
    if (count == 1) held = "the frame " + firstName;
    if (count > 1) held = std::to_string(count) + " frames (" + firstName + " to " + lastName + ")";
    if (soundThere) held += (held.empty() ? "" : " and ") + sound.filename().string();
    error = folder + " already holds " + held +
            " of an earlier capture; remove them or choose another name, so that the two captures do not mix";
    return false;
}

CaptureSession::CaptureSession(const ProgramOptions& options, FrameObserver& run)
    : options_(options), run_(run),
      timeline_(options.capture.fps, options.startSeconds, options.untilSeconds, options.frameLimit) {}

CaptureSession::~CaptureSession() {
    if (encoder_.running()) encoder_.kill();
    restoreStopSignals();
    if (logSinkSet_) setLogSink(previousSink_);
}

double CaptureSession::secondsSince(std::chrono::steady_clock::time_point t) const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

bool CaptureSession::prepare(std::string& error) {
    const std::string& output = options_.capture.output;
    std::string reason;
    format_ = captureFormatOf(output, reason);
    if (format_ == CaptureFormat::None) {
        error = "--capture " + output + ": " + reason;
        return false;
    }
    if (findProgram("ffmpeg").empty()) {
#if defined(_WIN32)
        error = "--capture needs ffmpeg.exe, which is neither beside beatshow.exe nor on PATH: put it beside "
                "beatshow.exe (ffmpeg.org links to Windows builds)";
#else
        error = "--capture needs the ffmpeg program, which is not on PATH: install it with "
                "'sudo apt-get install ffmpeg' (scripts/install-deps installs it too)";
#endif
        return false;
    }
    if (options_.untilSeconds >= 0 && timeline_.expectedFrames(-1) == 0) {
        error = "--capture: nothing to record between --start and --until";
        return false;
    }
    const fs::path target(output);
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    // A missing folder is made, as --shot-dir does; a capture that fails takes it away again.
    for (fs::path p = directory; !p.empty() && !fs::exists(p, ec); p = p.parent_path())
        madeFolders_.push_back(p);
    if (!fs::is_directory(directory, ec) && !fs::create_directories(directory, ec)) {
        error = "cannot write " + output + ": " + (ec ? ec.message() : "the folder cannot be made");
        madeFolders_.clear();
        return false;
    }
    if (format_ == CaptureFormat::PngFrames && !earlierFramesIn(directory, error)) {
        error = "--capture " + output + ": " + error;
        discardOutput();
        return false;
    }
    // From before the hidden file exists until it is gone or in place.
    handleStopSignals();
    const std::string pid = std::to_string(::getpid());
    if (format_ == CaptureFormat::PngFrames) {
        const fs::path folder = directory / (".capture-" + pid + ".part");
        if (!fs::create_directory(folder, ec)) {
            error =
                "cannot write " + output + ": " + (ec ? ec.message() : folder.string() + " is there already");
            discardOutput();
            return false;
        }
        partPath_ = folder.string();
        partFrames_ = (folder / target.filename()).string();
        partSound_ = (folder / fs::path(soundFileBesideFrames(output)).filename()).string();
    } else {
        if (fs::is_directory(target, ec)) {
            error = "cannot write " + output + ": it is a folder";
            discardOutput();
            return false;
        }
        const fs::path part = directory / ("." + target.filename().string() + "." + pid + ".part");
        std::string reason;
        if (!platform::createNewFile(part, reason)) {
            error = "cannot write " + output + ": " + reason;
            discardOutput();
            return false;
        }
        partPath_ = part.string();
    }
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    progress_ = std::make_unique<CaptureProgress>(stderr, terminal);
    if (terminal) {
        // Log lines (standard output, the same terminal) would land in the middle of the bar.
        previousSink_ = setLogSink([this](const std::string& line) {
            std::lock_guard lock(progressMutex_);
            progress_->clear();
            std::fprintf(stdout, "%s\n", line.c_str());
            std::fflush(stdout);
        });
        logSinkSet_ = true;
    }
    return true;
}

std::shared_ptr<AudioBackend> CaptureSession::watchMusic(std::shared_ptr<AudioBackend> backend) {
    music_ = std::make_shared<MusicWatcher>(std::move(backend));
    return music_;
}

std::unique_ptr<SystemWindow> CaptureSession::wrapWindow(std::unique_ptr<SystemWindow> window) {
    if (!window) return window;
    return std::make_unique<CaptureWindow>(std::move(window));
}

void CaptureSession::beforeFrame() {
    // A stop asked for while the show loaded: the frame loop starts afresh and must end at once.
    if (stopRequest.load() != 0) engine().quitRequested = true;
    run_.beforeFrame();
    if (!firstFrame_) firstFrame_ = std::chrono::steady_clock::now();
    // The loop ends without another frame: what the ring holds goes out now, while the
    // renderer's context still exists.
    if (engine().quitRequested) drainAndRelease();
}

void CaptureSession::afterFrame(double dt) {
    EngineRegistry& r = engine();
    // Set during the frame by the show's "exit" event: this frame already shows the time past
    // the end. A stop (a signal, Escape, a closed window) cuts at the frame, not before it. The
    // quit is read first: a stop that comes in between is then no end of the show.
    const bool quit = r.quitRequested;
    const bool stopping = stopRequest.load() != 0;
    const bool showEnded = quit && !stopping;
    run_.afterFrame(dt);
    if (released_) return;
    if (failure_.empty() && timeline_.keep(showEnded)) {
        const int64_t k = timeline_.kept() - 1;
        if (!encoderStarted_ && !startEncoder()) {
            r.quitRequested = true;
        } else if (expected_ >= 0 && k >= expected_) {
            // The show should have ended by now and goes on (its "exit" never comes): the
            // capture ends where it said it would rather than fill the disk.
            overran_ = true;
        } else if (!readback_.queue(r.renderer, k)) {
            fail("the frame could not be read back from the renderer");
        }
    }
    if (timeline_.finished() || stopping || overran_ || !failure_.empty()) r.quitRequested = true;
    auto write = [this](const uint8_t* rgba, int width, int height, int64_t k) {
        return writeFrame(rgba, width, height, k);
    };
    while (failure_.empty() && readback_.take(write)) {
    }
    if (r.quitRequested) drainAndRelease();
    if (firstFrame_ && encoderStarted_) {
        std::lock_guard lock(progressMutex_);
        progress_->update(written_, expected_, secondsSince(*firstFrame_));
    }
}

bool CaptureSession::startEncoder() {
    encoderStarted_ = true;
    std::string song, problem;
    platform::DecodedAudio samples;
    if (music_ && !music_->song(song, samples, problem))
        logStream << "capture: the music " << song << " does not decode (" << problem
                  << "); the video gets silence" << std::endl;
    if (!samples.samples.empty())
        logStream << "capture: music from " << song << ", " << samples.rate << " Hz" << std::endl;
    sound_ = std::make_unique<CaptureSound>(samples.rate, samples.channels, std::move(samples.samples),
                                            options_.capture.fps, timeline_.firstIndex());
    exitSeconds_ = exitEventSeconds();
    expected_ = timeline_.expectedFrames(exitSeconds_);

    EncoderJob job;
    job.format = format_;
    job.width = static_cast<int>(options_.width);
    job.height = static_cast<int>(options_.height);
    job.fps = options_.capture.fps;
    job.audioRate = sound_->rate();
    job.audioChannels = sound_->channels();
    job.videoPath = format_ == CaptureFormat::PngFrames ? partFrames_ : partPath_;
    job.soundPath = partSound_;
    std::string error;
    if (!encoder_.start(encoderArguments(job), 2, error)) {
        fail(error);
        return false;
    }
    return true;
}

bool CaptureSession::writeFrame(const uint8_t* rgba, int width, int height, int64_t k) {
    if (width != static_cast<int>(options_.width) || height != static_cast<int>(options_.height)) {
        fail("the renderer drew " + std::to_string(width) + "x" + std::to_string(height) +
             ", not the size asked for");
        return false;
    }
    soundChunk_.clear();
    sound_->appendFrame(k, soundChunk_);
    // The sound is queued: the encoder takes it as it needs it while the frame goes out.
    encoder_.queue(1, soundChunk_.data(), soundChunk_.size() * sizeof(int16_t));
    if (!encoder_.write(0, rgba, static_cast<size_t>(width) * static_cast<size_t>(height) * 4)) {
        fail("the encoder stopped taking frames");
        return false;
    }
    ++written_;
    return true;
}

void CaptureSession::drainAndRelease() {
    if (released_) return;
    auto write = [this](const uint8_t* rgba, int width, int height, int64_t k) {
        return writeFrame(rgba, width, height, k);
    };
    while (readback_.pending() > 0)
        if (!readback_.take(write, true) && !failure_.empty()) break;
    readback_.release();
    released_ = true;
}

void CaptureSession::fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
}

void CaptureSession::discardOutput() {
    std::error_code ec;
    if (!partPath_.empty()) fs::remove_all(partPath_, ec);
    partPath_.clear();
    // Deepest first; a folder something else has meanwhile written to stays.
    for (const fs::path& folder : madeFolders_)
        fs::remove(folder, ec);
    madeFolders_.clear();
}

bool CaptureSession::moveIntoPlace(std::string& error) {
    std::error_code ec;
    const fs::path target(options_.capture.output);
    if (format_ != CaptureFormat::PngFrames) {
        fs::rename(partPath_, target, ec);
        if (ec) error = "cannot move the video into place as " + target.string() + ": " + ec.message();
        return !ec;
    }
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (const auto& entry : fs::directory_iterator(partPath_, ec)) {
        fs::rename(entry.path(), directory / entry.path().filename(), ec);
        if (ec) {
            error = "cannot move " + entry.path().filename().string() + " into " + directory.string() + ": " +
                    ec.message();
            return false;
        }
    }
    fs::remove(partPath_, ec);
    return true;
}

int CaptureSession::finish() {
    // What stopped the frame loop; a signal that comes while the encoder finishes changes nothing
    // (the file is whole by then).
    const int stop = stopRequest.load();
    drainAndRelease();
    if (logSinkSet_) {
        setLogSink(previousSink_);
        logSinkSet_ = false;
    }
    const double seconds = firstFrame_ ? secondsSince(*firstFrame_) : 0.0;
    int status = 0;
    if (encoderStarted_) {
        status = encoder_.wait();
        if (progress_) progress_->finish(written_, expected_, secondsSince(*firstFrame_));
    }
    const std::string& output = options_.capture.output;
    const double fps = options_.capture.fps;
    const double from = static_cast<double>(timeline_.firstIndex()) / fps;
    std::string problem = failure_;
    if (problem.empty() && encoderStarted_ && status != 0)
        problem = "the encoder failed (status " + std::to_string(status) + ")";
    if (problem.empty() && written_ == 0) {
        char why[160];
        if (stop)
            std::snprintf(why, sizeof why, "stopped before the first frame by %s", stopName(stop).c_str());
        else if (overran_)
            std::snprintf(why, sizeof why,
                          "the show's \"exit\" event at %.3f s comes before the start at %.3f s",
                          exitSeconds_, from);
        else
            std::snprintf(why, sizeof why, "the show ended before the first frame");
        problem = why;
    }
    if (!problem.empty()) {
        const std::string said = lastLine(encoder_.output());
        if (!said.empty()) problem += " (ffmpeg: " + said + ")";
        std::fprintf(stderr, "beatshow: no capture written to %s: %s\n", output.c_str(), problem.c_str());
        discardOutput();
        restoreStopSignals();
        return stop ? stopStatus(stop) : 1;
    }
    std::string error;
    if (!moveIntoPlace(error)) {
        std::fprintf(stderr, "beatshow: %s\n", error.c_str());
        discardOutput();
        restoreStopSignals();
        return 1;
    }
    restoreStopSignals();
    std::fprintf(stderr,
                 "capture: wrote %s: %lld frames, %.3f s of the show from %.3f s, in %.2f s (%.1f fps)\n",
                 output.c_str(), static_cast<long long>(written_), static_cast<double>(written_) / fps, from,
                 seconds, seconds > 0 ? static_cast<double>(written_) / seconds : 0.0);
    const long long done = static_cast<long long>(written_);
    if (stop) {
        if (expected_ >= 0)
            std::fprintf(stderr, "capture: stopped at frame %lld of %lld by %s\n", done,
                         static_cast<long long>(expected_), stopName(stop).c_str());
        else
            std::fprintf(stderr, "capture: stopped at frame %lld by %s (no end was known)\n", done,
                         stopName(stop).c_str());
        return stopStatus(stop);
    }
    if (overran_) {
        const double song = sound_ ? sound_->songSeconds() : 0.0;
        char why[256];
        if (song > 0 && exitSeconds_ >= song)
            std::snprintf(
                why, sizeof why,
                "its \"exit\" event at %.3f s is not before the end of its song (%.3f s), which loops "
                "first",
                exitSeconds_, song);
        else
            std::snprintf(why, sizeof why, "its \"exit\" event at %.3f s did not end it", exitSeconds_);
        std::fprintf(stderr, "beatshow: capture stopped at frame %lld of %lld: the show went on, %s\n", done,
                     static_cast<long long>(expected_), why);
        return 1;
    }
    return 0;
}
