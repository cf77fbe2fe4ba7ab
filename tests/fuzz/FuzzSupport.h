// What the fuzz targets share: a registry wired to a recording renderer, a quiet log, and a
// scratch folder for readers that only take file names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Empties the registry and wires a fresh recording renderer and a 1920 x 1080 window into it, as
// the show's start-up does; the log goes nowhere. Call at the start of every input so that no
// input sees what the one before it left.
void freshRegistry();

// The bytes as a file of that name in a folder of this process's own (made on first use);
// returns the file's path.
std::string writeScratchFile(const std::string& name, const uint8_t* data, size_t size);

// The folder itself.
const std::string& scratchFolder();
