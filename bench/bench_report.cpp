// The project's performance table (`make bench`): runs each benchmark in a process of its own,
// one after the other, and prints every figure beside the reference it is measured against, as
// Markdown on standard output and as JSON in a file.
//
//   bench_report [--json PATH] [--large N] [--small N] [--steps N] [--offline-fps N]
//                [--renderer-frames N] [--large-timeout S] [--capture-seconds S]
//                [--baseline BUILD] [--rounds N]
//
// Rows: the engine's CPU per frame over the whole default show with the recording renderer; the
// default show's load in the real program; the renderer's passes at 1280 x 720 beside a floor
// of trivial shaders; the real program's offline frame rate at 480 x 270; a generated scene of
// N path points and N events through the scene loader, and the same at a smaller size, whose
// ratio tells how the load scales; beatshow-import on a generated model of a million triangles,
// its time and peak memory; a capture to video (--capture) at 480 x 270 and 1280 x 720 against
// the same frames rendered offline without it, and from its rate the time of the whole show at
// 1280 x 720; the editor's panels per frame, its edits (a value and a key dragged on a large
// scene, a recorded camera pose on long paths) and a structural edit beside a seek at 159 s of
// the default show. With --baseline, the renderer, the whole show offline and the capture at
// 1280 x 720 are measured for another build too (its beatshow, bench/renderer_bench and show/),
// in turns with this one's, --rounds times (default 2), each figure the best of its rounds, and
// the table gains a column with the baseline's figures. Progress goes to standard error.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

struct Settings {
    fs::path build = BEATSHOW_BUILD_DIR;
    fs::path json;
    long large = 100000;
    long small = 10000;
    double steps = 60.0;
    double offlineFps = 5.0;
    int rendererFrames = 20;
    int largeTimeout = 300;
    double captureSeconds = 2.0;
    bool wholeCapture = false; // also capture the whole show at 1280 x 720 (about a quarter of an hour)
    fs::path baseline;         // another build measured beside this one; empty: none
    int rounds = 0;            // 0: 1 alone, 2 with a baseline
};

struct Output {
    int status = -1;
    std::string text;
    double seconds = 0.0;
    double cpuSeconds = 0.0; // user and system time of the command and its children
    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }
};

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

// Runs a shell command in `directory` with both output streams captured; status 124 when
// `timeout` (seconds) ran out.
Output runCommand(const fs::path& directory, const std::string& command, int timeout) {
    const std::string line = "cd " + quoted(directory.string()) + " && timeout " + std::to_string(timeout) +
                             " " + command + " 2>&1";
    Output out;
    const auto start = std::chrono::steady_clock::now();
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.text.append(buffer, n);
    const int status = pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Waited-for children count into RUSAGE_CHILDREN once reaped: pclose reaped the shell, which
    // reaped the rest.
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    out.cpuSeconds = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
                     seconds(before.ru_stime);
    return out;
}

// "key value" lines; the value is the rest of the line.
std::map<std::string, std::string> keyValues(const Output& out) {
    std::map<std::string, std::string> result;
    for (const std::string& line : out.lines()) {
        const size_t space = line.find(' ');
        if (space != std::string::npos && space > 0) result[line.substr(0, space)] = line.substr(space + 1);
    }
    return result;
}

std::optional<double> number(const std::map<std::string, std::string>& values, const std::string& key) {
    const auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(it->second.c_str(), &end);
    if (end == it->second.c_str()) return std::nullopt;
    return value;
}

void progress(const std::string& text) {
    std::fprintf(stderr, "bench: %s\n", text.c_str());
    std::fflush(stderr);
}

// Says why a step gave no figures, with the end of what it printed.
void failed(const std::string& step, const Output& out) {
    std::string tail = out.text.size() > 1500 ? out.text.substr(out.text.size() - 1500) : out.text;
    std::fprintf(stderr, "bench: %s failed (status %d):\n%s\n", step.c_str(), out.status, tail.c_str());
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// 100000 as "100,000".
std::string grouped(long value) {
    std::string digits = std::to_string(value), result;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) result += ',';
        result += digits[i];
    }
    return result;
}

std::string milliseconds(double ms) {
    return format(ms < 1.0 ? "%.3f ms" : ms < 100.0 ? "%.1f ms" : "%.0f ms", ms);
}

// One row of the table: a figure, the reference it is measured against and their ratio.
struct Row {
    std::string id;
    std::string what;
    std::optional<double> value;
    std::string unit;
    std::string reference; // what the reference is, with its figure
    std::optional<double> referenceValue;
    std::string ratio; // as the table writes it
    std::optional<double> ratioValue;
    std::string shown; // the figure as the table writes it (derived from value when empty)
    // The same figure of the baseline build, measured in the same run, and its ratio to its own
    // reference (when it has one).
    std::optional<double> baselineValue;
    std::optional<double> baselineRatio;
    std::string baselineShown;
};

std::string shownValue(const Row& row) {
    if (!row.shown.empty()) return row.shown;
    if (!row.value) return "failed";
    if (row.unit == "ms") return milliseconds(*row.value);
    return format("%.1f", *row.value) + " " + row.unit;
}

std::string jsonString(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            result += std::string("\\") + c;
        else if (static_cast<unsigned char>(c) < 0x20)
            result += format("\\u%04x", static_cast<unsigned char>(c));
        else
            result += c;
    }
    return result + "\"";
}

std::string jsonNumber(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) return "null";
    return format("%.6g", *value);
}

std::string cpuModel() {
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    return "unknown";
}

// The one-minute load average: other work on the machine slows every figure.
std::string systemLoad() {
    std::ifstream in("/proc/loadavg");
    std::string first;
    in >> first;
    return first.empty() ? "unknown" : first;
}

int cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
    return 0;
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&now));
    return text;
}

int usage() {
    std::fprintf(stderr, "usage: bench_report [--json PATH] [--large N] [--small N] [--steps N] "
                         "[--offline-fps N] [--renderer-frames N] [--large-timeout S] [--capture-seconds S] "
                         "[--whole-capture 1] [--baseline BUILD] [--rounds N]\n");
    return 2;
}

bool parseArguments(int argc, char** argv, Settings& settings) {
    settings.json = settings.build / "bench.json";
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        const double n = std::atof(value.c_str());
        if (name == "--json")
            settings.json = value;
        else if (name == "--large" && n >= 1)
            settings.large = static_cast<long>(n);
        else if (name == "--small" && n >= 1)
            settings.small = static_cast<long>(n);
        else if (name == "--steps" && n > 0)
            settings.steps = n;
        else if (name == "--offline-fps" && n > 0)
            settings.offlineFps = n;
        else if (name == "--renderer-frames" && n >= 1)
            settings.rendererFrames = static_cast<int>(n);
        else if (name == "--large-timeout" && n >= 1)
            settings.largeTimeout = static_cast<int>(n);
        else if (name == "--capture-seconds" && n > 0)
            settings.captureSeconds = n;
        else if (name == "--whole-capture")
            settings.wholeCapture = n > 0;
        else if (name == "--baseline" && !value.empty())
            settings.baseline = fs::absolute(value);
        else if (name == "--rounds" && n >= 1)
            settings.rounds = static_cast<int>(n);
        else
            return false;
    }
    return true;
}

// The figures of the program's --stats lines.
struct ProgramStats {
    std::optional<double> fps, median, p99, max, loadingMax, sceneLoad, loader, loadingLongest;
    std::optional<long> frames;
    long loadingFrames = 0;
};

ProgramStats programStats(const Output& out) {
    ProgramStats stats;
    for (const std::string& line : out.lines()) {
        long frames = 0;
        double fps = 0, min = 0, median = 0, p99 = 0, max = 0, a = 0, b = 0, c = 0;
        if (std::sscanf(line.c_str(), "frames: %ld fps: %lf frame ms: min %lf median %lf p99 %lf max %lf",
                        &frames, &fps, &min, &median, &p99, &max) == 6) {
            stats.frames = frames;
            stats.fps = fps;
            stats.median = median;
            stats.p99 = p99;
            stats.max = max;
        } else if (std::sscanf(line.c_str(), "frames while loading: %ld max %lf", &frames, &a) == 2) {
            stats.loadingFrames = frames;
            stats.loadingMax = a;
        } else if (std::sscanf(line.c_str(),
                               "scene load: %lf ms from the scene file to the last resource made (loader %lf "
                               "ms); longest frame meanwhile %lf",
                               &a, &b, &c) == 3) {
            stats.sceneLoad = a;
            stats.loader = b;
            stats.loadingLongest = c;
        }
    }
    return stats;
}

// The wall time of a run's show frames, from the first frame's start to the last frame's end
// ("show frames: N in S s", --stats).
std::optional<double> showFrameSeconds(const Output& out) {
    for (const std::string& line : out.lines()) {
        long frames = 0;
        double seconds = 0;
        if (std::sscanf(line.c_str(), "show frames: %ld in %lf s", &frames, &seconds) == 2) return seconds;
    }
    return std::nullopt;
}

// A capture's time from its first frame's start to the encoder's end ("capture: wrote ..., in S s").
std::optional<double> captureSeconds(const Output& out) {
    for (const std::string& line : out.lines()) {
        const size_t at = line.rfind(", in ");
        double seconds = 0;
        if (line.rfind("capture: wrote ", 0) == 0 && at != std::string::npos &&
            std::sscanf(line.c_str() + at, ", in %lf s", &seconds) == 1)
            return seconds;
    }
    return std::nullopt;
}

std::optional<double> smaller(std::optional<double> a, std::optional<double> b) {
    if (!a) return b;
    if (!b) return a;
    return std::min(*a, *b);
}

std::string ratioText(std::optional<double> a, std::optional<double> b, const char* pattern = "%.2fx") {
    if (!a || !b || *b <= 0) return "";
    return format(pattern, *a / *b);
}

std::optional<double> ratioOf(std::optional<double> a, std::optional<double> b) {
    if (!a || !b || *b <= 0) return std::nullopt;
    return *a / *b;
}

// The row measured against a goal: the goal's figure, how the table names it, and the ratio.
void againstGoal(Row& row, std::optional<double> goal, const std::string& goalText) {
    row.referenceValue = goal;
    row.reference = "goal, " + goalText;
    row.ratioValue = ratioOf(row.value, goal);
    row.ratio = ratioText(row.value, goal, "%.2fx the goal");
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!parseArguments(argc, argv, settings)) return usage();
    const fs::path build = fs::absolute(settings.build);
    const fs::path show = build / "show";
    if (!fs::exists(show / "epicrealtimetest.xml") || !fs::exists(build / "beatshow")) {
        std::fprintf(stderr, "bench: no program or default show under %s (make show builds them)\n",
                     build.c_str());
        return 1;
    }
    // Headless unless told otherwise; the same settings the program's tests use.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::string bench = quoted((build / "bench").string());
    const std::string program = quoted((build / "beatshow").string());
    std::vector<Row> rows;
    std::vector<std::string> notes;
    const std::string loadAverage = systemLoad();
    std::map<std::string, std::map<std::string, std::string>> raw;
    bool allMeasured = true;
    const auto started = std::chrono::steady_clock::now();

    // ---- the engine over the whole show, CPU only ----
    progress("engine over the whole default show, recording renderer, " + format("%.0f", settings.steps) +
             " steps a second");
    const Output engineRun =
        runCommand(show, bench + "/engine_bench show " + format("%g", settings.steps), 600);
    const auto engineKeys = keyValues(engineRun);
    if (engineRun.status != 0) failed("engine_bench show", engineRun), allMeasured = false;
    raw["engine"] = engineKeys;
    const double budget = 1000.0 / 60.0;
    const std::string engineWhat = "Engine CPU per frame, whole show (" +
                                   grouped(static_cast<long>(number(engineKeys, "frames").value_or(0))) +
                                   " frames at " + format("%.0f", settings.steps) +
                                   " steps/s, recording renderer, no GL; CPU time of the loop's thread)";
    for (const auto& [key, label, wall] : {std::tuple{"frame_median_ms", "median", "wall_median_ms"},
                                           std::tuple{"frame_p99_ms", "p99", "wall_p99_ms"}}) {
        Row row;
        row.id = std::string("engine_") + key;
        const auto wallMs = number(engineKeys, wall);
        row.what = engineWhat + ", " + label + (wallMs ? " (wall clock " + milliseconds(*wallMs) + ")" : "");
        row.value = engineRun.status == 0 ? number(engineKeys, key) : std::nullopt;
        row.unit = "ms";
        row.reference = "60 Hz frame budget, 16.7 ms";
        row.referenceValue = budget;
        row.ratioValue = ratioOf(row.value, budget);
        if (row.ratioValue) row.ratio = format("%.2f %% of it", *row.ratioValue * 100.0);
        rows.push_back(row);
    }

    // ---- a start in the middle: the replay of every frame before it ----
    progress("reaching 160 s of the default show by replaying the frames before it");
    const Output seekRun =
        runCommand(show, bench + "/engine_bench seek 160 " + format("%g", settings.steps), 300);
    const auto seekKeys = keyValues(seekRun);
    if (seekRun.status != 0) failed("engine_bench seek", seekRun), allMeasured = false;
    raw["seek"] = seekKeys;
    {
        Row row;
        row.id = "seek_160_ms";
        row.what = "Start at 160 s of the default show (--start): every frame before it replayed at " +
                   format("%.0f", settings.steps) +
                   " steps/s without drawing, recording renderer; CPU time of the first frame";
        row.value = seekRun.status == 0 ? number(seekKeys, "first_frame_ms") : std::nullopt;
        row.unit = "ms";
        againstGoal(row, 1000.0, "1000 ms");
        rows.push_back(row);
    }
    // The same run moves the show once it plays: the live loop's seeks and reloads.
    const struct {
        const char* id;
        const char* key;
        const char* what;
    } moves[] = {
        {"seek_back_160_ms", "seek_back_ms",
         "Seek in a running show to 160 s (the scene reset to its load, loaded again from memory, "
         "every frame before replayed); wall clock"},
        {"scene_reload_160_ms", "scene_reload_ms",
         "The default show's scene file changed at 160 s: read, loaded over the reset scene (meshes "
         "and bitmaps kept), replayed to 160 s; wall clock"},
        {"scene_reload_assets_160_ms", "scene_reload_assets_ms",
         "The same with every mesh and bitmap read and made again (one of them changed); wall clock"},
    };
    for (const auto& move : moves) {
        Row row;
        row.id = move.id;
        row.what = move.what;
        row.value = seekRun.status == 0 ? number(seekKeys, move.key) : std::nullopt;
        row.unit = "ms";
        againstGoal(row, 1000.0, "1000 ms");
        rows.push_back(row);
    }

    // ---- the default show's load in the real program ----
    progress("the default show's load in the program (480 x 270, real time, until 4 s of music)");
    const Output loadRun = runCommand(show, program + " --windowed --size 480x270 --until 4 --stats", 300);
    const ProgramStats load = programStats(loadRun);
    if (loadRun.status != 0 || !load.sceneLoad)
        failed("the program's load run", loadRun), allMeasured = false;
    raw["program_load"] = {{"frames_while_loading", std::to_string(load.loadingFrames)},
                           {"loader_ms", load.loader ? format("%.1f", *load.loader) : "null"},
                           {"median_frame_ms", load.median ? format("%.2f", *load.median) : "null"}};
    {
        Row row;
        row.id = "load_scene_to_last_resource_ms";
        row.what = "Load of the default show: scene file to last resource made (program, OpenGL uploads)";
        row.value = load.sceneLoad;
        row.unit = "ms";
        row.referenceValue = engineRun.status == 0 ? number(engineKeys, "load_ms") : std::nullopt;
        row.reference = "the same load with the recording renderer, " +
                        (row.referenceValue ? milliseconds(*row.referenceValue) : std::string("failed"));
        row.ratioValue = ratioOf(row.value, row.referenceValue);
        row.ratio = ratioText(row.value, row.referenceValue);
        rows.push_back(row);
    }
    {
        Row row;
        row.id = "load_longest_frame_ms";
        row.what =
            "Longest frame while the show loads, scene file to last resource made (program, 480 x 270; "
            "of the " +
            std::to_string(load.loadingFrames) + " frames behind the loading label, " +
            (load.loadingMax ? milliseconds(*load.loadingMax) : std::string("none")) + ")";
        row.value = load.loadingLongest;
        row.unit = "ms";
        row.referenceValue = load.median;
        row.reference = "median frame of the same run, " +
                        (load.median ? milliseconds(*load.median) : std::string("failed"));
        row.ratioValue = ratioOf(row.value, row.referenceValue);
        row.ratio = ratioText(row.value, row.referenceValue);
        rows.push_back(row);
    }

    // ---- the renderer's passes against the floor of trivial shaders ----
    // Each size in turns with the baseline's, each figure the smallest of its rounds: other work
    // on the machine only ever adds time.
    const bool withBaseline = !settings.baseline.empty();
    const int rounds = settings.rounds > 0 ? settings.rounds : (withBaseline ? 2 : 1);
    auto rendererAt = [&](const char* size, std::map<std::string, std::string>& current,
                          std::map<std::string, std::string>& before) {
        progress(std::string("renderer at ") + size + " against trivial shaders, " +
                 std::to_string(settings.rendererFrames) + " frames each" +
                 (withBaseline ? ", with the baseline's in turns" : ""));
        bool ok = true;
        auto keep = [](std::map<std::string, std::string>& into,
                       const std::map<std::string, std::string>& keys) {
            for (const auto& [key, value] : keys) {
                const auto old = into.find(key);
                const bool figure = key.size() > 3 && key.compare(key.size() - 3, 3, "_ms") == 0;
                if (old == into.end() || !figure || std::atof(value.c_str()) < std::atof(old->second.c_str()))
                    into[key] = value;
            }
        };
        const std::string arguments =
            " " + std::to_string(settings.rendererFrames) + " --auto --size " + size + " --kv";
        for (int round = 0; round < rounds; ++round) {
            const Output run = runCommand(build, bench + "/renderer_bench" + arguments, 900);
            if (run.status != 0)
                failed(std::string("renderer_bench at ") + size, run), ok = false;
            else
                keep(current, keyValues(run));
            if (!withBaseline) continue;
            // The baseline's program reads its own show's shader files.
            const Output old =
                runCommand(settings.baseline,
                           "env BEATSHOW_SHADERS=" + quoted((settings.baseline / "show").string()) + " " +
                               quoted((settings.baseline / "bench" / "renderer_bench").string()) + arguments,
                           900);
            if (old.status != 0)
                failed(std::string("the baseline's renderer_bench at ") + size, old);
            else
                keep(before, keyValues(old));
        }
        return ok;
    };
    std::map<std::string, std::string> rendererKeys, rendererBefore, largeKeys, largeBefore;
    if (!rendererAt("1280x720", rendererKeys, rendererBefore)) allMeasured = false;
    if (!rendererAt("1920x1080", largeKeys, largeBefore)) allMeasured = false;
    raw["renderer"] = rendererKeys;
    raw["renderer_1920x1080"] = largeKeys;
    if (withBaseline) {
        raw["baseline_renderer"] = rendererBefore;
        raw["baseline_renderer_1920x1080"] = largeBefore;
    }
    const bool rendererMeasured = rendererKeys.count("frame_ms") > 0;
    const std::string rendererClock = rendererKeys.count("clock") ? rendererKeys.at("clock") : "";
    notes.push_back(
        "Renderer: medians of " + std::to_string(settings.rendererFrames) +
        " frames of bench/BenchScene (20 objects of about 2,000 triangles, 3 shadow-casting "
        "lights, the six-stage filter chain, 100 lines of text); the floor draws the same with "
        "trivial shaders and no text" +
        (rounds > 1 ? ", each the smallest of " + std::to_string(rounds) + " runs" : std::string()) +
        ". Passes and frames timed " +
        (rendererClock == "cpu"
             ? "with a glFinish and the CPU time of the process at each boundary (a software rasteriser's "
               "timer queries mark queueing, not work; its work on all its threads is CPU time, which other "
               "work on the machine disturbs far less than the clock)"
         : rendererClock == "finish" ? "with a glFinish and the CPU clock at each boundary"
                                     : "with GL timer queries") +
        ".");
    if (withBaseline && rendererBefore.count("clock") && rendererBefore.at("clock") != rendererClock)
        notes.push_back("The baseline's renderer_bench timed its passes " +
                        std::string(rendererBefore.at("clock") == "cpu"      ? "by the process's CPU time"
                                    : rendererBefore.at("clock") == "finish" ? "by the clock"
                                                                             : "with timer queries") +
                        ", this build's by another clock: compare the ratios to each one's floor, not the "
                        "milliseconds.");
    // A pass of the renderer against the floor, and the baseline's beside it.
    auto rendererRow = [&](const std::map<std::string, std::string>& keys,
                           const std::map<std::string, std::string>& before, const std::string& id,
                           const std::string& what, const std::string& key, const char* goal) {
        Row row;
        row.id = id;
        row.what = what;
        row.value = number(keys, key + "_ms");
        row.unit = "ms";
        row.referenceValue = number(keys, key + "_floor_ms");
        row.reference = "trivial shaders, " +
                        (row.referenceValue ? milliseconds(*row.referenceValue) : std::string("failed")) +
                        (goal ? std::string("; goal ") + goal : std::string());
        row.ratioValue = ratioOf(row.value, row.referenceValue);
        row.ratio = ratioText(row.value, row.referenceValue);
        row.baselineValue = number(before, key + "_ms");
        row.baselineRatio = ratioOf(row.baselineValue, number(before, key + "_floor_ms"));
        rows.push_back(row);
    };
    for (const auto& [key, label] :
         {std::pair{"geometry", "geometry"}, std::pair{"shadow", "shadow"}, std::pair{"lighting", "lighting"},
          std::pair{"composition", "composition"}, std::pair{"overlay", "overlay (100 lines of text)"},
          std::pair{"filters", "6 filters"}, std::pair{"frame", "whole frame, present included"}})
        rendererRow(rendererKeys, rendererBefore, std::string("renderer_") + key + "_ms",
                    std::string("Renderer 1280 x 720: ") + label, key,
                    std::string(key) == "frame" ? "2.5x" : nullptr);
    rendererRow(largeKeys, largeBefore, "renderer_1920x1080_frame_ms",
                "Renderer 1920 x 1080: whole frame, present included", "frame", "3x");

    {
        Row row;
        row.id = "shader_reload_ms";
        row.what = "A shader saved while the show runs (lighting_shader.psh at 1280 x 720): built again, "
                   "swapped in and the next frame drawn; wall clock";
        row.value = rendererMeasured ? number(rendererKeys, "shader_reload_ms") : std::nullopt;
        row.unit = "ms";
        row.reference = "goal, 300 ms";
        row.referenceValue = 300.0;
        row.ratioValue = ratioOf(row.value, 300.0);
        if (row.ratioValue) row.ratio = format("%.2fx the goal", *row.ratioValue);
        rows.push_back(row);
    }

    // ---- the whole show offline ----
    const std::string offlineFps = format("%g", settings.offlineFps);
    progress("the whole default show offline at 480 x 270, " + offlineFps + " steps a second" +
             (withBaseline ? ", with the baseline's in turns" : ""));
    // The run with the most frames a second of its rounds, and its CPU time.
    struct Offline {
        ProgramStats stats;
        double cpuSeconds = 0.0;
        bool measured = false;
    };
    auto better = [](Offline& best, const Output& run) {
        const ProgramStats stats = programStats(run);
        if (run.status != 0 || !stats.fps) return false;
        if (!best.measured || *stats.fps > *best.stats.fps) best = {stats, run.cpuSeconds, true};
        return true;
    };
    Offline offline, offlineBefore;
    const std::string offlineArguments = " --offline " + offlineFps + " --size 480x270 --stats";
    for (int round = 0; round < rounds; ++round) {
        const Output run = runCommand(show, program + offlineArguments, 900);
        if (!better(offline, run)) failed("the program's offline run", run);
        if (!withBaseline) continue;
        const Output old =
            runCommand(settings.baseline / "show",
                       quoted((settings.baseline / "beatshow").string()) + offlineArguments, 900);
        if (!better(offlineBefore, old)) failed("the baseline's offline run", old);
    }
    if (!offline.measured) allMeasured = false;
    {
        Row row;
        row.id = "offline_fps";
        row.what = "Offline frames per second, whole default show at 480 x 270 (median frame " +
                   (offline.stats.median ? milliseconds(*offline.stats.median) : std::string("?")) +
                   ", p99 " + (offline.stats.p99 ? milliseconds(*offline.stats.p99) : std::string("?")) +
                   "; CPU time " + format("%.1f s", offline.cpuSeconds) + ")";
        row.value = offline.stats.fps;
        row.unit = "fps";
        row.referenceValue = settings.offlineFps;
        row.reference = "real time at the offline step, " + offlineFps + " fps; goal 40 fps";
        row.ratioValue = ratioOf(row.value, row.referenceValue);
        row.ratio = ratioText(row.value, row.referenceValue, "%.2fx real time");
        if (offlineBefore.measured) {
            row.baselineValue = offlineBefore.stats.fps;
            row.baselineRatio = ratioOf(row.baselineValue, settings.offlineFps);
            row.baselineShown = format("%.1f fps", *offlineBefore.stats.fps) + " (CPU time " +
                                format("%.1f s", offlineBefore.cpuSeconds) + ")";
        }
        rows.push_back(row);
        raw["offline"] = {{"cpu_s", format("%.2f", offline.cpuSeconds)},
                          {"frames", offline.stats.frames ? std::to_string(*offline.stats.frames) : "null"}};
        if (offlineBefore.measured)
            raw["baseline_offline"] = {{"cpu_s", format("%.2f", offlineBefore.cpuSeconds)},
                                       {"fps", format("%.2f", *offlineBefore.stats.fps)}};
    }

    // ---- a capture to video against the same frames without it ----
    // The same section of the show twice each way, one run after the other, the faster of each
    // kept: other work on the machine only ever adds time.
    const double captureStart = 100.0;
    const double captureFps = 30.0;
    const fs::path captureFile = build / "bench" / "capture-bench.mp4";
    const std::string section = format(" --start %g", captureStart) +
                                format(" --until %g", captureStart + settings.captureSeconds) + " --stats";
    for (const char* size : {"480x270", "1280x720"}) {
        const std::string sizeText = std::string(size).replace(std::string(size).find('x'), 1, " x ");
        progress("capture at " + sizeText + " against the same frames offline, " +
                 format("%g s", settings.captureSeconds) + " of the show from " +
                 format("%g s", captureStart));
        std::optional<double> plain, captured, capturedFrame, plainFrame;
        bool ok = true;
        for (int round = 0; round < 2; ++round) {
            const Output plainRun = runCommand(
                show, program + " --offline " + format("%g", captureFps) + " --size " + size + section, 600);
            const Output captureRun =
                runCommand(show,
                           program + " --capture " + quoted(captureFile.string()) + " --fps " +
                               format("%g", captureFps) + " --size " + size + section,
                           600);
            if (plainRun.status != 0 || !showFrameSeconds(plainRun))
                failed("the offline run beside the capture", plainRun), ok = false;
            if (captureRun.status != 0 || !captureSeconds(captureRun))
                failed("the capture", captureRun), ok = false;
            plain = smaller(plain, showFrameSeconds(plainRun));
            captured = smaller(captured, captureSeconds(captureRun));
            // The median frame leaves out the first, which builds every shader and replays the
            // show up to the start: the rate of the frames that follow.
            capturedFrame = smaller(capturedFrame, programStats(captureRun).median);
            plainFrame = smaller(plainFrame, programStats(plainRun).median);
        }
        std::error_code ec;
        fs::remove(captureFile, ec);
        if (!ok) allMeasured = false;
        raw[std::string("capture_") + size] = {
            {"offline_s", plain ? format("%.3f", *plain) : "null"},
            {"capture_s", captured ? format("%.3f", *captured) : "null"},
            {"frames", format("%.0f", settings.captureSeconds * captureFps)}};
        Row row;
        row.id = std::string("capture_") + size + "_s";
        row.what = "Capture to H.264 + AAC at " + sizeText + " (--capture, " +
                   format("%.0f", settings.captureSeconds * captureFps) +
                   " frames of the default show from " + format("%g s", captureStart) + " at " +
                   format("%g", captureFps) + " fps; frames and encoder, the faster of 2 runs)";
        row.value = captured;
        row.unit = "s";
        row.shown = captured ? format("%.2f s", *captured) : "failed";
        row.referenceValue = plain;
        row.reference = "the same frames offline without capture, " +
                        (plain ? format("%.2f s", *plain) : std::string("failed")) + "; goal 1.2x";
        row.ratioValue = ratioOf(captured, plain);
        row.ratio = ratioText(captured, plain);
        rows.push_back(row);
        if (std::string(size) != "1280x720") continue;

        // The whole show at the capture's own rate: too long to wait for here.
        const std::optional<long> showFrames = offline.stats.frames;
        std::optional<double> before;
        if (withBaseline) {
            progress("the baseline's capture at 1280 x 720");
            for (int round = 0; round < rounds; ++round) {
                const Output old = runCommand(settings.baseline / "show",
                                              quoted((settings.baseline / "beatshow").string()) +
                                                  " --capture " + quoted(captureFile.string()) + " --fps " +
                                                  format("%g", captureFps) + " --size " + size + section,
                                              900);
                if (old.status != 0 || !programStats(old).median) failed("the baseline's capture", old);
                before = smaller(before, programStats(old).median);
            }
            fs::remove(captureFile, ec);
        }
        Row whole;
        whole.id = "capture_whole_show_1280x720_min";
        const double wholeFrames =
            showFrames ? static_cast<double>(*showFrames) * 60.0 / settings.offlineFps : 0.0;
        whole.what =
            "Whole default show captured at 1280 x 720, 60 fps (about " +
            grouped(static_cast<long>(wholeFrames)) +
            " frames), estimated from the median frame of the capture above (its part of the show is "
            "lighter than the average: `make bench BENCH_WHOLE_CAPTURE=1` measures the whole)";
        if (capturedFrame && showFrames) whole.value = wholeFrames * *capturedFrame / 1000.0 / 60.0;
        whole.unit = "min";
        // The encoder shares the machine: the frames alone tell what the renderer leaves it.
        whole.shown = whole.value
                          ? format("%.0f min", *whole.value) + " (" +
                                format("%.2f", 1000.0 / *capturedFrame) + " frames a second" +
                                (plainFrame ? "; the frames alone " +
                                                  format("%.0f min", wholeFrames * *plainFrame / 60000.0)
                                            : std::string()) +
                                ")"
                          : "failed";
        whole.reference = "real time, " + format("%.1f min", wholeFrames / 60.0 / 60.0);
        whole.referenceValue = wholeFrames / 60.0 / 60.0;
        whole.ratioValue = ratioOf(whole.value, whole.referenceValue);
        whole.ratio = ratioText(whole.value, whole.referenceValue, "%.1fx real time");
        if (before && *before > 0 && showFrames) {
            whole.baselineValue = wholeFrames * *before / 1000.0 / 60.0;
            whole.baselineShown = format("%.0f min", *whole.baselineValue) + " (" +
                                  format("%.2f", 1000.0 / *before) + " frames a second)";
            whole.baselineRatio = ratioOf(whole.baselineValue, whole.referenceValue);
        }
        rows.push_back(whole);

        if (!settings.wholeCapture) continue;
        progress("the whole show captured at 1280 x 720, 60 fps (about a quarter of an hour here)");
        const Output run = runCommand(
            show, program + " --capture " + quoted(captureFile.string()) + " --size " + size + " --stats",
            7200);
        fs::remove(captureFile, ec);
        if (run.status != 0 || !captureSeconds(run))
            failed("the whole show's capture", run), allMeasured = false;
        Row measured;
        measured.id = "capture_whole_show_1280x720_measured_min";
        measured.what = "Whole default show captured at 1280 x 720, 60 fps, measured (--capture of the whole "
                        "show; frames and encoder)";
        const std::optional<long> capturedFrames = programStats(run).frames;
        if (const std::optional<double> seconds = captureSeconds(run)) {
            measured.value = *seconds / 60.0;
            measured.shown = format("%.1f min", *measured.value) +
                             (capturedFrames && *seconds > 0
                                  ? " (" + format("%.1f", static_cast<double>(*capturedFrames) / *seconds) +
                                        " frames a second)"
                                  : std::string());
        } else {
            measured.shown = "failed";
        }
        measured.unit = "min";
        measured.reference = whole.reference;
        measured.referenceValue = whole.referenceValue;
        measured.ratioValue = ratioOf(measured.value, measured.referenceValue);
        measured.ratio = ratioText(measured.value, measured.referenceValue, "%.1fx real time");
        rows.push_back(measured);
    }

    // ---- a large generated scene through the loader ----
    Output largeRuns[2];
    std::optional<double> largeMs[2], parseMs[2];
    const long sizes[2] = {settings.large, settings.small};
    for (int i = 0; i < 2; ++i) {
        progress("generated scene of " + grouped(sizes[i]) + " path points and " + grouped(sizes[i]) +
                 " events");
        largeRuns[i] = runCommand(build, bench + "/engine_bench large " + std::to_string(sizes[i]),
                                  i == 0 ? settings.largeTimeout : 600);
        const auto keys = keyValues(largeRuns[i]);
        raw["large_" + std::to_string(sizes[i])] = keys;
        if (largeRuns[i].status == 0) {
            largeMs[i] = number(keys, "load_ms");
            parseMs[i] = number(keys, "parse_ms");
        } else if (largeRuns[i].status != 124)
            failed("engine_bench large " + std::to_string(sizes[i]), largeRuns[i]), allMeasured = false;
    }
    const bool largeTimedOut = largeRuns[0].status == 124;
    {
        Row row;
        row.id = "large_scene_load_ms";
        row.what = "Load of a generated scene: " + grouped(settings.large) + " path points in time order + " +
                   grouped(settings.large) +
                   " timed events (scene loader, recording renderer; the XML reader " +
                   (parseMs[0] ? "alone " + milliseconds(*parseMs[0]) : std::string("not measured")) + ")";
        row.value = largeMs[0];
        row.unit = "ms";
        if (largeTimedOut) row.shown = "over " + std::to_string(settings.largeTimeout) + " s (stopped)";
        againstGoal(row, 500.0, "500 ms");
        if (largeTimedOut) row.ratio = format("over %.0fx", settings.largeTimeout * 1000.0 / 500.0);
        rows.push_back(row);
    }
    {
        Row row;
        row.id = "large_scene_scaling";
        row.what = "The same at " + grouped(settings.small) + " + " + grouped(settings.small) +
                   " (how the load grows with the size)";
        row.value = largeMs[1];
        row.unit = "ms";
        row.referenceValue = largeMs[0];
        row.reference = grouped(settings.large) + " + " + grouped(settings.large) + ", " +
                        (largeTimedOut ? "over " + std::to_string(settings.largeTimeout) + " s"
                         : largeMs[0]  ? milliseconds(*largeMs[0])
                                       : std::string("failed"));
        row.ratioValue = ratioOf(row.referenceValue, row.value);
        const double growth = static_cast<double>(settings.large) / static_cast<double>(settings.small);
        if (row.ratioValue)
            row.ratio = format("%.1fx", *row.ratioValue) + " for " + format("%g", growth) +
                        "x the size (linear " + format("%g", growth) + "x, quadratic " +
                        format("%g", growth * growth) + "x)";
        rows.push_back(row);
    }

    // ---- importing a large model ----
    progress("beatshow-import on a generated model of 1,000,000 triangles");
    const Output importRun = runCommand(build, bench + "/import_bench 1000000", 300);
    const auto importKeys = keyValues(importRun);
    if (importRun.status != 0) failed("import_bench", importRun), allMeasured = false;
    raw["import"] = importKeys;
    {
        const auto modelBytes = number(importKeys, "model_bytes");
        Row row;
        row.id = "import_1m_triangles_ms";
        row.what = "beatshow-import: a 1,000,000-triangle glTF model (" +
                   (modelBytes ? format("%.0f MB", *modelBytes / 1e6) : std::string("?")) +
                   ", normals and texture coordinates, no tangents) to its mesh file";
        row.value = importRun.status == 0 ? number(importKeys, "convert_ms") : std::nullopt;
        row.unit = "ms";
        againstGoal(row, 10000.0, "10 s");
        rows.push_back(row);
    }
    {
        const auto meshBytes = number(importKeys, "mesh_file_bytes");
        const auto rss = number(importKeys, "peak_rss_bytes");
        Row row;
        row.id = "import_1m_triangles_peak_memory_mb";
        row.what = "Peak resident memory of that conversion";
        row.value = importRun.status == 0 && rss ? std::optional<double>(*rss / 1e6) : std::nullopt;
        row.unit = "MB";
        againstGoal(row, meshBytes ? std::optional<double>(10.0 * *meshBytes / 1e6) : std::nullopt,
                    "10x the mesh file written (" +
                        (meshBytes ? format("%.0f MB", *meshBytes / 1e6) : std::string("?")) + ")");
        rows.push_back(row);
    }

    // ---- the editor's own work per frame ----
    progress("the editor's panels over 1,000 objects and 10,000 keys");
    const Output editorRun = runCommand(build, bench + "/editor_bench 300", 120);
    const auto editorKeys = keyValues(editorRun);
    if (editorRun.status != 0) failed("editor_bench", editorRun), allMeasured = false;
    raw["editor"] = editorKeys;
    for (const char* which : {"median", "p99"}) {
        Row row;
        row.id = std::string("editor_frame_cpu_") + which + "_ms";
        row.what = std::string(
                       "Editor CPU per frame (ImGui frame with outliner of 1,000 objects, timeline of 10,000 "
                       "keys in view, inspector; no GL), ") +
                   which;
        row.value = editorRun.status == 0 ? number(editorKeys, std::string(which) + "_ms") : std::nullopt;
        row.unit = "ms";
        againstGoal(row, 2.0, "2 ms");
        rows.push_back(row);
    }

    // ---- the editor's edits ----
    progress(
        "the editor's edits on 2,000 objects and 20,000 keys, recorded poses, a structural edit at 159 s");
    const Output editsRun = runCommand(build, bench + "/editor_bench edits 120", 120);
    const Output poseRun = runCommand(build, bench + "/editor_bench pose 60 10000", 120);
    const Output structuralRun = runCommand(show, bench + "/editor_bench structural 159 3", 300);
    const auto editsKeys = keyValues(editsRun), poseKeys = keyValues(poseRun),
               structuralKeys = keyValues(structuralRun);
    if (editsRun.status != 0) failed("editor_bench edits", editsRun), allMeasured = false;
    if (poseRun.status != 0) failed("editor_bench pose", poseRun), allMeasured = false;
    if (structuralRun.status != 0) failed("editor_bench structural", structuralRun), allMeasured = false;
    raw["editor_edits"] = editsKeys;
    raw["editor_pose"] = poseKeys;
    raw["editor_structural"] = structuralKeys;
    const struct {
        const char* id;
        const char* key;
        const char* what;
        const std::map<std::string, std::string>* values;
        const Output* run;
        double goal;
    } edits[] = {
        {"editor_value_edit_ms", "value_edit",
         "Editor: a frame of a drag of an object's Position on 2,000 objects and 20,000 keys (the command, "
         "the show taking it over, the panels' frame; CPU), median",
         &editsKeys, &editsRun, 2.0},
        {"editor_key_edit_ms", "key_edit",
         "Editor: a frame of a drag of a key's value on that scene's path of 13,000 keys (the same), median",
         &editsKeys, &editsRun, 2.0},
        {"editor_recorded_pose_ms", "pose",
         "Editor: a recorded camera pose over Position and Rotation paths of 10,000 keys each (the command "
         "and the show taking the paths over; CPU), median",
         &poseKeys, &poseRun, 1.0},
    };
    for (const auto& edit : edits) {
        Row row;
        row.id = edit.id;
        const auto max = number(*edit.values, std::string(edit.key) + "_max_ms");
        row.what = std::string(edit.what) + (max ? " (longest " + milliseconds(*max) + ")" : "");
        row.value =
            edit.run->status == 0 ? number(*edit.values, std::string(edit.key) + "_median_ms") : std::nullopt;
        row.unit = "ms";
        againstGoal(row, edit.goal, milliseconds(edit.goal));
        rows.push_back(row);
    }
    {
        Row row;
        row.id = "editor_structural_edit_159_ms";
        const auto wall = number(structuralKeys, "structural_edit_wall_median_ms");
        row.what = "Editor: a structural edit at 159 s of the default show (an event added; the edited scene "
                   "loaded over the reset show, meshes and bitmaps kept, every frame before replayed; "
                   "recording renderer; CPU of the loop's thread" +
                   (wall ? ", wall clock " + milliseconds(*wall) : std::string()) + "), median of 3";
        row.value =
            structuralRun.status == 0 ? number(structuralKeys, "structural_edit_median_ms") : std::nullopt;
        row.unit = "ms";
        row.referenceValue =
            structuralRun.status == 0 ? number(structuralKeys, "seek_median_ms") : std::nullopt;
        row.reference = "goal: no slower than a seek to 159 s in the same run" +
                        (row.referenceValue ? ", " + milliseconds(*row.referenceValue) : std::string());
        row.ratioValue = ratioOf(row.value, row.referenceValue);
        row.ratio = ratioText(row.value, row.referenceValue, "%.2fx the seek");
        rows.push_back(row);
    }

    // ---- the table ----
    const std::string device = rendererKeys.count("device") ? rendererKeys.at("device") : "unknown";
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("beatshow performance, %s: %d cores (%s, load average %s at the start), OpenGL on %s; "
                "measured in %.0f s\n\n",
                today().c_str(), cores(), cpuModel().c_str(), loadAverage.c_str(), device.c_str(), seconds);
    if (withBaseline) {
        // The baseline's figure and its own ratio, where it was measured.
        std::printf("Baseline: %s, measured in turns with this build.\n\n", settings.baseline.c_str());
        std::printf(
            "| Figure | Measured | Reference | Ratio | Baseline (same run) |\n|---|---:|---|---:|---:|\n");
    } else {
        std::printf("| Figure | Measured | Reference | Ratio |\n|---|---:|---|---:|\n");
    }
    for (const Row& row : rows) {
        std::printf("| %s | %s | %s | %s |", row.what.c_str(), shownValue(row).c_str(), row.reference.c_str(),
                    row.ratio.c_str());
        if (withBaseline) {
            std::string before = row.baselineShown;
            if (before.empty() && row.baselineValue) {
                Row shown = row;
                shown.value = row.baselineValue;
                shown.shown.clear();
                before = shownValue(shown);
            }
            if (!before.empty() && row.baselineRatio)
                before += " (" + format("%.2fx", *row.baselineRatio) + ")";
            std::printf(" %s |", before.c_str());
        }
        std::printf("\n");
    }
    if (!notes.empty()) std::printf("\n");
    for (const std::string& note : notes)
        std::printf("%s\n", note.c_str());
    std::fflush(stdout);

    std::ofstream json(settings.json);
    json << "{\n  \"date\": " << jsonString(today()) << ",\n  \"machine\": {\"cores\": " << cores()
         << ", \"cpu\": " << jsonString(cpuModel()) << ", \"load_average\": " << jsonString(loadAverage)
         << (withBaseline ? ", \"baseline\": " + jsonString(settings.baseline.string()) : std::string())
         << ", \"gl_renderer\": " << jsonString(device) << "},\n"
         << "  \"seconds\": " << jsonNumber(seconds) << ",\n  \"rows\": [\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        json << "    {\"id\": " << jsonString(r.id) << ", \"what\": " << jsonString(r.what)
             << ", \"value\": " << jsonNumber(r.value) << ", \"unit\": " << jsonString(r.unit)
             << ", \"reference\": " << jsonString(r.reference)
             << ", \"reference_value\": " << jsonNumber(r.referenceValue)
             << ", \"ratio\": " << jsonNumber(r.ratioValue)
             << (r.baselineValue ? ", \"baseline_value\": " + jsonNumber(r.baselineValue) +
                                       ", \"baseline_ratio\": " + jsonNumber(r.baselineRatio)
                                 : std::string())
             << (r.shown.empty() ? "" : ", \"note\": " + jsonString(r.shown)) << "}"
             << (i + 1 < rows.size() ? "," : "") << "\n";
    }
    json << "  ],\n  \"notes\": [";
    for (size_t i = 0; i < notes.size(); ++i)
        json << (i ? ", " : "") << jsonString(notes[i]);
    json << "],\n  \"raw\": {";
    bool firstGroup = true;
    for (const auto& [group, values] : raw) {
        json << (firstGroup ? "\n" : ",\n") << "    " << jsonString(group) << ": {";
        firstGroup = false;
        bool first = true;
        for (const auto& [key, value] : values) {
            json << (first ? "" : ", ") << jsonString(key) << ": " << jsonString(value);
            first = false;
        }
        json << "}";
    }
    json << "\n  }\n}\n";
    json.close();
    if (!json) {
        std::fprintf(stderr, "bench: could not write %s\n", settings.json.c_str());
        return 1;
    }
    progress("wrote " + settings.json.string());
    return allMeasured ? 0 : 1;
}
