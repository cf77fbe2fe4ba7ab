#include "editor/model/CameraRecorder.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float SameTime = 1.0e-3f;
// A frame this close before a grid line counts as on it (music times are floats in the file).
constexpr double OnLine = 1.0e-6;

Vector mix(const Vector& a, const Vector& b, float f) {
    return a + (b - a) * f;
}

} // namespace

double nearestBeat(const Tempo& tempo, double musicTime) {
    const double beat = tempo.beatSeconds();
    double at = tempo.firstBeat + std::round((musicTime - tempo.firstBeat) / beat) * beat;
    // Music time starts at 0: there the first beat is the one at or after it.
    if (at < 0.0) at += std::ceil(-at / beat) * beat;
    return at;
}

void CameraRecorder::start(const std::string& camera, Every every, double musicTime, const Tempo& tempo) {
    recording_ = true;
    camera_ = camera;
    every_ = every;
    tempo_ = tempo;
    inSpan_ = false;
    since_ = musicTime;
    ++session_;
}

void CameraRecorder::stop() {
    recording_ = false;
    inSpan_ = false;
}

void CameraRecorder::jumped() {
    inSpan_ = false;
}

double CameraRecorder::step() const {
    return every_ == Every::Bar ? tempo_.barSeconds() : tempo_.beatSeconds();
}

// Grid lines lie on bar 1's first beat and every step before and after it: line k is at
// firstBeat + k x step. (At the default tempo that is k x step, as it always was.)
double CameraRecorder::lineIndex(double musicTime) const {
    return std::floor((musicTime - tempo_.firstBeat) / step() + 1.0e-9);
}

double CameraRecorder::lineTime(double index) const {
    return tempo_.firstBeat + index * step();
}

std::vector<RecordedPose> CameraRecorder::frame(double musicTime, const Vector& position,
                                                const Vector& rotation) {
    std::vector<RecordedPose> out;
    if (!recording_ || every_ == Every::Request) return out;
    if (inSpan_ && musicTime < lastTime_) inSpan_ = false; // a jump back
    if (!inSpan_) {
        // A new span: what lies before it was not flown now. One that starts right on a grid line
        // records that line.
        inSpan_ = true;
        since_ = musicTime;
        const double line = lineTime(lineIndex(musicTime));
        if (line > musicTime - OnLine)
            out.push_back({static_cast<float>(line), position, rotation, static_cast<float>(line)});
    } else if (musicTime > lastTime_) {
        // Every line passed since the last frame, with the pose the camera had at it: the frames
        // on either side tell how it moved in between.
        const double first = lineIndex(lastTime_) + 1.0;
        const double last = lineIndex(musicTime);
        for (double k = first; k <= last; ++k) {
            const double line = lineTime(k);
            const float f =
                static_cast<float>(std::clamp((line - lastTime_) / (musicTime - lastTime_), 0.0, 1.0));
            out.push_back({static_cast<float>(line), mix(lastPosition_, position, f),
                           mix(lastRotation_, rotation, f), static_cast<float>(since_)});
            since_ = line;
        }
    }
    lastTime_ = musicTime;
    lastPosition_ = position;
    lastRotation_ = rotation;
    return out;
}

RecordedPose CameraRecorder::now(double musicTime, const Vector& position, const Vector& rotation,
                                 bool snap) const {
    const double time = std::max(0.0, snap ? nearestBeat(tempo_, musicTime) : musicTime);
    return {static_cast<float>(time), position, rotation, static_cast<float>(time)};
}

bool writeRecordedPose(EditHistory& history, const std::string& camera, const RecordedPose& pose,
                       int session) {
    const std::vector<Touch> touches = {{Touch::Path, camera, "Position"}, {Touch::Path, camera, "Rotation"}};
    return history.run(
        "Record camera path of " + camera, touches,
        [&](SceneDocument& document) {
            for (const auto& [parameter, value] :
                 {std::pair<const char*, Vector>{"Position", pose.position}, {"Rotation", pose.rotation}}) {
                // Keys the span flew over go, and a key at the pose's time gives way to it.
                const std::vector<DocumentKey> keys = document.keys(camera, parameter);
                auto replaced = [&](float t) {
                    return std::fabs(t - pose.time) < SameTime ||
                           (t > pose.since + SameTime && t < pose.time);
                };
                size_t first = keys.size(), last = 0, count = 0;
                for (size_t i = 0; i < keys.size(); ++i)
                    if (replaced(keys[i].time)) {
                        first = std::min(first, i);
                        last = i + 1;
                        ++count;
                    }
                // In a path kept in time order they are one run, and the pose takes its place: one
                // splice, whatever the path's length.
                if (count > 0 && count == last - first && (first == 0 || keys[first - 1].time <= pose.time) &&
                    (last == keys.size() || keys[last].time >= pose.time)) {
                    if (!document.replaceKeys(camera, parameter, first, last, {{pose.time, value}}))
                        return false;
                    continue;
                }
                // Otherwise key by key, from the last down, so that the indices still to visit stay
                // where they are.
                bool kept = false;
                for (size_t i = keys.size(); i-- > 0;) {
                    if (!replaced(keys[i].time)) continue;
                    if (std::fabs(keys[i].time - pose.time) < SameTime) {
                        if (!document.setKey(camera, parameter, i, {keys[i].time, value})) return false;
                        kept = true;
                    } else if (!document.removeKey(camera, parameter, i)) {
                        return false;
                    }
                }
                if (!kept && !document.addKey(camera, parameter, {pose.time, value})) return false;
            }
            return true;
        },
        "record:" + camera + ":" + std::to_string(session));
}
