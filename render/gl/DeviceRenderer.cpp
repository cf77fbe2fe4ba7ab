#include "render/gl/DeviceRenderer.h"

#include "render/gl/PngFile.h"
#include "render/gl/RendererGL.h"

std::unique_ptr<RenderInterface> makeDeviceRenderer() {
    return std::make_unique<RendererGL>();
}

bool captureDeviceFrame(RenderInterface* renderer, std::vector<uint8_t>& rgb, int& width, int& height) {
    auto* device = dynamic_cast<RendererGL*>(renderer);
    return device && device->captureFrame(rgb, width, height);
}

bool deviceUploadsPending(RenderInterface* renderer) {
    auto* device = dynamic_cast<RendererGL*>(renderer);
    return device && device->uploadsPending();
}

bool writePngFile(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height) {
    return writePng(path, rgb, width, height);
}
