// A model read in a process of its own, under a memory and a time limit.
//
// Assimp reads each format with code of its own, and some of it runs away on a damaged file: an
// OFF file of 309 bytes whose header claims three and a half billion vertices grows by hundreds of
// megabytes a second and never ends. Nothing inside the reading can be stopped safely, so the whole
// of readModel runs in a child process; the importer watches the child's resident memory and the
// clock and ends it at either limit. The child hands the parts, materials and notes back through a
// pipe. A child that crashes is reported the same way, so one bad model never takes the other
// files of the command line with it. Nothing is written while the model is read: a stopped read
// leaves nothing behind.
//
// Does not: limit picture decoding or the writing of files (they run in the importer itself, on
// sizes it has checked).
#pragma once

#include "tools/import/ModelImport.h"

#include <cstdint>
#include <string>

struct ReadLimits {
    uint64_t memoryMegabytes = 0; // resident memory of the reading process; 0: no limit
    double seconds = 0;           // wall-clock time of the reading; 0: no limit
};

// 4096 MB or half the machine's memory, whichever is less; 120 s. A model of ten million
// triangles reads in about 30 s and 3 GB here.
ReadLimits defaultReadLimits();

// readModel in a child process within the limits. 0, or -1 and a message: readModel's own, or one
// line saying which limit stopped the reading, or how the reading crashed.
int readModelGuarded(const std::string& path, const std::string& name, const ModelSettings& settings,
                     const ReadLimits& limits, ImportedModel& out, std::string& error);
