// The parts of a scene that make its own look, read after its entities:
//
//   <tracks>      free tracks: a name (that of the shader uniforms it feeds), 1 to 4 values
//                 (components="N", 1 without it) and keys as an automation path has them, with
//                 the time and then N values: <glow components="1"><key v0="0" v1="0.5" /></glow>
//   <materials>   a material may name its own geometry-pass shaders, files in the show's folder:
//                 <shiny vertexShader="shiny.vsh" pixelShader="shiny.psh" /> (either may be left
//                 out: that stage keeps the program's own)
//   <postchain>   filter stages in the order they run, replacing the program's own recipe: each
//                 element names a stage, with its shader and inputs (input0 to input15: "scene",
//                 "overlay", "emissive", another stage's name or a number as the chain takes them)
//                 and its parameters as child elements (<strength x="0.5" />)
//
// A scene without <postchain> plays the program's recipe, and one without material shaders
// draws with the program's own; a load always says so to the registry, so that a scene loaded
// again without them loses them. Problems are noted under their lines with what the show does
// about them (the element concerned is left out, or read as far as it can be).
#pragma once

#include <string>

class XMLDocument;

void loadSceneLook(const XMLDocument& document, const std::string& fileName);
