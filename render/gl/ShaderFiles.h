// The shader files the OpenGL renderer compiles when it starts, from the show's folder. Without
// any one of them, or with one that does not compile, the renderer does not start. The filter
// chain's stage files (FilterChain) come on top of these.
//
// A plain list without GL, so that a check of a show's files can name them where no GL is linked.
#pragma once

#include <cstddef>

struct RendererShaderFile {
    const char* file;
    bool vertexStage; // a vertex shader; otherwise a fragment ("pixel") shader
};

// In the order the renderer compiles them.
inline constexpr RendererShaderFile rendererShaderFiles[] = {
    {"diffuse_shader.psh", false}, {"lighting_shader.psh", false},   {"gshader.psh", false},
    {"gshader_nv.psh", false},     {"mesh_shader.vsh", true},        {"deffered_shader.psh", false},
    {"2dflat_shader.psh", false},  {"depth_shader.psh", false},      {"ovrlay_shader.vsh", true},
    {"prim3d_shader.vsh", true},   {"mesh_shader_simple.vsh", true}, {"mesh_shader_nv.vsh", true},
};
inline constexpr size_t rendererShaderFileCount = sizeof rendererShaderFiles / sizeof rendererShaderFiles[0];
