#include "app/SyncOptions.h"

#include "app/CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool allDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// A word after --sync is its address when it can only be one: a port, or something with a colon.
bool looksLikeAddress(const std::string& word) {
    return allDigits(word) || (word.find(':') != std::string::npos && word.rfind("--", 0) != 0);
}

} // namespace

bool parseSyncAddress(const std::string& text, std::string& host, uint16_t& port) {
    std::string h = host;
    std::string p = text;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find("]:");
        if (close == std::string::npos || close < 2) return false;
        h = text.substr(1, close - 1);
        p = text.substr(close + 2);
    } else if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
        h = text.substr(0, colon);
        p = text.substr(colon + 1);
        if (h.empty() || h.find(':') != std::string::npos) return false;
    }
    if (!allDigits(p) || p.size() > 5) return false;
    const long value = std::strtol(p.c_str(), nullptr, 10);
    if (value < 1 || value > 65535) return false;
    host = h;
    port = static_cast<uint16_t>(value);
    return true;
}

int parseSyncOption(const std::vector<std::string>& arguments, size_t& i, SyncOptions& sync,
                    std::string& error) {
    const std::string& a = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (a == "--sync") {
        sync.enabled = true;
        if (hasValue && looksLikeAddress(arguments[i + 1])) {
            const std::string& v = arguments[++i];
            if (!parseSyncAddress(v, sync.host, sync.port)) {
                error = "--sync takes [HOST:]PORT (1338, 127.0.0.1:1338), not '" + v + "'";
                return -1;
            }
        }
        return 1;
    }
    if (a == "--sync-rows-per-beat") {
        const std::string v = hasValue ? arguments[++i] : std::string();
        if (!allDigits(v) || v.size() > 4 || std::atoi(v.c_str()) < 1 ||
            std::atoi(v.c_str()) > MaxRowsPerBeat) {
            error = "--sync-rows-per-beat takes a whole number of rows from 1 to " +
                    std::to_string(MaxRowsPerBeat) + ", not '" + v + "'";
            return -1;
        }
        sync.rowsPerBeat = std::atoi(v.c_str());
        return 1;
    }
    if (a == "--export-tracks") {
        if (!hasValue || arguments[i + 1].empty()) {
            error = "--export-tracks needs the folder to write the track files into";
            return -1;
        }
        sync.exportDirectory = arguments[++i];
        return 1;
    }
    if (a == "--bpm") {
        const std::string v = hasValue ? arguments[++i] : std::string();
        char* end = nullptr;
        errno = 0;
        const double bpm = v.empty() ? 0.0 : std::strtod(v.c_str(), &end);
        if (v.empty() || errno != 0 || !end || *end != '\0' || !(bpm >= 40.0 && bpm <= 300.0)) {
            error = "--bpm takes beats a minute from 40 to 300, not '" + v + "'";
            return -1;
        }
        sync.newShowBpm = bpm;
        sync.bpmGiven = true;
        return 1;
    }
    if (a == "--log-beats") {
        sync.logBeats = true;
        return 1;
    }
    return 0;
}

int checkSyncOptions(const ProgramOptions& options, std::string& error) {
    const SyncOptions& sync = options.sync;
    if (sync.bpmGiven && options.newShowDirectory.empty()) {
        error = "--bpm sets the tempo of a show that --new writes; an existing show says its tempo in its "
                "scene (<tempo bpm=\"BPM\" /> in <audio>)";
        return -1;
    }
    if (sync.enabled && (options.check || options.resave || options.capture.enabled() ||
                         !options.newShowDirectory.empty() || !sync.exportDirectory.empty())) {
        error = "--sync links a playing show to a tracker; it does not go with --check, --resave, "
                "--capture, --new or --export-tracks";
        return -1;
    }
    return 0;
}

std::string syncUsageText() {
    return "  --bpm BPM            with --new: the new show's tempo and its song's (default 141)\n"
           "  --sync [HOST:]PORT   link to a Rocket sync editor (default 127.0.0.1:1338): one track per\n"
           "                       automated x, y and z; keys change the show as they are set, the\n"
           "                       editor seeks and pauses it, and its save writes the keys into the\n"
           "                       scene (a .bak keeps the file before); with --edit they are edits\n"
           "                       of the scene editor, and its save is the editor's\n"
           "  --sync-rows-per-beat N  rows of the tracker a beat of the show's tempo (default 8)\n"
           "  --export-tracks DIR  write the show's tracks into DIR as Rocket track files\n"
           "                       (sync_NAME.track) and an editor project (sync.rocket), and end\n"
           "  --log-beats          a log line for every frame in which the actors get OnBeat\n";
}
