// A small lit scene built in code for the renderer's benchmark and shot tool: a floor, spheres
// and tori of about 2,000 triangles each, textured materials with normal and emissive maps, and
// coloured point lights. Everything here lives as long as the BenchScene.
#pragma once

#include "render/Material.h"
#include "render/Mesh.h"
#include "render/RenderTypes.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

class RenderInterface;

Mesh makeSphereMesh(const std::string& name, int slices, int stacks);
Mesh makeTorusMesh(const std::string& name, float major, float minor, int rings, int sides);
// A flat square of side 2 in the x-z plane facing +y, its texture repeated `repeat` times.
Mesh makeFloorMesh(const std::string& name, float repeat);

// Diffuse, normal and emissive images built in code (w x h, rows first to last).
std::unique_ptr<Material> makeCheckerMaterial(const std::string& name, int size, uint8_t a[3], uint8_t b[3]);
std::unique_ptr<Material> makeBumpMaterial(const std::string& name, int size, const uint8_t colour[3],
                                           bool glowingStripes);

struct SceneObject {
    Vector position;
    Vector scale{1, 1, 1};
    Vector rotation;
    Vector colour{1, 1, 1};
    Vector emissive;
    uint8_t dirty = 0;
    RenderInstance instance;
};

struct SceneLight {
    Vector position;
    Vector colour;
    float cutoff = 4.0f;
    LightRecord record;
};

class BenchScene {
public:
    // objects: placed meshes besides the floor (spheres and tori alternating); lights: 1 to 3.
    BenchScene(RenderInterface& renderer, int objects, int lights);
    // Turns the objects a little (time in seconds), as a show would from frame to frame.
    void animate(float seconds);
    // Eye and target of the camera the scene is meant to be seen from.
    Vector eye() const { return {0.0f, 2.2f, -7.0f}; }
    Vector target() const { return {0.0f, 0.0f, 0.5f}; }
    // Points the renderer's camera at the scene (position, rotation and view direction).
    void aimCamera(RenderInterface& renderer) const;

private:
    std::deque<Mesh> meshes_;
    std::vector<std::unique_ptr<Material>> materials_;
    std::deque<SceneObject> objects_;
    std::deque<SceneLight> lights_;
};
