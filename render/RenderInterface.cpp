#include "render/RenderInterface.h"

#include "engine/base/Log.h"

int CanvasContext::drawText(std::string text, int x, int y, uint32_t colour, int font) {
    return renderer ? renderer->drawText(std::move(text), x, y, colour, font) : 0;
}

RenderInterface::RenderInterface() {
    logStream << "ri ctor" << std::endl;
}

RenderInterface::~RenderInterface() {
    logStream << "ri dtor" << std::endl;
}
