#include "scene/loader/LookLoader.h"

#include "engine/EngineRegistry.h"
#include "engine/FreeTracks.h"
#include "engine/base/Log.h"
#include "render/FilterChain.h"
#include "scene/AutomationPath.h"
#include "scene/NameSuggestion.h"
#include "scene/XMLDocument.h"
#include "scene/loader/KeyInterpolation.h"
#include "scene/loader/LoaderText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The files of the show's folder with that extension, for a "did you mean".
std::vector<std::string> filesEndingWith(const std::string& extension) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(".", error))
        if (entry.path().extension() == extension) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool fileExists(const std::string& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file, error);
}

// Why a name cannot be a track's (empty: it can).
std::string trackNameProblem(const std::string& name) {
    if (!isUniformName(name))
        return "a shader cannot declare a uniform of that name (letters, digits and _ only, not a digit "
               "first)";
    const auto& builtIns = builtInShaderInputs();
    if (std::find(builtIns.begin(), builtIns.end(), name) != builtIns.end() || name == SpectrumSamplerName)
        return "the name is the engine's own (" + listText(builtIns) + " and " + SpectrumSamplerName +
               " are always there)";
    if (isRendererConstant(name)) return "the renderer sets " + name + " itself";
    return {};
}

// ---- tracks ----

int trackComponents(const XMLTag* track, const std::string& owner) {
    int components = 1;
    for (const auto& [key, value] : track->attributes) {
        if (key != "components") {
            noteProblem(owner + ": attribute '" + key + "' is not read (it takes components)" +
                        didYouMean(key, {"components"}));
            continue;
        }
        int n = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (error != std::errc() || end != value.data() + value.size() || n < 1 || n > 4) {
            noteProblem(owner + ": components=" + value +
                        " is none of 1, 2, 3 and 4 (a float, vec2, vec3 or vec4 uniform); the track has 1");
            n = 1;
        }
        components = n;
    }
    return components;
}

void loadTracks(const XMLTag* section, const std::string& fileName) {
    for (const auto& child : childrenOf(section)) {
        ProblemPlace place(fileName, child->line);
        const std::string& name = child->name;
        if (isComment(name)) {
            noteProblem("a comment inside <tracks> is read as a track named '" + name +
                        "'; put comments between the sections");
            continue;
        }
        const std::string owner = "track '" + name + "'";
        if (const std::string why = trackNameProblem(name); !why.empty()) {
            noteProblem(owner + ": " + why + "; the track is not read");
            continue;
        }
        const int components = trackComponents(child.get(), owner);
        AutomationPath* path = addFreeTrack(name, components);
        if (!path) {
            noteProblem("a second track '" + name + "'; only the first is read");
            continue;
        }
        const size_t values = 1 + static_cast<size_t>(components);
        int index = 0;
        for (const auto& key : childrenOf(child.get())) {
            ++index;
            ProblemPlace keyPlace(fileName, key->line);
            if (isComment(key->name)) continue;
            const std::string where = owner + " key " + std::to_string(index);
            float slots[5] = {0, 0, 0, 0, 0};
            tagToFloats(key.get(), slots, static_cast<int>(values));
            if (key->attributes.size() < values)
                noteProblem(where + " has " + std::to_string(key->attributes.size()) + " of its " +
                            std::to_string(values) + " values (the time and " + std::to_string(components) +
                            (components == 1 ? " value" : " values") + "); the missing ones are 0");
            if (!std::isfinite(slots[0])) {
                if (!key->attributes.empty())
                    noteProblem(where + ": time " + key->attributes.front().second + " reads as " +
                                floatText(slots[0]) + "; the key is dropped");
                continue;
            }
            for (size_t k = 1; k < values && k < key->attributes.size(); ++k)
                if (!std::isfinite(slots[k]))
                    noteProblem(where + ": " + key->attributes[k].first + "=" + key->attributes[k].second +
                                " reads as " + floatText(slots[k]) + "; the show uses it as it reads");
            PathPoint point;
            point.time = slots[0];
            for (size_t c = 0; c < static_cast<size_t>(components); ++c)
                point.values[c] = slots[c + 1];
            point.count = components;
            point.spare = static_cast<int32_t>(readKeyInterpolation(
                key.get(), values, std::to_string(values) + " values (the time, then the track's)", where));
            path->addPoint(point);
        }
    }
}

// ---- the materials' own shaders ----

// The file named for one stage of a material, checked; empty when it is left to the program.
std::string materialShaderFile(const std::string& owner, const std::string& file, const char* stage,
                               const std::string& extension) {
    if (!endsWith(file, extension))
        noteProblem(owner + ": " + stage + " shader " + file + " does not end with " + extension +
                    "; the show builds it, but a change to it is not seen while it plays");
    if (!fileExists(file)) {
        noteProblem(owner + ": its " + stage + " shader " + file +
                    " does not exist; the material draws with the program's own" +
                    didYouMean(file, filesEndingWith(extension)));
    }
    return file;
}

void loadMaterialShaders(const XMLTag* section, const std::string& fileName) {
    std::vector<MaterialShaders> table;
    for (const auto& child : childrenOf(section)) {
        if (isComment(child->name)) continue; // the entities' loader said so
        ProblemPlace place(fileName, child->line);
        const std::string owner = "material '" + child->name + "'";
        MaterialShaders shaders;
        shaders.material = child->name;
        for (const auto& [key, value] : child->attributes) {
            if (key == "vertexShader")
                shaders.vertexFile = materialShaderFile(owner, value, "vertex", ".vsh");
            else if (key == "pixelShader")
                shaders.pixelFile = materialShaderFile(owner, value, "pixel", ".psh");
            else
                noteProblem(owner + ": attribute '" + key +
                            "' is not read (a material takes vertexShader and pixelShader)" +
                            didYouMean(key, {"vertexShader", "pixelShader"}));
        }
        if (!shaders.vertexFile.empty() || !shaders.pixelFile.empty()) table.push_back(std::move(shaders));
    }
    setMaterialShaderTable(std::move(table));
}

// ---- the declared post chain ----

const std::vector<std::string>& targetNames() {
    static const std::vector<std::string> names = {"scene", "overlay", "emissive"};
    return names;
}

// An input as the chain takes it: a stage index, one of the renderer's targets, or nothing.
int32_t inputSource(const std::string& value, const std::map<std::string, int32_t>& stages,
                    const std::string& where, const std::vector<std::string>& stageNames) {
    if (value == "scene") return FilterInputComposite;
    if (value == "overlay") return FilterInputOverlay;
    if (value == "emissive") return FilterInputEmissive;
    if (const auto found = stages.find(value); found != stages.end()) return found->second;
    int32_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error == std::errc() && end == value.data() + value.size() && !value.empty()) {
        if (number >= static_cast<int32_t>(stages.size()) || number < FilterInputEmissive)
            noteProblem(where + ": " + value + " is no stage of the chain nor a target; it reads black");
        return number;
    }
    std::vector<std::string> known = targetNames();
    known.insert(known.end(), stageNames.begin(), stageNames.end());
    noteProblem(where + ": '" + value +
                "' is no stage of the chain nor scene, overlay or emissive; it reads black" +
                didYouMean(value, known));
    return FilterInputNothing;
}

std::vector<std::pair<std::string, std::array<float, 4>>>
stageParameters(const XMLTag* stage, const std::string& owner, const std::string& fileName) {
    std::vector<std::pair<std::string, std::array<float, 4>>> parameters;
    for (const auto& element : childrenOf(stage)) {
        if (isComment(element->name)) continue;
        ProblemPlace place(fileName, element->line);
        const std::string& name = element->name;
        if (!isUniformName(name)) {
            noteProblem(owner + ": parameter <" + name +
                        "> cannot be a shader's uniform (letters, digits and _ only); ignored");
            continue;
        }
        std::array<float, 4> value{};
        const std::string axes = "xyzw";
        for (const auto& [key, text] : element->attributes) {
            const size_t axis = key.size() == 1 ? axes.find(key[0]) : std::string::npos;
            if (axis == std::string::npos) {
                noteProblem(owner + " <" + name + ">: attribute '" + key +
                            "' is not read (it takes x, y, z and w)" + didYouMean(key, {"x", "y", "z", "w"}));
                continue;
            }
            value[axis] = attributeFloat(text);
        }
        parameters.emplace_back(name, value);
    }
    return parameters;
}

void loadPostChain(const XMLTag* section, const std::string& fileName) {
    if (!section) {
        engine().postChain.setRecipe({});
        return;
    }
    struct Declared {
        const XMLTag* tag;
        FilterStage stage;
    };
    std::vector<Declared> declared;
    std::map<std::string, int32_t> byName;
    std::vector<std::string> stageNames;
    for (const auto& child : childrenOf(section)) {
        ProblemPlace place(fileName, child->line);
        if (isComment(child->name)) {
            noteProblem("a comment inside <postchain> is read as a stage named '" + child->name +
                        "'; put comments between the sections");
            continue;
        }
        const std::string owner = "stage '" + child->name + "'";
        if (declared.size() == static_cast<size_t>(FilterChain::MaxStages)) {
            noteProblem(owner + ": a chain has at most " + std::to_string(FilterChain::MaxStages) +
                        " stages; this one and those after it are left out");
            break;
        }
        FilterStage stage;
        stage.name = child->name;
        for (const auto& [key, value] : child->attributes)
            if (key == "shader") stage.shaderFile = value;
        if (stage.shaderFile.empty()) {
            noteProblem(owner + " names no shader (shader=\"FILE.psh\"); it is left out");
            continue;
        }
        if (!fileExists(stage.shaderFile))
            noteProblem(owner + ": its shader " + stage.shaderFile + " does not exist; the stage is skipped" +
                        didYouMean(stage.shaderFile, filesEndingWith(".psh")));
        const auto& targets = targetNames();
        if (std::find(targets.begin(), targets.end(), child->name) != targets.end())
            noteProblem(owner + ": an input that names " + child->name + " reads the renderer's " +
                        child->name + ", not this stage; give the stage another name");
        else if (!byName.emplace(child->name, static_cast<int32_t>(declared.size())).second)
            noteProblem("a second stage '" + child->name + "'; inputs that name it read the first");
        stageNames.push_back(child->name);
        declared.push_back({child.get(), std::move(stage)});
    }
    if (declared.empty()) {
        ProblemPlace place(fileName, section->line);
        noteProblem("<postchain> declares no stage; the program's own chain plays");
        engine().postChain.setRecipe({});
        return;
    }
    // Inputs may name any stage, a later one too (it reads what that stage drew the frame before).
    std::vector<FilterStage> stages;
    for (Declared& d : declared) {
        ProblemPlace place(fileName, d.tag->line);
        const std::string owner = "stage '" + d.stage.name + "'";
        FilterStage& stage = d.stage;
        stage.inputs.fill(FilterInputNothing);
        for (const auto& [key, value] : d.tag->attributes) {
            if (key == "shader") continue;
            int slot = -1;
            if (key.rfind("input", 0) == 0 && key.size() > 5) {
                const auto [end, error] = std::from_chars(key.data() + 5, key.data() + key.size(), slot);
                if (error != std::errc() || end != key.data() + key.size() || slot < 0 || slot > 15)
                    slot = -1;
            }
            if (slot < 0) {
                std::vector<std::string> known = {"shader"};
                for (int i = 0; i < 16; ++i)
                    known.push_back("input" + std::to_string(i));
                noteProblem(owner + ": attribute '" + key +
                            "' is not read (a stage takes shader and input0 to " + "input15)" +
                            didYouMean(key, known));
                continue;
            }
            stage.inputs[static_cast<size_t>(slot)] =
                inputSource(value, byName, owner + " " + key, stageNames);
            stage.inputCount = std::max(stage.inputCount, slot + 1);
        }
        stage.parameters = stageParameters(d.tag, owner, fileName);
        stages.push_back(std::move(stage));
    }
    engine().postChain.setRecipe(std::move(stages));
}

} // namespace

void loadSceneLook(const XMLDocument& document, const std::string& fileName) {
    if (const XMLTag* tracks = document.findTag("base::scene::tracks")) loadTracks(tracks, fileName);
    loadMaterialShaders(document.findTag("base::scene::materials"), fileName);
    loadPostChain(document.findTag("base::scene::postchain"), fileName);
}
