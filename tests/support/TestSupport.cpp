#include "tests/support/TestSupport.h"

#include "render/Mesh.h"
#include "scene/AutomationPath.h"

#include <atomic>
#include <fstream>
#include <unistd.h>

void RegistryTest::SetUp() {
    resetEngineRegistry();
    resetRandomSeed();
    resetProblems();
    renderer_ = std::make_unique<RecordingRenderer>();
    log_ = std::make_unique<LogCapture>();
    window_ = std::make_unique<Viewport>();
    window_->width = 1920;
    window_->height = 1080;
    engine().renderer = renderer_.get();
    engine().window = window_.get();
    engine().cameraFollow = true;
}

void RegistryTest::TearDown() {
    resetEngineRegistry();
    renderer_.reset();
    window_.reset();
    log_.reset();
}

void RegistryTest::registerShowAssetKinds() {
    engine().assets.registerKind("tex\\", "bmp", AssetKindBitmap);
    engine().assets.registerKind("model\\", "obj", AssetKindMesh);
    engine().assets.registerKind("audio\\", "ogg", AssetKindMusic);
}

ScratchDirectory::ScratchDirectory() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("beatshow-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void ScratchDirectory::write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    const auto file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void ScratchDirectory::write(const std::string& relative, const std::string& text) const {
    write(relative, std::vector<uint8_t>(text.begin(), text.end()));
}

WorkingDirectory::WorkingDirectory(const std::filesystem::path& path)
    : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
}

WorkingDirectory::~WorkingDirectory() {
    std::filesystem::current_path(previous_);
}

Mesh makeNumberedMesh(uint32_t vertices, const std::string& name) {
    Mesh mesh;
    mesh.name = name;
    mesh.vertexCount = vertices;
    for (uint32_t i = 0; i < vertices; ++i) {
        const float b = static_cast<float>(i) * 100.0f;
        mesh.positions.push_back({b + 0, b + 1, b + 2});
        mesh.texCoords.push_back({b + 3, b + 4});
        mesh.normals.push_back({b + 5, b + 6, b + 7});
        mesh.tangents.push_back({b + 8, b + 9, b + 10});
        mesh.binormals.push_back({b + 11, b + 12, b + 13});
    }
    return mesh;
}

std::vector<uint8_t> makeNumberedImage(uint32_t width, uint32_t height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<uint8_t>(i);
    return rgb;
}
