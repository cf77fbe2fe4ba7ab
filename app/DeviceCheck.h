// What `beatshow --check` asks of the machine, kept apart from the check itself so that the check
// builds and tests without SDL or GL: compiling the show's shaders on an OpenGL context that
// nobody sees, and decoding its music.
#pragma once

#include "app/SceneCheck.h"

#include <string>
#include <vector>

// Compiles every file (in the working directory) on a hidden OpenGL 4.5 context, as the renderer
// would when it starts, and each one this driver takes with Khronos' reference compiler as well
// (referenceCompileShaders), since another driver may refuse what this one takes. False, with why
// in `why`, when no such context can be made.
bool compileShadersOffscreen(std::vector<ShaderFileCheck>& files, std::string& why);

// Compiles every file marked as compiling with glslangValidator (Debian's glslang-tools; on
// Windows from PATH or beside the program), the reference compiler of the GLSL specification;
// a file it refuses gets its messages as the error. False when the program is not there, after
// saying so on standard error once (the files are left as they were).
bool referenceCompileShaders(std::vector<ShaderFileCheck>& files);

// Decodes an Ogg Vorbis file whole, as the player does: "" when it decodes, else why not.
std::string decodeMusicFile(const std::string& path);
// Reads only an Ogg Vorbis file's headers: "" when they give it a length, else why not.
std::string probeMusicFile(const std::string& path);
