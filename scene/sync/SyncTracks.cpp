#include "scene/sync/SyncTracks.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace {

uint32_t clampRow(double row) {
    if (!(row > 0.0)) return 0;
    if (row >= static_cast<double>(std::numeric_limits<uint32_t>::max()))
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(row);
}

const char* const componentSuffix[4] = {".x", ".y", ".z", ".w"};

// One component's keys over time: what a track plays.
struct ComponentKey {
    float time;
    float value;
    Interpolation interpolation;
    bool edited = false; // set or changed in the tracker, not as the scene had it
};

// The value a curve plays at time t, where `after` is its first key later than t: as AutomationPath
// evaluates it, to the same float operations.
float curveValue(const std::vector<ComponentKey>& curve, size_t after, float t) {
    if (after >= curve.size()) return curve.back().value;
    const size_t i = after == 0 ? 0 : after - 1;
    if (after == 0 && curve.size() == 1) return curve.front().value;
    const ComponentKey& a = curve[i];
    const ComponentKey& b = curve[after == 0 ? 1 : after];
    const float length = b.time - a.time;
    const float u = length != 0.0f ? (t - a.time) / length : 0.0f;
    if (a.interpolation == Interpolation::CatmullRom) {
        const float p0 = i == 0 ? a.value : curve[i - 1].value;
        return catmullRom(p0, a.value, b.value, b.value, u);
    }
    return interpolateSegment(a.interpolation, a.value, b.value, std::clamp(u, 0.0f, 1.0f));
}

} // namespace

bool SceneKey::operator==(const SceneKey& other) const {
    auto same = [](float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); };
    return same(time, other.time) && same(values[0], other.values[0]) && same(values[1], other.values[1]) &&
           same(values[2], other.values[2]) && same(values[3], other.values[3]) &&
           interpolation == other.interpolation;
}

double RowClock::rowZero() const {
    const double beat = tempo.beatSeconds();
    double zero = tempo.firstBeat - std::floor(tempo.firstBeat / beat) * beat;
    if (zero >= beat) zero -= beat; // rounding at a whole beat
    return std::max(0.0, zero);
}

double RowClock::timeOfRow(uint32_t row) const {
    return rowZero() + static_cast<double>(row) / rowsPerSecond();
}

uint32_t RowClock::rowAt(double seconds) const {
    return clampRow(std::floor((seconds - rowZero()) * rowsPerSecond()));
}

uint32_t RowClock::nearestRow(double seconds) const {
    return clampRow(std::round((seconds - rowZero()) * rowsPerSecond()));
}

uint8_t rocketKeyType(Interpolation interpolation) {
    switch (interpolation) {
    case Interpolation::Step:
        return 0;
    case Interpolation::Linear:
        return 1;
    case Interpolation::Ramp:
        return 3;
    case Interpolation::Smooth:
    case Interpolation::CatmullRom:
        break;
    }
    return 2;
}

Interpolation interpolationOfKeyType(uint8_t type) {
    switch (type) {
    case 0:
        return Interpolation::Step;
    case 1:
        return Interpolation::Linear;
    case 3:
        return Interpolation::Ramp;
    default:
        return Interpolation::Smooth;
    }
}

std::string trackName(const std::string& entity, const std::string& parameter, int component) {
    return entity + ":" + parameter + componentSuffix[std::clamp(component, 0, 2)];
}

std::string freeTrackName(const std::string& track, int component, int components) {
    if (components <= 1) return "tracks:" + track;
    return "tracks:" + track + componentSuffix[std::clamp(component, 0, 3)];
}

bool splitTrackName(const std::string& name, std::string& entity, std::string& parameter, int& component) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos || colon == 0 || name.size() < colon + 4) return false;
    const std::string tail = name.substr(name.size() - 2);
    const auto found = std::find(std::begin(componentSuffix), std::begin(componentSuffix) + 3, tail);
    if (found == std::begin(componentSuffix) + 3) return false;
    entity = name.substr(0, colon);
    parameter = name.substr(colon + 1, name.size() - colon - 3);
    component = static_cast<int>(found - std::begin(componentSuffix));
    return !parameter.empty();
}

TrackKeys trackOfKeys(const std::vector<SceneKey>& keys, int component, const RowClock& clock) {
    TrackKeys track;
    const size_t c = static_cast<size_t>(std::clamp(component, 0, 3));
    for (const SceneKey& key : keys)
        track[clock.nearestRow(key.time)] = {key.values[c], rocketKeyType(key.interpolation)};
    return track;
}

std::vector<SceneKey> keysFromTracks(const std::vector<SceneKey>& keys,
                                     const std::array<TrackKeys, 3>& tracks, const std::array<bool, 3>& heard,
                                     const std::array<float, 3>& rest, const RowClock& clock) {
    return keysFromTracks(keys, 3, {tracks[0], tracks[1], tracks[2], {}},
                          {heard[0], heard[1], heard[2], false}, {rest[0], rest[1], rest[2], 0.0f}, clock);
}

std::vector<SceneKey> keysFromTracks(const std::vector<SceneKey>& keys, int components,
                                     const std::array<TrackKeys, 4>& tracks, const std::array<bool, 4>& heard,
                                     const std::array<float, 4>& rest, const RowClock& clock) {
    const size_t count = static_cast<size_t>(std::clamp(components, 1, 4));
    // The rows the keys went out on, each with the key that went there last (the track's).
    std::map<uint32_t, const SceneKey*> sent;
    for (const SceneKey& key : keys)
        sent[clock.nearestRow(key.time)] = &key;

    std::array<std::vector<ComponentKey>, 4> curves;
    bool changed = false;
    for (size_t c = 0; c < count; ++c) {
        const bool asSent = !heard[c] || tracks[c] == trackOfKeys(keys, static_cast<int>(c), clock);
        if (asSent) {
            for (const SceneKey& key : keys)
                curves[c].push_back({key.time, key.values[c], key.interpolation});
            continue;
        }
        changed = true;
        for (const auto& [row, trackKey] : tracks[c]) {
            const auto out = sent.find(row);
            if (out == sent.end()) {
                curves[c].push_back({static_cast<float>(clock.timeOfRow(row)), trackKey.value,
                                     interpolationOfKeyType(trackKey.type), true});
                continue;
            }
            // On a row a key went out on the key keeps its time, so the three tracks' keys stay
            // one key; a key that came back as it went is that key again.
            const SceneKey& was = *out->second;
            const bool asWas =
                std::bit_cast<uint32_t>(was.values[c]) == std::bit_cast<uint32_t>(trackKey.value) &&
                rocketKeyType(was.interpolation) == trackKey.type;
            curves[c].push_back({was.time, trackKey.value,
                                 asWas ? was.interpolation : interpolationOfKeyType(trackKey.type), !asWas});
        }
    }
    if (!changed) return keys;

    // Every component plays its own curve; a key for all three goes wherever one of them has one.
    std::vector<float> times;
    for (auto& curve : curves) {
        std::stable_sort(curve.begin(), curve.end(),
                         [](const ComponentKey& a, const ComponentKey& b) { return a.time < b.time; });
        for (const ComponentKey& k : curve)
            times.push_back(k.time);
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());

    std::vector<SceneKey> result;
    result.reserve(times.size());
    std::array<size_t, 4> next{}; // per curve: its first key not before the time
    for (float t : times) {
        SceneKey key;
        key.time = t;
        int chosen = 0; // 1: from a key as the scene had it, 2: from a key the tracker set
        for (size_t c = 0; c < count; ++c) {
            const auto& curve = curves[c];
            size_t& i = next[c];
            while (i < curve.size() && curve[i].time < t)
                ++i;
            size_t last = i; // past the keys at exactly t
            while (last < curve.size() && !(t < curve[last].time))
                ++last;
            if (last > i) {
                const ComponentKey& own = curve[last - 1];
                key.values[c] = own.value;
                const int weight = own.edited ? 2 : 1;
                if (weight > chosen) {
                    key.interpolation = own.interpolation;
                    chosen = weight;
                }
            } else if (curve.empty()) {
                key.values[c] = rest[c];
            } else {
                key.values[c] = curveValue(curve, i, t);
            }
        }
        result.push_back(key);
    }
    return result;
}

std::vector<PathPoint> pathPointsOf(const std::vector<SceneKey>& keys, int components) {
    std::vector<PathPoint> points;
    points.reserve(keys.size());
    const int count = std::clamp(components, 1, 4);
    for (const SceneKey& key : keys) {
        PathPoint p;
        p.time = key.time;
        for (size_t c = 0; c < static_cast<size_t>(count); ++c)
            p.values[c] = key.values[c];
        p.count = count;
        p.spare = static_cast<int32_t>(key.interpolation);
        points.push_back(p);
    }
    return points;
}

std::vector<SceneKey> sceneKeysOf(const std::vector<PathPoint>& points) {
    std::vector<SceneKey> keys;
    keys.reserve(points.size());
    for (const PathPoint& p : points)
        keys.push_back({p.time, {p.values[0], p.values[1], p.values[2], p.values[3]}, p.interpolation()});
    return keys;
}
