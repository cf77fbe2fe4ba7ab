#include "actors/TextActors.h"

#include "engine/EngineRegistry.h"

#include <algorithm>

namespace {

const Vector amber(0.9411f, 0.7333f, 0.0f);

// Opaque ARGB from red, green and blue in 0..1.
uint32_t pack(const Vector& c) {
    auto channel = [](float v) { return static_cast<uint32_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f); };
    return 0xFF000000u + (channel(c.x) << 16) + (channel(c.y) << 8) + channel(c.z);
}

// The wording is free; the lengths (20, 24, 31, 10, 6, 18, 18, 15, 27 characters) are what the
// centring and the pacing of the show were timed with.
const char* const announcementLines[] = {
    "beatshow is proud to",
    "present a real-time show",
    "in sync with the music, 141 bpm",
    "live from:",
    "ZEV HQ",
    "sixty flying cubes",
    "one lost location,",
    "shards of steel",
    "so turn it up and enjoy it!",
};

// Sixteen greeted groups between the two fixed lines; lengths 7, 10, 4, 3, 6, 4, 5, 3, 9, 4, 5,
// 6, 16, 4, 6, 8.
const char* const greetingLines[] = {
    "An ZEV Party Production",
    "Greetings go out to",
    "Kickbox",
    "Bassliners",
    "Tick",
    "BPM",
    "Vertex",
    "Quad",
    "Shade",
    "Ogg",
    "Polygonia",
    "Mesh",
    "Pixel",
    "Raster",
    "The Loop Station",
    "Fade",
    "Lumina",
    "Offbeats",
    "and the rest of the demoscene",
};

void joinCanvases(RenderInterface::CanvasInterface* canvas) {
    // Without a renderer there is nothing to draw on.
    if (RenderInterface* renderer = getRenderer()) renderer->addCanvas(canvas);
}

void leaveCanvases(RenderInterface::CanvasInterface* canvas) {
    if (RenderInterface* renderer = getRenderer()) renderer->removeCanvas(canvas);
}

} // namespace

// ---- TextSequence ----

void TextSequence::start() {
    active = true;
    timer = 0.0f;
    lineIndex = 0;
    phase = FadingIn;
}

void TextSequence::update(float dt, const Timing& timing) {
    if (!active) return;
    switch (phase) {
    case FadingIn: {
        const float f = std::clamp(timer * timing.fadeRate, 0.0f, 1.0f);
        colour = pack(amber * f);
        if (timer >= timing.fadeInEnd) {
            phase = Holding;
            timer = 0.0f;
            return;
        }
        break;
    }
    case Holding:
        colour = pack(amber);
        if (timer >= timing.holdEnd) {
            phase = FadingOut;
            timer = 0.0f;
            return;
        }
        break;
    case FadingOut: {
        const float f = std::clamp(1.0f - timer * timing.fadeRate, 0.0f, 1.0f);
        colour = pack(amber * f);
        if (timer >= timing.fadeOutEnd) {
            lineIndex += 1;
            colour = 0xFF000000;
            phase = FadingIn;
            timer = 0.0f;
            if (lineIndex >= static_cast<int>(lines.size())) active = false;
            return;
        }
        break;
    }
    default:
        break;
    }
    timer += dt * 0.001f;
}

void TextSequence::draw(CanvasContext* context) const {
    if (!context || !active || lineIndex < 0 || lineIndex >= static_cast<int>(lines.size())) return;
    unsigned w = 0, h = 0;
    getWindowSize(w, h);
    const std::string& line = lines[static_cast<size_t>(lineIndex)];
    const int n = static_cast<int>(line.size());
    const int x = static_cast<int>(w / 2) - (n / 2) * 28;
    const int y = static_cast<int>(h / 2);
    context->drawText(line, x, y, colour, 1);
}

// ---- Anouncer ----

Anouncer::Anouncer(std::string anouncerName) : Actor(std::move(anouncerName)) {
    sequence_.lines.assign(std::begin(announcementLines), std::end(announcementLines));
    subscribeEvent(this, "activate");
    joinCanvases(this);
}

Anouncer::~Anouncer() {
    leaveCanvases(this);
}

void Anouncer::Trigger(const std::string& event) {
    if (event == "activate") {
        sequence_.start();
        setFilterParameter("distortParam1", Vector(0.0f, 0.5f, 0.8f));
        setFilterParameter("distortParam2", Vector(0.0f, 0.0f, 0.0f));
    }
}

void Anouncer::Update(float dt) {
    sequence_.update(dt, Timing);
}

void Anouncer::draw(CanvasContext* context) {
    sequence_.draw(context);
}

// ---- Greeter ----

Greeter::Greeter(std::string greeterName) : Actor(std::move(greeterName)) {
    sequence_.lines.assign(std::begin(greetingLines), std::end(greetingLines));
    subscribeEvent(this, "activate");
    subscribeEvent(this, "deactivate");
    joinCanvases(this);
}

Greeter::~Greeter() {
    leaveCanvases(this);
}

void Greeter::Trigger(const std::string& event) {
    if (event == "activate") {
        sequence_.start();
    } else if (event == "deactivate") {
        sequence_.active = false;
    }
}

void Greeter::Update(float dt) {
    sequence_.update(dt, Timing);
}

void Greeter::draw(CanvasContext* context) {
    sequence_.draw(context);
}
