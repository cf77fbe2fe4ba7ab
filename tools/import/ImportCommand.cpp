#include "tools/import/ImportCommand.h"

#include "render/MeshFile.h"
#include "tools/import/ImageImport.h"
#include "tools/import/ImportNames.h"
#include "tools/import/ImportRecord.h"
#include "tools/import/ModelImport.h"
#include "tools/import/MusicImport.h"
#include "tools/import/SceneSnippet.h"
#include "tools/import/StagedFiles.h"
#include "tools/import/TextImport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>

namespace fs = std::filesystem;

namespace {

enum class Kind { Model, Picture, Music };

std::string lowerExtension(const std::string& path) {
    std::string e = fs::path(path).extension().string();
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

Kind kindOf(const std::string& path) {
    static const std::set<std::string> pictures = {".png", ".jpg", ".jpeg", ".tga", ".bmp", ".gif", ".psd"};
    static const std::set<std::string> music = {".wav", ".wave", ".flac", ".ogg",  ".oga", ".opus",
                                                ".mp3", ".aif",  ".aiff", ".aifc", ".au",  ".w64",
                                                ".caf", ".m4a",  ".aac",  ".wma",  ".mka"};
    const std::string e = lowerExtension(path);
    if (pictures.count(e)) return Kind::Picture;
    if (music.count(e)) return Kind::Music;
    return Kind::Model;
}

// "_normal" or "_emissive" when the file is a material's companion picture, else "".
std::string companionSuffix(const std::string& stem) {
    for (const char* suffix : {"_normal", "_emissive"})
        if (stem.ends_with(suffix) && stem.size() > std::string(suffix).size()) return suffix;
    return {};
}

// True when the file already is a mesh file of the engine (its second word the magic).
bool isEngineMeshFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t header[8] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    const uint32_t magic =
        header[4] | header[5] << 8 | header[6] << 16 | static_cast<uint32_t>(header[7]) << 24;
    return magic == MeshFileMagic;
}

std::string sizeText(const Image& image) {
    return std::to_string(image.width) + " x " + std::to_string(image.height);
}

class Importer {
public:
    Importer(const ImportRequest& request, std::ostream& messages) : request_(request), messages_(messages) {}

    bool importModel(const std::string& file);
    bool importPicture(const std::string& file, const std::string& suffix);
    bool importSong(const std::string& file);
    bool importText();

    Snippet snippet;

private:
    // The asset name for a file: --name when given, else the file's own name.
    std::string baseName(const std::string& file) const {
        return assetName(request_.name.empty() ? fileStem(file) : request_.name);
    }
    void say(const std::string& file, const std::string& line) { messages_ << file << ": " << line << "\n"; }
    bool fail(const std::string& file, const std::string& why) {
        say(file, why + "; nothing written for it");
        return false;
    }
    // Refuses to write over the file being read.
    bool overwritesInput(const StagedFiles& files, const std::string& relative,
                         const std::string& input) const {
        std::error_code a, b;
        return fs::weakly_canonical(files.pathOf(relative), a) == fs::weakly_canonical(input, b) && !a && !b;
    }
    bool stageBitmap(StagedFiles& files, const std::string& relative, const std::vector<uint8_t>& bytes,
                     const std::string& input, std::string& error);
    bool commit(StagedFiles& files, const std::string& input,
                const std::map<std::string, std::string>& details);
    void replaceEarlierImport(const std::string& file, const std::string& modelName,
                              const std::vector<std::string>& written);
    void placeModel(const std::string& file, const std::string& modelName, const ImportedModel& model);

    const ImportRequest& request_;
    std::ostream& messages_;
    NameBook meshNames_, materialNames_, objectNames_, songNames_, modelNames_;
    std::set<std::string> writtenThisRun_; // never taken away by a later model of the same run
    std::map<std::string, std::pair<int, int>> diffuseSizes_; // material -> the size of its picture
};

bool Importer::stageBitmap(StagedFiles& files, const std::string& relative, const std::vector<uint8_t>& bytes,
                           const std::string& input, std::string& error) {
    if (overwritesInput(files, relative, input)) {
        error = "its output " + relative + " is the file itself";
        return false;
    }
    return files.put(relative, bytes, error);
}

bool Importer::commit(StagedFiles& files, const std::string& input,
                      const std::map<std::string, std::string>& details) {
    std::vector<bool> replacing;
    for (const std::string& f : files.files())
        replacing.push_back(files.exists(f));
    std::string error;
    if (!files.commit(error)) return fail(input, error);
    for (size_t i = 0; i < files.files().size(); ++i) {
        const std::string& f = files.files()[i];
        const auto detail = details.find(f);
        std::string line = "wrote " + f;
        std::string extra = detail != details.end() ? detail->second : "";
        if (replacing[i])
            extra += std::string(extra.empty() ? "" : ", ") + "replacing the file that was there";
        say(input, line + (extra.empty() ? "" : " (" + extra + ")"));
    }
    return true;
}

bool Importer::importModel(const std::string& file) {
    if (isEngineMeshFile(file))
        return fail(file, "already a beatshow mesh file (it goes in model/ as it is)");
    ModelSettings settings;
    settings.convert.scale = request_.scale;
    settings.convert.zUp = request_.zUp;
    settings.merge = request_.merge;
    settings.strict = request_.strict;
    ImportedModel model;
    std::string error;
    if (readModelGuarded(file, baseName(file), settings, request_.limits, model, error) != 0)
        return fail(file, error);
    for (ModelMaterial& m : model.materials)
        m.name = materialNames_.claim(m.name);
    for (ModelPart& p : model.parts)
        p.name = meshNames_.claim(p.name);

    StagedFiles files(request_.into);
    std::map<std::string, std::string> details;
    std::vector<std::string> notes = model.notes;
    for (const ModelPart& part : model.parts) {
        const std::string relative = "model/" + part.name + ".obj";
        if (overwritesInput(files, relative, file))
            return fail(file, "its output " + relative + " is the file itself");
        const uint32_t header[2] = {static_cast<uint32_t>(part.records.size()), MeshFileMagic};
        if (!files.put(relative,
                       {StagedFiles::Piece{header, sizeof header},
                        StagedFiles::Piece{part.records.data(), part.records.size() * sizeof(MeshRecord)}},
                       error))
            return fail(file, error);
        const size_t triangles = part.records.size() / 3;
        details[relative] = std::to_string(triangles) + (triangles == 1 ? " triangle" : " triangles") +
                            ", material " + model.materials[part.material].name;
    }
    for (const ModelMaterial& material : model.materials) {
        ImportedPictures pictures;
        if (materialPictures(material, pictures, notes, error) != 0) return fail(file, error);
        const std::string base = "tex/" + material.name;
        if (!stageBitmap(files, base + ".bmp", diffuseBitmapFile(pictures.diffuse), file, error))
            return fail(file, error);
        details[base + ".bmp"] =
            sizeText(pictures.diffuse) + (material.diffuse.present ? "" : ", its colour");
        if (pictures.normal) {
            if (!stageBitmap(files, base + "_normal.bmp", normalBitmapFile(*pictures.normal), file, error))
                return fail(file, error);
            details[base + "_normal.bmp"] = sizeText(*pictures.normal);
        }
        if (pictures.emissive) {
            if (!stageBitmap(files, base + "_emissive.bmp", emissiveBitmapFile(*pictures.emissive), file,
                             error))
                return fail(file, error);
            details[base + "_emissive.bmp"] = sizeText(*pictures.emissive);
        }
    }
    if (!commit(files, file, details)) return false;
    std::set<std::string> said;
    for (const std::string& note : notes)
        if (said.insert(note).second) say(file, note);
    writtenThisRun_.insert(files.files().begin(), files.files().end());
    const std::string modelName = modelNames_.claim(baseName(file));
    replaceEarlierImport(file, modelName, files.files());

    snippet.sources.push_back(fs::path(file).filename().string());
    for (const ModelMaterial& material : model.materials)
        snippet.materials.push_back(material.name);
    placeModel(file, modelName, model);
    return true;
}

// The files of the model's earlier import that this one no longer writes go (as long as they are
// as that import left them); then this import's files become the record.
void Importer::replaceEarlierImport(const std::string& file, const std::string& modelName,
                                    const std::vector<std::string>& written) {
    const fs::path show = request_.into;
    const StaleFiles stale = removeStaleImportFiles(show, readImportRecord(show, modelName), writtenThisRun_);
    for (const std::string& f : stale.removed)
        say(file, "removed " + f + " (the earlier import of " + modelName + " wrote it; this one does not)");
    for (const std::string& f : stale.changed)
        say(file, "kept " + f + ": the earlier import of " + modelName +
                      " wrote it, but it has changed since (remove it yourself if it is not needed)");
    for (const std::string& f : stale.failed)
        say(file, "could not remove " + f + ", which the earlier import of " + modelName + " wrote");
    std::string error;
    if (!writeImportRecord(show, modelName, written, error))
        say(file, "could not keep the record of what this import wrote (" + error +
                      "); a later import of it will not take away the files it no longer writes");
}

namespace {

// Three significant digits: a number a person reads and types.
float roundedScale(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", static_cast<double>(value));
    return std::strtof(text, nullptr);
}

std::string numberText(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value == 0.0f ? 0.0 : static_cast<double>(value));
    return text;
}

} // namespace

// The model's size, and its objects in the snippet: several parts as one group (the parent at the
// origin, scaled to about 2 units tall; the parts placed so that the group turns about the model's
// middle), one part as one object scaled and centred the same way.
void Importer::placeModel(const std::string& file, const std::string& modelName, const ImportedModel& model) {
    Vector low, high;
    bool any = false;
    for (const ModelPart& part : model.parts)
        for (const MeshRecord& record : part.records) {
            const Vector& p = record.position;
            low = any ? Vector{std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)} : p;
            high = any ? Vector{std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)} : p;
            any = true;
        }
    const Vector size = high - low;
    const Vector middle = (low + high) * 0.5f;
    const float largest = std::max({size.x, size.y, size.z});
    // A flat model lying in the floor's plane is made 2 units across instead.
    const bool byHeight = size.y > largest * 1e-3f;
    const float measure = byHeight ? size.y : largest;
    const float scale = measure > 0.0f && std::isfinite(2.0f / measure) ? roundedScale(2.0f / measure) : 1.0f;
    const bool group = model.parts.size() > 1;
    say(file, modelName + " is " + numberText(size.x) + " x " + numberText(size.y) + " x " +
                  numberText(size.z) + " units (x, y, z; from " + numberText(low.x) + " " +
                  numberText(low.y) + " " + numberText(low.z) + " to " + numberText(high.x) + " " +
                  numberText(high.y) + " " + numberText(high.z) + "); Scale " + numberText(scale) +
                  " makes it 2 units " + (byHeight ? "tall" : "across") + ": the snippet's " +
                  (group ? "group of its " + std::to_string(model.parts.size()) + " parts"
                         : std::string("object")) +
                  " has that Scale, its middle on the origin");

    if (!group) {
        const ModelPart& part = model.parts.front();
        snippet.meshes.push_back(part.name);
        snippet.objects.push_back({objectNames_.claim(part.name), part.name,
                                   model.materials[part.material].name, middle * -scale,
                                   Vector{scale, scale, scale}, ""});
        return;
    }
    const std::string parent = objectNames_.claim(modelName);
    snippet.objects.push_back({parent, "", "", Vector{}, Vector{scale, scale, scale}, ""});
    for (const ModelPart& part : model.parts) {
        snippet.meshes.push_back(part.name);
        snippet.objects.push_back({objectNames_.claim(part.name), part.name,
                                   model.materials[part.material].name, -middle, Vector{1, 1, 1}, parent});
    }
}

bool Importer::importPicture(const std::string& file, const std::string& suffix) {
    Image image;
    std::vector<std::string> notes;
    std::string error;
    if (decodePictureFile(file, image, notes, error) != 0) return fail(file, error);

    const std::string stem = fileStem(file);
    std::string material =
        assetName(request_.name.empty() ? stem.substr(0, stem.size() - suffix.size()) : request_.name);
    if (suffix.empty()) material = materialNames_.claim(material);

    StagedFiles files(request_.into);
    const std::string relative = "tex/" + material + suffix + ".bmp";
    if (!suffix.empty()) {
        // A companion takes the size of its diffuse picture: from this run, else from the show.
        int w = 0, h = 0;
        if (const auto it = diffuseSizes_.find(material); it != diffuseSizes_.end()) {
            w = it->second.first;
            h = it->second.second;
        } else if (!bitmapFileSize(files.pathOf("tex/" + material + ".bmp").string(), w, h)) {
            w = image.width;
            h = image.height;
        }
        if (w != image.width || h != image.height) {
            notes.push_back("scaled from " + sizeText(image) + " to its diffuse picture's " +
                            std::to_string(w) + " x " + std::to_string(h));
            image = resampled(image, w, h);
        }
    }
    const std::vector<uint8_t> bytes = suffix == "_normal"     ? normalBitmapFile(engineNormalMap(image))
                                       : suffix == "_emissive" ? emissiveBitmapFile(image)
                                                               : diffuseBitmapFile(image);
    if (!stageBitmap(files, relative, bytes, file, error)) return fail(file, error);
    if (!commit(files, file, {{relative, sizeText(image)}})) return false;
    for (const std::string& note : notes)
        say(file, note);
    if (suffix.empty()) diffuseSizes_[material] = {image.width, image.height};
    snippet.sources.push_back(fs::path(file).filename().string());
    if (std::find(snippet.materials.begin(), snippet.materials.end(), material) == snippet.materials.end())
        snippet.materials.push_back(material);
    return true;
}

bool Importer::importSong(const std::string& file) {
    const std::string name = songNames_.claim(baseName(file));
    const std::string relative = "audio/" + name + ".ogg";
    StagedFiles files(request_.into);
    std::string error;
    if (overwritesInput(files, relative, file))
        return fail(file, "its output " + relative + " is the file itself");
    const fs::path part = files.reserve(relative, error);
    if (part.empty()) return fail(file, error);
    MusicReport report;
    std::vector<std::string> notes;
    if (importMusic(file, part, report, notes, error) != 0) return fail(file, error);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", report.seconds);
    const std::string detail = std::string(seconds) + ", " + (report.channels == 1 ? "mono" : "stereo") +
                               ", " + std::to_string(report.rate) + " Hz, " +
                               (report.copied ? "Ogg Vorbis already: copied as it is" : "encoded");
    if (!commit(files, file, {{relative, detail}})) return false;
    for (const std::string& note : notes)
        say(file, note);
    snippet.sources.push_back(fs::path(file).filename().string());
    if (snippet.song.empty())
        snippet.song = name + ".ogg";
    else
        say(file, "a scene plays one song: the snippet names the first, " + snippet.song);
    return true;
}

bool Importer::importText() {
    const std::string font = request_.font.empty() ? defaultFontPath() : request_.font;
    const std::string label = "text";
    Image image;
    std::string error;
    if (renderWords(request_.words, font, request_.textHeight, image, error) != 0) return fail(label, error);
    std::string wanted = request_.name;
    if (wanted.empty()) {
        wanted = "text_" + assetName(request_.words);
        if (wanted.size() > 40) wanted.resize(40);
    }
    const std::string name = assetName(wanted);
    const std::string mesh = meshNames_.claim(name), material = materialNames_.claim(name);

    StagedFiles files(request_.into);
    const std::vector<MeshRecord> rectangle = pictureRectangle(image.width, image.height, 1.0f);
    if (!files.put("tex/" + material + ".bmp", diffuseBitmapFile(image), error) ||
        !files.put("model/" + mesh + ".obj", meshFileBytes(rectangle), error))
        return fail(label, error);
    if (!commit(files, label,
                {{"tex/" + material + ".bmp", sizeText(image) + ", white on black"},
                 {"model/" + mesh + ".obj", "a rectangle 1 unit high facing the camera"}}))
        return false;
    snippet.sources.push_back("the words of --text");
    snippet.meshes.push_back(mesh);
    snippet.materials.push_back(material);
    snippet.objects.push_back({objectNames_.claim(name), mesh, material, Vector{}, Vector{1, 1, 1}, ""});
    return true;
}

bool parseNumber(const std::string& text, float& out) {
    try {
        size_t used = 0;
        out = std::stof(text, &used);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

} // namespace

std::string importUsage() {
    return "usage: beatshow-import FILE... [--into DIR] [--name NAME] [--scale S] [--merge] [--z-up]\n"
           "                       [--strict] [--max-memory MB] [--max-seconds S]\n"
           "       beatshow-import --text \"WORDS\" [--font FILE] [--height PX] [--into DIR] [--name NAME]\n"
           "\n"
           "Turns models, pictures and music made with other tools into the files of a show directory\n"
           "and prints a scene snippet that places them. A model of several parts is one group in it,\n"
           "scaled to about 2 units tall (its size is said); importing a model again removes the files\n"
           "of its earlier import that it no longer writes (model/NAME.imported records them).\n"
           "  models (glTF, OBJ, FBX, COLLADA, PLY, STL, ...)  model/NAME.obj and their materials' "
           "tex/*.bmp\n"
           "  pictures (PNG, JPEG, TGA, BMP, ...)              tex/NAME.bmp; a file named *_normal or\n"
           "                                                   *_emissive becomes that companion picture\n"
           "  music (WAV, FLAC, Ogg, AIFF, MP3, ...)           audio/NAME.ogg (Ogg Vorbis)\n"
           "  --text \"WORDS\"   the words, white on black, as tex/NAME.bmp with a rectangle model/NAME.obj\n"
           "\n"
           "  --into DIR    the show directory to write into (default: the working directory)\n"
           "  --name NAME   the asset name for a single FILE or the text (default: the file's name)\n"
           "  --scale S     multiplies a model's sizes (units: centimetres to metres is 0.01)\n"
           "  --merge       one mesh per material for the whole file instead of one per mesh\n"
           "  --z-up        the model stands on z (CAD, STL) instead of y\n"
           "  --strict      refuse a model whose pictures are not all found (default: the material\n"
           "                goes without the picture, with a line naming it)\n"
           "  --max-memory MB   stop reading a model that takes more memory than this (default: 4096,\n"
           "                    or half the machine's memory when that is less)\n"
           "  --max-seconds S   stop reading a model that takes longer than this (default: 120)\n"
           "  --font FILE   a TrueType or OpenType font for --text (default: DejaVu Sans)\n"
           "  --height PX   the text's size in pixels to the em (default: 96)\n"
           "\n"
           "Standard output carries only the snippet; what was written goes to standard error.\n"
           "Exit status: 0 when everything came in, 1 when a file did not, 2 for a bad command line.\n";
}

int parseImportArguments(const std::vector<std::string>& arguments, ImportRequest& request,
                         std::string& error) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= arguments.size()) {
                error = a + " needs a value";
                return false;
            }
            out = arguments[++i];
            return true;
        };
        std::string text;
        if (a == "--help" || a == "-h") {
            request.help = true;
        } else if (a == "--into") {
            if (!value(request.into)) return -1;
        } else if (a == "--name") {
            if (!value(request.name)) return -1;
            if (assetName(request.name) != request.name) {
                error = "--name " + request.name + ": use letters, digits, _ . - only (for example " +
                        assetName(request.name) + ")";
                return -1;
            }
        } else if (a == "--scale") {
            if (!value(text)) return -1;
            if (!parseNumber(text, request.scale) || !(request.scale > 0) || !std::isfinite(request.scale)) {
                error = "--scale " + text + ": give a number above 0";
                return -1;
            }
        } else if (a == "--merge") {
            request.merge = true;
        } else if (a == "--z-up") {
            request.zUp = true;
        } else if (a == "--strict") {
            request.strict = true;
        } else if (a == "--max-memory" || a == "--max-seconds") {
            if (!value(text)) return -1;
            float limit = 0;
            if (!parseNumber(text, limit) || !(limit > 0) || !std::isfinite(limit) || limit > 1e9f) {
                error = a + " " + text + ": give a number above 0";
                return -1;
            }
            if (a == "--max-memory")
                request.limits.memoryMegabytes = static_cast<uint64_t>(std::ceil(limit));
            else
                request.limits.seconds = limit;
        } else if (a == "--text") {
            if (!value(request.words)) return -1;
            request.text = true;
        } else if (a == "--font") {
            if (!value(request.font)) return -1;
        } else if (a == "--height") {
            if (!value(text)) return -1;
            float height = 0;
            if (!parseNumber(text, height) || height != std::floor(height) || height < 4 || height > 1024) {
                error = "--height " + text + ": give whole pixels from 4 to 1024";
                return -1;
            }
            request.textHeight = static_cast<int>(height);
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return -1;
        } else {
            request.files.push_back(a);
        }
    }
    if (request.help) return 0;
    if (request.files.empty() && !request.text) {
        error = "nothing to import: give a FILE or --text";
        return -1;
    }
    if (!request.name.empty() && request.files.size() + (request.text ? 1 : 0) > 1) {
        error = "--name names one asset: give one FILE or --text with it";
        return -1;
    }
    return 0;
}

int runImport(const ImportRequest& request, std::ostream& snippetOut, std::ostream& messages) {
    std::error_code ec;
    fs::create_directories(request.into, ec);
    if (!fs::is_directory(request.into, ec)) {
        messages << "beatshow-import: cannot write into " << request.into << ": "
                 << (fs::exists(request.into, ec) ? "it is not a folder" : "the folder cannot be made")
                 << "\n";
        return 1;
    }
    Importer importer(request, messages);
    bool allIn = true;
    // Diffuse pictures before their companions, which take their size.
    std::vector<std::pair<std::string, std::string>> companions;
    for (const std::string& file : request.files) {
        if (!fs::is_regular_file(file, ec)) {
            messages << file << ": " << (fs::exists(file, ec) ? "not a file" : "no such file") << "\n";
            allIn = false;
            continue;
        }
        switch (kindOf(file)) {
        case Kind::Model:
            allIn = importer.importModel(file) && allIn;
            break;
        case Kind::Music:
            allIn = importer.importSong(file) && allIn;
            break;
        case Kind::Picture:
            if (const std::string suffix = companionSuffix(fileStem(file)); !suffix.empty())
                companions.emplace_back(file, suffix);
            else
                allIn = importer.importPicture(file, "") && allIn;
            break;
        }
    }
    for (const auto& [file, suffix] : companions)
        allIn = importer.importPicture(file, suffix) && allIn;
    if (request.text) allIn = importer.importText() && allIn;

    if (!importer.snippet.sources.empty()) snippetOut << snippetText(importer.snippet);
    return allIn ? 0 : 1;
}
