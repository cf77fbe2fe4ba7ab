#include "render/RenderInterface.h"

#include "engine/base/Log.h"

#include <cmath>

int CanvasContext::drawText(std::string text, int x, int y, uint32_t colour, int font) {
    return renderer ? renderer->drawText(std::move(text), x, y, colour, font) : 0;
}

int CanvasContext::drawTextScaled(std::string text, int x, int y, uint32_t colour, int font, float scale) {
    return renderer ? renderer->drawTextScaled(std::move(text), x, y, colour, font, scale) : 0;
}

int CanvasContext::textWidth(const std::string& text, int font, float scale) {
    return renderer ? renderer->textWidth(text, font, scale) : 0;
}

int RenderInterface::drawTextScaled(std::string text, int x, int y, uint32_t colour, int font, float) {
    return drawText(std::move(text), x, y, colour, font);
}

int RenderInterface::textWidth(const std::string& text, int font, float scale) {
    static constexpr int Advances[3] = {9, 28, 13};
    if (font < 0 || font > 2) return 0;
    const size_t firstLine = text.find('\n');
    const size_t length = firstLine == std::string::npos ? text.size() : firstLine;
    return static_cast<int>(std::lround(static_cast<double>(length) * Advances[font] * scale));
}

RenderInterface::RenderInterface() {
    logStream << "ri ctor" << std::endl;
}

RenderInterface::~RenderInterface() {
    logStream << "ri dtor" << std::endl;
}
