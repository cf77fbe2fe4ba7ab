#include "app/SyncLink.h"

#include "editor/model/DifferingRun.h"
#include "editor/model/SceneFile.h"
#include "engine/EngineRegistry.h"
#include "engine/FreeTracks.h"
#include "engine/base/Log.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/Transport.h"
#include "scene/loader/LoaderText.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

entity_base* findEntity(const std::string& name) {
    if (entity_base* object = findObject(name)) return object;
    if (Actor* actor = findActor(name)) return actor;
    return findLight(name);
}

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    bytes = out.str();
    return !in.bad();
}

// An empty entity names a free track of the scene's <tracks>.
std::vector<SceneKey> documentKeys(const SceneDocument& document, const std::string& entity,
                                   const std::string& parameter) {
    std::vector<SceneKey> keys;
    if (entity.empty()) {
        for (const DocumentTrackKey& k : document.trackKeys(parameter))
            keys.push_back({k.time, k.values, k.interpolation});
        return keys;
    }
    for (const DocumentKey& k : document.keys(entity, parameter))
        keys.push_back({k.time, {k.value.x, k.value.y, k.value.z}, k.interpolation});
    return keys;
}

DocumentKey documentKey(const SceneKey& key) {
    return {key.time, Vector{key.values[0], key.values[1], key.values[2]}, key.interpolation};
}

// Only the keys that differ are written: the run of keys between the first and the last change.
void writeKeys(SceneDocument& document, const std::string& entity, const std::string& parameter,
               const std::vector<SceneKey>& keys) {
    const std::vector<SceneKey> old = documentKeys(document, entity, parameter);
    if (old == keys) return;
    if (entity.empty()) {
        std::vector<DocumentTrackKey> written;
        for (const SceneKey& key : keys)
            written.push_back({key.time, key.values, key.interpolation});
        document.setTrackKeys(parameter, written);
        return;
    }
    const auto [prefix, oldEnd, newEnd] = differingRun(old, keys);
    if (oldEnd - prefix == 1 && newEnd - prefix == 1) {
        document.setKey(entity, parameter, prefix, documentKey(keys[prefix]));
        return;
    }
    for (size_t i = oldEnd; i > prefix; --i)
        document.removeKey(entity, parameter, i - 1);
    for (size_t i = prefix; i < newEnd; ++i)
        document.addKey(entity, parameter, documentKey(keys[i]));
}

} // namespace

std::vector<SceneKey> SyncLink::documentKeys(const Binding& binding) const {
    return ::documentKeys(document(), binding.entity, binding.parameter);
}

AutomationPath* SyncLink::showPath(const Binding& binding) const {
    if (binding.freeTrack()) return findFreeTrack(binding.parameter);
    entity_base* entity = findEntity(binding.entity);
    return entity ? findAutomation(entity, binding.parameter) : nullptr;
}

SyncLink::SyncLink(TcpConnector& connector, std::function<double()> seconds, Settings settings)
    : settings_(std::move(settings)), client_(connector, std::move(seconds), settings_.client) {}

RowClock SyncLink::rowClock() const {
    return RowClock{showTempo(), settings_.rowsPerBeat};
}

bool SyncLink::open() {
    if (!settings_.editor) {
        if (!document_.load(settings_.scenePath)) return false;
        fileBytes_ = document_.text();
    }
    collectBindings();
    seenRevision_ = document().revision();
    opened_ = true;
    return true;
}

// Every binding the show plays gets its three tracks, in the scene's order; bindings that appear
// later (the file changed) are asked for after them.
void SyncLink::collectBindings() {
    for (const auto& element : childrenOf(document().section("automations"))) {
        const size_t split = element->name.find("::");
        if (split == std::string::npos) continue;
        const std::string entity = element->name.substr(0, split);
        const std::string parameter = element->name.substr(split + 2);
        bool known = false;
        for (const Binding& b : bindings_)
            known = known || (b.entity == entity && b.parameter == parameter);
        if (known) continue;
        const entity_base* owner = findEntity(entity);
        const EntityParameter* p = owner ? owner->getParameter(parameter) : nullptr;
        if (!p || p->type != EntityParameter::ThreeFloats || !p->value) continue;
        Binding binding;
        binding.entity = entity;
        binding.parameter = parameter;
        binding.keys = documentKeys(binding);
        for (int c = 0; c < 3; ++c) {
            binding.track[static_cast<size_t>(c)] = client_.addTrack(trackName(entity, parameter, c));
            byTrack_.resize(client_.tracks().size(), {SIZE_MAX, 0});
            byTrack_[binding.track[static_cast<size_t>(c)]] = {bindings_.size(), c};
        }
        bindings_.push_back(std::move(binding));
    }
    // Then the free tracks the show plays (the loader refuses a name no shader could use).
    for (const auto& element : childrenOf(document().section("tracks"))) {
        if (isComment(element->name)) continue;
        const bool known = std::any_of(bindings_.begin(), bindings_.end(), [&](const Binding& b) {
            return b.freeTrack() && b.parameter == element->name;
        });
        int components = 0;
        if (known || !findFreeTrack(element->name, &components)) continue;
        Binding binding;
        binding.parameter = element->name;
        binding.components = components;
        binding.keys = documentKeys(binding);
        for (int c = 0; c < components; ++c) {
            binding.track[static_cast<size_t>(c)] =
                client_.addTrack(freeTrackName(element->name, c, components));
            byTrack_.resize(client_.tracks().size(), {SIZE_MAX, 0});
            byTrack_[binding.track[static_cast<size_t>(c)]] = {bindings_.size(), c};
        }
        bindings_.push_back(std::move(binding));
    }
}

// A new connection: the editor sends every key again, so every track starts unheard from the
// keys the scene has now.
void SyncLink::startConnection() {
    // The keys a new connection sends are a step of the editor's history of their own.
    if (settings_.editor) settings_.editor->seal();
    for (Binding& b : bindings_) {
        b.keys = documentKeys(b);
        b.tracks = {};
        b.heard = {};
        b.changed = false;
        b.applied.clear();
        b.written = false;
    }
    lastRow_.reset();
}

// The scene file changed on disk since the link read or wrote it (someone else saved it): the
// link takes it as it is now, and the editor's tracks go over it again.
bool SyncLink::refreshFromDisk() {
    // The editor follows its file itself, and never reads it over unsaved work.
    if (settings_.editor) return false;
    std::string bytes;
    if (!readFile(settings_.scenePath, bytes) || bytes == fileBytes_) return false;
    document_.loadText(bytes, settings_.scenePath);
    fileBytes_ = bytes;
    collectBindings();
    for (Binding& b : bindings_) {
        b.keys = documentKeys(b);
        b.changed = b.heardAny();
    }
    logStream << "sync: " << settings_.scenePath << " changed on disk; the editor's tracks go over it"
              << std::endl;
    return true;
}

bool SyncLink::beforeFrame() {
    EngineRegistry& r = engine();
    pausedBefore_ = r.clock.paused();
    if (!r.playing || r.loading) return false;
    if (!opened_ && !open()) return false;

    bool moved = false;
    if (settings_.editor) {
        // The editor loads the show from its document, which holds the tracker's keys; bindings
        // it adds (a first key of a parameter) get their tracks once the show has them.
        if (r.showMoves != movesSeen_ || document().revision() != seenRevision_) {
            movesSeen_ = r.showMoves;
            seenRevision_ = document().revision();
            collectBindings();
        }
    } else if (r.showMoves != movesSeen_) {
        // The show moved since the last frame: a reload from the file may have taken the
        // tracker's keys away.
        movesSeen_ = r.showMoves;
        moved = keptThroughReload();
    }

    const std::vector<rocket::Message> messages = client_.poll();
    if (client_.connections() != connectionsSeen_) {
        connectionsSeen_ = client_.connections();
        refreshFromDisk();
        startConnection();
    }
    std::optional<uint32_t> row;
    std::optional<bool> pause;
    bool saveAsked = false;
    for (const rocket::Message& m : messages) {
        switch (m.command) {
        case rocket::SetKey:
        case rocket::DeleteKey: {
            if (m.track >= byTrack_.size() || byTrack_[m.track].first >= bindings_.size()) break;
            Binding& b = bindings_[byTrack_[m.track].first];
            const auto c = static_cast<size_t>(byTrack_[m.track].second);
            if (m.command == rocket::SetKey)
                b.tracks[c][m.row] = {m.value, m.type};
            else
                b.tracks[c].erase(m.row);
            b.heard[c] = true;
            b.changed = true;
            break;
        }
        case rocket::SetRow:
            row = m.row;
            break;
        case rocket::Pause:
            pause = m.pause;
            break;
        case rocket::SaveTracks:
            saveAsked = true;
            break;
        default:
            break;
        }
    }

    bool changed = false;
    for (const Binding& b : bindings_)
        changed = changed || b.changed;
    if (changed || saveAsked) refreshFromDisk();
    changed = false;
    for (Binding& b : bindings_)
        if (b.changed) {
            apply(b);
            changed = true;
        }
    // Seeks and reloads load the scene the show started with: from now on, this one (the
    // editor's edits see to that themselves).
    if (changed && !settings_.editor) rememberShowSceneBytes(document_.text());
    if (saveAsked) save();

    if (pause && *pause != r.clock.paused()) {
        transport::togglePause();
        // As the Space key does: paused frames still draw, and drawing moves some actors on, so
        // the show resumes from the exact state of the time it was paused at.
        if (!*pause && !row) moved = seek(r.clock.position());
    }
    if (row) {
        moved = seek(rowClock().timeOfRow(*row)) || moved;
        lastRow_ = *row;
        skipRow_ = true;
    }
    return moved;
}

void SyncLink::apply(Binding& binding) {
    binding.changed = false;
    // In the editor, a path someone else changed since the link last wrote it (the user's edit,
    // an undo, the file loaded from disk) is the scene the tracker's keys go over from now on:
    // the user's own keys stay where the tracker has not spoken.
    if (settings_.editor) {
        std::vector<SceneKey> now = documentKeys(binding);
        if (!(now == (binding.written ? binding.applied : binding.keys))) binding.keys = std::move(now);
    }
    // A component without keys rests at the entity's own value; a free track's at 0.
    Vector rest;
    if (!binding.freeTrack()) document().vector(binding.entity, binding.parameter, rest);
    const std::vector<SceneKey> keys =
        keysFromTracks(binding.keys, binding.components, binding.tracks, binding.heard,
                       {rest.x, rest.y, rest.z, 0.0f}, rowClock());
    binding.applied = keys;
    binding.written = true;
    if (settings_.editor) {
        if (keys == documentKeys(binding)) return;
        // A free track has no path of an entity's: the show loads the document again.
        const Touch touch = binding.freeTrack() ? Touch{Touch::Structure, "", ""}
                                                : Touch{Touch::Path, binding.entity, binding.parameter};
        settings_.editor->edit(
            "Keys from the tracker", {touch},
            [&](SceneDocument& d) {
                writeKeys(d, binding.entity, binding.parameter, keys);
                return true;
            },
            "tracker");
        return;
    }
    writeKeys(document_, binding.entity, binding.parameter, keys);
    if (AutomationPath* path = showPath(binding)) path->setPoints(pathPointsOf(keys, binding.components));
}

// After a seek the show plays the keys the link gave it; after a reload from the scene file it
// plays the file's. Then the tracker's keys go over the file again, and the show is replayed to
// where it is with them, as it would have played.
bool SyncLink::keptThroughReload() {
    bool lost = false;
    for (const Binding& b : bindings_) {
        if (!b.heardAny()) continue;
        const AutomationPath* path = showPath(b);
        lost = lost || (path && !(sceneKeysOf(path->points()) == b.applied));
    }
    if (!lost) return false;
    refreshFromDisk();
    for (Binding& b : bindings_)
        if (b.heardAny()) apply(b);
    rememberShowSceneBytes(document_.text());
    logStream << "sync: the scene was loaded again from its file; the tracker's keys go over it" << std::endl;
    return seek(engine().clock.position());
}

void SyncLink::save() {
    if (settings_.editor) {
        // The tracker's keys are in the editor's document already: its save writes them, and
        // what the tracker did since the last save or edit of the user's is one step to undo.
        logStream << "sync: the tracker asked to save; the editor saves the scene" << std::endl;
        settings_.editor->seal();
        settings_.editor->save();
        return;
    }
    const std::string& path = settings_.scenePath;
    if (document_.text() == fileBytes_) {
        logStream << "sync: " << path << " already holds the tracks' keys; nothing to save" << std::endl;
        return;
    }
    std::string error;
    if (!saveSceneFile(path, document_.text(), error)) {
        logStream << "sync: not saved: " << error << std::endl;
        return;
    }
    fileBytes_ = document_.text();
    logStream << "sync: saved the tracks into " << path << " (the file before is " << path << ".bak)"
              << std::endl;
}

bool SyncLink::seek(double seconds) {
    EngineRegistry& r = engine();
    // A row far beyond any show would replay for as long: an hour is more than a show.
    constexpr double Furthest = 3600.0;
    if (seconds > Furthest) {
        logStream << "sync: row at " << seconds << " s is beyond an hour; the show goes to " << Furthest
                  << " s" << std::endl;
        seconds = Furthest;
    }
    const int before = transport::state().seeks;
    const bool quitBefore = r.quitRequested;
    transport::seekTo(seconds);
    // The replay stops at the show's exit, which would end the show before its next frame.
    if (r.quitRequested && !quitBefore) holdAtExit();
    return transport::state().seeks != before;
}

// The show's "exit" event ends a show, not the work on it: the show pauses there instead.
bool SyncLink::holdAtExit() {
    EngineRegistry& r = engine();
    // The editor pauses the show at its exit itself (exitPauses): an end asked for there is the
    // user's (Escape, the window's close), and it stands.
    if (r.exitPauses) return false;
    const float now = r.musicTime;
    bool reached = false;
    for (const EventTrigger& t : r.triggers.triggers())
        reached = reached || (t.name == "exit" && t.time <= now);
    if (!reached) return false;
    r.quitRequested = false;
    if (!r.clock.paused()) transport::togglePause();
    logStream << "sync: the show's exit at " << now << " s; paused (Escape ends the show)" << std::endl;
    return true;
}

void SyncLink::afterFrame() {
    EngineRegistry& r = engine();
    // Only a frame that ran the show's events can have met its exit; in a paused one the end
    // came from Escape or the window.
    if (r.quitRequested && !pausedBefore_ && r.playing) holdAtExit();
    if (!client_.connected() || !r.playing || r.loading) return;
    const uint32_t row = rowClock().rowAt(r.musicTime);
    // The frame after the editor's own seek may lie a row on from the one it asked for: the
    // editor knows where it sent the show.
    if (skipRow_) {
        skipRow_ = false;
        lastRow_ = row;
        return;
    }
    if (lastRow_ && *lastRow_ == row) return;
    client_.sendRow(row);
    lastRow_ = row;
}
