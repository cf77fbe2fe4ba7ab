#include "actors/MapSearch.h"

#include "engine/EngineRegistry.h"

#include <cmath>

MapSearch::MapSearch(std::string mapName) : Actor(std::move(mapName)) {
    subscribeEvent(this, "activate");
    subscribeEvent(this, "deactivate");
    // Without a renderer there is nothing to draw on.
    if (RenderInterface* renderer = getRenderer()) renderer->addCanvas(this);
}

MapSearch::~MapSearch() {
    if (RenderInterface* renderer = getRenderer()) renderer->removeCanvas(this);
}

void MapSearch::Trigger(const std::string& event) {
    if (event == "activate") {
        active_ = true;
        countdown_ = SearchSeconds;
        blinkTimer_ = 0.0f;
        overrun_ = 0.0f;
        wanderPhase_ = 0.0f;
        zoom_ = 0.0f;
        setFilterParameter("inputCombine1", Vector(0.8f, 0.8f, 0.8f));
    } else if (event == "deactivate") {
        active_ = false;
    }
}

void MapSearch::OnBeat(uint32_t) {
    pulse_ = 1.0f;
}

void MapSearch::Update(float dt) {
    if (!active_) return;
    const float s = dt * 0.001f;
    pulse_ *= 0.95f;
    lastFrameTime_ = s;

    if (blinkTimer_ > 0.2f) {
        blinkTimer_ = 0.0f;
        blink_ = !blink_;
    } else {
        blinkTimer_ += s;
    }

    countdown_ -= s;
    if (countdown_ > 0.0f) {
        const Vector v(std::sin(0.4f * countdown_ + wanderPhase_), std::sin(0.9f * countdown_ + wanderPhase_),
                       std::sin(1.3f * countdown_ + wanderPhase_));
        setFilterParameter("distortParam2", v * 0.5f + Vector(0.5f, 0.5f, 0.5f));
        setFilterParameter("distortParam1", Vector(4.0f, pulse_ * 0.4f, 1.0f));
        zoom_ += dt * 0.01f * 0.001f;
    } else {
        // The search is over; one second later the distortion starts to grow.
        if (countdown_ < -1.0f) overrun_ += s;
        setFilterParameter("distortParam1",
                           Vector(overrun_ * 5.0f + 4.0f, overrun_ * 0.6f, overrun_ * 7.0f + 1.0f));
    }
}

void MapSearch::draw(CanvasContext* context) {
    if (!active_ || !context || !context->renderer) return;
    RenderInterface* r = context->renderer;
    unsigned width = 0, height = 0;
    getWindowSize(width, height);
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);

    // The map grows by zx and zy on every side. Its corners go from bottom-right to top-left,
    // which turns the half-turned diffuse texture upright.
    const int zx = static_cast<int>(static_cast<float>(width) * zoom_);
    const int zy = static_cast<int>(static_cast<float>(height) * zoom_);
    r->drawRect(w + zx, h + zy, -zx, -zy, 0xFFFFFFFF, "map02");

    if (countdown_ > 0.0f) {
        if (!blink_) wanderPhase_ -= lastFrameTime_;
        const int px =
            w / 2 + static_cast<int>(std::floor((std::sin(0.9533460f * countdown_ + wanderPhase_) + 1.0f) *
                                                0.5f * (static_cast<float>(width) * 0.3f)));
        const int py =
            h / 2 + static_cast<int>(std::floor((std::sin(1.1435462f * countdown_ + wanderPhase_) + 1.0f) *
                                                0.5f * (static_cast<float>(height) * 0.3f)));
        const uint32_t cyan = 0xFF00FFFF;
        r->drawLine2D(100, 0, 100, py, cyan);
        r->drawLine2D(100, py, px - 20, py, cyan);
        r->drawRect(px - 20, py - 20, px + 20, py + 20, cyan, nullptr);
        r->drawLine2D(101, 0, 101, py + 1, cyan);
        r->drawLine2D(101, py + 1, px - 20, py + 1, cyan);
        r->drawRect(px - 16, py - 16, px + 16, py + 16, cyan, nullptr);
        context->drawText("searching location...", px - 56, py - 42, cyan, 2);
    } else if (blink_) {
        context->drawText("Location not found!", 200, 100, 0xFFFFFFFF, 1);
    }
}
