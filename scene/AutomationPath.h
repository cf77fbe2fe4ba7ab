// Keyed curves over music time, and the actors' pseudo-random source.
//
// An AutomationPath holds PathPoints sorted by time. Each key says how the value moves on to the
// next key (its Interpolation, carried in the point's spare field): by default a Catmull-Rom
// spline whose last control point repeats the segment's end key, or a hold, a straight line, an
// ease in and out (3t^2 - 2t^3) or an ease in (t^2). The loader thread adds points while the main
// loop evaluates the path, so each path guards its points itself.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// How a key's value moves on to the next key's over the segment between them (u from 0 to 1).
enum class Interpolation : int32_t {
    CatmullRom = 0, // the default: the spline of catmullRom below
    Step = 1,       // holds the key's value until the next key
    Linear = 2,     // a straight line
    Smooth = 3,     // 3u^2 - 2u^3: eases out of the key and into the next
    Ramp = 4,       // u^2: starts slowly and arrives fast
};
constexpr int32_t InterpolationCount = 5;

// The names a scene writes them with: "catmull-rom", "step", "linear", "smooth", "ramp".
const char* interpolationName(Interpolation interpolation);
const std::vector<std::string>& interpolationNames();
// False (and `out` unchanged) for a name that is none of them.
bool parseInterpolation(const std::string& name, Interpolation& out);

// The value between two keys `a` and `b` at u in [0, 1] for the four simple interpolations;
// Catmull-Rom needs the key before too and goes through catmullRom.
float interpolateSegment(Interpolation interpolation, float a, float b, float u);

struct PathPoint {
    std::array<float, 8> values{};
    int32_t spare = 0; // the key's Interpolation (0: Catmull-Rom, as every key without one)
    int32_t count = 0; // meaningful value slots; 3 in every point the engine makes
    float time = 0.0f; // seconds of music time

    Interpolation interpolation() const {
        return spare > 0 && spare < InterpolationCount ? static_cast<Interpolation>(spare)
                                                       : Interpolation::CatmullRom;
    }
};

class AutomationPath {
public:
    // Inserts before the first point with a strictly greater time, so equal times keep their order.
    void addPoint(const PathPoint& point);
    // Puts these points in place of all of them (sorted by time, equal times keeping their order).
    void setPoints(std::vector<PathPoint> points);
    size_t pointCount() const;
    // Time of the last point; 0 without points.
    float lastPointTime() const;
    std::vector<PathPoint> points() const;

    // The time at which the path is evaluated next; setting it marks the path as changed.
    void setTime(float time);
    // The value at the time last set, recomputed when the path changed since the last call.
    // Without points it returns the previous result. At or after the last key it returns the
    // last key; a zero-length first segment yields its start key. Before the first key a
    // Catmull-Rom first segment runs on backwards, as it always has; the other interpolations
    // hold the first key's value there.
    PathPoint evaluate();

private:
    mutable std::mutex mutex_;
    std::vector<PathPoint> points_;
    float time_ = 0.0f;
    PathPoint current_;
    bool dirty_ = true;
};

// 0.5 x (2 p1 + (p2 - p0) u + (2 p0 - 5 p1 + 4 p2 - p3) u^2 + (-p0 + 3 p1 - 3 p2 + p3) u^3),
// summed in a fixed order in single precision so that results are reproducible bit for bit.
float catmullRom(float p0, float p1, float p2, float p3, float u);

// Float in [-1, 1) from a 32-bit multiplicative generator (seed x 16807 mod 2^32) seeded with
// 1234 at program start; the same sequence in every run.
float nextRandom();
// Restarts the sequence (tests, and a scene reset, which puts back the seed its load began with).
void resetRandomSeed(uint32_t seed = 1234);
// The seed the next draw starts from.
uint32_t currentRandomSeed();
