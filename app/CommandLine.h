// The program's options. With no arguments the program does exactly what a show expects: the
// show in the working directory, full screen at 1920 x 1080, on the music's clock. The options
// extend it for demo makers (a window, another size, checking a scene) and for tests (offline
// rendering, frame limits, shots, statistics).
#pragma once

#include "app/CaptureSettings.h"
#include "app/SyncOptions.h"
#include "engine/loop/Startup.h"
#include "scene/Tempo.h"

#include <string>
#include <vector>

// The window settings (windowed, width, height) are what start-up takes.
struct ProgramOptions : WindowSettings {
    bool help = false;
    bool check = false;
    std::string checkDirectory = ".";
    // The show to play (or check), when not the working directory's: `beatshow DIR`.
    std::string showDirectory;
    // --check: the engine's load log before the findings.
    bool verbose = false;
    // --classes: print the actor classes' reference and end.
    bool classes = false;
    // --edit: the scene editor over the show; --resave: load and save the scene, no window.
    bool edit = false;
    bool resave = false;
    // --new DIR: write a small show to start from and end.
    std::string newShowDirectory;

    // Deterministic playback at this many frames per second; 0 plays in real time.
    double offlineFps = 0.0;
    // End after this many frames (0: no limit).
    long long frameLimit = 0;
    // Music time of the first frame shown; the show is replayed up to it (0: from the start).
    double startSeconds = 0.0;
    // End when the music time reaches this many seconds (negative: no limit).
    double untilSeconds = -1.0;
    // --start and --until as given when they name a bar (b57.3): counted at the default tempo
    // until resolveMusicTimes counts them at the show's.
    std::string startText;
    std::string untilText;
    // Music times at which the presented frame is written as a PNG file, ascending.
    std::vector<double> shotTimes;
    std::string shotDirectory = ".";
    bool stats = false;
    bool repeat = false;  // the "exit" event starts the show over
    std::string frameLog; // --frame-log FILE: every frame's time, written at the end

    // Live work on a show: the debug display from the first frame; watching the show's files
    // for changes (-1: in windowed runs that are not offline, 0: never, 1: always).
    bool hud = false;
    int watch = -1;
    // Keys pressed through the window system's event queue after the given frame of the run
    // (scripted sessions and tests), in the order given.
    struct KeyPress {
        long long frame = 0;
        std::string key; // the window system's key name: Space, Left, PageUp, Home, L, [, F1
    };
    std::vector<KeyPress> presses;

    bool watchesFiles() const { return watch == 1 || (watch == -1 && windowed && offlineFps <= 0); }
    // How a release starts at a party: presenting once per display refresh (--vsync), and full
    // screen on the desktop at the desktop's own size instead of a mode change to the window's
    // (--fullscreen desktop; --fullscreen exact is the mode change, as without the option).
    bool vsync = false;
    bool desktopFullscreen = false;
    // --capture OUT and --fps N: the show offline into a video file.
    CaptureSettings capture;
    // --sync, --bpm, --log-beats, --export-tracks: the tempo and the link to a sync tracker.
    SyncOptions sync;
};

// 0 and the options; -1 with a message naming the bad argument.
int parseCommandLine(const std::vector<std::string>& arguments, ProgramOptions& options, std::string& error);

// `beatshow DIR` plays the show as if started in DIR; the files the options name (the shots'
// folder, the frame log, a capture) keep meaning the folder the command was typed in: before the
// program moves into DIR, their relative paths are made absolute from the working directory.
void anchorPathsToWorkingDirectory(ProgramOptions& options);

// True for the runs that play the show (in a window, full screen, offline, into a capture), which
// take the show's launch settings; false for --check, --new, --edit, --resave, --export-tracks,
// --classes, --help.
bool playsShow(const ProgramOptions& options);

// The arguments joined with one blank after each, as the engine has always received them.
std::string joinCommandLine(const std::vector<std::string>& arguments);

// The text `beatshow --help` prints.
std::string usageText();
// A music time as `--start` and `--until` take it: seconds, or bN / bN.B for bar N (from 1), beat B
// (from 1) at the tempo; false for anything else.
bool parseMusicTime(const std::string& text, double& seconds, const Tempo& tempo = Tempo{});
// Counts the --start and --until given in bars at the show's tempo; false with a message when a
// beat does not exist in its bars.
bool resolveMusicTimes(ProgramOptions& options, const Tempo& tempo, std::string& error);
