// An animated 3D curve, a Lissajous-like figure of sines and cosines, handed to the renderer as a
// line set. The actor's own Position and Scale place and stretch it, so a scene or an automation
// path moves the figure; with the default Scale of 0 it collapses onto Position.
//
// The curve is refilled every frame from the actor's running clock, before playback too. The
// actor reacts to no events.
#pragma once

#include "actors/entity/Entity.h"
#include "render/RenderTypes.h"

#include <memory>
#include <string>
#include <vector>

class LineFX : public Actor {
public:
    explicit LineFX(std::string name);
    // Takes the line set back from the renderer before its points go away.
    ~LineFX() override;

    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "LineFX"; }
    // Refills the curve at the current time, then advances the time by the frame time.
    void Update(float frameTime) override;

    const LineSet& lineSet() const { return *lineSet_; }
    // The whole point array: 2 x samples entries per strand, of which the renderer draws the
    // first samples x strands.
    const std::vector<Vector>& points() const { return points_; }
    float time() const { return time_; }

private:
    void fill();

    std::unique_ptr<LineSet> lineSet_;
    std::vector<Vector> points_;
    int strands_ = 1;
    int samples_ = 4000;
    float time_ = 0.0f; // seconds
};
