// `beatshow --capture OUT`: the offline run's frames and the show's music, encoded by an ffmpeg
// child process into one file.
//
// The session watches every frame of the run (it wraps the run control). Each kept frame is
// copied on the device into a ring of pixel buffers and read a frame or two later, so that the
// read never waits for the frame being drawn; its pixels go down one pipe to the encoder and the
// music under it down another. The song is the one the show plays, decoded by our own decoder
// while the scene loads.
//
// Nothing appears under the requested name until the encoder has finished: it writes to a
// hidden file beside it (a hidden folder for PNG frames), renamed into place at the end and
// removed when the capture fails. Numbered frames are never written over an earlier capture's.
//
// The capture's window takes no keys: the recording is the show as written, not as a hand on
// the keyboard played it. Ctrl+C (a second one too), SIGTERM, SIGHUP, Escape and closing the
// window stop the run at the next frame and keep what was rendered as a complete, playable file,
// with a line that says so and a non-zero exit status: 0 means every frame was written.
#pragma once

#include "app/CaptureSettings.h"
#include "app/CaptureTimeline.h"
#include "app/ChildProcess.h"
#include "app/CommandLine.h"
#include "engine/base/AudioBackend.h"
#include "engine/base/SystemWindow.h"
#include "engine/loop/MainLoop.h"
#include "render/gl/FrameReadback.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class MusicWatcher;

class CaptureSession : public FrameObserver {
public:
    // `run`: the observer the program runs anyway (offline clock, shots, statistics); the
    // session passes every frame on to it.
    CaptureSession(const ProgramOptions& options, FrameObserver& run);
    ~CaptureSession() override;

    // The checks before anything is rendered: the encoder is on PATH, the place of the output
    // can be written (its hidden file is made now), and numbered frames would not mix with an
    // earlier capture's. False with one line in `error`. From here on the stopping signals are
    // the session's.
    bool prepare(std::string& error);
    // The music backend for the show, watched for the song it plays.
    std::shared_ptr<AudioBackend> watchMusic(std::shared_ptr<AudioBackend> backend);
    // The program's window as the capture needs it: keys and the mouse reach nothing; Escape and
    // a request to close stop the capture.
    std::unique_ptr<SystemWindow> wrapWindow(std::unique_ptr<SystemWindow> window);

    void beforeFrame() override;
    void afterFrame(double dt) override;

    // After the frame loop: lets the encoder finish, puts the file in place and says what was
    // written (or removes it and says why not). The program's exit status: 0 for a whole
    // capture; when it was stopped (what was rendered is kept), 128 + the signal (130 for
    // Ctrl+C, 143 for SIGTERM, 129 for SIGHUP) or 130 for Escape and a closed window; 1 on
    // failure, and when the show went on past the end it announced (the frames up to that end
    // are kept).
    int finish();

    int64_t framesWritten() const { return written_; }

private:
    bool earlierFramesIn(const std::filesystem::path& directory, std::string& error) const;
    bool startEncoder();
    bool writeFrame(const uint8_t* rgba, int width, int height, int64_t k);
    void drainAndRelease();
    void fail(const std::string& why);
    void discardOutput();
    bool moveIntoPlace(std::string& error);
    double secondsSince(std::chrono::steady_clock::time_point t) const;

    ProgramOptions options_;
    FrameObserver& run_;
    CaptureFormat format_ = CaptureFormat::None;
    CaptureTimeline timeline_;
    std::shared_ptr<MusicWatcher> music_;
    std::unique_ptr<CaptureSound> sound_;
    FrameReadback readback_;
    ChildProcess encoder_;
    bool encoderStarted_ = false;
    bool released_ = false;
    std::string failure_;
    int64_t written_ = 0;
    int64_t expected_ = -1;
    double exitSeconds_ = -1.0;
    bool overran_ = false; // the show went on past the frames expected of it
    std::vector<int16_t> soundChunk_;

    // Where the encoder writes: a hidden file beside the output, or a hidden folder for frames.
    std::string partPath_;
    std::string partFrames_;                         // PNG frames: the pattern inside the hidden folder
    std::string partSound_;                          // PNG frames: the WAV file inside it
    std::vector<std::filesystem::path> madeFolders_; // the folders the output asked for, deepest first

    std::optional<std::chrono::steady_clock::time_point> firstFrame_;
    std::mutex progressMutex_;
    std::unique_ptr<CaptureProgress> progress_;
    bool logSinkSet_ = false;
    std::function<void(const std::string&)> previousSink_;
};
