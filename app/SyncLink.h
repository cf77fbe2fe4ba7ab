// `beatshow --sync`: a playing show linked to a Rocket sync editor. The editor sees one track per
// x, y and z of each automation binding of the scene ("ENTITY:PARAMETER.x"; an empty binding
// element in <automations> names the tracks of a parameter that has no keys yet), then one per
// value of each free track of its <tracks> ("tracks:NAME" for a track of one value,
// "tracks:NAME.x" to ".w" for more), on rows of the show's tempo.
//
//   - Keys the editor sets or deletes change the scene's keys, and the show plays them from the
//     next frame on; later seeks replay with them, as they would after a save. A reload of the
//     scene from its file (a saved mesh, bitmap or scene) is followed by a replay with them.
//   - SET_ROW moves the show to the row's time (an exact replay, as --start makes it; an hour at
//     most), PAUSE pauses and resumes it; the show tells the editor its row as it plays. The
//     show's "exit" event pauses it instead of ending it, as in the editor (Escape ends it).
//   - SAVE_TRACKS writes the keys into the scene file through the editor's byte-preserving
//     writer: only the keys that changed are rewritten, with their interpolation, and the file
//     before is kept as epicrealtimetest.xml.bak. Nothing else is ever written.
//
// Inside the scene editor (`--edit --sync`, Settings::editor) the link works on the editor's
// document instead of the file: the tracker's keys are edits of the editor's history (those that
// come one after the other are one step, until the user's own edit, a save or a new connection
// comes between), the show follows them as it follows the editor's edits, SAVE_TRACKS is the
// editor's save (its .bak, its questions), and bindings the editor adds get their tracks. The
// file on disk is the editor's to follow; the show's exit is the editor's to hold.
//
// Until the editor speaks for a track (sets or deletes a key on it, after each connection) the
// track keeps the scene's keys, so an editor that starts empty takes nothing away. See
// SyncTracks.h for how three tracks become one list of keys.
//
// Main thread only, between frames; it does nothing until the show plays.
#pragma once

#include "editor/model/SceneDocument.h"
#include "editor/model/SharedDocument.h"
#include "scene/sync/RocketClient.h"
#include "scene/sync/SyncTracks.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class SyncLink {
public:
    struct Settings {
        int rowsPerBeat = 8;
        std::string scenePath = "epicrealtimetest.xml";
        RocketClient::Settings client;
        // The scene editor the link works inside, or null for a show alone.
        SharedDocument* editor = nullptr;
    };
    SyncLink(TcpConnector& connector, std::function<double()> seconds, Settings settings);

    // Reads what the editor sent and carries it out. True when the show was moved (a seek, a
    // resume): its frame timer starts afresh.
    bool beforeFrame();
    // Tells the editor the row the show is at, when it changed.
    void afterFrame();

    RocketClient& client() { return client_; }
    // The scene as the link sees it: its own copy of the file, or the editor's document.
    const SceneDocument& document() const {
        return settings_.editor ? settings_.editor->document() : document_;
    }
    RowClock rowClock() const;

private:
    // An automation binding's three tracks, or a free track's (entity empty, `parameter` its
    // name) one to four.
    struct Binding {
        std::string entity;
        std::string parameter;
        int components = 3;
        std::array<size_t, 4> track{};
        std::vector<SceneKey> keys; // as the scene had them when the editor connected
        std::array<TrackKeys, 4> tracks;
        std::array<bool, 4> heard{};
        bool changed = false;
        std::vector<SceneKey> applied; // what the show was given, once the tracker spoke for it
        bool written = false;          // `applied` was written since the connection began

        bool freeTrack() const { return entity.empty(); }
        bool heardAny() const { return heard[0] || heard[1] || heard[2] || heard[3]; }
    };
    std::vector<SceneKey> documentKeys(const Binding& binding) const;
    AutomationPath* showPath(const Binding& binding) const;

    bool open();
    void collectBindings();
    void startConnection();
    bool refreshFromDisk();
    bool keptThroughReload();
    void apply(Binding& binding);
    void save();
    bool seek(double seconds);
    bool holdAtExit();

    Settings settings_;
    RocketClient client_;
    SceneDocument document_;
    bool opened_ = false;
    std::string fileBytes_; // the scene file as last read or written
    std::vector<Binding> bindings_;
    std::vector<std::pair<size_t, int>> byTrack_; // track index -> binding, component
    size_t seenRevision_ = SIZE_MAX;              // the editor's document as the bindings were read
    int connectionsSeen_ = 0;
    unsigned movesSeen_ = 0;
    bool pausedBefore_ = false; // the frame about to run was paused: it fires no events
    std::optional<uint32_t> lastRow_;
    bool skipRow_ = false;
};
