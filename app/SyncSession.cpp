#include "app/SyncSession.h"

#include "app/CommandLine.h"
#include "app/SyncLink.h"
#include "editor/model/SceneDocument.h"
#include "engine/EngineRegistry.h"
#include "engine/base/FrameTimer.h"
#include "engine/base/Log.h"
#include "platform/TcpSocket.h"
#include "render/ShaderInputs.h"
#include "scene/sync/TrackFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const char* const SceneFile = "epicrealtimetest.xml";

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class SyncSession : public FrameObserver {
public:
    SyncSession(std::unique_ptr<TcpConnector> connector, const SyncOptions& options, FrameTimer& timer,
                FrameObserver* inner, SharedDocument* editor)
        : connector_(std::move(connector)), link_(*connector_, steadySeconds, settingsOf(options, editor)),
          timer_(timer), inner_(inner) {}

    void beforeFrame() override {
        if (inner_) inner_->beforeFrame();
        // A replay's own time is no frame's duration.
        if (link_.beforeFrame()) timer_.restart();
    }
    void afterFrame(double dt) override {
        if (inner_) inner_->afterFrame(dt);
        link_.afterFrame();
    }

private:
    static SyncLink::Settings settingsOf(const SyncOptions& options, SharedDocument* editor) {
        SyncLink::Settings settings;
        settings.rowsPerBeat = options.rowsPerBeat;
        settings.editor = editor;
        return settings;
    }

    std::unique_ptr<TcpConnector> connector_;
    SyncLink link_;
    FrameTimer& timer_;
    FrameObserver* inner_;
};

// A line for every frame in which the actors got OnBeat, outside replays.
class BeatLog : public FrameObserver {
public:
    explicit BeatLog(FrameObserver* inner) : inner_(inner) {}

    void beforeFrame() override {
        if (inner_) inner_->beforeFrame();
    }
    void afterFrame(double dt) override {
        if (inner_) inner_->afterFrame(dt);
        EngineRegistry& r = engine();
        const unsigned beats = r.beatFrames;
        const unsigned moves = r.showMoves;
        if (beats != beatsSeen_ && moves == movesSeen_) {
            char time[32];
            std::snprintf(time, sizeof time, "%.4f", static_cast<double>(r.musicTime.load()));
            logStream << "beat at " << time << " s (" << showTempo().barAndBeat(r.musicTime) << ")"
                      << std::endl;
        }
        beatsSeen_ = beats;
        movesSeen_ = moves;
    }

private:
    FrameObserver* inner_;
    unsigned beatsSeen_ = 0;
    unsigned movesSeen_ = 0;
};

} // namespace

bool makeSyncObservers(const SyncOptions& options, FrameTimer& timer, FrameObserver* inner,
                       std::vector<std::unique_ptr<FrameObserver>>& observers, std::string& error,
                       SharedDocument* editor) {
    if (options.logBeats) {
        observers.push_back(std::make_unique<BeatLog>(inner));
        inner = observers.back().get();
    }
    if (options.enabled) {
        std::unique_ptr<TcpConnector> connector =
            platform::makeTcpConnector(options.host, options.port, error);
        if (!connector) return false;
        observers.push_back(
            std::make_unique<SyncSession>(std::move(connector), options, timer, inner, editor));
    }
    return true;
}

int exportShowTracks(const SyncOptions& options, std::string& message) {
    SceneDocument document;
    if (!document.load(SceneFile)) {
        message = std::string("cannot read the scene ") + SceneFile;
        return 1;
    }
    const RowClock clock{tempoFromElement(tempoElement(document.xml())), options.rowsPerBeat};
    std::vector<NamedTrack> tracks;
    std::vector<std::string> bindings;
    uint32_t lastRow = 0;
    for (const auto& element : childrenOf(document.section("automations"))) {
        const size_t split = element->name.find("::");
        if (split == std::string::npos) continue;
        const std::string entity = element->name.substr(0, split);
        const std::string parameter = element->name.substr(split + 2);
        if (std::find(bindings.begin(), bindings.end(), element->name) != bindings.end()) continue;
        bindings.push_back(element->name);
        std::vector<SceneKey> keys;
        for (const DocumentKey& k : document.keys(entity, parameter))
            keys.push_back({k.time, {k.value.x, k.value.y, k.value.z}, k.interpolation});
        for (int c = 0; c < 3; ++c) {
            NamedTrack track{trackName(entity, parameter, c), trackOfKeys(keys, c, clock)};
            if (!track.keys.empty()) lastRow = std::max(lastRow, track.keys.rbegin()->first);
            tracks.push_back(std::move(track));
        }
    }
    // Then the free tracks, one track a value, as the link names them.
    for (const auto& element : childrenOf(document.section("tracks"))) {
        int components = 1;
        if (element->name.rfind("--", 0) == 0 || !isUniformName(element->name) ||
            document.freeTrack(element->name, &components) != element.get())
            continue;
        std::vector<SceneKey> keys;
        for (const DocumentTrackKey& k : document.trackKeys(element->name))
            keys.push_back({k.time, k.values, k.interpolation});
        bindings.push_back(element->name);
        for (int c = 0; c < components; ++c) {
            NamedTrack track{freeTrackName(element->name, c, components), trackOfKeys(keys, c, clock)};
            if (!track.keys.empty()) lastRow = std::max(lastRow, track.keys.rbegin()->first);
            tracks.push_back(std::move(track));
        }
    }
    const fs::path directory = options.exportDirectory;
    std::error_code code;
    fs::create_directories(directory, code);
    auto write = [&](const std::string& name, const std::string& bytes) {
        const fs::path path = directory / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) message = "cannot write " + path.string();
        return static_cast<bool>(out);
    };
    for (const NamedTrack& track : tracks)
        if (!write(trackFileName("sync", track.name), encodeTrackFile(track.keys))) return 1;
    // Room in the editor for the keys and a good while after them.
    const uint32_t rows =
        std::max<uint32_t>(10000, lastRow + 1 + static_cast<uint32_t>(options.rowsPerBeat) * 64);
    if (!write("sync.rocket", encodeRocketProject(tracks, rows))) return 1;
    message = "wrote " + std::to_string(tracks.size()) + " tracks of " + std::to_string(bindings.size()) +
              " parameters and free tracks into " + directory.string() +
              ": sync.rocket and a sync_NAME.track file each (" + std::to_string(options.rowsPerBeat) +
              " rows a beat, " + clock.tempo.sceneLine() + ")";
    return 0;
}

bool applySceneTempo(ProgramOptions& options, std::string& error) {
    if (options.startText.empty() && options.untilText.empty()) return true;
    return resolveMusicTimes(options, readSceneTempo(SceneFile), error);
}
