// The binary files that the hand-written scenes under tests/data name (meshes, bitmaps, music),
// written by code so that nothing binary is committed, and the assembly of a runnable scene
// directory from tests/data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

void writeBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);
// model/<name>.obj holding makeNumberedMesh(vertices).
void writeMeshFile(const std::filesystem::path& sceneDir, const std::string& name, uint32_t vertices);
// tex/<name>.bmp holding the given RGB rows (first row first), in the engine's 24-bit layout.
void writeBitmapFile(const std::filesystem::path& sceneDir, const std::string& name, uint32_t width,
                     uint32_t height, const std::vector<uint8_t>& rgb);

// The source of the hand-written scenes (tests/data in the source tree).
std::filesystem::path testDataDirectory();

// Copies tests/data/<scene> into `target` and writes the binary files that scene names. Known
// scenes: "full" (every list of a scene, loads without a problem) and "broken" (a problem in nearly
// every list) and "actors" (every actor class, with the meshes and materials they look for).
void assembleTestScene(const std::string& scene, const std::filesystem::path& dataDir,
                       const std::filesystem::path& target);
