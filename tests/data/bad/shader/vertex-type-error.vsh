#version 450 core
// Geometry pass, vertex stage: places one mesh vertex in the world and on the screen.
//
// Reads the mesh arrays by location: 0 position, 1 normal, 2 texture coordinate, 3 tangent,
// 4 binormal (an array the mesh lacks reads as zero).
// Constants (set by the renderer for every instance):
//   Proj       projection matrix
//   WorldView  model x view
//   ModelMat   model matrix (object to world)
//   NormalMat  transpose of the inverse model matrix (turns normals into world space)
// Matrices arrive in the engine's row-vector convention and are applied as M * v.
// Writes for gshader.psh: world position, world normal, tangent and binormal, texture coordinate.

layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in vec2 inTexCoord;
layout(location = 3) in vec3 inTangent;
layout(location = 4) in vec3 inBinormal;

uniform mat4 Proj;
uniform mat4 WorldView;
uniform mat4 ModelMat;
uniform mat4 NormalMat;

out gl_PerVertex { vec4 gl_Position; };
layout(location = 0) out vec3 worldPosition;
layout(location = 1) out vec3 worldNormal;
layout(location = 2) out vec2 texCoord;
layout(location = 3) out vec3 worldTangent;
layout(location = 4) out vec3 worldBinormal;

float oops = vec3(1.0);
void main() {
    vec4 p = vec4(inPosition, 1.0);
    gl_Position = Proj * (WorldView * p);
    worldPosition = (ModelMat * p).xyz;
    worldNormal = (NormalMat * vec4(inNormal, 0.0)).xyz;
    worldTangent = (ModelMat * vec4(inTangent, 0.0)).xyz;
    worldBinormal = (ModelMat * vec4(inBinormal, 0.0)).xyz;
    texCoord = inTexCoord;
}
