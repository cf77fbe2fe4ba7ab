#include "actors/TextActors.h"

#include "engine/EngineRegistry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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
    case Holding: {
        const size_t line = static_cast<size_t>(lineIndex);
        const float holdEnd =
            line < holdSeconds.size() && holdSeconds[line] >= 0.0f ? holdSeconds[line] : timing.holdEnd;
        colour = pack(amber);
        if (timer >= holdEnd) {
            phase = FadingOut;
            timer = 0.0f;
            return;
        }
        break;
    }
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
    const int y = static_cast<int>(h / 2);
    if (h == DesignHeight) {
        const int n = static_cast<int>(line.size());
        const int half = ownLines ? context->textWidth(line, 1) / 2 : (n / 2) * 28;
        context->drawText(line, static_cast<int>(w / 2) - half, y, colour, 1);
        return;
    }
    const float scale = static_cast<float>(h) / static_cast<float>(DesignHeight);
    const int n = static_cast<int>(line.size());
    const int half = ownLines ? context->textWidth(line, 1, scale) / 2
                              : static_cast<int>(std::lround(static_cast<float>((n / 2) * 28) * scale));
    context->drawTextScaled(line, static_cast<int>(w / 2) - half, y, colour, 1, scale);
}

Actor::ElementResult TextSequence::takeLine(const ActorElement& element, std::string& why) {
    if (element.name != "line") return Actor::ElementResult::NotMine;
    const std::string* text = nullptr;
    float hold = -1.0f;
    for (const auto& [key, value] : element.attributes) {
        if (key == "text") {
            text = &value;
        } else if (key == "hold") {
            char* end = nullptr;
            const double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || !end || *end != '\0' || !std::isfinite(seconds) || seconds < 0.0 ||
                seconds > 3600.0) {
                why = "hold=\"" + value + "\" is not a time in seconds (0 to 3600)";
                return Actor::ElementResult::Refused;
            }
            hold = static_cast<float>(seconds);
        } else {
            why = "<line> has no attribute '" + key + "' (it takes text and hold)";
            return Actor::ElementResult::Refused;
        }
    }
    if (!text) {
        why = "<line> needs its words in text=\"...\"";
        return Actor::ElementResult::Refused;
    }
    if (!ownLines) {
        lines.clear();
        holdSeconds.clear();
        ownLines = true;
    }
    lines.push_back(overlayText(*text));
    holdSeconds.push_back(hold);
    return Actor::ElementResult::Taken;
}

namespace {

// Code points 0x80..0x9F of Windows-1252, the rest of the code page is Latin-1.
const uint16_t windows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char toWindows1252(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<char>(codePoint);
    for (int i = 0; i < 32; ++i)
        if (windows1252High[i] == codePoint) return static_cast<char>(0x80 + i);
    return '?';
}

// The code points of UTF-8 text; false when it is not UTF-8.
bool decodeUtf8(const std::string& text, std::vector<uint32_t>& out) {
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int extra = byte < 0x80             ? 0
                    : (byte & 0xE0) == 0xC0 ? 1
                    : (byte & 0xF0) == 0xE0 ? 2
                    : (byte & 0xF8) == 0xF0 ? 3
                                            : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) return false;
        uint32_t cp = extra == 0 ? byte : byte & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000))
            return false;
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

} // namespace

std::string overlayText(const std::string& text) {
    std::vector<uint32_t> codePoints;
    if (!decodeUtf8(text, codePoints)) return text;
    std::string out;
    for (uint32_t cp : codePoints)
        out.push_back(toWindows1252(cp));
    return out;
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

Actor::ElementResult Anouncer::TakeElement(const ActorElement& element, std::string& why) {
    return sequence_.takeLine(element, why);
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

Actor::ElementResult Greeter::TakeElement(const ActorElement& element, std::string& why) {
    return sequence_.takeLine(element, why);
}
