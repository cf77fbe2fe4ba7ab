#include "engine/loop/HotReload.h"

#include "engine/EngineRegistry.h"
#include "engine/base/FileWatcher.h"
#include "engine/base/Log.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/Startup.h"
#include "render/Bitmap.h"
#include "render/MaterialBuilder.h"
#include "render/MeshFile.h"

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <sstream>

namespace hotreload {

namespace {

FileWatcher* watcher = nullptr;
std::map<std::string, std::string> shaderErrors; // file -> the compiler's text
std::vector<std::string> sceneProblems;
std::map<std::string, std::vector<std::string>> assetProblems; // file -> why it was not taken
std::map<std::string, unsigned> materialSwaps;                 // material -> bitmaps swapped in
Timing timing;

enum class Role { Diffuse, Normal, Emissive };

// What the frame's thread knew of a material when one of its bitmaps was saved: the reading
// thread builds the new material from it.
struct MaterialSnapshot {
    std::string name;
    Role role = Role::Diffuse;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> diffuse, normal, emissive; // as the material holds them
};

// A mesh or bitmap file read again off the frame's thread. Only that file is read (a diffuse
// image of another size brings its companions); a new material is built there too and handed to
// the renderer, which makes its textures in a frame to come while it still draws the old one.
struct AssetRead {
    std::vector<std::string> problems; // empty: read and decoded
    std::unique_ptr<Mesh> mesh;
    std::unique_ptr<Material> material; // registered with `renderer`
    RenderInterface* renderer = nullptr;
    double milliseconds = 0.0;
};

struct AssetJob {
    std::string file; // as the watcher names it
    AssetKind kind = AssetKindNone;
    std::string name;     // the asset's name: the file's, without directory and extension
    unsigned swapped = 0; // for a bitmap: how often its material was swapped before the read
    std::future<AssetRead> read;
};
std::deque<AssetJob> assetJobs; // in the order the changes came

constexpr uint32_t ProblemColour = 0xFFFF5050;

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool startsWith(const std::string& s, const std::string& head) {
    return s.rfind(head, 0) == 0;
}

// The scene's own directories, as the asset store names them ("tex\\" -> "tex/").
std::string directoryOf(int kind) {
    std::string directory = engine().assets.directoryFor(kind);
    for (char& c : directory)
        if (c == '\\') c = '/';
    return directory;
}

void reloadShader(const std::string& file) {
    RenderInterface* renderer = engine().renderer;
    if (!renderer) return;
    const double started = nowMs();
    std::string error;
    const int result = renderer->reloadShader(file, error);
    if (result == 1) return; // no pass is built from it
    if (result == 0) {
        shaderErrors.erase(file);
        timing.shaderMs = nowMs() - started;
        ++timing.reloads;
        logStream << "shader " << file << " built again (" << timing.shaderMs << " ms)" << std::endl;
        return;
    }
    shaderErrors[file] = error;
    logStream << "shader " << file << " does not compile; the last good one stays: " << error << std::endl;
}

bool reloadScene(bool readAssets) {
    EngineRegistry& r = engine();
    const double started = nowMs();
    // Show time: a reload in the song's second pass replays into the second pass.
    const float at = static_cast<float>(r.clock.showTime());
    const SceneReloadResult result = reloadShowScene(at, readAssets);
    if (!result.loaded) return false;
    sceneProblems = result.problems;
    timing.sceneMs = nowMs() - started;
    ++timing.reloads;
    logStream << "scene loaded again at " << result.position << " s (" << timing.sceneMs << " ms"
              << (readAssets ? ", meshes and bitmaps read again" : "") << "; " << result.problems.size()
              << " problems)" << std::endl;
    return true;
}

void reloadSong(const std::string& file) {
    EngineRegistry& r = engine();
    const double at = r.clock.showTime();
    if (r.music.load(file) != 0) {
        logStream << "song " << file << " cannot be opened again: " << r.music.errorText() << std::endl;
        return;
    }
    r.clock.startAt(at);
    logStream << "song " << file << " opened again at " << at << " s" << std::endl;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A material's rows as its file holds them: the builder mirrors the diffuse and normal rows.
std::vector<uint8_t> fileRows(const std::vector<uint8_t>& rows, int32_t width, int32_t height) {
    const size_t w = static_cast<size_t>(std::max(width, 0)), h = static_cast<size_t>(std::max(height, 0));
    if (rows.size() < w * h * 3) return rows;
    std::vector<uint8_t> out(rows.size());
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x)
            std::copy_n(rows.begin() + static_cast<std::ptrdiff_t>(3 * (y * w + (w - 1 - x))), 3,
                        out.begin() + static_cast<std::ptrdiff_t>(3 * (y * w + x)));
    return out;
}

// The material with the new image in its role; null with the reason when it cannot take it.
std::unique_ptr<Material> materialWith(const MaterialSnapshot& old, const DecodedBitmap& image,
                                       std::string& why) {
    const int32_t w = static_cast<int32_t>(image.width), h = static_cast<int32_t>(image.height);
    if (w != old.width || h != old.height) {
        if (old.role != Role::Diffuse) {
            why = std::to_string(w) + " x " + std::to_string(h) + " does not match the diffuse image (" +
                  std::to_string(old.width) + " x " + std::to_string(old.height) + ")";
            return nullptr;
        }
        // A diffuse image of another size: its companions are read with it, as a load does.
        std::unique_ptr<Material> whole = buildMaterial(engine().assets, old.name, nullptr);
        if (!whole) why = "it cannot be used";
        return whole;
    }
    const std::vector<uint8_t> diffuse =
        old.role == Role::Diffuse ? image.pixels : fileRows(old.diffuse, w, h);
    const std::vector<uint8_t> normal = old.role == Role::Normal ? image.pixels : fileRows(old.normal, w, h);
    const std::vector<uint8_t>& emissive = old.role == Role::Emissive ? image.pixels : old.emissive;
    return makeMaterial(3, &diffuse, &normal, &emissive, w, h, old.name);
}

// Off the frame's thread: the one file, decoded, and for a bitmap the new material. What the
// decoders would note as problems is kept for the screen instead (they say why the old one stays).
AssetRead readAsset(const std::string& path, AssetKind kind, const std::string& name,
                    const MaterialSnapshot& old, RenderInterface* renderer) {
    const double started = nowMs();
    AssetRead out;
    ProblemsMuted muted;
    std::vector<uint8_t> bytes;
    DecodedBitmap image;
    bool ok = false;
    std::string why;
    if (!readWholeFile(path, bytes)) {
        why = path + " cannot be read";
    } else if (kind == AssetKindMesh) {
        // A mesh that loads with a flaw (a partial last triangle) loads, as it does in a scene.
        ok = createMeshFromBytes(bytes.data(), bytes.size(), name, out.mesh) == 0;
        why = path + " is not a mesh file";
    } else if (decodeBitmapBytes(bytes.data(), bytes.size(), name, image) != 0) {
        why = path + " is not a bitmap";
    } else if (image.channels != 3) {
        why = path + ": " + std::to_string(image.channels) + " bytes per pixel; a 24-bit image needs 3";
    } else {
        std::string reason;
        out.material = materialWith(old, image, reason);
        ok = out.material != nullptr;
        why = path + ": " + reason;
    }
    if (!ok) {
        // The decoders' own words say best why; the general reason stands for silent ones.
        out.problems = muted.swallowed();
        if (out.problems.empty()) out.problems.push_back(why);
    } else if (out.material && renderer) {
        // The textures' preparation happens here; the renderer passes the new material over
        // until it has made them, so the old one stays on screen meanwhile.
        renderer->addMaterial(out.material.get());
        out.renderer = renderer;
    }
    out.milliseconds = nowMs() - started;
    return out;
}

// A material read again that will not be used.
void discard(AssetRead& read) {
    if (read.material && read.renderer) read.renderer->removeMaterial(read.material.get());
    read.material.reset();
}

// The asset's name when the file is one of the kind's directory with the kind's extension.
bool assetName(const std::string& file, const std::string& directory, const std::string& extension,
               std::string& name) {
    if (directory.empty() || !startsWith(file, directory) || !endsWith(file, "." + extension)) return false;
    name = file.substr(directory.size(), file.size() - directory.size() - extension.size() - 1);
    return !name.empty();
}

// The scene's mesh read from that file, or null (an actor's mesh is no file's).
Mesh* fileMesh(const std::string& name) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (const Mesh* mesh : r.fileMeshes)
        if (mesh->name == name) return const_cast<Mesh*>(mesh);
    return nullptr;
}

// The material a bitmap belongs to: its own name, or the name before "_normal" / "_emissive".
Material* materialOfBitmap(const std::string& name, Role& role) {
    if (Material* material = findMaterial(name)) {
        role = Role::Diffuse;
        return material;
    }
    for (const auto& [suffix, which] : {std::pair<std::string, Role>{"_normal", Role::Normal},
                                        std::pair<std::string, Role>{"_emissive", Role::Emissive}})
        if (endsWith(name, suffix))
            if (Material* material = findMaterial(name.substr(0, name.size() - suffix.size()))) {
                role = which;
                return material;
            }
    return nullptr;
}

// On the frame's thread, between frames: the mesh keeps its identity (objects, actors and the
// renderer point at it) and takes the new vertices; every object drawing it uploads them in
// the next frame before it draws, so no frame shows it half-made or missing.
void swapMesh(Mesh& mesh, Mesh& fresh) {
    EngineRegistry& r = engine();
    bool drawn = false;
    {
        std::lock_guard lock(r.mutex);
        mesh.vertexCount = fresh.vertexCount;
        mesh.positions.swap(fresh.positions);
        mesh.normals.swap(fresh.normals);
        mesh.texCoords.swap(fresh.texCoords);
        mesh.tangents.swap(fresh.tangents);
        mesh.binormals.swap(fresh.binormals);
        // Every object, not only one: an object drawn before the upload in the same frame would
        // read the new buffer with the old vertex count.
        for (auto& [object, instance] : r.objects)
            if (instance->mesh == &mesh) {
                object->geometryChanged = 1;
                drawn = true;
            }
    }
    // Nothing draws it now; the renderer makes it again, for whatever draws it later.
    if (!drawn && r.renderer) {
        r.renderer->releaseMesh(&mesh);
        r.renderer->addMesh(&mesh);
    }
}

// On the frame's thread, between frames: the new material takes the old one's place in the
// registry and in every entity that names it; the renderer has made its textures before the old
// ones go, so no frame draws the objects without them.
void replaceMaterial(Material& old, std::unique_ptr<Material> fresh, RenderInterface* renderer) {
    EngineRegistry& r = engine();
    if (renderer) renderer->waitForResources(0); // on the frame's thread: whatever is left, now
    std::unique_ptr<Material> gone;
    {
        std::lock_guard lock(r.mutex);
        Material* raw = fresh.get();
        for (auto& material : r.materials)
            if (material.get() == &old) {
                gone = std::move(material);
                material = std::move(fresh);
                break;
            }
        if (gone)
            for (const auto& kept : r.keptEntities)
                if (auto* entity = dynamic_cast<entity_base*>(kept.get()); entity && entity->material == &old)
                    entity->material = raw;
    }
    if (!gone) {
        // Not the registry's (any more): the new one is not needed.
        if (renderer && fresh) renderer->removeMaterial(fresh.get());
        return;
    }
    if (r.renderer) r.renderer->removeMaterial(&old);
    ++materialSwaps[old.name];
}

void noteAssetProblems(const std::string& file, const std::vector<std::string>& problems) {
    assetProblems[file] = problems;
    logStream << file << " could not be read again; the last good one stays:";
    for (const std::string& problem : problems)
        logStream << " " << problem << ";";
    logStream << std::endl;
}

void startRead(const std::string& file, AssetKind kind, const std::string& name);

void applyRead(AssetJob& job) {
    AssetRead read = job.read.get();
    if (!read.problems.empty()) {
        noteAssetProblems(job.file, read.problems);
        return;
    }
    const double started = nowMs();
    if (job.kind == AssetKindMesh) {
        Mesh* mesh = fileMesh(job.name);
        if (!mesh || !read.mesh) return; // the show does not use it (any more)
        swapMesh(*mesh, *read.mesh);
    } else {
        Role role = Role::Diffuse;
        Material* material = materialOfBitmap(job.name, role);
        if (!material || materialSwaps[material->name] != job.swapped) {
            // Gone, or another of its bitmaps was swapped in meanwhile: this one was built on
            // what the material was before, so it is built again on what it is now.
            discard(read);
            if (material) startRead(job.file, job.kind, job.name);
            return;
        }
        replaceMaterial(*material, std::move(read.material), read.renderer);
    }
    assetProblems.erase(job.file);
    timing.assetMs = nowMs() - started;
    ++timing.reloads;
    logStream << job.file << " read again (" << read.milliseconds << " ms, beside the show) and swapped in ("
              << timing.assetMs << " ms)" << std::endl;
}

// Takes the reads that are done, in the order of the changes; a later one waits for those before.
void applyFinishedReads() {
    EngineRegistry& r = engine();
    if (!r.playing || r.loading) return;
    while (!assetJobs.empty() &&
           assetJobs.front().read.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        AssetJob job = std::move(assetJobs.front());
        assetJobs.pop_front();
        applyRead(job);
    }
}

void startRead(const std::string& file, AssetKind kind, const std::string& name) {
    EngineRegistry& r = engine();
    MaterialSnapshot old;
    unsigned swapped = 0;
    if (kind == AssetKindBitmap) {
        const Material* material = materialOfBitmap(name, old.role);
        if (!material) return; // no material of the show
        std::lock_guard lock(r.mutex);
        old.name = material->name;
        old.width = material->width;
        old.height = material->height;
        // Copied here, so that the reading thread never reads what this thread may swap.
        if (old.role != Role::Diffuse) old.diffuse = material->diffuse;
        if (old.role != Role::Normal) old.normal = material->normal;
        if (old.role != Role::Emissive) old.emissive = material->emissive;
        swapped = materialSwaps[material->name];
    } else if (!fileMesh(name)) {
        return; // no mesh of the show
    }
    const std::string path = r.assets.pathFor(name, kind);
    RenderInterface* renderer = r.renderer;
    assetJobs.push_back({file, kind, name, swapped,
                         std::async(std::launch::async, [path, kind, name, old = std::move(old), renderer] {
                             return readAsset(path, kind, name, old, renderer);
                         })});
}

} // namespace

void setWatcher(FileWatcher* w) {
    watcher = w;
}

bool run() {
    applyFinishedReads();
    if (!watcher) return false;
    const std::vector<std::string> changed = watcher->takeChanges();
    return !changed.empty() && reload(changed);
}

void finishReads() {
    for (AssetJob& job : assetJobs)
        job.read.wait();
    applyFinishedReads();
}

void dropReads() {
    for (AssetJob& job : assetJobs) {
        AssetRead read = job.read.get();
        discard(read);
    }
    assetJobs.clear();
}

bool reload(const std::vector<std::string>& files) {
    EngineRegistry& r = engine();
    // Nothing is swapped under a loading scene; the change waits for a later save.
    if (!r.playing || r.loading) return false;
    const std::string sceneFile = std::filesystem::path(rememberedSceneFile()).generic_string();
    const std::string meshes = directoryOf(AssetKindMesh), bitmaps = directoryOf(AssetKindBitmap);
    const std::string songs = directoryOf(AssetKindMusic);
    bool scene = false;
    std::vector<std::pair<std::string, AssetKind>> assets;
    std::string name;
    for (const std::string& file : files) {
        if (endsWith(file, ".psh") || endsWith(file, ".vsh"))
            reloadShader(file);
        else if (!sceneFile.empty() && file == sceneFile)
            scene = true;
        else if (assetName(file, meshes, "obj", name))
            assets.emplace_back(file, AssetKindMesh);
        else if (assetName(file, bitmaps, "bmp", name))
            assets.emplace_back(file, AssetKindBitmap);
        else if (file == showMusicFile || (!songs.empty() && file == songs + r.songFile))
            reloadSong(file);
    }
    // A changed scene is loaded again whole, with the changed files read again by its load.
    if (scene) return reloadScene(!assets.empty());
    // A changed mesh or bitmap alone is read beside the show and swapped in when it is ready:
    // the show goes on meanwhile, nothing is replayed and the clock is not touched.
    for (const auto& [file, kind] : assets)
        if (assetName(file, kind == AssetKindMesh ? meshes : bitmaps, kind == AssetKindMesh ? "obj" : "bmp",
                      name))
            startRead(file, kind, name);
    return false;
}

std::vector<ScreenLine> problemLines() {
    std::vector<ScreenLine> lines;
    for (const auto& [file, problems] : assetProblems) {
        lines.push_back({file + " could not be read again; the last good one is shown:", ProblemColour});
        for (size_t i = 0; i < problems.size() && i < 4; ++i)
            lines.push_back({"  " + problems[i], ProblemColour});
    }
    // Shaders the frames built for the scene (a material's, a declared filter stage's) that never
    // compiled: the renderer draws without them.
    std::map<std::string, std::pair<std::string, const char*>> errors;
    for (const auto& [file, error] : shaderErrors)
        errors[file] = {error, " does not compile; the last good one is shown:"};
    if (RenderInterface* renderer = engine().renderer)
        for (const auto& [file, error] : renderer->shaderProblems()) {
            // Never compiled: no good one to show (the text of a later try is the newer one).
            const auto known = errors.find(file);
            errors[file] = {known != errors.end() ? known->second.first : error,
                            " does not compile; the show is drawn without it:"};
        }
    for (const auto& [file, entry] : errors) {
        const auto& [error, headline] = entry;
        lines.push_back({"shader " + file + headline, ProblemColour});
        std::istringstream text(error);
        std::string line;
        for (int n = 0; n < 8 && std::getline(text, line);)
            if (!line.empty()) {
                lines.push_back({"  " + line, ProblemColour});
                ++n;
            }
    }
    if (!sceneProblems.empty()) {
        lines.push_back({"the scene loaded with problems:", ProblemColour});
        for (size_t i = 0; i < sceneProblems.size() && i < 10; ++i)
            lines.push_back({"  " + sceneProblems[i], ProblemColour});
        if (sceneProblems.size() > 10)
            lines.push_back({"  and " + std::to_string(sceneProblems.size() - 10) + " more (see the log)",
                             ProblemColour});
    }
    return lines;
}

Timing lastTiming() {
    return timing;
}

void reset() {
    dropReads();
    shaderErrors.clear();
    sceneProblems.clear();
    assetProblems.clear();
    materialSwaps.clear();
    timing = Timing{};
}

} // namespace hotreload
