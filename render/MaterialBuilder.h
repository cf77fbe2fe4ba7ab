// Builds a Material from its images: "<name>" (diffuse, required), "<name>_normal" and
// "<name>_emissive" (optional), all bitmaps of the texture asset kind. The diffuse and normal rows
// are mirrored, the emissive rows are not; a missing normal map is flat (127, 127, 255), a missing
// emissive map black. Each image is dropped from the file cache once decoded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class AssetStore;
class RenderInterface;
struct Material;

// Writes the "material ..." line. Absent pixel sets get their defaults. All three buffers hold
// width x height 3-byte pixels whatever `channels` says (the builder only makes materials of 3);
// a source buffer shorter than its image is padded with its default so nothing reads past it.
std::unique_ptr<Material> makeMaterial(int32_t channels, const std::vector<uint8_t>* diffuse,
                                       const std::vector<uint8_t>* normal,
                                       const std::vector<uint8_t>* emissive, int32_t width, int32_t height,
                                       const std::string& name);

// Null when the diffuse image is missing or unusable (a line says why, except for a missing file,
// which the asset store reports). A companion image that is unusable or of another size than the
// diffuse image is reported and replaced by its default. The renderer, when given, receives the
// material through addMaterial.
std::unique_ptr<Material> buildMaterial(AssetStore& assets, const std::string& name,
                                        RenderInterface* renderer);
