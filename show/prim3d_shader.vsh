#version 450 core
// 3D lines drawn by canvases in the overlay (drawLine3D), through the camera.
//
// Reads: location 0 the world position, location 1 the colour, location 2 the texture coordinate.
// Constants: WorldView (the view matrix), Proj (projection), set at the start of the overlay pass.
// Writes for 2dflat_shader.psh: location 0 the colour, location 1 the texture coordinate.

layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec4 inColour;
layout(location = 2) in vec2 inTexCoord;

uniform mat4 WorldView;
uniform mat4 Proj;

out gl_PerVertex { vec4 gl_Position; };
layout(location = 0) out vec4 colour;
layout(location = 1) out vec2 texCoord;

void main() {
    gl_Position = Proj * (WorldView * vec4(inPosition, 1.0));
    colour = inColour;
    texCoord = inTexCoord;
}
