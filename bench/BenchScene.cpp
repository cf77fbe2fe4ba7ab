#include "BenchScene.h"

#include "render/MaterialBuilder.h"
#include "render/RenderInterface.h"

#include <cmath>

namespace {

constexpr float Pi = 3.14159265358979f;

void push(Mesh& mesh, Vector p, Vector n, TexCoord uv, Vector t, Vector b) {
    mesh.positions.push_back(p);
    mesh.normals.push_back(n);
    mesh.texCoords.push_back(uv);
    mesh.tangents.push_back(t);
    mesh.binormals.push_back(b);
    ++mesh.vertexCount;
}

// A grid surface given by a function of (u, v) in 0..1 that yields position and normal; two
// triangles per cell, tangent along u and binormal along v.
template <class Surface>
Mesh makeGrid(const std::string& name, int columns, int rows, float uRepeat, float vRepeat, Surface surface) {
    Mesh mesh;
    mesh.name = name;
    auto vertex = [&](int i, int j) {
        const float u = static_cast<float>(i) / static_cast<float>(columns);
        const float v = static_cast<float>(j) / static_cast<float>(rows);
        Vector p, n, t, b;
        surface(u, v, p, n, t, b);
        push(mesh, p, n, {u * uRepeat, v * vRepeat}, t, b);
    };
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            vertex(i, j);
            vertex(i, j + 1);
            vertex(i + 1, j + 1);
            vertex(i + 1, j + 1);
            vertex(i + 1, j);
            vertex(i, j);
        }
    return mesh;
}

} // namespace

Mesh makeSphereMesh(const std::string& name, int slices, int stacks) {
    return makeGrid(
        name, slices, stacks, 2.0f, 1.0f, [](float u, float v, Vector& p, Vector& n, Vector& t, Vector& b) {
            const float theta = u * 2.0f * Pi, phi = v * Pi; // v = 0 at the top
            n = {std::sin(phi) * std::cos(theta), std::cos(phi), std::sin(phi) * std::sin(theta)};
            p = n;
            t = {-std::sin(theta), 0.0f, std::cos(theta)};
            b = {std::cos(phi) * std::cos(theta), -std::sin(phi), std::cos(phi) * std::sin(theta)};
        });
}

Mesh makeTorusMesh(const std::string& name, float major, float minor, int rings, int sides) {
    return makeGrid(name, rings, sides, 4.0f, 1.0f,
                    [=](float u, float v, Vector& p, Vector& n, Vector& t, Vector& b) {
                        const float a = u * 2.0f * Pi, c = v * 2.0f * Pi;
                        n = {std::cos(c) * std::cos(a), std::sin(c), std::cos(c) * std::sin(a)};
                        p = Vector{major * std::cos(a), 0.0f, major * std::sin(a)} + n * minor;
                        t = {-std::sin(a), 0.0f, std::cos(a)};
                        b = {-std::sin(c) * std::cos(a), std::cos(c), -std::sin(c) * std::sin(a)};
                    });
}

Mesh makeFloorMesh(const std::string& name, float repeat) {
    return makeGrid(name, 1, 1, repeat, repeat,
                    [](float u, float v, Vector& p, Vector& n, Vector& t, Vector& b) {
                        p = {u * 2.0f - 1.0f, 0.0f, 1.0f - v * 2.0f};
                        n = {0, 1, 0};
                        t = {1, 0, 0};
                        b = {0, 0, -1};
                    });
}

std::unique_ptr<Material> makeCheckerMaterial(const std::string& name, int size, uint8_t a[3], uint8_t b[3]) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const uint8_t* c = ((x * 8 / size) + (y * 8 / size)) % 2 ? a : b;
            rgb.insert(rgb.end(), c, c + 3);
        }
    return makeMaterial(3, &rgb, nullptr, nullptr, size, size, name);
}

std::unique_ptr<Material> makeBumpMaterial(const std::string& name, int size, const uint8_t colour[3],
                                           bool glowingStripes) {
    std::vector<uint8_t> diffuse, normal, emissive;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            // Round dimples in a grid: the normal map tilts towards each dimple's centre.
            const float cx = std::fmod(static_cast<float>(x) / static_cast<float>(size) * 6.0f, 1.0f) - 0.5f;
            const float cy = std::fmod(static_cast<float>(y) / static_cast<float>(size) * 6.0f, 1.0f) - 0.5f;
            const float r2 = cx * cx + cy * cy;
            const float nx = r2 < 0.16f ? -cx * 1.2f : 0.0f;
            const float ny = r2 < 0.16f ? -cy * 1.2f : 0.0f;
            const float nz = std::sqrt(std::max(0.0f, 1.0f - nx * nx - ny * ny));
            const float shade = r2 < 0.16f ? 0.8f : 1.0f;
            for (int k = 0; k < 3; ++k)
                diffuse.push_back(static_cast<uint8_t>(static_cast<float>(colour[k]) * shade));
            normal.push_back(static_cast<uint8_t>((nx * 0.5f + 0.5f) * 255.0f));
            normal.push_back(static_cast<uint8_t>((ny * 0.5f + 0.5f) * 255.0f));
            normal.push_back(static_cast<uint8_t>((nz * 0.5f + 0.5f) * 255.0f));
            const bool stripe = glowingStripes && (y * 12 / size) % 3 == 0;
            emissive.push_back(stripe ? 255 : 0);
            emissive.push_back(stripe ? 160 : 0);
            emissive.push_back(stripe ? 40 : 0);
        }
    return makeMaterial(3, &diffuse, &normal, &emissive, size, size, name);
}

BenchScene::BenchScene(RenderInterface& renderer, int objects, int lights) {
    Mesh& floor = meshes_.emplace_back(makeFloorMesh("floor", 6.0f));
    Mesh& sphere = meshes_.emplace_back(makeSphereMesh("sphere", 32, 32));          // 1,984 triangles
    Mesh& torus = meshes_.emplace_back(makeTorusMesh("torus", 0.7f, 0.3f, 40, 25)); // 2,000 triangles
    for (Mesh& mesh : meshes_)
        renderer.addMesh(&mesh);

    uint8_t light[3] = {200, 200, 190}, dark[3] = {70, 70, 80};
    const uint8_t red[3] = {220, 60, 50}, teal[3] = {40, 180, 170}, white[3] = {230, 230, 230};
    materials_.push_back(makeCheckerMaterial("floor", 256, light, dark));
    materials_.push_back(makeBumpMaterial("red", 128, red, false));
    materials_.push_back(makeBumpMaterial("teal", 128, teal, false));
    materials_.push_back(makeBumpMaterial("glow", 128, white, true));
    for (auto& material : materials_)
        renderer.addMaterial(material.get());

    auto place = [&](Mesh* mesh, const std::string& material, Vector at, Vector size) -> SceneObject& {
        SceneObject& o = objects_.emplace_back();
        o.position = at;
        o.scale = size;
        o.instance.mesh = mesh;
        o.instance.position = &o.position;
        o.instance.scale = &o.scale;
        o.instance.rotation = &o.rotation;
        o.instance.colour = &o.colour;
        o.instance.emissiveScale = &o.emissive;
        o.instance.dirty = &o.dirty;
        o.instance.materialName = material;
        return o;
    };
    place(&floor, "floor", {0, -1, 1}, {8, 1, 8});
    const char* paints[3] = {"red", "teal", "glow"};
    for (int i = 0; i < objects; ++i) {
        // Rows of five, from front to back.
        const float x = -3.0f + 1.5f * static_cast<float>(i % 5);
        const float z = -0.5f + 1.6f * static_cast<float>(i / 5);
        const bool round = i % 2 == 0;
        SceneObject& o = place(round ? &sphere : &torus, paints[i % 3], {x, round ? -0.45f : -0.3f, z},
                               round ? Vector{0.55f, 0.55f, 0.55f} : Vector{0.8f, 0.8f, 0.8f});
        o.rotation = {0.3f * static_cast<float>(i), round ? 0.0f : 0.9f, 0.0f};
        if (paints[i % 3][0] == 'g') o.emissive = {1.0f, 1.0f, 1.0f};
    }
    for (SceneObject& o : objects_)
        renderer.addRenderInstance(&o.instance);

    const Vector places[3] = {{-2.5f, 1.6f, -1.0f}, {2.5f, 1.4f, 0.5f}, {0.0f, 2.0f, 4.0f}};
    const Vector colours[3] = {{1.0f, 0.65f, 0.3f}, {0.35f, 0.55f, 1.0f}, {0.8f, 0.8f, 0.8f}};
    for (int i = 0; i < lights && i < 3; ++i) {
        SceneLight& l = lights_.emplace_back();
        l.position = places[i];
        l.colour = colours[i];
        l.record.id = i;
        l.record.position = &l.position;
        l.record.colour = &l.colour;
        l.record.cutoff = &l.cutoff;
        renderer.addLight(&l.record);
    }
}

void BenchScene::animate(float seconds) {
    int i = 0;
    for (SceneObject& o : objects_)
        if (i++ > 0) o.rotation.x += 0.4f * seconds;
}

void BenchScene::aimCamera(RenderInterface& renderer) const {
    const Vector e = eye();
    const Vector forward = (target() - e).normalized();
    Matrix rotation = matrixLookAtLH(e, target(), {0, 1, 0});
    rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0.0f; // the eye goes in by translation
    renderer.setCameraPosition(-e.x, -e.y, -e.z);
    renderer.multiplyView(rotation.data());
    renderer.setViewDirection(-forward.x, -forward.y, -forward.z);
}
