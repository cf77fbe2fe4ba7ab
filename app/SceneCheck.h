// `beatshow --check [DIR]`: everything the player would trip over in the show of DIR, each with
// where it is and what to do about it, without a window, a GPU or an audio device.
//
// The scene is loaded by the real loader into the real registry: the asset kinds are registered
// as at start-up, a recording renderer stands in for the device (it keeps what it is handed and
// draws nothing) on a 1920 x 1080 window that exists only as a size, and the music is checked,
// not played. Every problem the load notes is a finding, filed under the scene file's line.
// Events that lie after the end of the song the show plays are findings too: the music, and the
// show's clock with it, starts over at the song's end, so they never fire. Then the show's own
// files: every shader the renderer and its filter chain compile at start-up (the scene's declared
// chain in place of the program's, and its materials' own shaders beside them) must be there and
// (when a compiler is handed in) compile, and a top-level soundtrack.ogg, which is optional, must
// decode when it is there. A uniform of a compiled shader that neither the renderer nor a track
// of the scene (nor time, beat, bar, bass, mid, treble, the spectrum, a stage's parameter)
// provides is a finding too, with the track it may have meant; so is a track whose values do not
// fit the uniform of its name.
//
// What it prints is the findings, one a line ("epicrealtimetest.xml:12: ..."; a shader's
// compiler log follows its line, indented), in the order of the file, then one summary line
// starting "check: ". The engine's load log is printed before them only when asked (verbose).
#pragma once

#include <functional>
#include <string>
#include <vector>

// A uniform a compiled shader declares (and uses: the compiler drops the others).
struct ShaderUniform {
    std::string name;
    int components = 0;  // 1 to 4 for a float, vec2, vec3 or vec4; 0 for anything else
    std::string sampler; // a sampler's kind ("1D", "2D", "cube" or "other"); empty for a value
};

struct ShaderFileCheck {
    std::string file;
    bool vertexStage = false;
    bool compiles = true;
    std::string error;                   // the compiler's log when it does not compile
    std::vector<ShaderUniform> uniforms; // when it compiles
};

struct SceneCheckOptions {
    bool verbose = false;
    // Compiles each file (present in the working directory) as the player would, filling in its
    // result. False, with the reason in `why`, when there is nothing to compile on (no OpenGL);
    // the files are then only looked for. Null: only looked for.
    std::function<bool(std::vector<ShaderFileCheck>& files, std::string& why)> compileShaders;
    // Decodes a music file whole: "" when it decodes, else why not. Null: a music file only has
    // to exist and start like an Ogg file.
    std::function<std::string(const std::string& path)> decodeMusic;
    // A quicker look at the optional start-up music, which the scene's song replaces: its headers
    // only. Null: as decodeMusic.
    std::function<std::string(const std::string& path)> probeMusic;
    // The length in seconds of the music the show plays (0 when it cannot tell): the music loops
    // there, so an event after it never fires, and an "exit" after it never ends the show. Null:
    // event times are not checked against the song.
    std::function<double(const std::string& path)> musicSeconds;
};

// Changes the working directory to `directory` and checks the show in it. Returns the process
// exit status: 0 when there is nothing to fix, 1 otherwise (a missing scene file and a directory
// that cannot be entered are findings too).
int runSceneCheck(const std::string& directory, const SceneCheckOptions& options = SceneCheckOptions{});

// Every shader file the player compiles at start-up, in that order: the renderer's own, then the
// filter chain's (each file once).
std::vector<ShaderFileCheck> showShaderFiles();

// The findings about the uniforms of compiled shaders: those nothing provides (each with the
// track or built-in name it may have meant) and those a track feeds with the wrong number of
// values. `tracks` are the scene's (name, value count); `parameters` the declared stages'.
std::vector<std::string> uniformFindings(const ShaderFileCheck& shader,
                                         const std::vector<std::pair<std::string, int>>& tracks,
                                         const std::vector<std::string>& parameters);
