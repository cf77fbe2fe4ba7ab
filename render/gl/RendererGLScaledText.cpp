// Text at another size than its font's: the text actors keep their composition at any window
// size by scaling their letters with the window height. Each size gets the face built again at
// that size, once, rather than stretched glyphs: the atlas is sampled without filtering, and a
// glyph drawn at a third of its size from a 64-pixel atlas would lose whole strokes.
#include "render/gl/RendererGL.h"

#include "engine/base/Log.h"
#include "render/gl/GlFont.h"

#include <cmath>
#include <thread>

namespace {

// A show runs at one window size, so one or two extra sizes are all it ever needs; the bound only
// keeps a canvas that changes its scale every frame from building without end.
constexpr size_t MaxScaledFonts = 8;

bool isUnitScale(float scale) {
    return !(scale > 0.0f) || !std::isfinite(scale) || std::fabs(scale - 1.0f) < 1e-4f;
}

} // namespace

const GlFont* RendererGL::scaledFont(int font, float scale) {
    if (font < 0 || font > 2 || !fonts_[static_cast<size_t>(font)]) return nullptr;
    const GlFont* base = fonts_[static_cast<size_t>(font)].get();
    if (isUnitScale(scale)) return base;
    const int height =
        std::max(1, static_cast<int>(std::lround(static_cast<float>(base->lineHeight()) * scale)));
    if (height == base->lineHeight()) return base;
    for (const ScaledFont& entry : scaledFonts_)
        if (entry.font == font && entry.height == height) return entry.glyphs.get();
    // Building needs the GL context, which only the thread that renders has.
    if (std::this_thread::get_id() != renderThread_) return nullptr;

    auto glyphs = std::make_unique<GlFont>();
    std::string error;
    const int advance =
        base->monospaceAdvance() > 0
            ? std::max(1, static_cast<int>(std::lround(static_cast<float>(base->monospaceAdvance()) * scale)))
            : 0;
    if (!glyphs->build(base->fontFile(), height, error, advance)) {
        logStream << "font " << font << " at " << height << " pixels: " << error << std::endl;
        return base;
    }
    if (scaledFonts_.size() >= MaxScaledFonts) {
        flushText(); // the batch may still refer to the atlas that goes
        scaledFonts_.erase(scaledFonts_.begin());
    }
    scaledFonts_.push_back({font, height, std::move(glyphs)});
    return scaledFonts_.back().glyphs.get();
}

int RendererGL::drawTextScaled(std::string text, int x, int y, uint32_t colour, int font, float scale) {
    if (isUnitScale(scale)) return drawText(std::move(text), x, y, colour, font);
    if (font < 0 || font > 2 || !fonts_[static_cast<size_t>(font)]) return 0;
    const int scaledHeight = static_cast<int>(
        std::lround(static_cast<float>(fonts_[static_cast<size_t>(font)]->lineHeight()) * scale));
    if (text.empty()) return 0;
    if (!mayDraw("drawText")) return scaledHeight;
    const GlFont* f = scaledFont(font, scale);
    if (!f) return 0;
    if (f->atlas() != pendingAtlas_) flushText();
    pendingAtlas_ = f->atlas();
    glyphScratch_.clear();
    const int lines =
        f->layout(text.data(), text.size(), static_cast<float>(x), static_cast<float>(y), glyphScratch_);
    for (const GlFont::Vertex& v : glyphScratch_)
        pendingText_.push_back({v.x, v.y, colour, v.u, v.v});
    return lines * f->lineHeight();
}

int RendererGL::textWidth(const std::string& text, int font, float scale) {
    if (font < 0 || font > 2 || !fonts_[static_cast<size_t>(font)])
        return RenderInterface::textWidth(text, font, scale);
    if (const GlFont* f = scaledFont(font, scale)) {
        const int width = f->width(text.data(), text.size());
        // Off the rendering thread an unbuilt size falls back to the font's own, scaled.
        if (f == fonts_[static_cast<size_t>(font)].get() && !isUnitScale(scale))
            return static_cast<int>(std::lround(static_cast<float>(width) * scale));
        return width;
    }
    const GlFont& base = *fonts_[static_cast<size_t>(font)];
    return static_cast<int>(std::lround(static_cast<float>(base.width(text.data(), text.size())) * scale));
}
