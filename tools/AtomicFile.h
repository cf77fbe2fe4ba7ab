// Writing a generated file so that a build never sees half of it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Writes through a temporary file renamed into place, so that an interrupted build never leaves
// a half-written asset that looks up to date. Creates missing directories. False and a message
// on failure.
bool writeFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                         std::string& error);
