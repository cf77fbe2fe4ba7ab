#include "actors/LineFX.h"

#include "engine/EngineRegistry.h"
#include "render/RenderInterface.h"

#include <cmath>

LineFX::LineFX(std::string lineName) : Actor(std::move(lineName)) {
    lineSet_ = std::make_unique<LineSet>();
    points_.assign(static_cast<size_t>(2 * samples_ * strands_), Vector());
    lineSet_->points = points_.data();
    lineSet_->pointCount = samples_ * strands_;
    fill();
    if (RenderInterface* renderer = getRenderer()) renderer->addLineSet(lineSet_.get());
}

LineFX::~LineFX() {
    if (RenderInterface* renderer = getRenderer()) renderer->removeLineSet(lineSet_.get());
}

void LineFX::Update(float dt) {
    // The curve is a function of the running clock alone and only the picture reads it: a
    // replayed frame needs only the clock (the first drawn frame refills it all).
    if (!engine().replaying) fill();
    time_ += dt * 0.001f;
}

void LineFX::fill() {
    const int n = samples_;
    const float t = time_;
    const Vector p = Position;
    const Vector s = Scale;
    // Entries j - 1 and j form one segment: k runs 0, 1, 1, 2, 2, ..., n - 1, n - 1, n.
    for (int strand = 0; strand < strands_; ++strand) {
        Vector* block = points_.data() + static_cast<size_t>(strand) * 2 * static_cast<size_t>(n);
        for (int j = 1; j <= 2 * n; ++j) {
            const int k = j / 2;
            const float c = static_cast<float>(k) * 100.0f / static_cast<float>(n);
            block[j - 1] = Vector(p.x + std::cos(0.1f * c + t) * std::sin(1.01f * c + t) * s.x,
                                  p.y + std::cos(c + t) * std::cos(0.11f * c) * s.y,
                                  p.z + std::cos(0.12f * c + t) * std::sin(0.9f * c + t) * s.z);
        }
    }
}
