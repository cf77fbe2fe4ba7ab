#include "tests/render/GlTestSupport.h"

#include "platform/SdlWindow.h"
#include "render/MaterialBuilder.h"
#include "render/gl/PngFile.h"

#include <cstdlib>

namespace {

void addFace(Mesh& mesh, Vector centre, Vector normal, Vector right, Vector up) {
    // Corners: top-left, bottom-left, bottom-right, top-right (seen from the side the normal faces).
    const Vector tl = centre - right + up, bl = centre - right - up, br = centre + right - up,
                 tr = centre + right + up;
    const Vector corners[6] = {tl, bl, br, br, tr, tl};
    const TexCoord uvs[6] = {{0, 0}, {0, 1}, {1, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (int i = 0; i < 6; ++i) {
        mesh.positions.push_back(corners[i]);
        mesh.normals.push_back(normal);
        mesh.texCoords.push_back(uvs[i]);
        mesh.tangents.push_back(right);
        mesh.binormals.push_back(up * -1.0f);
    }
    mesh.vertexCount += 6;
}

} // namespace

Mesh makeQuadMesh(const std::string& name) {
    Mesh mesh;
    mesh.name = name;
    addFace(mesh, {0, 0, 0}, {0, 0, -1}, {1, 0, 0}, {0, 1, 0});
    return mesh;
}

Mesh makeBoxMesh(const std::string& name) {
    Mesh mesh;
    mesh.name = name;
    addFace(mesh, {0, 0, -1}, {0, 0, -1}, {1, 0, 0}, {0, 1, 0});  // front
    addFace(mesh, {0, 0, 1}, {0, 0, 1}, {-1, 0, 0}, {0, 1, 0});   // back
    addFace(mesh, {-1, 0, 0}, {-1, 0, 0}, {0, 0, -1}, {0, 1, 0}); // left
    addFace(mesh, {1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0});    // right
    addFace(mesh, {0, 1, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1});    // top
    addFace(mesh, {0, -1, 0}, {0, -1, 0}, {1, 0, 0}, {0, 0, -1}); // bottom
    return mesh;
}

std::unique_ptr<Material> makeSolidMaterial(const std::string& name, uint8_t r, uint8_t g, uint8_t b,
                                            int32_t w, int32_t h) {
    std::vector<uint8_t> rgb;
    for (int32_t i = 0; i < w * h; ++i) {
        rgb.push_back(r);
        rgb.push_back(g);
        rgb.push_back(b);
    }
    return makeMaterial(3, &rgb, nullptr, nullptr, w, h, name);
}

std::unique_ptr<Material> makeImageMaterial(const std::string& name, const std::vector<uint8_t>& rgb,
                                            int32_t w, int32_t h, const std::vector<uint8_t>* emissive) {
    auto material = makeMaterial(3, &rgb, nullptr, emissive, w, h, name);
    // The diffuse rows as given, without the mirroring of files, so tests can name texels.
    material->diffuse = rgb;
    return material;
}

Placed::Placed(Mesh* mesh, const std::string& material, Vector at, Vector size) : position(at), scale(size) {
    instance.mesh = mesh;
    instance.position = &position;
    instance.scale = &scale;
    instance.rotation = &rotation;
    instance.colour = &colour;
    instance.emissiveScale = &emissive;
    instance.dirty = &dirty;
    instance.materialName = material;
}

PlacedLight::PlacedLight(int id, Vector at, Vector light) : position(at), colour(light) {
    record.id = id;
    record.position = &position;
    record.colour = &colour;
    record.cutoff = &cutoff;
}

void GlRendererTest::SetUp() {
    log_ = std::make_unique<LogCapture>();
    directory_ = std::make_unique<WorkingDirectory>(BEATSHOW_SHOW_DIR);
}

void GlRendererTest::TearDown() {
    if (renderer_) {
        renderer_->shutdown();
        renderer_->destroy();
    }
    renderer_.reset();
    viewport_.reset();
    system_.reset();
    directory_.reset();
    log_.reset();
}

int GlRendererTest::open(int width, int height) {
    platform::WindowResult result = platform::WindowNoVideo;
    std::string error;
    system_ = platform::createWindow({"test", width, height, false, true}, result, error);
    if (!system_) {
        ADD_FAILURE() << error;
        return -100;
    }
    viewport_ = std::make_unique<Viewport>();
    viewport_->system = system_.get();
    viewport_->width = static_cast<unsigned>(width);
    viewport_->height = static_cast<unsigned>(height);
    renderer_ = std::make_unique<RendererGL>();
    return renderer_->initialize(viewport_.get());
}

void GlRendererTest::lookAlongZ(const Vector& eye) {
    renderer_->setCameraPosition(-eye.x, -eye.y, -eye.z);
    renderer_->multiplyView(Matrix::identity().data());
    renderer_->setViewDirection(0, 0, -1);
}

std::array<int, 2> GlRendererTest::pixelOf(const Vector& world) const {
    float w = 1.0f;
    const Vector clip =
        transformCoord(world, matrixMultiply(renderer_->viewMatrix(), renderer_->projection()), &w);
    const float nx = clip.x / w, ny = clip.y / w;
    return {static_cast<int>((nx + 1.0f) * 0.5f * static_cast<float>(renderer_->width())),
            static_cast<int>((1.0f - ny) * 0.5f * static_cast<float>(renderer_->height()))};
}

Rgb GlRendererTest::targetAt(RendererGL::Target target, int x, int y) {
    std::vector<float> rgba;
    int w = 0, h = 0;
    if (!renderer_->readTarget(target, rgba, w, h) || x < 0 || y < 0 || x >= w || y >= h) {
        ADD_FAILURE() << "no pixel " << x << "," << y;
        return {};
    }
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
}

Rgb GlRendererTest::captureAt(int x, int y) {
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    if (!renderer_->captureFrame(rgb, w, h) || x < 0 || y < 0 || x >= w || y >= h) {
        ADD_FAILURE() << "no captured pixel " << x << "," << y;
        return {};
    }
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3;
    return {rgb[i] / 255.0f, rgb[i + 1] / 255.0f, rgb[i + 2] / 255.0f};
}

int GlRendererTest::litPixels(RendererGL::Target target, float threshold) {
    std::vector<float> rgba;
    int w = 0, h = 0;
    if (!renderer_->readTarget(target, rgba, w, h)) return -1;
    int count = 0;
    for (size_t i = 0; i < rgba.size(); i += 4)
        if (rgba[i] > threshold || rgba[i + 1] > threshold || rgba[i + 2] > threshold) ++count;
    return count;
}

void saveFrameForInspection(RendererGL& renderer, const std::string& name) {
    const char* directory = std::getenv("BEATSHOW_TEST_IMAGES");
    if (!directory || !*directory) return;
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    if (renderer.captureFrame(rgb, w, h)) writePng(std::string(directory) + "/" + name + ".png", rgb, w, h);
}
