#include "render/gl/GlProgram.h"

#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <utility>

bool readTextFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    text = buffer.str();
    return true;
}

namespace {

bool isSamplerType(GLenum type) {
    switch (type) {
    case GL_SAMPLER_1D:
    case GL_SAMPLER_2D:
    case GL_SAMPLER_3D:
    case GL_SAMPLER_CUBE:
    case GL_SAMPLER_2D_SHADOW:
    case GL_SAMPLER_CUBE_SHADOW:
    case GL_SAMPLER_2D_ARRAY:
    case GL_SAMPLER_2D_RECT:
    case GL_INT_SAMPLER_2D:
    case GL_UNSIGNED_INT_SAMPLER_2D:
        return true;
    default:
        return false;
    }
}

// Numbers the source lines so a compiler message like "0:12(3)" can be found in the file.
std::string numberedSource(const std::string& source) {
    std::ostringstream out;
    std::istringstream in(source);
    std::string line;
    int number = 1;
    while (std::getline(in, line))
        out << number++ << ": " << line << '\n';
    return out.str();
}

std::mutex reservedMutex;
std::vector<std::pair<std::string, int>> reservedUnits;

int reservedUnitOf(const std::string& name) {
    std::lock_guard lock(reservedMutex);
    for (const auto& [sampler, unit] : reservedUnits)
        if (sampler == name) return unit;
    return -1;
}

} // namespace

void GlProgram::reserveUnit(const std::string& sampler, int unit) {
    std::lock_guard lock(reservedMutex);
    for (auto& [name, taken] : reservedUnits)
        if (name == sampler) {
            taken = unit;
            return;
        }
    reservedUnits.emplace_back(sampler, unit);
}

GlProgram::~GlProgram() {
    release();
}

void GlProgram::release() {
    if (program_) glDeleteProgram(program_);
    program_ = 0;
    uniforms_.clear();
}

void GlProgram::swap(GlProgram& other) noexcept {
    std::swap(program_, other.program_);
    std::swap(file_, other.file_);
    std::swap(uniforms_, other.uniforms_);
}

bool GlProgram::build(const std::string& file, GLenum stage, std::string& errorText) {
    std::string source;
    if (!readTextFile(file, source)) {
        release();
        file_ = file;
        errorText =
            "cannot read the shader file " + file + " (shader files are read from the working directory)";
        return false;
    }
    return buildSource(file, source, stage, errorText);
}

bool GlProgram::buildSource(const std::string& file, const std::string& source, GLenum stage,
                            std::string& errorText) {
    release();
    file_ = file;
    const char* text = source.c_str();
    GLuint program = glCreateShaderProgramv(stage, 1, &text);
    if (!program) {
        errorText = file + ": the driver could not create a program";
        return false;
    }
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        GLint length = 0;
        glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
        std::string log(static_cast<size_t>(length > 0 ? length : 1), '\0');
        glGetProgramInfoLog(program, length, nullptr, log.data());
        log.resize(std::strlen(log.c_str()));
        if (log.empty()) log = "(the compiler gave no message)";
        errorText = file + ":\n" + log + "\n" + numberedSource(source);
        glDeleteProgram(program);
        return false;
    }
    program_ = program;

    GLint count = 0;
    glGetProgramInterfaceiv(program, GL_UNIFORM, GL_ACTIVE_RESOURCES, &count);
    int nextUnit = 0;
    for (GLint i = 0; i < count; ++i) {
        const GLenum props[3] = {GL_NAME_LENGTH, GL_TYPE, GL_LOCATION};
        GLint values[3] = {};
        glGetProgramResourceiv(program, GL_UNIFORM, static_cast<GLuint>(i), 3, props, 3, nullptr, values);
        if (values[2] < 0) continue; // a member of a uniform block: not settable by name here
        std::string name(static_cast<size_t>(values[0] > 0 ? values[0] : 1), '\0');
        glGetProgramResourceName(program, GL_UNIFORM, static_cast<GLuint>(i), values[0], nullptr,
                                 name.data());
        name.resize(std::strlen(name.c_str()));
        Entry entry;
        entry.name = name;
        entry.uniform.location = values[2];
        entry.uniform.type = static_cast<GLenum>(values[1]);
        if (isSamplerType(entry.uniform.type)) {
            const int reserved = reservedUnitOf(name);
            entry.uniform.unit = reserved >= 0 ? reserved : nextUnit++;
            glProgramUniform1i(program, entry.uniform.location, entry.uniform.unit);
        }
        uniforms_.push_back(std::move(entry));
    }
    return true;
}

GlProgram::Uniform GlProgram::find(const char* name) const {
    if (!name) return {};
    for (const Entry& entry : uniforms_)
        if (entry.name == name) return entry.uniform;
    return {};
}

bool GlProgram::setMatrix(const Uniform& u, const Matrix& m) const {
    if (!u.declared() || u.type != GL_FLOAT_MAT4) return false;
    // Row-major storage handed over untransposed: GLSL's column-major reading makes `M * v` the
    // same transform as the row vector v x M.
    glProgramUniformMatrix4fv(program_, u.location, 1, GL_FALSE, m.data());
    return true;
}

bool GlProgram::setVector(const Uniform& u, float x, float y, float z, float w) const {
    if (!u.declared()) return false;
    switch (u.type) {
    case GL_FLOAT:
        glProgramUniform1f(program_, u.location, x);
        return true;
    case GL_FLOAT_VEC2:
        glProgramUniform2f(program_, u.location, x, y);
        return true;
    case GL_FLOAT_VEC3:
        glProgramUniform3f(program_, u.location, x, y, z);
        return true;
    case GL_FLOAT_VEC4:
        glProgramUniform4f(program_, u.location, x, y, z, w);
        return true;
    default:
        return false;
    }
}

bool GlProgram::setFloat(const Uniform& u, float value) const {
    return setVector(u, value, value, value, value);
}

bool GlProgram::setBool(const Uniform& u, bool value) const {
    if (!u.declared()) return false;
    if (u.type == GL_BOOL || u.type == GL_INT) {
        glProgramUniform1i(program_, u.location, value ? 1 : 0);
        return true;
    }
    if (u.type == GL_FLOAT) {
        glProgramUniform1f(program_, u.location, value ? 1.0f : 0.0f);
        return true;
    }
    return false;
}

bool GlProgram::bindTexture(const Uniform& u, GLuint texture) const {
    if (!u.isSampler()) return false;
    glBindTextureUnit(static_cast<GLuint>(u.unit), texture);
    return true;
}

bool GlProgram::readFloat(const char* name, float& value) const {
    const Uniform u = find(name);
    if (!u.declared() || u.type != GL_FLOAT) return false;
    glGetUniformfv(program_, u.location, &value);
    return true;
}
