// Two actors that work on the whole screen:
//
// - SlideShow shows the image of the material "logo2" over the whole window while it is active,
//   and keeps the distortion filter neutral meanwhile so that no other actor's distortion shows
//   through.
// - Fader moves the filter parameter "fadeParam" smoothly towards 1 on "fadein" and towards 0 on
//   "fadeout"; the last filter stage fades the picture with it. It writes the parameter every
//   frame, from its first frame on.
#pragma once

#include "actors/entity/Entity.h"
#include "render/RenderInterface.h"

#include <string>

class SlideShow : public Actor, public RenderInterface::CanvasInterface {
public:
    explicit SlideShow(std::string name);
    ~SlideShow() override;

    void Trigger(const std::string& name) override;
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "SlideShow"; }
    void Update(float frameTime) override;
    void draw(CanvasContext* context) override;

    bool active() const { return active_; }

private:
    bool active_ = false;
};

class Fader : public Actor {
public:
    explicit Fader(std::string name);

    void Trigger(const std::string& name) override;
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "Fader"; }
    // A first-order low-pass towards the target; every frame counts 50 ms longer than it was.
    void Update(float frameTime) override;

    float target() const { return target_; }
    float level() const { return level_; }

private:
    float target_ = 0.0f;
    float level_ = 0.0f;
    float timeConstant_ = 1.5f; // seconds
};
