#version 450 core
// Screen-space vertices: the full-screen quad of the lighting, composition and filter passes,
// and the 2D drawing of canvases (lines and rectangles).
//
// Reads: location 0 (x, y, z, rhw) with x, y in pixels of the target, origin top-left, y down;
//        location 1 the vertex colour (the ARGB colour of the drawing call; black for the quad);
//        location 2 the texture coordinate (u, v), v = 0 at the top.
// Constants:
//   resX, resY   size of the target in pixels
//   pixelOffset  added to x and y: the renderer sets (0.5, 0.5) for lines so that integer
//                coordinates fall on pixel centres, and (0, 0) for filled shapes
// z and rhw are not used: 2D drawing ignores depth.
// Writes for the pixel stage: location 0 the colour, location 1 the texture coordinate.

layout(location = 0) in vec4 inPosition;
layout(location = 1) in vec4 inColour;
layout(location = 2) in vec2 inTexCoord;

uniform float resX;
uniform float resY;
uniform vec2 pixelOffset;

out gl_PerVertex { vec4 gl_Position; };
layout(location = 0) out vec4 colour;
layout(location = 1) out vec2 texCoord;

void main() {
    vec2 pixel = inPosition.xy + pixelOffset;
    gl_Position = vec4(pixel.x / resX * 2.0 - 1.0, 1.0 - pixel.y / resY * 2.0, 0.0, 1.0);
    colour = inColour;
    texCoord = inTexCoord;
}
