#include "app/DeviceCheck.h"

#include "engine/base/SystemWindow.h"
#include "platform/SdlWindow.h"
#include "platform/VorbisDecoder.h"
#include "render/gl/GlProgram.h"

#include <epoxy/gl.h>

#include <cstdlib>

namespace {

std::unique_ptr<SystemWindow> hiddenWindow(std::string& why) {
    platform::WindowResult result = platform::WindowCreated;
    return platform::createWindow({"beatshow --check", 64, 64, false, true}, result, why);
}

ShaderUniform uniformOf(const GlProgram::Entry& entry) {
    ShaderUniform uniform;
    uniform.name = entry.name;
    switch (entry.uniform.type) {
    case GL_FLOAT:
        uniform.components = 1;
        break;
    case GL_FLOAT_VEC2:
        uniform.components = 2;
        break;
    case GL_FLOAT_VEC3:
        uniform.components = 3;
        break;
    case GL_FLOAT_VEC4:
        uniform.components = 4;
        break;
    case GL_SAMPLER_1D:
        uniform.sampler = "1D";
        break;
    case GL_SAMPLER_2D:
        uniform.sampler = "2D";
        break;
    case GL_SAMPLER_CUBE:
        uniform.sampler = "cube";
        break;
    default:
        if (entry.uniform.isSampler()) uniform.sampler = "other";
        break;
    }
    return uniform;
}

} // namespace

bool compileShadersOffscreen(std::vector<ShaderFileCheck>& files, std::string& why) {
    // The context is what counts, not a window: SDL's offscreen driver gives one without touching
    // the display, unless the caller named a driver. Where it cannot, the display's driver tries.
    std::unique_ptr<SystemWindow> window;
    if (!std::getenv("SDL_VIDEODRIVER")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        window = hiddenWindow(why);
        if (!window) unsetenv("SDL_VIDEODRIVER");
    }
    if (!window) window = hiddenWindow(why);
    if (!window) return false;
    if (!window->makeContextCurrent()) {
        why = "the OpenGL context cannot be made current";
        return false;
    }
    for (ShaderFileCheck& file : files) {
        GlProgram program;
        std::string error;
        file.compiles =
            program.build(file.file, file.vertexStage ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, error);
        file.error = file.compiles ? std::string() : error;
        file.uniforms.clear();
        for (const GlProgram::Entry& entry : program.uniforms())
            file.uniforms.push_back(uniformOf(entry));
    }
    return true;
}

std::string decodeMusicFile(const std::string& path) {
    platform::DecodedAudio audio;
    const int code = platform::decodeVorbisFile(path, audio);
    return code == platform::AudioOk ? std::string() : platform::audioErrorText(code);
}

std::string probeMusicFile(const std::string& path) {
    return platform::vorbisFileSeconds(path) > 0.0 ? std::string() : "not an Ogg Vorbis file with a length";
}
