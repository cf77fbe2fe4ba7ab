// One shader file compiled into its own separable OpenGL program, with the program's uniforms as
// its constant table: values and textures are set by name, and a name the shader does not declare
// is skipped silently, so shader authors may leave out what they do not need.
//
// Every sampler uniform gets a fixed texture unit when the program is built (in declaration
// order, from unit 0), so binding a texture to a sampler by name is one unit bind. A sampler name
// reserved for a unit (reserveUnit) gets that unit in every program instead, so that one bind
// serves every program that reads it, whichever stage declares it.
//
// Needs a current OpenGL 4.5 context for everything except the name look-ups.
#pragma once

#include "math/Matrix.h"

#include <epoxy/gl.h>

#include <string>
#include <vector>

class GlProgram {
public:
    // What a uniform look-up found; `location` is -1 when the shader does not declare the name.
    struct Uniform {
        GLint location = -1;
        GLenum type = 0;
        int unit = -1; // texture unit of a sampler, -1 otherwise
        bool declared() const { return location >= 0; }
        bool isSampler() const { return unit >= 0; }
    };

    // A uniform as the program declares it.
    struct Entry {
        std::string name;
        Uniform uniform;
    };

    GlProgram() = default;
    ~GlProgram();
    GlProgram(const GlProgram&) = delete;
    GlProgram& operator=(const GlProgram&) = delete;

    // Reads the file (relative to the working directory) and builds it as one stage
    // (GL_VERTEX_SHADER or GL_FRAGMENT_SHADER). On failure returns false, keeps no program and
    // puts the compiler's text (or the reason the file could not be read) in `errorText`.
    bool build(const std::string& file, GLenum stage, std::string& errorText);
    // The same from source text in memory; `file` only names it in messages.
    bool buildSource(const std::string& file, const std::string& source, GLenum stage,
                     std::string& errorText);
    void release();
    // Exchanges the programs (and what was found in them) of two objects.
    void swap(GlProgram& other) noexcept;

    GLuint id() const { return program_; }
    bool valid() const { return program_ != 0; }
    const std::string& file() const { return file_; }

    Uniform find(const char* name) const;
    bool declares(const char* name) const { return find(name).declared(); }
    // Every active uniform that can be set by name, in the order the driver lists them.
    const std::vector<Entry>& uniforms() const { return uniforms_; }

    // From now on every program built gives the sampler of this name that texture unit.
    static void reserveUnit(const std::string& sampler, int unit);

    // Each returns false when the name is not declared (or, for bindTexture, is not a sampler).
    // A vector set on a float, vec2 or vec3 uniform writes as many components as it has.
    bool setMatrix(const char* name, const Matrix& m) const { return setMatrix(find(name), m); }
    bool setVector(const char* name, float x, float y, float z, float w) const {
        return setVector(find(name), x, y, z, w);
    }
    bool setFloat(const char* name, float value) const { return setFloat(find(name), value); }
    bool setBool(const char* name, bool value) const { return setBool(find(name), value); }
    bool bindTexture(const char* sampler, GLuint texture) const {
        return bindTexture(find(sampler), texture);
    }

    bool setMatrix(const Uniform& u, const Matrix& m) const;
    bool setVector(const Uniform& u, float x, float y, float z, float w) const;
    bool setFloat(const Uniform& u, float value) const;
    bool setBool(const Uniform& u, bool value) const;
    bool bindTexture(const Uniform& u, GLuint texture) const;

    // The value a float uniform holds now: the one its declaration gives it (0 without one) until
    // something sets it. False, leaving `value` alone, when the name is not a declared float.
    // Shaders tell the renderer about themselves this way (the light's reach, a stage's size).
    bool readFloat(const char* name, float& value) const;

private:
    GLuint program_ = 0;
    std::string file_;
    std::vector<Entry> uniforms_;
};

// Reads a whole text file; false when it cannot be read.
bool readTextFile(const std::string& path, std::string& text);
