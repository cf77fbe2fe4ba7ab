#include "app/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

bool parseCount(const std::string& text, long long& value) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool parseSize(const std::string& text, unsigned& width, unsigned& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    long long w = 0, h = 0;
    if (!parseCount(text.substr(0, x), w) || !parseCount(text.substr(x + 1), h)) return false;
    if (w < 16 || h < 16 || w > 16384 || h > 16384) return false;
    width = static_cast<unsigned>(w);
    height = static_cast<unsigned>(h);
    return true;
}

bool parseTimes(const std::string& text, std::vector<double>& times) {
    std::stringstream list(text);
    std::string item;
    times.clear();
    while (std::getline(list, item, ',')) {
        double t = 0;
        if (!parseNumber(item, t) || t < 0) return false;
        times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    return !times.empty();
}

enum ShowCommandResult { Recognised, Unrecognised };

// What a demo maker's first hour needs: a show to start from, the reference of the actor
// classes, a check that shows the engine's log, and playing a show from another folder.
ShowCommandResult parseShowCommand(const std::vector<std::string>& arguments, size_t& i,
                                   ProgramOptions& options, std::string& error) {
    const std::string& a = arguments[i];
    if (a == "--new") {
        if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
            error = "--new needs the folder to write the show into";
            return Recognised;
        }
        options.newShowDirectory = arguments[++i];
    } else if (a == "--classes") {
        options.classes = true;
    } else if (a == "--edit") {
        options.edit = true;
    } else if (a == "--resave") {
        options.resave = true;
    } else if (a == "--verbose") {
        options.verbose = true;
    } else if (!a.empty() && a[0] != '-') {
        if (!options.showDirectory.empty()) {
            error = "one show at a time: '" + options.showDirectory + "' and '" + a + "'";
            return Recognised;
        }
        options.showDirectory = a;
    } else {
        return Unrecognised;
    }
    return Recognised;
}

} // namespace

void anchorPathsToWorkingDirectory(ProgramOptions& options) {
    // An empty path is an option not given; it stays so.
    for (std::string* path : {&options.shotDirectory, &options.frameLog, &options.capture.output}) {
        std::error_code error;
        if (!path->empty()) *path = std::filesystem::absolute(*path, error).string();
    }
}

bool parseMusicTime(const std::string& text, double& seconds, const Tempo& tempo) {
    if (!text.empty() && text[0] == 'b') {
        // b57 is the first beat of bar 57, b57.3 its third beat, at the show's tempo (by default
        // 4 beats a bar at 141 BPM, bar 1 at 0 s), as a tracker counts them.
        const std::string rest = text.substr(1);
        const size_t dot = rest.find('.');
        long long bar = 0, beat = 1;
        if (!parseCount(rest.substr(0, dot), bar) || bar < 1 || bar > 1000000) return false;
        if (dot != std::string::npos &&
            (!parseCount(rest.substr(dot + 1), beat) || beat < 1 || beat > tempo.beatsPerBar))
            return false;
        seconds = tempo.barTime(bar, beat);
        return seconds >= 0;
    }
    return parseNumber(text, seconds) && seconds >= 0;
}

bool resolveMusicTimes(ProgramOptions& options, const Tempo& tempo, std::string& error) {
    const std::pair<const std::string*, double*> times[] = {{&options.startText, &options.startSeconds},
                                                            {&options.untilText, &options.untilSeconds}};
    for (const auto& [text, seconds] : times) {
        if (text->empty()) continue;
        if (!parseMusicTime(*text, *seconds, tempo)) {
            error = (text == &options.startText ? "--start " : "--until ") + *text +
                    ": the show's bars have " + std::to_string(tempo.beatsPerBar) + " beats (" +
                    tempo.sceneLine() + ")";
            return false;
        }
    }
    return true;
}

int parseCommandLine(const std::vector<std::string>& arguments, ProgramOptions& options, std::string& error) {
    options = ProgramOptions{};
    bool sizeGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= arguments.size()) {
                error = a + " needs a value";
                return false;
            }
            out = arguments[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--check") {
            options.check = true;
            if (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0)
                options.checkDirectory = arguments[++i];
        } else if (a == "--windowed") {
            options.windowed = true;
        } else if (a == "--fullscreen") {
            if (!value(v)) return -1;
            if (v != "exact" && v != "desktop") {
                error = "--fullscreen takes exact (a mode change to the window's size) or desktop (the "
                        "desktop at its own size), not '" +
                        v + "'";
                return -1;
            }
            options.windowed = false;
            options.desktopFullscreen = v == "desktop";
        } else if (a == "--vsync" || a == "--no-vsync") {
            options.vsync = a == "--vsync";
        } else if (a == "--size") {
            if (!value(v)) return -1;
            sizeGiven = true;
            if (!parseSize(v, options.width, options.height)) {
                error = "--size takes WIDTHxHEIGHT (16 to 16384 pixels each), not '" + v + "'";
                return -1;
            }
        } else if (a == "--offline") {
            if (!value(v)) return -1;
            if (!parseNumber(v, options.offlineFps) || options.offlineFps <= 0 ||
                options.offlineFps > 10000) {
                error = "--offline takes frames per second (a number above 0), not '" + v + "'";
                return -1;
            }
        } else if (a == "--frames") {
            if (!value(v)) return -1;
            if (!parseCount(v, options.frameLimit) || options.frameLimit <= 0) {
                error = "--frames takes a positive frame count, not '" + v + "'";
                return -1;
            }
        } else if (a == "--until" || a == "--start") {
            // A bar and beat waits for the show's tempo (resolveMusicTimes); until then it counts
            // at the default one.
            if (!value(v)) return -1;
            const bool start = a == "--start";
            double& seconds = start ? options.startSeconds : options.untilSeconds;
            Tempo anyBar;
            anyBar.beatsPerBar = Tempo::MaxBeatsPerBar;
            if (!parseMusicTime(v, seconds, anyBar)) {
                error =
                    a + " takes a music time: seconds (35.5) or a bar and beat (b57, b57.3), not '" + v + "'";
                return -1;
            }
            (start ? options.startText : options.untilText) = v[0] == 'b' ? v : std::string();
            if (!parseMusicTime(v, seconds)) seconds = 0.0;
        } else if (a == "--shots") {
            if (!value(v)) return -1;
            if (!parseTimes(v, options.shotTimes)) {
                error = "--shots takes music times in seconds separated by commas, not '" + v + "'";
                return -1;
            }
        } else if (a == "--shot-dir") {
            if (!value(options.shotDirectory)) return -1;
        } else if (a == "--stats") {
            options.stats = true;
        } else if (a == "--repeat") {
            options.repeat = true;
        } else if (a == "--frame-log") {
            if (!value(v)) return -1;
            options.frameLog = v;
        } else if (a == "--hud") {
            options.hud = true;
        } else if (a == "--watch" || a == "--no-watch") {
            options.watch = a == "--watch" ? 1 : 0;
        } else if (a == "--press") {
            if (!value(v)) return -1;
            ProgramOptions::KeyPress press;
            const size_t colon = v.find(':');
            if (colon == std::string::npos || !parseCount(v.substr(0, colon), press.frame) ||
                colon + 1 >= v.size()) {
                error = "--press takes FRAME:KEY (120:Space, 300:Left), not '" + v + "'";
                return -1;
            }
            press.key = v.substr(colon + 1);
            options.presses.push_back(press);
        } else if (const int taken = parseCaptureOption(arguments, i, options.capture, error)) {
            if (taken < 0) return -1;
        } else if (const int taken = parseSyncOption(arguments, i, options.sync, error)) {
            if (taken < 0) return -1;
        } else if (parseShowCommand(arguments, i, options, error) != Unrecognised) {
            if (!error.empty()) return -1;
        } else {
            error = "unknown option '" + a + "' (beatshow --help lists the options)";
            return -1;
        }
    }
    if (!checkCaptureOptions(options.capture, options.width, options.height, options.offlineFps, error))
        return -1;
    if (checkSyncOptions(options, error) != 0) return -1;
    if (options.edit &&
        (options.check || options.resave || options.capture.enabled() || !options.shotTimes.empty())) {
        error = "--edit opens the editor in a window; it does not go with --check, --resave, --capture or "
                "--shots";
        return -1;
    }
    // The editor is a window over the running show: never full screen, 1600 x 900 unless told.
    if (options.edit) {
        options.windowed = true;
        if (!sizeGiven) {
            options.width = 1600;
            options.height = 900;
        }
    }
    // `beatshow DIR --check` checks the show it names.
    if (options.check && options.checkDirectory == "." && !options.showDirectory.empty())
        options.checkDirectory = options.showDirectory;
    return 0;
}

bool playsShow(const ProgramOptions& options) {
    return !options.help && !options.classes && options.newShowDirectory.empty() && !options.check &&
           !options.edit && !options.resave && options.sync.exportDirectory.empty();
}

std::string joinCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& a : arguments)
        line += a + " ";
    return line;
}

std::string usageText() {
    return "usage: beatshow [options] [DIR]\n"
           "Plays the show in DIR (default: the working directory): the scene epicrealtimetest.xml, its\n"
           "assets in tex/, model/ and audio/ and the shader files, full screen at 1920 x 1080.\n"
           "Escape ends the show, as does the scene's \"exit\" event. docs/scene.md is the reference.\n"
           "\n"
           "options:\n"
           "  --new DIR            write a small show to start from into DIR (a new or empty folder)\n"
           "  --check [DIR]        check the show of DIR (default: the working directory) without a\n"
           "                       window or sound: every problem with its line in the scene, missing\n"
           "                       or broken shaders and music; exit 0 only when there is nothing to fix\n"
           "  --verbose            with --check: the engine's load log too\n"
           "  --classes            list every actor class: elements, parameters, events, timings\n"
           "  --edit               the show with the scene editor over it, in a window (1600 x 900):\n"
           "                       outliner, inspector, timeline, camera recording; Ctrl+S saves\n"
           "  --resave             read the show's scene and save it as the editor does (no window)\n"
           "  --windowed           a window instead of full screen\n"
           "  --fullscreen MODE    exact: full screen by a mode change to --size (the default);\n"
           "                       desktop: full screen at the desktop's own size, no mode change\n"
           "  --vsync, --no-vsync  present each frame at a display refresh (no tearing), or as soon\n"
           "                       as it is drawn (the default)\n"
           "  --size WxH           another back-buffer size (default 1920x1080)\n"
           "  --offline FPS        deterministic playback: every frame advances the clock by 1/FPS s,\n"
           "                       no sound; the same command gives the same frames and log\n"
           "  --frames N           end after N frames\n"
           "  --until TIME         end when the music time reaches TIME (seconds or bar and beat)\n"
           "  --start TIME         start the show at TIME: seconds (35.5) or bar and beat at the show's\n"
           "                       tempo (b57 = bar 57, b57.3 = its third beat); the frames before are\n"
           "                       replayed without drawing, so the show is exactly where it would be\n"
           "  --shots T1,T2,...    write the frame at each music time T as a PNG file\n"
           "  --shot-dir DIR       where --shots writes (default: the working directory)\n"
           "  --frame-log FILE     write each frame's start (s), duration (ms) and kind (load, seek,\n"
           "                       show) to FILE at the end\n"
           "  --repeat             start the show over at its end instead of ending (soak runs)\n"
           "  --hud                show the debug display (time, bar, frame times, events) from the\n"
           "                       start; F1 toggles it in a window\n"
           "  --watch, --no-watch  reload shaders, the scene, meshes, bitmaps and the song when their\n"
           "                       files change (default: on in a window, off offline)\n"
           "  --press FRAME:KEY    press KEY (Space, Left, Right, PageUp, PageDown, Home, L, [, ], F1)\n"
           "                       after FRAME frames; repeatable (scripted sessions)\n"
           "  --capture OUT        record the show offline into a video with its music: OUT.mp4\n"
           "                       (H.264, AAC), OUT.webm (VP9, Opus), OUT.mkv (H.264, FLAC), or numbered\n"
           "                       frames such as frames/shot-%05d.png with frames/shot.wav; from --start\n"
           "                       to the show's end, --until or --frames N frames, at --size; needs\n"
           "                       ffmpeg on PATH. Its window takes no keys; Ctrl+C or Escape stops it\n"
           "                       and keeps what was rendered (a non-zero exit status)\n"
           "  --fps N              frames per second of --capture (default 60)\n"
           "  --stats              print frame count, frames per second and frame times at the end,\n"
           "                       and how long the scene took from its file to its last resource\n" +
           syncUsageText() +
           "  --help               this text\n"
           "\n"
           "A file launch.txt beside the scene holds options the show starts with, one a line (a\n"
           "release's full screen and vsync); the command line's own win.\n"
           "\n"
           "Headless machines: SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy beatshow --offline 30 ...\n";
}
