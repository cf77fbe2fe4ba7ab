#version 450 core
// Shadow pass, vertex stage: one mesh vertex seen from a light through one cube face.
//
// Reads: location 0, the position (the other arrays are not needed).
// Constants:
//   Proj        the cube face's projection (90 degrees, square)
//   WorldView   model x the face's view
//   ModelMat    model matrix
//   lightPosUT  the light's world position (x, y, z, 1)
// Writes for depth_shader.psh: the vector from the light to the vertex, in world space.

layout(location = 0) in vec3 inPosition;

uniform mat4 Proj;
uniform mat4 WorldView;
uniform mat4 ModelMat;
uniform vec4 lightPosUT;

out gl_PerVertex { vec4 gl_Position; };
layout(location = 0) out vec3 fromLight;

void main() {
    vec4 p = vec4(inPosition, 1.0);
    gl_Position = Proj * (WorldView * p);
    fromLight = (ModelMat * p).xyz - lightPosUT.xyz;
}
