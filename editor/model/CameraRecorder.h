// Recording a camera path: while the music plays, the editor camera's position and rotation
// become key frames of a scene camera on every beat or every bar line the music passes (or on
// request), replacing the keys the path had between the recorded ones.
#pragma once

#include "editor/model/EditHistory.h"
#include "math/Vector.h"

#include <string>
#include <vector>

struct RecordedPose {
    float time = 0.0f;
    Vector position;
    Vector rotation;
};

class CameraRecorder {
public:
    enum class Every { Beat, Bar, Request };

    void start(const std::string& camera, Every every, double musicTime);
    void stop();
    bool recording() const { return recording_; }
    const std::string& camera() const { return camera_; }
    Every every() const { return every_; }
    int session() const { return session_; }

    // A frame at this music time with the camera's pose: the pose at the grid line the music
    // passed since the last frame, if it passed one. A jump backwards (a seek, a loop) only moves
    // the recorder along.
    std::vector<RecordedPose> frame(double musicTime, const Vector& position, const Vector& rotation);
    // A key now, at the music time as it is (K), snapped to the grid unless asked not to.
    RecordedPose now(double musicTime, const Vector& position, const Vector& rotation) const;

    // Seconds between grid lines (a beat or a bar at 141 beats a minute).
    double step() const;

private:
    bool recording_ = false;
    std::string camera_;
    Every every_ = Every::Beat;
    double last_ = 0.0;
    int session_ = 0;
};

// Writes the pose as keys of the camera's Position and Rotation paths (each made on its first
// key), replacing a key at the same time and those after `since` and before the pose. One history
// step per recording session.
bool writeRecordedPose(EditHistory& history, const std::string& camera, const RecordedPose& pose, float since,
                       int session);
