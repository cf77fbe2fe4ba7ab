#include "editor/model/CameraRecorder.h"

#include <cmath>

namespace {

constexpr double BeatSeconds = 60.0 / 141.0;
constexpr float SameTime = 1.0e-3f;

} // namespace

void CameraRecorder::start(const std::string& camera, Every every, double musicTime) {
    recording_ = true;
    camera_ = camera;
    every_ = every;
    // A start right on a grid line records that line.
    last_ = musicTime - 1.0e-6;
    ++session_;
}

void CameraRecorder::stop() {
    recording_ = false;
}

double CameraRecorder::step() const {
    return every_ == Every::Bar ? 4.0 * BeatSeconds : BeatSeconds;
}

std::vector<RecordedPose> CameraRecorder::frame(double musicTime, const Vector& position,
                                                const Vector& rotation) {
    std::vector<RecordedPose> out;
    if (!recording_ || every_ == Every::Request) {
        last_ = musicTime;
        return out;
    }
    if (musicTime < last_) {
        last_ = musicTime;
        return out;
    }
    // The last grid line in (last, now]: one key per frame, however many lines a frame spans.
    const double line = std::floor(musicTime / step() + 1.0e-9) * step();
    if (line > last_) out.push_back({static_cast<float>(line), position, rotation});
    last_ = musicTime;
    return out;
}

RecordedPose CameraRecorder::now(double musicTime, const Vector& position, const Vector& rotation) const {
    const double line = std::round(musicTime / step()) * step();
    return {static_cast<float>(line), position, rotation};
}

bool writeRecordedPose(EditHistory& history, const std::string& camera, const RecordedPose& pose, float since,
                       int session) {
    const std::vector<Touch> touches = {{Touch::Path, camera, "Position"}, {Touch::Path, camera, "Rotation"}};
    return history.run(
        "Record camera path of " + camera, touches,
        [&](SceneDocument& document) {
            for (const auto& [parameter, value] :
                 {std::pair<const char*, Vector>{"Position", pose.position}, {"Rotation", pose.rotation}}) {
                // Keys the recording passed over go; a key at the pose's time takes the pose.
                bool replaced = false;
                for (size_t i = document.keys(camera, parameter).size(); i-- > 0;) {
                    const float t = document.keys(camera, parameter)[i].time;
                    if (std::fabs(t - pose.time) < SameTime) {
                        if (!document.setKey(camera, parameter, i, {t, value})) return false;
                        replaced = true;
                    } else if (t > since + SameTime && t < pose.time) {
                        document.removeKey(camera, parameter, i);
                    }
                }
                if (!replaced && !document.addKey(camera, parameter, {pose.time, value})) return false;
            }
            return true;
        },
        "record:" + camera + ":" + std::to_string(session));
}
