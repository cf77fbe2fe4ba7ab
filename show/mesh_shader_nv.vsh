#version 450 core
// Line sets in the geometry pass, vertex stage: one point per vertex, given in world coordinates.
//
// Reads: location 0, the point's world position.
// Constants: WorldView (the view matrix alone), Proj (projection).
// Writes for gshader_nv.psh: the world position.

layout(location = 0) in vec3 inPosition;

uniform mat4 WorldView;
uniform mat4 Proj;

out gl_PerVertex {
    vec4 gl_Position;
    float gl_PointSize;
};
layout(location = 0) out vec3 worldPosition;

void main() {
    gl_Position = Proj * (WorldView * vec4(inPosition, 1.0));
    gl_PointSize = 1.0;
    worldPosition = inPosition;
}
