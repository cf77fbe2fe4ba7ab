// What every shader of a frame may read besides the renderer's own constants, and the names that
// go with it.
//
// The engine hands the renderer one ShaderInputs before each frame: the show's free tracks by
// name at the music time, the clock's `time`, `beat` and `bar`, the music's `bass`, `mid` and
// `treble`, and its spectrum (a 1D texture of 512 bins bound to the sampler `spectrum`). Every
// program of every pass that declares a float or vec2/3/4 uniform of one of these names gets its
// value; a uniform of that name that no input provides keeps the value its shader gives it (0
// unless the shader initialises it).
//
// What it does NOT do: it never overrides the renderer's own constants (a track may not take one
// of their names; the scene loader refuses it), nor an actor's filter parameter of the same name.
//
// Also here: the shader pairs a scene gives its materials, which the renderer builds and uses in
// the geometry pass instead of its own.
#pragma once

#include <array>
#include <string>
#include <vector>

struct ShaderInput {
    std::string name;
    std::array<float, 4> value{};
    int components = 1; // 1 to 4: float, vec2, vec3, vec4

    bool operator==(const ShaderInput&) const = default;
};

struct ShaderInputs {
    static constexpr int SpectrumBins = 512;

    std::vector<ShaderInput> values; // names unique
    // Bin k: the amplitude (1 for a full-scale sine) of the frequency k x rate / 1024.
    std::array<float, SpectrumBins> spectrum{};
    bool hasSpectrum = false; // false: nobody reads it this frame, or the show has no music

    // The value of the name, or null.
    const ShaderInput* find(const std::string& name) const;
    void set(const std::string& name, std::array<float, 4> value, int components);
};

// The sampler a shader declares (as `uniform sampler1D spectrum;`) to read the music's spectrum.
inline constexpr const char SpectrumSamplerName[] = "spectrum";

// The inputs every show has: time, beat, bar, bass, mid and treble.
const std::vector<std::string>& builtInShaderInputs();
// The spectrum's three smoothed bands, a subset of the built-ins: reading one of them (or the
// spectrum sampler) is what makes the engine analyse the song.
const std::vector<std::string>& musicBandInputs();

// Every uniform name the renderer sets itself in some pass (matrices, targets, material textures,
// the filter stages' inputs "input0" to "input15", "resX", ...) and the filter parameters the
// actors set ("distortParam1", "fadeParam", ...). A track of one of these names is refused.
const std::vector<std::string>& rendererConstantNames();
bool isRendererConstant(const std::string& name);

// Whether a shader can declare a uniform of this name: a letter or _ first, then letters, digits
// and _, not starting with "gl_" and without "__" (GLSL keeps those for itself).
bool isUniformName(const std::string& name);

// The shader pair a scene names for one of its materials (files in the show's folder); an empty
// file keeps the renderer's own shader for that stage.
struct MaterialShaders {
    std::string material;
    std::string vertexFile;
    std::string pixelFile;

    bool operator==(const MaterialShaders&) const = default;
};
