#include "actors/SlideShowAndFader.h"

#include "engine/EngineRegistry.h"

#include <cmath>

namespace {

void neutralDistortion() {
    setFilterParameter("distortParam1", Vector(0.0f, 0.0f, 0.0f));
    setFilterParameter("distortParam2", Vector(0.0f, 0.0f, 0.0f));
}

} // namespace

// ---- SlideShow ----

SlideShow::SlideShow(std::string slideName) : Actor(std::move(slideName)) {
    subscribeEvent(this, "activate");
    subscribeEvent(this, "deactivate");
    // Without a renderer there is nothing to draw on.
    if (RenderInterface* renderer = getRenderer()) renderer->addCanvas(this);
}

SlideShow::~SlideShow() {
    if (RenderInterface* renderer = getRenderer()) renderer->removeCanvas(this);
}

void SlideShow::Trigger(const std::string& event) {
    if (event == "activate") {
        active_ = true;
        neutralDistortion();
    } else if (event == "deactivate") {
        active_ = false;
    }
}

void SlideShow::Update(float) {
    if (active_) neutralDistortion();
}

void SlideShow::draw(CanvasContext* context) {
    if (!active_ || !context || !context->renderer) return;
    unsigned w = 0, h = 0;
    getWindowSize(w, h);
    // Corners given from bottom-right to top-left: the diffuse texture holds the bitmap turned by
    // half a turn (rows bottom-up, each mirrored), and this turns it upright again.
    context->renderer->drawRect(static_cast<int>(w), static_cast<int>(h), 0, 0, 0xFFFFFFFF, "logo2");
}

// ---- Fader ----

Fader::Fader(std::string faderName) : Actor(std::move(faderName)) {
    subscribeEvent(this, "fadein");
    subscribeEvent(this, "fadeout");
}

void Fader::Trigger(const std::string& event) {
    if (event == "fadein") {
        target_ = 1.0f;
    } else if (event == "fadeout") {
        target_ = 0.0f;
    }
}

void Fader::Update(float dt) {
    const float k = std::exp(-(dt * 0.001f + 0.05f) / timeConstant_);
    level_ = (1.0f - k) * target_ + k * level_;
    setFilterParameter("fadeParam", Vector(level_, level_, level_));
}
