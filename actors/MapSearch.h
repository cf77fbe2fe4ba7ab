// A short scene of searching on a map: the image of the material "map02" slowly zooming in over
// the whole window, a cyan cross-hair wandering over its lower right part on sine curves for ten
// seconds with the caption "searching location...", then the blinking message "Location not
// found!". Meanwhile it drives the distortion filter: beats jolt it during the search, and from
// one second after the search it grows without end until "deactivate".
//
// Draws through the renderer's canvas list, which it joins when it is built; nothing while
// inactive. "activate" restarts the search.
#pragma once

#include "actors/entity/Entity.h"
#include "render/RenderInterface.h"

#include <string>

class MapSearch : public Actor, public RenderInterface::CanvasInterface {
public:
    static constexpr float SearchSeconds = 10.0f;

    explicit MapSearch(std::string name);
    ~MapSearch() override;

    void Trigger(const std::string& name) override;
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "MapSearch"; }
    void Update(float frameTime) override;
    void OnBeat(uint32_t) override;
    // Also moves the cross-hair: it wanders only in frames where the blink is off.
    void draw(CanvasContext* context) override;

    bool active() const { return active_; }
    float countdown() const { return countdown_; }
    bool blink() const { return blink_; }
    float zoom() const { return zoom_; }
    float pulse() const { return pulse_; }

private:
    bool active_ = false;
    float countdown_ = 0.0f;  // seconds of search left
    float blinkTimer_ = 0.0f; // seconds
    bool blink_ = false;
    float overrun_ = 0.0f; // seconds counted once the countdown is below -1
    float wanderPhase_ = 0.0f;
    float lastFrameTime_ = 0.0f; // seconds
    float zoom_ = 0.0f;
    float pulse_ = 0.0f;
};
