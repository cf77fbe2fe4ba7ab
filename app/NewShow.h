// `beatshow --new DIR`: a minimal show that plays at once and shows, commented section by section,
// how a scene is written: the shaders, a floor and a turning ring from generated meshes and
// pictures, one light, a camera that circles the ring on automation paths, a fade in and out, a
// line of text of its own, a short generated soundtrack and an "exit" event.
#pragma once

#include "math/Vector.h"
#include "scene/Tempo.h"

#include <string>
#include <vector>

struct EmbeddedFile {
    const char* name;
    const char* text;
};

// The default show's shader files as the program was built with them (EmbeddedShaders.cpp).
const std::vector<EmbeddedFile>& embeddedShaderFiles();

// A new show in `directory` (made when missing). Writes nothing into a folder that is not empty,
// nor over a file: false and why in `error`. On success `written` lists the files, relative to the
// directory, in the order written. The show's tempo and its song's are `bpm` (40 to 300).
bool writeNewShow(const std::string& directory, std::vector<std::string>& written, std::string& error,
                  double bpm = 141.0);

// The scene file of the new show (its song is `songSeconds` long, at the tempo).
std::string newShowScene(double songSeconds, const Tempo& tempo = Tempo{});

// What a camera's parameters must be for its eye to be at `eye` looking at `target`: Position is
// the negated eye point, Rotation.x the pitch (up positive), Rotation.y the yaw (to the left, -x,
// positive), Rotation.z 0.
struct CameraPose {
    Vector position;
    Vector rotation;
};
CameraPose cameraLookingAt(const Vector& eye, const Vector& target);
