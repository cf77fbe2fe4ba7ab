#include "app/DeviceCheck.h"

#include "engine/base/SystemWindow.h"
#include "platform/SdlWindow.h"
#include "platform/VorbisDecoder.h"
#include "render/gl/GlProgram.h"

#include <epoxy/gl.h>

bool compileShadersOffscreen(std::vector<ShaderFileCheck>& files, std::string& why) {
    platform::WindowResult result = platform::WindowCreated;
    // A small hidden window: the context is what counts. Without a display SDL's offscreen driver
    // gives one on Mesa, as for offline runs.
    std::unique_ptr<SystemWindow> window =
        platform::createWindow({"beatshow --check", 64, 64, false, true}, result, why);
    if (!window) return false;
    if (!window->makeContextCurrent()) {
        why = "the OpenGL context cannot be made current";
        return false;
    }
    for (ShaderFileCheck& file : files) {
        GlProgram program;
        std::string error;
        file.compiles = program.build(file.file, file.vertexStage ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, error);
        file.error = file.compiles ? std::string() : error;
    }
    return true;
}

std::string decodeMusicFile(const std::string& path) {
    platform::DecodedAudio audio;
    const int code = platform::decodeVorbisFile(path, audio);
    return code == platform::AudioOk ? std::string() : platform::audioErrorText(code);
}
