// Helpers shared by the test suites: a clean registry with a recording renderer per test, a
// scratch directory, and writers of the engine's binary files.
#pragma once

#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "engine/base/Viewport.h"
#include "render/RecordingRenderer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct Mesh;

// Each test starts from an empty registry wired to a RecordingRenderer and a 1920 x 1080 window,
// with the random sequence restarted and the log captured.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    EngineRegistry& registry() { return engine(); }
    RecordingRenderer& renderer() { return *renderer_; }
    LogCapture& log() { return *log_; }

    // Registers the three asset kinds of a show, rooted in the working directory.
    void registerShowAssetKinds();

private:
    std::unique_ptr<RecordingRenderer> renderer_;
    std::unique_ptr<Viewport> window_;
    std::unique_ptr<LogCapture> log_;
};

// A fresh empty directory under the system's temp directory; removed when it goes away.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::filesystem::path& path() const { return path_; }
    // Writes a file relative to the directory, creating parent folders.
    void write(const std::string& relative, const std::vector<uint8_t>& bytes) const;
    void write(const std::string& relative, const std::string& text) const;

private:
    std::filesystem::path path_;
};

// Changes the working directory while it lives.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& path);
    ~WorkingDirectory();

private:
    std::filesystem::path previous_;
};

// A mesh of `vertices` vertices whose every float is distinct (vertex i, float k = i * 100 + k).
Mesh makeNumberedMesh(uint32_t vertices, const std::string& name);
// A w x h image in 3-byte RGB whose pixel i is (i * 3, i * 3 + 1, i * 3 + 2) modulo 256.
std::vector<uint8_t> makeNumberedImage(uint32_t width, uint32_t height);
