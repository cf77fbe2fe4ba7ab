#include "tools/import/SyncImport.h"

#include "engine/base/Log.h"
#include "scene/sync/SyncTracks.h"
#include "scene/sync/TrackFiles.h"
#include "tools/import/TempoDetect.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    bytes = out.str();
    return !in.bad();
}

// The shortest text that reads back as the same float.
std::string number(float value) {
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    std::string s = text;
    // The scene's reader keeps only name bytes: 1e+20 reads as 1e20 all the same.
    s.erase(std::remove(s.begin(), s.end(), '+'), s.end());
    return s == "-0" ? "0" : s;
}

struct Request {
    std::string detectSong;
    std::vector<std::string> files;
    std::string into = ".";
    int rowsPerBeat = 8;
    double bpm = 0.0; // 0: the scene's
};

bool isTrackerFile(const std::string& word) {
    return word.ends_with(".rocket") || word.ends_with(".track");
}

int parse(const std::vector<std::string>& arguments, Request& request, std::string& error) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (a == "--detect-tempo" || a == "--into" || a == "--rows-per-beat" || a == "--bpm") {
            if (!hasValue) {
                error = a + " needs a value";
                return -1;
            }
            const std::string& v = arguments[++i];
            if (a == "--detect-tempo") {
                request.detectSong = v;
            } else if (a == "--into") {
                request.into = v;
            } else if (a == "--rows-per-beat") {
                char* end = nullptr;
                const long rows = std::strtol(v.c_str(), &end, 10);
                if (v.empty() || *end != '\0' || rows < 1 || rows > 256) {
                    error = "--rows-per-beat " + v + ": give a whole number from 1 to 256";
                    return -1;
                }
                request.rowsPerBeat = static_cast<int>(rows);
            } else {
                char* end = nullptr;
                request.bpm = std::strtod(v.c_str(), &end);
                if (v.empty() || *end != '\0' ||
                    !(request.bpm >= Tempo::MinBpm && request.bpm <= Tempo::MaxBpm)) {
                    error = "--bpm " + v + ": give beats a minute from 1 to 1000";
                    return -1;
                }
            }
        } else if (!a.empty() && a[0] == '-') {
            error =
                "unknown option " + a + " with a tracker import (it takes --into, --rows-per-beat and --bpm)";
            return -1;
        } else if (isTrackerFile(a)) {
            request.files.push_back(a);
        } else {
            error = a + ": a tracker import takes .rocket projects and .track files only";
            return -1;
        }
    }
    if (!request.detectSong.empty() && !request.files.empty()) {
        error = "--detect-tempo listens to one song; import the tracker files on their own";
        return -1;
    }
    return 0;
}

int detect(const std::string& song, std::ostream& out, std::ostream& messages) {
    TempoEstimate estimate;
    std::string error;
    if (!detectTempo(song, estimate, error)) {
        messages << song << ": " << error << "\n";
        return 1;
    }
    char confidence[32];
    std::snprintf(confidence, sizeof confidence, "%.2f", estimate.confidence);
    messages
        << song << ": " << estimate.beatsHeard << " beats heard in " << static_cast<int>(estimate.seconds)
        << " s (aubio's confidence " << confidence
        << "); paste the line into the scene's <audio> section. Which beat starts bar 1 and how many a bar "
           "has are yours to say: firstBeat is a beat, maybe not bar 1's\n";
    out << estimate.tempo.sceneLine() << "\n";
    return 0;
}

int importTracks(const Request& request, std::ostream& out, std::ostream& messages) {
    std::vector<NamedTrack> tracks;
    bool allIn = true;
    for (const std::string& file : request.files) {
        std::string bytes, error;
        if (!readFile(file, bytes)) {
            messages << file << ": cannot be read\n";
            allIn = false;
            continue;
        }
        if (file.ends_with(".rocket")) {
            std::vector<NamedTrack> project;
            if (!decodeRocketProject(bytes, project, error)) {
                messages << file << ": " << error << "\n";
                allIn = false;
                continue;
            }
            tracks.insert(tracks.end(), project.begin(), project.end());
            continue;
        }
        NamedTrack track;
        const std::string name = fs::path(file).filename().string();
        const size_t underscore = name.find('_');
        if (underscore == std::string::npos ||
            !trackOfFileName(name.substr(0, underscore), name, track.name)) {
            messages << file << ": a track file is named PREFIX_TRACK.track\n";
            allIn = false;
            continue;
        }
        if (!decodeTrackFile(bytes, track.keys, error)) {
            messages << file << ": " << error << "\n";
            allIn = false;
            continue;
        }
        tracks.push_back(std::move(track));
    }

    RowClock clock;
    clock.rowsPerBeat = request.rowsPerBeat;
    clock.tempo = readSceneTempo((fs::path(request.into) / "epicrealtimetest.xml").string());
    if (request.bpm > 0) clock.tempo.bpm = request.bpm;

    // Tracks by binding, in the order they first appear; free tracks ("tracks:NAME" for one
    // value, "tracks:NAME.x" to ".w" for more) apart.
    std::vector<std::string> order;
    std::map<std::string, std::array<TrackKeys, 3>> bindings;
    std::map<std::string, std::array<bool, 3>> present;
    std::vector<std::string> freeOrder;
    std::map<std::string, std::array<TrackKeys, 4>> freeTracks;
    std::map<std::string, std::array<bool, 4>> freePresent;
    std::map<std::string, int> freeComponents;
    for (const NamedTrack& track : tracks) {
        std::string entity, parameter;
        int component = 0;
        if (track.name.rfind("tracks:", 0) == 0 && track.name.size() > 7) {
            std::string name = track.name.substr(7);
            const std::string axes = "xyzw";
            if (name.size() > 2 && name[name.size() - 2] == '.' &&
                axes.find(name.back()) != std::string::npos) {
                component = static_cast<int>(axes.find(name.back()));
                name.resize(name.size() - 2);
            }
            if (!freeTracks.count(name)) freeOrder.push_back(name);
            freeTracks[name][static_cast<size_t>(component)] = track.keys;
            freePresent[name][static_cast<size_t>(component)] = true;
            freeComponents[name] = std::max(freeComponents[name], component + 1);
            continue;
        }
        if (!splitTrackName(track.name, entity, parameter, component)) {
            messages << "track '" << track.name << "' is not ENTITY:PARAMETER.x, .y or .z; not imported\n";
            continue;
        }
        const std::string binding = entity + "::" + parameter;
        if (!bindings.count(binding)) order.push_back(binding);
        bindings[binding][static_cast<size_t>(component)] = track.keys;
        present[binding][static_cast<size_t>(component)] = true;
    }
    if (order.empty() && freeOrder.empty()) {
        messages << "beatshow-import: no tracks of the form ENTITY:PARAMETER.x came in\n";
        return 1;
    }
    std::string snippet = order.empty() ? "" : "<automations>\n";
    size_t keyCount = 0;
    for (const std::string& binding : order) {
        const std::vector<SceneKey> keys =
            keysFromTracks({}, bindings[binding], present[binding], {0, 0, 0}, clock);
        snippet += "  <" + binding + ">\n";
        for (const SceneKey& key : keys) {
            snippet += "    <key v0=\"" + number(key.time) + "\" v1=\"" + number(key.values[0]) + "\" v2=\"" +
                       number(key.values[1]) + "\" v3=\"" + number(key.values[2]) + "\"";
            if (key.interpolation != Interpolation::CatmullRom)
                snippet += std::string(" interpolation=\"") + interpolationName(key.interpolation) + "\"";
            snippet += " />\n";
        }
        snippet += "  </" + binding + ">\n";
        keyCount += keys.size();
    }
    if (!order.empty()) snippet += "</automations>\n";
    if (!freeOrder.empty()) snippet += "<tracks>\n";
    for (const std::string& name : freeOrder) {
        const int components = freeComponents[name];
        const std::vector<SceneKey> keys =
            keysFromTracks({}, components, freeTracks[name], freePresent[name], {}, clock);
        snippet += "  <" + name +
                   (components > 1 ? " components=\"" + std::to_string(components) + "\"" : "") + ">\n";
        for (const SceneKey& key : keys) {
            snippet += "    <key v0=\"" + number(key.time) + "\"";
            for (int c = 0; c < components; ++c)
                snippet +=
                    " v" + std::to_string(c + 1) + "=\"" + number(key.values[static_cast<size_t>(c)]) + "\"";
            if (key.interpolation != Interpolation::CatmullRom)
                snippet += std::string(" interpolation=\"") + interpolationName(key.interpolation) + "\"";
            snippet += " />\n";
        }
        snippet += "  </" + name + ">\n";
        keyCount += keys.size();
    }
    if (!freeOrder.empty()) snippet += "</tracks>\n";
    out << snippet;
    messages << "beatshow-import: " << order.size() << " parameters and " << freeOrder.size()
             << " free tracks with " << keyCount << " keys, rows at " << request.rowsPerBeat << " a beat of "
             << clock.tempo.sceneLine()
             << "; merge the bindings into the scene's <automations> and the free tracks into its <tracks>\n";
    return allIn ? 0 : 1;
}

} // namespace

bool runSyncImport(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& messages,
                   int& status) {
    bool mine = false;
    for (const std::string& a : arguments)
        mine = mine || a == "--detect-tempo" || isTrackerFile(a);
    if (!mine) return false;
    Request request;
    std::string error;
    if (parse(arguments, request, error) != 0) {
        messages << "beatshow-import: " << error << "\n";
        status = 2;
        return true;
    }
    // The scene reader's lines are the engine's log, which goes to standard output: here that
    // carries the snippet, so they go with the messages.
    LogSink previous = setLogSink([&messages](const std::string& line) { messages << line << "\n"; });
    status = request.detectSong.empty() ? importTracks(request, out, messages)
                                        : detect(request.detectSong, out, messages);
    setLogSink(previous);
    return true;
}

std::string syncImportUsage() {
    return "\n"
           "       beatshow-import --detect-tempo SONG\n"
           "           prints the song's tempo as the scene line <tempo bpm=... beatsPerBar=... "
           "firstBeat=... />\n"
           "       beatshow-import PROJECT.rocket | sync_NAME.track... [--into DIR] [--rows-per-beat N] "
           "[--bpm BPM]\n"
           "           prints a Rocket editor's tracks as <automations> keys (rows at the tempo of the "
           "scene\n"
           "           in DIR, or --bpm; 8 rows a beat unless told)\n";
}
