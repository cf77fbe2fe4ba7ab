// Tracks as a sync tracker sees a show: one track of keys on rows for each of the x, y and z of an
// automated parameter, named "ENTITY:PARAMETER.x" (trackers group tracks by the part before the
// colon), one for each value of a free track ("tracks:NAME" for a track of one value,
// "tracks:NAME.x" to ".w" for more), and the way back from tracks to the scene's keys, which move
// all the values of a key at once.
//
// Rows: `rowsPerBeat` rows a beat of the show's tempo, row 0 on the first of the tempo's beats at
// or after 0 s, so a tracker's beat lines are the show's beats.
//
// From keys to tracks each key goes to the row nearest its time (keys closer together than a row
// share one; the last of them is the track's). From tracks to keys (keysFromTracks) the three
// tracks of a parameter become one list of keys at every row any of them has a key on; a track
// without a key on such a row gives the value its own curve has there. A key takes the way it
// moves on (its interpolation) from a key set or changed in the tracker on its row, else from one
// as the scene had it; among those, x before y before z. Catmull-Rom, the scene's
// default, has no Rocket key type: such keys go to trackers as smooth keys, and a key that comes
// back from the tracker as it went keeps its time, value and Catmull-Rom exactly (`exported`).
#pragma once

#include "scene/AutomationPath.h"
#include "scene/Tempo.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct RowClock {
    Tempo tempo;
    int rowsPerBeat = 8;

    double rowsPerSecond() const { return tempo.bpm / 60.0 * rowsPerBeat; }
    // The music time of row 0, in [0, a beat).
    double rowZero() const;
    double timeOfRow(uint32_t row) const;
    // The row a music time falls in (rounded down; 0 before row 0).
    uint32_t rowAt(double seconds) const;
    // The row nearest a key's time (0 for times before row 0).
    uint32_t nearestRow(double seconds) const;
};

// One key of a track: its value and Rocket key type (0 step, 1 linear, 2 smooth, 3 ramp).
struct TrackKey {
    float value = 0.0f;
    uint8_t type = 0;
    bool operator==(const TrackKey&) const = default;
};
using TrackKeys = std::map<uint32_t, TrackKey>; // by row

// One key of a scene's automation (time, x, y, z) or free track (time, 1 to 4 values; the others
// 0) and how it moves to the next key.
struct SceneKey {
    float time = 0.0f;
    std::array<float, 4> values{};
    Interpolation interpolation = Interpolation::CatmullRom;
    bool operator==(const SceneKey& other) const; // bit for bit
};

// The Rocket key type of an interpolation (Catmull-Rom: smooth) and back.
uint8_t rocketKeyType(Interpolation interpolation);
Interpolation interpolationOfKeyType(uint8_t type);

// "Cam1:Position.x" for the binding Cam1::Position, component 0.
std::string trackName(const std::string& entity, const std::string& parameter, int component);
// "tracks:glow" for a free track of one value, "tracks:grade.y" for value 1 of one of more.
std::string freeTrackName(const std::string& track, int component, int components);
// Takes "ENTITY:PARAMETER.c" apart; false for a name that is not one.
bool splitTrackName(const std::string& name, std::string& entity, std::string& parameter, int& component);

// The track of one component of a binding's keys.
TrackKeys trackOfKeys(const std::vector<SceneKey>& keys, int component, const RowClock& clock);

// The keys of a binding made from its three tracks. `heard[c]` says whether the tracker has
// spoken for track c since the connection began; a track it has not spoken for, or whose keys are
// those `keys` exports, keeps the component of `keys`. `rest` is the value of a component that has
// no keys at all while another has. Without a change the result is `keys` itself.
std::vector<SceneKey> keysFromTracks(const std::vector<SceneKey>& keys,
                                     const std::array<TrackKeys, 3>& tracks, const std::array<bool, 3>& heard,
                                     const std::array<float, 3>& rest, const RowClock& clock);
// The same for keys of `components` values (1 to 4), one track each.
std::vector<SceneKey> keysFromTracks(const std::vector<SceneKey>& keys, int components,
                                     const std::array<TrackKeys, 4>& tracks, const std::array<bool, 4>& heard,
                                     const std::array<float, 4>& rest, const RowClock& clock);

// PathPoints (time, `components` values, interpolation in `spare`) and back.
std::vector<PathPoint> pathPointsOf(const std::vector<SceneKey>& keys, int components = 3);
std::vector<SceneKey> sceneKeysOf(const std::vector<PathPoint>& points);
