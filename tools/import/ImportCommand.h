// beatshow-import's command line and what it does with it: each file given becomes the show
// files it stands for (a model its meshes and materials, a picture a material, a song an Ogg
// Vorbis file), written whole or not at all, and a scene snippet that places them.
//
//   beatshow-import FILE... [--into DIR] [--name NAME] [--scale S] [--merge] [--z-up] [--strict]
//                   [--max-memory MB] [--max-seconds S]
//   beatshow-import --text "WORDS" [--font F] [--height PX] [--into DIR] [--name NAME]
//
// Standard output carries only the snippet, so it can be redirected into a file; what was written,
// what was changed on the way and what failed are lines on the message stream.
#pragma once

#include "tools/import/GuardedRead.h"

#include <iosfwd>
#include <string>
#include <vector>

struct ImportRequest {
    std::vector<std::string> files;
    std::string into = "."; // the show directory
    std::string name;       // the asset name for a single file or text
    float scale = 1.0f;
    bool merge = false;
    bool zUp = false;
    bool strict = false; // a model's missing picture refuses the model
    ReadLimits limits = defaultReadLimits();
    bool text = false;
    std::string words;
    std::string font; // empty: the default font
    int textHeight = 96;
    bool help = false;
};

// 0, or -1 and a message for words that are not a request.
int parseImportArguments(const std::vector<std::string>& arguments, ImportRequest& request,
                         std::string& error);
std::string importUsage();

// The exit status: 0 when every file came in, 1 when one or more did not (each said in one line),
// 2 for a request that cannot start (said in one line).
int runImport(const ImportRequest& request, std::ostream& snippet, std::ostream& messages);
