// Recording a camera path: while the music plays, the editor camera's position and rotation
// become key frames of a scene camera on every beat or every bar line of the show's tempo that
// the music passes (or on request), replacing the keys the path had in the span that was flown
// through.
//
// A span is the music the recording actually played through without a jump: it starts where the
// recording starts or where a seek (or a jump back) landed, and ends at the next jump. Keys
// outside the spans flown, the ones a seek jumped over included, are never touched.
#pragma once

#include "editor/model/EditHistory.h"
#include "math/Vector.h"
#include "scene/Tempo.h"

#include <string>
#include <vector>

struct RecordedPose {
    float time = 0.0f;
    Vector position;
    Vector rotation;
    // Where the flown span this pose ends began: the path's keys after it and before `time`
    // were flown over and give way to the pose. Equal to `time` for a key made by hand.
    float since = 0.0f;
};

class CameraRecorder {
public:
    enum class Every { Beat, Bar, Request };

    // Beats and bars are the tempo's: bar lines fall on bar 1's first beat and every bar from it.
    void start(const std::string& camera, Every every, double musicTime, const Tempo& tempo);
    void stop();
    bool recording() const { return recording_; }
    const std::string& camera() const { return camera_; }
    Every every() const { return every_; }
    const Tempo& tempo() const { return tempo_; }
    int session() const { return session_; }

    // A frame at this music time with the camera's pose: one pose for every grid line the music
    // passed since the last frame, each the pose at its line (interpolated between the two
    // frames around it). A jump backwards is taken for a seek.
    std::vector<RecordedPose> frame(double musicTime, const Vector& position, const Vector& rotation);
    // The show moved to another time (a seek forwards or back): the span flown so far ends, and
    // the next frame starts a new one where it lands.
    void jumped();
    // A key now (K): at the nearest beat, or at the music time as it is when not snapped.
    RecordedPose now(double musicTime, const Vector& position, const Vector& rotation,
                     bool snap = true) const;

    // Seconds between grid lines (a beat or a bar of the tempo).
    double step() const;

private:
    // The grid line at or just before a music time (by its index from bar 1's first beat), and
    // the music time of a line.
    double lineIndex(double musicTime) const;
    double lineTime(double index) const;

    bool recording_ = false;
    std::string camera_;
    Every every_ = Every::Beat;
    Tempo tempo_;
    int session_ = 0;
    // The last frame of the span being flown (none right after a start or a jump).
    bool inSpan_ = false;
    double lastTime_ = 0.0;
    Vector lastPosition_, lastRotation_;
    double since_ = 0.0;
};

// The beat of the tempo nearest a music time (for times before the first beat after 0 s, that
// beat): where keys and events snap to.
double nearestBeat(const Tempo& tempo, double musicTime);

// Writes the pose as keys of the camera's Position and Rotation paths (each made on its first
// key), replacing a key at the same time and those after `pose.since` and before the pose. One
// history step per recording session.
bool writeRecordedPose(EditHistory& history, const std::string& camera, const RecordedPose& pose,
                       int session);
