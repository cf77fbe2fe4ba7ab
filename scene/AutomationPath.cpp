#include "scene/AutomationPath.h"

#include <algorithm>
#include <atomic>
#include <bit>

void AutomationPath::addPoint(const PathPoint& point) {
    std::lock_guard lock(mutex_);
    // Keys usually arrive in time order and go at the end; otherwise a binary search finds the
    // first later key, so that loading a long path stays linear in its points.
    auto it = points_.end();
    if (!points_.empty() && point.time < points_.back().time)
        it = std::upper_bound(points_.begin(), points_.end(), point.time,
                              [](float t, const PathPoint& p) { return t < p.time; });
    points_.insert(it, point);
    dirty_ = true;
}

void AutomationPath::setPoints(std::vector<PathPoint> points) {
    // Points that come in order (an editor's path, every frame a key moves) are not sorted again.
    const auto earlier = [](const PathPoint& a, const PathPoint& b) { return a.time < b.time; };
    if (!std::is_sorted(points.begin(), points.end(), earlier))
        std::stable_sort(points.begin(), points.end(), earlier);
    std::lock_guard lock(mutex_);
    points_ = std::move(points);
    dirty_ = true;
}

size_t AutomationPath::pointCount() const {
    std::lock_guard lock(mutex_);
    return points_.size();
}

float AutomationPath::lastPointTime() const {
    std::lock_guard lock(mutex_);
    return points_.empty() ? 0.0f : points_.back().time;
}

std::vector<PathPoint> AutomationPath::points() const {
    std::lock_guard lock(mutex_);
    return points_;
}

void AutomationPath::setTime(float time) {
    std::lock_guard lock(mutex_);
    time_ = time;
    dirty_ = true;
}

PathPoint AutomationPath::evaluate() {
    std::lock_guard lock(mutex_);
    if (!dirty_ || points_.empty()) return current_;

    const size_t n = points_.size();
    if (n == 1 || time_ >= points_.back().time) {
        current_ = (n == 1) ? points_.front() : points_.back();
        dirty_ = false;
        return current_;
    }

    size_t i = 0;
    while (i + 2 < n && !(points_[i + 1].time > time_))
        ++i;

    const PathPoint& a = points_[i];
    const PathPoint& b = points_[i + 1];
    const float length = b.time - a.time;
    const float u = (length != 0.0f) ? (time_ - a.time) / length : 0.0f;
    const int count = std::clamp<int>(points_.front().count, 0, static_cast<int>(current_.values.size()));
    const Interpolation interpolation = a.interpolation();
    for (int j = 0; j < count; ++j) {
        const size_t s = static_cast<size_t>(j);
        const float p1 = a.values[s];
        const float p2 = b.values[s];
        if (interpolation == Interpolation::CatmullRom) {
            const float p0 = (i == 0) ? a.values[s] : points_[i - 1].values[s];
            current_.values[s] = catmullRom(p0, p1, p2, p2, u);
        } else {
            current_.values[s] = interpolateSegment(interpolation, p1, p2, std::clamp(u, 0.0f, 1.0f));
        }
    }
    dirty_ = false;
    return current_;
}

namespace {
const std::vector<std::string> names = {"catmull-rom", "step", "linear", "smooth", "ramp"};
} // namespace

const char* interpolationName(Interpolation interpolation) {
    const auto index = static_cast<size_t>(interpolation);
    return index < names.size() ? names[index].c_str() : names.front().c_str();
}

const std::vector<std::string>& interpolationNames() {
    return names;
}

bool parseInterpolation(const std::string& name, Interpolation& out) {
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) return false;
    out = static_cast<Interpolation>(found - names.begin());
    return true;
}

float interpolateSegment(Interpolation interpolation, float a, float b, float u) {
    switch (interpolation) {
    case Interpolation::Step:
        return a;
    case Interpolation::Linear:
        return a + (b - a) * u;
    case Interpolation::Smooth:
        return a + (b - a) * (u * u * (3.0f - 2.0f * u));
    case Interpolation::Ramp:
        return a + (b - a) * (u * u);
    case Interpolation::CatmullRom:
        break;
    }
    return catmullRom(a, a, b, b, u);
}

float catmullRom(float p0, float p1, float p2, float p3, float u) {
    const float curvature = (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * 0.5f * u * u;
    const float slope = (p2 - p0) * 0.5f * u + p1;
    const float cubic = (3.0f * p1 - p0 - 3.0f * p2 + p3) * 0.5f * u * u * u;
    return curvature + slope + cubic;
}

namespace {
// The loader thread (actors built while loading) and the main thread (actor updates) both draw.
std::atomic<uint32_t> randomSeed{1234};
} // namespace

float nextRandom() {
    uint32_t seed = randomSeed.load(std::memory_order_relaxed);
    uint32_t next;
    do {
        next = seed * 16807u;
    } while (!randomSeed.compare_exchange_weak(seed, next, std::memory_order_relaxed));
    const uint32_t bits = 0x40000000u | (next >> 9); // sign and exponent of 2.0, top 23 bits of the seed
    return std::bit_cast<float>(bits) - 3.0f;
}

void resetRandomSeed(uint32_t seed) {
    randomSeed.store(seed, std::memory_order_relaxed);
}

uint32_t currentRandomSeed() {
    return randomSeed.load(std::memory_order_relaxed);
}
