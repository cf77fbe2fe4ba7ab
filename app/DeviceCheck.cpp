#include "app/DeviceCheck.h"

#include "app/ChildProcess.h"
#include "engine/base/SystemWindow.h"
#include "platform/SdlWindow.h"
#include "platform/VorbisDecoder.h"
#include "render/gl/GlProgram.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

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
#if !defined(_WIN32)
    // (Windows has no EGL for the offscreen driver: its hidden window is the way there.)
    if (!std::getenv("SDL_VIDEODRIVER")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        window = hiddenWindow(why);
        if (!window) unsetenv("SDL_VIDEODRIVER");
    }
#endif
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
    referenceCompileShaders(files);
    return true;
}

bool referenceCompileShaders(std::vector<ShaderFileCheck>& files) {
    if (std::none_of(files.begin(), files.end(), [](const ShaderFileCheck& f) { return f.compiles; }))
        return true;
    const std::string validator = findProgram("glslangValidator");
    if (validator.empty()) {
        std::fprintf(stderr,
                     "check: glslangValidator (Debian's glslang-tools) is not installed: the shaders were "
                     "compiled by this OpenGL driver only, not by Khronos' reference compiler\n");
        return false;
    }
    for (ShaderFileCheck& file : files) {
        if (!file.compiles) continue;
        ChildProcess child;
        std::string error;
        if (!child.start({validator, "-S", file.vertexStage ? "vert" : "frag", file.file}, 0, error)) {
            std::fprintf(stderr, "check: %s\n", error.c_str());
            return false;
        }
        if (child.wait() == 0) continue;
        // Its messages without the file's name it starts with and the closing count.
        std::string text =
            "Khronos' reference compiler (glslangValidator) refuses what this OpenGL driver takes; "
            "other drivers may refuse it too:";
        std::istringstream said(child.output());
        for (std::string line; std::getline(said, line);) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (line.empty() || line == file.file || line.find("compilation errors") != std::string::npos ||
                line.find("compilation terminated") != std::string::npos)
                continue;
            text += "\n" + line;
        }
        file.compiles = false;
        file.error = text;
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
