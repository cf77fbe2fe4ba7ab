#include "editor/EditorUi.h"

#include "actors/EngineCamera.h"
#include "editor/model/LiveScene.h"
#include "editor/model/Picking.h"
#include "engine/EngineRegistry.h"
#include "engine/loop/SceneReload.h"
#include "render/Mesh.h"
#include "scene/ObjectTree.h"
#include "scene/loader/LoaderText.h"

#include <SDL_scancode.h>
#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <tuple>
#include <unordered_map>

namespace {

// How the lists, the timeline and the status name a row: ENTITY::PARAMETER, or tracks:NAME for a
// free track (an empty entity).
std::string rowLabel(const std::string& entity, const std::string& parameter) {
    return (entity.empty() ? "tracks:" : entity + "::") + parameter;
}

constexpr float LabelWidth = 190.0f;
constexpr float RulerHeight = 34.0f;
constexpr float EventTrackHeight = 24.0f;
constexpr float TrackHeight = 34.0f;
constexpr float PickRadius = 6.0f;

const ImU32 AxisColours[3] = {IM_COL32(235, 70, 70, 255), IM_COL32(90, 220, 90, 255),
                              IM_COL32(80, 140, 255, 255)};

std::string kindName(Selection::Kind kind) {
    switch (kind) {
    case Selection::Kind::Mesh:
        return "mesh";
    case Selection::Kind::Material:
        return "material";
    case Selection::Kind::Object:
        return "object";
    case Selection::Kind::Light:
        return "light";
    case Selection::Kind::Actor:
        return "actor";
    case Selection::Kind::Binding:
        return "automation";
    case Selection::Kind::Event:
        return "event";
    case Selection::Kind::None:
        break;
    }
    return "";
}

void copyText(char* out, size_t size, const std::string& text) {
    std::snprintf(out, size, "%s", text.c_str());
}

// The camera whose view the picture shows.
ViewSetup currentView(float width, float height) {
    ViewSetup view;
    view.width = width;
    view.height = height;
    if (EngineCamera* camera = engine().activeCamera.load()) {
        view.cameraPosition = camera->Position;
        view.cameraRotation = camera->Rotation;
    }
    return view;
}

// Where the panels first stand in a picture of this size: the timeline along the bottom, the
// outliner over the inspector on the left. The inspector keeps room for all of an object's rows
// (its mesh and material, Position, Rotation, Scale, the K and Delete buttons), so at 1280 x 720
// the outliner gives way rather than the inspector.
struct Layout {
    float menu, outlinerHeight, inspectorTop, inspectorHeight, timelineTop, timelineHeight;
};

Layout layoutFor(float height) {
    Layout l;
    l.menu = ImGui::GetFrameHeight();
    l.timelineHeight = std::clamp(height * 0.3f, 180.0f, 270.0f);
    l.timelineTop = height - l.timelineHeight;
    const float space = std::max(200.0f, l.timelineTop - l.menu);
    l.inspectorHeight = std::clamp(space * 0.5f, std::min(space - 60.0f, 230.0f), 320.0f);
    l.outlinerHeight = space - l.inspectorHeight;
    l.inspectorTop = l.menu + l.outlinerHeight;
    return l;
}

// The object an object's element names as its parent: the first attribute of its last <Parent>,
// as the loader reads it ("" for none).
std::string parentOf(const XMLTag* object) {
    std::string parent;
    for (const auto& element : childrenOf(object))
        if (element->name == "Parent")
            parent = element->attributes.empty() ? std::string() : element->attributes.front().second;
    return parent;
}

float distanceToSegment(ImVec2 p, ImVec2 a, ImVec2 b) {
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float length = dx * dx + dy * dy;
    float u = length > 0.0f ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length : 0.0f;
    u = std::clamp(u, 0.0f, 1.0f);
    const float x = a.x + u * dx - p.x, y = a.y + u * dy - p.y;
    return std::sqrt(x * x + y * y);
}

} // namespace

std::vector<GridLine> timelineGrid(const Tempo& tempo, double start, double seconds, double pixelsPerSecond) {
    std::vector<GridLine> lines;
    const double beat = tempo.beatSeconds();
    const long long perBar = std::max(1, tempo.beatsPerBar);
    const double pixelsPerBeat = pixelsPerSecond * beat;
    const double pixelsPerBar = pixelsPerBeat * static_cast<double>(perBar);
    const long long every = pixelsPerBar < 30.0 ? (pixelsPerBar < 8.0 ? 16 : 4) : 1;
    const bool beats = pixelsPerBeat >= 6.0;
    // Beats are counted from bar 1's first beat: index 0 is that beat, negative ones lie before.
    const double from = std::max(0.0, start);
    const double first = std::floor((from - tempo.firstBeat) / beat);
    const double last = std::ceil((start + seconds - tempo.firstBeat) / beat);
    if (!std::isfinite(first) || !std::isfinite(last) || last - first > 1.0e6) return lines;
    for (auto index = static_cast<long long>(first); index <= static_cast<long long>(last); ++index) {
        // The bar a beat lies in, rounded down for beats before bar 1 too (0 is bar 1).
        const long long barIndex = index >= 0 ? index / perBar : -((-index + perBar - 1) / perBar);
        const bool barLine = index == barIndex * perBar;
        if (!barLine && !beats) continue;
        if (barLine && ((barIndex % every) + every) % every != 0) continue;
        const double time = tempo.firstBeat + static_cast<double>(index) * beat;
        if (time < 0.0 || time > start + seconds) continue;
        lines.push_back({time, barLine, barIndex + 1});
    }
    return lines;
}

EditorUi::EditorUi(SceneDocument& document) : document_(document), history_(document) {}

// ---- the objects' tree ----

void EditorUi::buildObjectTree() {
    std::vector<ObjectParentName> names;
    std::vector<int> entryOf;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].kind == Selection::Kind::Object) {
            names.push_back({entries_[i].name, entries_[i].parent});
            entryOf.push_back(static_cast<int>(i));
        }
    std::vector<ObjectTreeProblem> problems; // the loader reports them
    const std::vector<size_t> parents = resolveObjectParents(names, problems);
    objectChildren_.assign(entries_.size(), {});
    objectParent_.assign(entries_.size(), -1);
    objectRoots_.clear();
    objectTree_ = false;
    for (size_t k = 0; k < parents.size(); ++k) {
        if (parents[k] == NoParent) {
            objectRoots_.push_back(entryOf[k]);
        } else {
            objectChildren_[static_cast<size_t>(entryOf[parents[k]])].push_back(entryOf[k]);
            objectParent_[static_cast<size_t>(entryOf[k])] = entryOf[parents[k]];
            objectTree_ = true;
        }
    }
}

std::vector<EditorUi::OutlineRow> EditorUi::objectOutline() {
    refresh();
    std::vector<OutlineRow> rows;
    std::vector<std::pair<int, int>> pending; // (entry, depth), the next on top
    for (auto it = objectRoots_.rbegin(); it != objectRoots_.rend(); ++it)
        pending.emplace_back(*it, 0);
    while (!pending.empty()) {
        const auto [index, depth] = pending.back();
        pending.pop_back();
        rows.push_back({depth, entries_[static_cast<size_t>(index)].name});
        const std::vector<int>& children = objectChildren_[static_cast<size_t>(index)];
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.emplace_back(*it, depth + 1);
    }
    return rows;
}

// Whether the selected object is one of those placed under the entry, however deep.
bool EditorUi::holdsSelection(int index) const {
    if (selection_.kind != Selection::Kind::Object) return false;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].kind != Selection::Kind::Object || entries_[i].name != selection_.name) continue;
        for (int at = objectParent_[i]; at >= 0; at = objectParent_[static_cast<size_t>(at)])
            if (at == index) return true;
        return false;
    }
    return false;
}

// One object of the tree with the objects placed under it (the tree is at most 33 deep).
void EditorUi::drawObjectRow(int index) {
    const Entry& e = entries_[static_cast<size_t>(index)];
    const std::vector<int>& children = objectChildren_[static_cast<size_t>(index)];
    ImGuiTreeNodeFlags flags = ImGuiTreeNodeFlags_SpanAvailWidth | ImGuiTreeNodeFlags_OpenOnArrow |
                               ImGuiTreeNodeFlags_OpenOnDoubleClick | ImGuiTreeNodeFlags_DefaultOpen;
    if (children.empty()) flags |= ImGuiTreeNodeFlags_Leaf | ImGuiTreeNodeFlags_NoTreePushOnOpen;
    const bool selected = selection_.kind == e.kind && selection_.name == e.name;
    if (selected) flags |= ImGuiTreeNodeFlags_Selected;
    // A part picked in the picture is shown: its groups opened, the list scrolled to it.
    if (revealSelection_ && !children.empty() && holdsSelection(index)) ImGui::SetNextItemOpen(true);
    ImGui::PushID(index);
    const bool open = ImGui::TreeNodeEx("##object", flags, "%s", e.name.c_str());
    if (revealSelection_ && selected) {
        ImGui::SetScrollHereY(0.5f);
        revealSelection_ = false;
    }
    if (ImGui::IsItemClicked() && !ImGui::IsItemToggledOpen()) {
        selection_.select(e.kind, e.name);
        keyedParameter_ = "Position";
    }
    if (open && !children.empty()) {
        for (int child : children)
            drawObjectRow(child);
        ImGui::TreePop();
    }
    ImGui::PopID();
}

// ---- the model's view of the document ----

void EditorUi::refresh() {
    if (seenRevision_ == document_.revision()) return;
    seenRevision_ = document_.revision();
    // A path whose keys the change left alone keeps its view, curves and all.
    std::vector<BindingView> previous = std::move(bindings_);
    std::unordered_map<std::string, size_t> previousByName;
    for (size_t i = 0; i < previous.size(); ++i)
        previousByName.emplace(previous[i].name, i);
    bindings_.clear();
    // The automations, then the free tracks the shaders read, each a row of the timeline.
    std::vector<BindingView> rows;
    for (const auto& b : childrenOf(document_.section("automations"))) {
        const size_t split = b->name.find("::");
        if (split == std::string::npos) continue;
        BindingView view;
        view.name = b->name;
        view.entity = b->name.substr(0, split);
        view.parameter = b->name.substr(split + 2);
        view.label = rowLabel(view.entity, view.parameter);
        rows.push_back(std::move(view));
    }
    for (const auto& t : childrenOf(document_.section("tracks"))) {
        int components = 1;
        if (isComment(t->name) || !document_.freeTrack(t->name, &components)) continue;
        BindingView view;
        view.name = "::" + t->name;
        view.label = rowLabel("", t->name);
        view.parameter = t->name;
        view.components = std::clamp(components, 1, 3);
        rows.push_back(std::move(view));
    }
    for (BindingView& view : rows) {
        view.keys = document_.keys(view.entity, view.parameter);
        if (const auto known = previousByName.find(view.name); known != previousByName.end()) {
            BindingView& old = previous[known->second];
            if (std::equal(old.keys.begin(), old.keys.end(), view.keys.begin(), view.keys.end(),
                           [](const DocumentKey& a, const DocumentKey& c) {
                               return a.time == c.time && a.value == c.value &&
                                      a.interpolation == c.interpolation;
                           })) {
                bindings_.push_back(std::move(old));
                previousByName.erase(known);
                continue;
            }
        }
        view.byTime.resize(view.keys.size());
        for (size_t i = 0; i < view.byTime.size(); ++i)
            view.byTime[i] = i;
        const auto earlier = [&](size_t a, size_t c) { return view.keys[a].time < view.keys[c].time; };
        if (!std::is_sorted(view.byTime.begin(), view.byTime.end(), earlier))
            std::stable_sort(view.byTime.begin(), view.byTime.end(), earlier);
        bindings_.push_back(std::move(view));
    }
    events_ = document_.events();
    tempo_ = tempoFromElement(tempoElement(document_.xml()));
    entries_.clear();
    cameras_.clear();
    const std::pair<const char*, Selection::Kind> sections[] = {{"meshes", Selection::Kind::Mesh},
                                                                {"materials", Selection::Kind::Material},
                                                                {"objects", Selection::Kind::Object},
                                                                {"lights", Selection::Kind::Light},
                                                                {"actors", Selection::Kind::Actor}};
    for (const auto& [section, kind] : sections)
        for (const auto& c : childrenOf(document_.section(section))) {
            if (isComment(c->name)) continue;
            entries_.push_back({kind, c->name, kind == Selection::Kind::Object ? parentOf(c.get()) : ""});
            if (kind == Selection::Kind::Actor && !c->attributes.empty() &&
                c->attributes.front().second == "Camera")
                cameras_.push_back(c->name);
        }
    buildObjectTree();
    // A new object is made of what the show has: the list's first mesh and material unless the
    // fields name one of the list.
    auto listed = [&](Selection::Kind kind, const char* name) {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.kind == kind && e.name == name; });
    };
    for (const auto& [kind, field, size] :
         {std::tuple{Selection::Kind::Mesh, newMesh_, sizeof newMesh_},
          std::tuple{Selection::Kind::Material, newMaterial_, sizeof newMaterial_}})
        if (!listed(kind, field))
            for (const Entry& e : entries_)
                if (e.kind == kind) {
                    copyText(field, size, e.name);
                    break;
                }
    // Keys picked before the change may name keys that are gone.
    for (auto it = selection_.keys.begin(); it != selection_.keys.end();) {
        const auto b = std::find_if(bindings_.begin(), bindings_.end(),
                                    [&](const BindingView& v) { return v.name == it->binding; });
        it =
            (b == bindings_.end() || it->index >= b->keys.size()) ? selection_.keys.erase(it) : std::next(it);
    }
}

// ---- edits ----

bool EditorUi::edit(const std::string& label, const std::vector<Touch>& touches,
                    const std::function<bool(SceneDocument&)>& change, const std::string& mergeKey) {
    if (!history_.run(label, touches, change, mergeKey)) return false;
    afterEdit(touches);
    return true;
}

void EditorUi::afterEdit(const std::vector<Touch>& touches) {
    rememberShowSceneBytes(document_.text());
    if (!applyTouches(document_, touches)) requests_.reload = true;
}

void EditorUi::undo() {
    if (!history_.canUndo()) return;
    setStatus("undone: " + history_.undoLabel());
    afterEdit(history_.undo());
}

void EditorUi::redo() {
    if (!history_.canRedo()) return;
    afterEdit(history_.redo());
    setStatus("redone: " + history_.undoLabel());
}

bool EditorUi::replaceDocument(const std::string& label, const std::string& text) {
    return history_.run(label, {Touch{}}, [&](SceneDocument& d) {
        d.splice(0, d.text().size(), text);
        return true;
    });
}

bool EditorUi::keyCurrentValue(const std::string& entityName, const std::string& parameter, double time) {
    Vector value;
    const float t = static_cast<float>(time);
    entity_base* entity = entityName.empty() ? nullptr : findSceneEntity(entityName);
    EntityParameter* p = entity ? entity->getParameter(parameter) : nullptr;
    if (entityName.empty()) {
        // A free track's value now is its keys' curve at the playhead (0 before it has keys).
        const auto view = std::find_if(bindings_.begin(), bindings_.end(), [&](const BindingView& b) {
            return b.entity.empty() && b.parameter == parameter;
        });
        if (view == bindings_.end()) return false;
        std::vector<float> at[3];
        sampleCurve(view->keys, view->byTime, {t}, at);
        if (!at[0].empty()) value = {at[0][0], at[1][0], at[2][0]};
    } else if (p && p->value)
        value = *p->value;
    else if (!document_.vector(entityName, parameter, value))
        return false;
    const std::string label = rowLabel(entityName, parameter);
    const bool done = edit("Key " + label, {{Touch::Path, entityName, parameter}}, [&](SceneDocument& d) {
        // A key at the same time takes the value instead of a twin.
        const std::vector<DocumentKey> keys = d.keys(entityName, parameter);
        for (size_t i = 0; i < keys.size(); ++i)
            if (std::fabs(keys[i].time - t) < 1.0e-3f)
                return d.setKey(entityName, parameter, i, {keys[i].time, value, keys[i].interpolation});
        return d.addKey(entityName, parameter, {t, value});
    });
    if (done) setStatus("key " + label + " at " + SceneDocument::formatNumber(t) + " s");
    return done;
}

float EditorUi::snap(float t) const {
    if (ImGui::GetIO().KeyAlt) return std::max(0.0f, t);
    return static_cast<float>(nearestBeat(tempo_, t));
}

void EditorUi::moveSelectedKeys(float delta) {
    if (selection_.keys.empty() || delta == 0.0f) return;
    struct Moved {
        std::string binding;
        std::vector<size_t> indices;
    };
    std::vector<Moved> moved;
    for (const KeyRef& k : selection_.keys) {
        if (moved.empty() || moved.back().binding != k.binding) moved.push_back({k.binding, {}});
        moved.back().indices.push_back(k.index);
    }
    std::vector<Touch> touches;
    std::vector<std::pair<std::string, float>> landed;
    for (const Moved& m : moved) {
        const size_t split = m.binding.find("::");
        touches.push_back({Touch::Path, m.binding.substr(0, split), m.binding.substr(split + 2)});
    }
    const bool done = edit("Move keys", touches, [&](SceneDocument& d) {
        for (const Moved& m : moved) {
            const size_t split = m.binding.find("::");
            const std::string entity = m.binding.substr(0, split), parameter = m.binding.substr(split + 2);
            const std::vector<DocumentKey> keys = d.keys(entity, parameter);
            std::vector<DocumentKey> taken;
            for (auto it = m.indices.rbegin(); it != m.indices.rend(); ++it) {
                if (*it >= keys.size()) continue;
                taken.push_back(keys[*it]);
                d.removeKey(entity, parameter, *it);
            }
            for (DocumentKey key : taken) {
                key.time = snap(key.time + delta);
                if (!d.addKey(entity, parameter, key)) return false;
                landed.emplace_back(m.binding, key.time);
            }
        }
        return true;
    });
    if (!done) return;
    // The moved keys stay picked at their new places.
    refresh();
    selection_.keys.clear();
    for (const auto& [binding, time] : landed)
        for (const BindingView& b : bindings_)
            if (b.name == binding)
                for (size_t i = 0; i < b.keys.size(); ++i)
                    if (b.keys[i].time == time) selection_.keys.insert({binding, i});
}

void EditorUi::deleteSelectedKeys() {
    if (selection_.keys.empty()) return;
    std::vector<Touch> touches;
    for (const KeyRef& k : selection_.keys) {
        const size_t split = k.binding.find("::");
        const Touch t{Touch::Path, k.binding.substr(0, split), k.binding.substr(split + 2)};
        if (std::find(touches.begin(), touches.end(), t) == touches.end()) touches.push_back(t);
    }
    const std::set<KeyRef> keys = selection_.keys;
    if (edit("Delete keys", touches, [&](SceneDocument& d) {
            for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
                const size_t split = it->binding.find("::");
                if (!d.removeKey(it->binding.substr(0, split), it->binding.substr(split + 2), it->index))
                    return false;
            }
            return true;
        }))
        selection_.keys.clear();
}

void EditorUi::jumpToKey(const Frame& frame, int direction) {
    double best = direction > 0 ? std::numeric_limits<double>::max() : -1.0;
    const double now = frame.musicTime;
    for (const BindingView& b : bindings_) {
        if (selection_.kind == Selection::Kind::Binding && b.name != selection_.name) continue;
        if (selection_.isEntity() && b.entity != selection_.name) continue;
        for (const DocumentKey& k : b.keys) {
            if (direction > 0 && k.time > now + 1.0e-3 && k.time < best) best = k.time;
            if (direction < 0 && k.time < now - 1.0e-3 && k.time > best) best = k.time;
        }
    }
    if (best >= 0.0 && best < std::numeric_limits<double>::max()) {
        requests_.seek = true;
        requests_.seekTarget = best;
    }
}

// ---- the frame ----

EditorRequests EditorUi::draw(const Frame& frame) {
    requests_ = EditorRequests{};
    refresh();
    drawMenu(frame);
    drawOutliner(frame);
    drawInspector(frame);
    drawAddPanel(frame);
    followRecording(frame);
    drawTimeline(frame);
    if (asking()) {
        drawQuestion(frame);
    } else {
        drawViewport(frame);
        handleShortcuts(frame);
    }
    refresh();
    return requests_;
}

void EditorUi::ask(EditorQuestion question) {
    question_ = std::move(question);
    if (question_.id.empty()) question_.id = question_.title;
    questionShown_ = false;
    copyText(questionName_, sizeof questionName_, question_.name);
}

void EditorUi::answer(int choice) {
    requests_.answered = question_.id;
    requests_.choice = choice;
    requests_.name = questionName_;
    question_ = EditorQuestion{};
    ImGui::CloseCurrentPopup();
}

void EditorUi::drawQuestion(const Frame& frame) {
    const std::string popup = question_.title + "###question";
    if (!ImGui::IsPopupOpen(popup.c_str())) ImGui::OpenPopup(popup.c_str());
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.4f), ImGuiCond_Always,
                            ImVec2(0.5f, 0.5f));
    if (!ImGui::BeginPopupModal(popup.c_str(), nullptr,
                                ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings))
        return;
    ImGui::PushTextWrapPos(ImGui::GetFontSize() * 40.0f);
    ImGui::TextUnformatted(question_.text.c_str());
    ImGui::PopTextWrapPos();
    if (question_.asksForName) {
        // The field has the keyboard from the start (asked for until it has: a window's first
        // frame lays it out unseen).
        if (!questionShown_) ImGui::SetKeyboardFocusHere();
        ImGui::SetNextItemWidth(ImGui::GetFontSize() * 36.0f);
        ImGui::InputText("##name", questionName_, sizeof questionName_);
        if (ImGui::IsItemActive()) questionShown_ = true;
    }
    ImGui::Spacing();
    const int count = static_cast<int>(question_.choices.size());
    int taken = -1;
    for (int i = 0; i < count; ++i) {
        if (i > 0) ImGui::SameLine();
        if (ImGui::Button(question_.choices[static_cast<size_t>(i)].label.c_str())) taken = i;
    }
    // Keys answer too: a choice's own key (not while a name is typed), Escape and Enter.
    for (const Frame::Key& key : frame.keys) {
        if (taken >= 0) break;
        if (key.code == SDL_SCANCODE_ESCAPE)
            taken = question_.escapeChoice >= 0 ? question_.escapeChoice : count - 1;
        else if (key.code == SDL_SCANCODE_RETURN || key.code == SDL_SCANCODE_KP_ENTER)
            taken = 0;
        else if (!question_.asksForName && !key.ctrl && !key.alt)
            for (int i = 0; i < count; ++i)
                if (question_.choices[static_cast<size_t>(i)].key == key.code) taken = i;
    }
    if (taken >= 0 && taken < count) answer(taken);
    ImGui::EndPopup();
}

void EditorUi::handleShortcuts(const Frame& frame) {
    // A text field takes every key but Ctrl+S: its own Ctrl+Z and Ctrl+Y undo the typing.
    const bool typing = ImGui::GetIO().WantTextInput;
    for (const Frame::Key& key : frame.keys) {
        if (key.ctrl && key.code == SDL_SCANCODE_S) {
            (key.shift ? requests_.saveAs : requests_.save) = true;
            continue;
        }
        if (typing) continue;
        if (key.ctrl) {
            if (key.code == SDL_SCANCODE_Z) key.shift ? redo() : undo();
            if (key.code == SDL_SCANCODE_Y) redo();
            continue;
        }
        if (key.code == SDL_SCANCODE_K) {
            // On the nearest beat like every other edit; with Alt at the music time as it is.
            const double at = key.alt ? std::max(0.0, frame.musicTime) : nearestBeat(tempo_, frame.musicTime);
            if (recorder_.recording() && frame.flying && frame.editorCamera) {
                const RecordedPose pose = recorder_.now(frame.musicTime, frame.editorCamera->Position,
                                                        frame.editorCamera->Rotation, !key.alt);
                if (writeRecordedPose(history_, recorder_.camera(), pose, recorder_.session()))
                    afterEdit({{Touch::Path, recorder_.camera(), "Position"},
                               {Touch::Path, recorder_.camera(), "Rotation"}});
            } else if (selection_.isEntity()) {
                keyCurrentValue(selection_.name, keyedParameter_, at);
            } else if (selection_.kind == Selection::Kind::Binding) {
                const size_t split = selection_.name.find("::");
                keyCurrentValue(selection_.name.substr(0, split), selection_.name.substr(split + 2), at);
            }
        }
        if (key.code == SDL_SCANCODE_COMMA) jumpToKey(frame, -1);
        if (key.code == SDL_SCANCODE_PERIOD) jumpToKey(frame, +1);
        if (key.code == SDL_SCANCODE_DELETE) {
            if (!selection_.keys.empty()) {
                deleteSelectedKeys();
            } else if (selection_.kind == Selection::Kind::Event && selection_.event < events_.size()) {
                const size_t index = selection_.event;
                if (edit("Delete event", {Touch{}},
                         [index](SceneDocument& d) { return d.removeEvent(index); }))
                    selection_.clear();
            }
        }
    }
}

void EditorUi::drawMenu(const Frame& frame) {
    if (!ImGui::BeginMainMenuBar()) return;
    if (ImGui::BeginMenu("File")) {
        if (ImGui::MenuItem("Save", "Ctrl+S")) requests_.save = true;
        if (ImGui::MenuItem("Save as...", "Ctrl+Shift+S")) requests_.saveAs = true;
        if (ImGui::MenuItem("Quit", "Esc")) requests_.quit = true;
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Edit")) {
        if (ImGui::MenuItem(("Undo " + history_.undoLabel()).c_str(), "Ctrl+Z", false, history_.canUndo()))
            undo();
        if (ImGui::MenuItem("Redo", "Ctrl+Y", false, history_.canRedo())) redo();
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("View")) {
        if (ImGui::MenuItem("The show's camera", nullptr, followShow_)) {
            followShow_ = true;
            lookThrough_.clear();
        }
        if (ImGui::MenuItem("EditorCam (fly: W A S D Q E, right mouse button)", nullptr,
                            !followShow_ && lookThrough_.empty())) {
            followShow_ = false;
            lookThrough_.clear();
        }
        for (const std::string& camera : cameras_)
            if (ImGui::MenuItem(("Look through " + camera).c_str(), nullptr,
                                !followShow_ && lookThrough_ == camera)) {
                followShow_ = false;
                lookThrough_ = camera;
            }
        ImGui::EndMenu();
    }
    ImGui::Separator();
    if (ImGui::SmallButton(frame.paused ? "Play" : "Pause")) requests_.togglePause = true;
    ImGui::Text("%s  %.2f s", tempo_.barAndBeat(frame.musicTime).c_str(), frame.musicTime);
    if (recorder_.recording())
        ImGui::TextColored(ImVec4(1, 0.25f, 0.25f, 1), "REC %s", recorder_.camera().c_str());
    ImGui::TextDisabled("%s%s", history_.modified() ? "modified  " : "", status_.c_str());
    ImGui::EndMainMenuBar();
}

void EditorUi::drawOutliner(const Frame& frame) {
    const Layout layout = layoutFor(frame.height);
    ImGui::SetNextWindowPos(ImVec2(0, layout.menu), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(300, layout.outlinerHeight), ImGuiCond_FirstUseEver);
    if (!ImGui::Begin("Scene")) {
        ImGui::End();
        return;
    }
    ImGui::SetNextItemWidth(-1);
    ImGui::InputTextWithHint("##filter", "filter", filter_, sizeof filter_);
    const std::string filter = filter_;
    auto shown = [&](const std::string& name) {
        return filter.empty() || name.find(filter) != std::string::npos;
    };
    ImGui::BeginChild("outline");
    const std::pair<const char*, Selection::Kind> groups[] = {{"Meshes", Selection::Kind::Mesh},
                                                              {"Materials", Selection::Kind::Material},
                                                              {"Objects", Selection::Kind::Object},
                                                              {"Lights", Selection::Kind::Light},
                                                              {"Actors", Selection::Kind::Actor}};
    std::vector<int> rows;
    for (const auto& [title, kind] : groups) {
        rows.clear();
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].kind == kind && shown(entries_[i].name)) rows.push_back(static_cast<int>(i));
        const ImGuiTreeNodeFlags open = (kind == Selection::Kind::Object || kind == Selection::Kind::Actor)
                                            ? ImGuiTreeNodeFlags_DefaultOpen
                                            : 0;
        if (!ImGui::TreeNodeEx(title, open, "%s (%zu)", title, rows.size())) continue;
        // Groups show as a tree; a filter shows the matching objects as a flat list.
        if (kind == Selection::Kind::Object && objectTree_ && filter.empty()) {
            for (int root : objectRoots_)
                drawObjectRow(root);
            ImGui::TreePop();
            continue;
        }
        ImGuiListClipper clipper;
        clipper.Begin(static_cast<int>(rows.size()));
        while (clipper.Step())
            for (int r = clipper.DisplayStart; r < clipper.DisplayEnd; ++r) {
                const Entry& e = entries_[static_cast<size_t>(rows[static_cast<size_t>(r)])];
                ImGui::PushID(rows[static_cast<size_t>(r)]);
                if (ImGui::Selectable(e.name.c_str(),
                                      selection_.kind == e.kind && selection_.name == e.name)) {
                    selection_.select(e.kind, e.name);
                    if (e.kind == Selection::Kind::Light || e.kind == Selection::Kind::Object)
                        keyedParameter_ = "Position";
                }
                ImGui::PopID();
            }
        ImGui::TreePop();
    }
    size_t count = 0;
    for (const BindingView& b : bindings_)
        count += shown(b.label);
    if (ImGui::TreeNodeEx("Automations", 0, "Automations (%zu)", count)) {
        for (const BindingView& b : bindings_)
            if (shown(b.label) &&
                ImGui::Selectable(b.label.c_str(),
                                  selection_.kind == Selection::Kind::Binding && selection_.name == b.name))
                selection_.select(Selection::Kind::Binding, b.name);
        ImGui::TreePop();
    }
    count = 0;
    for (const DocumentEvent& e : events_)
        count += shown(e.name) || shown(e.target);
    if (ImGui::TreeNodeEx("Events", 0, "Events (%zu)", count)) {
        for (size_t i = 0; i < events_.size(); ++i) {
            const DocumentEvent& e = events_[i];
            if (!shown(e.name) && !shown(e.target)) continue;
            ImGui::PushID(static_cast<int>(i));
            char label[160];
            std::snprintf(label, sizeof label, "%8.3f  %s%s%s", e.time, e.name.c_str(),
                          e.target.empty() ? "" : " > ", e.target.c_str());
            if (ImGui::Selectable(label,
                                  selection_.kind == Selection::Kind::Event && selection_.event == i)) {
                selection_.select(Selection::Kind::Event, e.name);
                selection_.event = i;
            }
            ImGui::PopID();
        }
        ImGui::TreePop();
    }
    ImGui::EndChild();
    ImGui::End();
    revealSelection_ = false; // shown now, or not to be shown (a filter, a closed list)
}

void EditorUi::drawInspector(const Frame& frame) {
    const Layout layout = layoutFor(frame.height);
    ImGui::SetNextWindowPos(ImVec2(0, layout.inspectorTop), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(300, layout.inspectorHeight), ImGuiCond_FirstUseEver);
    if (!ImGui::Begin("Inspector")) {
        ImGui::End();
        return;
    }
    if (selection_.keys.size() == 1)
        drawKeyInspector();
    else if (selection_.keys.size() > 1)
        drawKeysInspector();
    else if (selection_.kind == Selection::Kind::Event)
        drawEventInspector();
    else if (selection_.isEntity())
        drawEntityInspector(frame);
    else if (selection_.kind == Selection::Kind::Binding) {
        if (selection_.name.rfind("::", 0) == 0)
            ImGui::Text("track %s", selection_.name.c_str() + 2);
        else
            ImGui::Text("automation %s", selection_.name.c_str());
        ImGui::TextWrapped("K adds a key at the playhead from the value the show has now; keys are picked "
                           "and moved on the timeline.");
    } else if (selection_.kind != Selection::Kind::None) {
        ImGui::Text("%s %s", kindName(selection_.kind).c_str(), selection_.name.c_str());
    } else {
        ImGui::TextWrapped(
            "Pick an entity in the list or in the picture, a key or an event on the timeline.");
    }
    ImGui::End();
}

void EditorUi::drawEntityInspector(const Frame& frame) {
    const std::string name = selection_.name;
    ImGui::Text("%s %s", kindName(selection_.kind).c_str(), name.c_str());
    if (const XMLTag* tag = document_.entity(name)) {
        if (const XMLTag* mesh = SceneDocument::child(tag, "Mesh"); mesh && !mesh->attributes.empty())
            ImGui::TextDisabled("mesh %s", mesh->attributes.front().second.c_str());
        if (const XMLTag* material = SceneDocument::child(tag, "Material");
            material && !material->attributes.empty())
            ImGui::TextDisabled("material %s", material->attributes.front().second.c_str());
        if (selection_.kind == Selection::Kind::Actor && !tag->attributes.empty())
            ImGui::TextDisabled("class %s", tag->attributes.front().second.c_str());
    }
    entity_base* entity = findSceneEntity(name);
    std::vector<std::string> parameters;
    if (entity)
        for (const auto& [parameter, value] : entity->parameters())
            parameters.push_back(parameter);
    else
        for (const auto& c : childrenOf(document_.entity(name)))
            if (c->name != "Mesh" && c->name != "Material" && c->name != "child")
                parameters.push_back(c->name);
    ImGui::Separator();
    for (const std::string& parameter : parameters) {
        Vector value;
        EntityParameter* p = entity ? entity->getParameter(parameter) : nullptr;
        if (p && p->value)
            value = *p->value;
        else
            document_.vector(name, parameter, value);
        const bool animated = std::any_of(bindings_.begin(), bindings_.end(), [&](const BindingView& b) {
            return b.entity == name && b.parameter == parameter;
        });
        ImGui::PushID(parameter.c_str());
        if (ImGui::RadioButton("##keyed", keyedParameter_ == parameter)) keyedParameter_ = parameter;
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("K keys this parameter");
        ImGui::SameLine();
        float v[3] = {value.x, value.y, value.z};
        const bool colour = parameter == "Color" || parameter == "colour";
        const bool changed =
            colour
                ? ImGui::ColorEdit3(parameter.c_str(), v, ImGuiColorEditFlags_Float | ImGuiColorEditFlags_HDR)
                : ImGui::DragFloat3(parameter.c_str(), v, parameter == "Scale" ? 0.001f : 0.01f);
        if (changed) {
            const Vector next{v[0], v[1], v[2]};
            edit(
                "Set " + name + " " + parameter, {{Touch::Value, name, parameter}},
                [&](SceneDocument& d) { return d.setVector(name, parameter, next); },
                "set:" + name + ":" + parameter);
        }
        if (ImGui::IsItemDeactivatedAfterEdit()) history_.seal();
        if (animated) {
            ImGui::SameLine();
            ImGui::TextDisabled("(keyed)");
        }
        ImGui::PopID();
    }
    ImGui::Separator();
    if (ImGui::Button(("Key " + keyedParameter_ + " at playhead (K)").c_str()))
        keyCurrentValue(name, keyedParameter_, frame.musicTime);
    if (ImGui::Button("Delete")) {
        if (edit("Delete " + name, {Touch{}}, [&](SceneDocument& d) { return d.removeEntity(name); }))
            selection_.clear();
    }
}

void EditorUi::drawKeyInspector() {
    const KeyRef key = *selection_.keys.begin();
    const auto b = std::find_if(bindings_.begin(), bindings_.end(),
                                [&](const BindingView& v) { return v.name == key.binding; });
    if (b == bindings_.end() || key.index >= b->keys.size()) return;
    const DocumentKey current = b->keys[key.index];
    ImGui::Text("key %zu of %s", key.index + 1, b->label.c_str());
    float time = 0.0f;
    float v[3] = {current.value.x, current.value.y, current.value.z};
    const std::string entity = b->entity, parameter = b->parameter;
    const std::vector<Touch> touches = {{Touch::Path, entity, parameter}};
    if (timeField(current.time, time)) {
        // Taken out and put in again, so that the keys stay in time order; it stays picked.
        const size_t index = key.index;
        const DocumentKey moved{time, current.value, current.interpolation};
        if (edit("Move key", touches, [&](SceneDocument& d) {
                return d.removeKey(entity, parameter, index) && d.addKey(entity, parameter, moved);
            })) {
            refresh();
            selection_.keys.clear();
            for (const BindingView& view : bindings_)
                if (view.name == key.binding)
                    for (size_t i = 0; i < view.keys.size(); ++i)
                        if (view.keys[i].time == moved.time && view.keys[i].value == moved.value)
                            selection_.keys = {{key.binding, i}};
        }
    }
    if (ImGui::DragScalarN("value", ImGuiDataType_Float, v, b->components, 0.01f)) {
        const size_t index = key.index;
        edit(
            "Set key", touches,
            [&](SceneDocument& d) {
                return d.setKey(entity, parameter, index,
                                {current.time, {v[0], v[1], v[2]}, current.interpolation});
            },
            "key:" + key.binding + ":" + std::to_string(index));
    }
    if (ImGui::IsItemDeactivatedAfterEdit()) history_.seal();
    Interpolation chosen = current.interpolation;
    if (interpolationChoice(chosen)) setKeyInterpolation(chosen);
    if (ImGui::Button("Delete key")) deleteSelectedKeys();
}

void EditorUi::drawKeysInspector() {
    std::set<std::string> bindings;
    for (const KeyRef& k : selection_.keys)
        bindings.insert(k.binding);
    ImGui::Text("%zu keys of %zu %s", selection_.keys.size(), bindings.size(),
                bindings.size() == 1 ? "automation" : "automations");
    Interpolation chosen = Interpolation::CatmullRom;
    if (interpolationChoice(chosen)) setKeyInterpolation(chosen);
    if (ImGui::Button("Delete keys")) deleteSelectedKeys();
}

const DocumentKey* EditorUi::keyOf(const KeyRef& key) const {
    for (const BindingView& b : bindings_)
        if (b.name == key.binding) return key.index < b.keys.size() ? &b.keys[key.index] : nullptr;
    return nullptr;
}

bool EditorUi::pickedInterpolation(Interpolation& common) const {
    bool any = false;
    for (const KeyRef& k : selection_.keys)
        if (const DocumentKey* key = keyOf(k)) {
            if (any && key->interpolation != common) return false;
            common = key->interpolation;
            any = true;
        }
    return any;
}

bool EditorUi::interpolationChoice(Interpolation& chosen) {
    Interpolation common = Interpolation::CatmullRom;
    const bool one = pickedInterpolation(common);
    bool taken = false;
    if (ImGui::BeginCombo("interpolation", one ? interpolationName(common) : "(several)")) {
        for (int32_t i = 0; i < InterpolationCount; ++i) {
            const auto option = static_cast<Interpolation>(i);
            if (ImGui::Selectable(interpolationName(option), one && option == common)) {
                chosen = option;
                taken = true;
            }
        }
        ImGui::EndCombo();
    }
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("how the value moves on from the key to the next");
    return taken;
}

bool EditorUi::setKeyInterpolation(Interpolation interpolation) {
    struct Change {
        std::string entity, parameter;
        size_t index;
        DocumentKey key;
    };
    std::vector<Change> changes;
    std::vector<Touch> touches;
    for (const KeyRef& k : selection_.keys) {
        const DocumentKey* key = keyOf(k);
        if (!key || key->interpolation == interpolation) continue;
        const size_t split = k.binding.find("::");
        Change change{k.binding.substr(0, split), k.binding.substr(split + 2), k.index, *key};
        change.key.interpolation = interpolation;
        const Touch touch{Touch::Path, change.entity, change.parameter};
        if (std::find(touches.begin(), touches.end(), touch) == touches.end()) touches.push_back(touch);
        changes.push_back(std::move(change));
    }
    if (changes.empty()) return false;
    // Only the attribute changes: each key keeps its place, so the indices stay good throughout.
    const bool done = edit(std::string("Interpolation ") + interpolationName(interpolation), touches,
                           [&](SceneDocument& d) {
                               for (const Change& c : changes)
                                   if (!d.setKey(c.entity, c.parameter, c.index, c.key)) return false;
                               return true;
                           });
    if (done)
        setStatus(std::string(interpolationName(interpolation)) + " from " + std::to_string(changes.size()) +
                  (changes.size() == 1 ? " key" : " keys") + " to the next");
    return done;
}

std::vector<std::pair<double, float>> EditorUi::drawnCurve(const std::string& binding, int component) const {
    std::vector<std::pair<double, float>> curve;
    if (component < 0 || component > 2) return curve;
    for (const BindingView& b : bindings_) {
        if (b.name != binding) continue;
        const std::vector<float>& values = b.samples[component];
        for (size_t i = 0; i < values.size() && i < b.sampleTimes.size(); ++i)
            curve.emplace_back(b.sampleTimes[i], values[i]);
    }
    return curve;
}

bool EditorUi::timeField(float current, float& time) {
    // The field shows the time being dragged (or typed) until it lets go: read from the document
    // every frame, a drag would start again from the old time each frame and never get anywhere.
    const ImGuiID id = ImGui::GetID("time");
    time = timeFieldId_ == id ? timeFieldValue_ : current;
    if (ImGui::DragFloat("time", &time, 0.01f, 0.0f, 100000.0f, "%.3f s")) timeFieldValue_ = time;
    if (ImGui::IsItemActive()) {
        if (timeFieldId_ != id) timeFieldValue_ = time;
        timeFieldId_ = id;
    }
    if (!ImGui::IsItemDeactivated()) return false;
    timeFieldId_ = 0;
    return ImGui::IsItemDeactivatedAfterEdit() && time != current;
}

void EditorUi::drawEventInspector() {
    const size_t index = selection_.event;
    if (index >= events_.size()) return;
    const DocumentEvent current = events_[index];
    if (eventEditIndex_ != index || seenRevision_ != document_.revision()) {
        eventEditIndex_ = index;
        copyText(eventEditName_, sizeof eventEditName_, current.name);
        copyText(eventEditTarget_, sizeof eventEditTarget_, current.target);
    }
    ImGui::Text("event %zu", index + 1);
    ImGui::InputText("name", eventEditName_, sizeof eventEditName_);
    ImGui::InputText("target", eventEditTarget_, sizeof eventEditTarget_);
    float time = 0.0f;
    const bool timeChanged = timeField(current.time, time);
    if (ImGui::Button("Apply") || timeChanged) {
        const DocumentEvent next{eventEditName_, time, eventEditTarget_};
        if (!edit("Change event", {Touch{}}, [&](SceneDocument& d) { return d.setEvent(index, next); }))
            setStatus("an event's name and target keep to letters, digits and _ . - :");
        eventEditIndex_ = SIZE_MAX;
    }
    ImGui::SameLine();
    if (ImGui::Button("Delete event")) {
        if (edit("Delete event", {Touch{}}, [index](SceneDocument& d) { return d.removeEvent(index); }))
            selection_.clear();
    }
}

void EditorUi::drawAddPanel(const Frame& frame) {
    ImGui::SetNextWindowPos(ImVec2(frame.width - 290, ImGui::GetFrameHeight()), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(290, 420), ImGuiCond_FirstUseEver);
    if (!ImGui::Begin("Add and record")) {
        ImGui::End();
        return;
    }
    // New things appear 5 units in front of the camera the picture is seen through.
    const ViewSetup seen = currentView(frame.width, frame.height);
    const Vector ahead = seen.eye() + seen.forward() * 5.0f;
    ImGui::InputText("name", newName_, sizeof newName_);
    // Without a name, the first free one after what is added ("torus1", "light2").
    auto nameFor = [&](const std::string& stem) {
        if (newName_[0] != '\0') return std::string(newName_);
        for (int i = 1;; ++i) {
            const std::string candidate = stem + std::to_string(i);
            if (!document_.entity(candidate)) return candidate;
        }
    };
    if (ImGui::CollapsingHeader("Object", ImGuiTreeNodeFlags_DefaultOpen)) {
        ImGui::InputText("mesh", newMesh_, sizeof newMesh_);
        ImGui::InputText("material", newMaterial_, sizeof newMaterial_);
        if (ImGui::Button("Add object in front of the camera")) {
            const std::string name = nameFor(newMesh_);
            // As large as another object of the same mesh, else at the mesh's own size.
            Vector scale{1, 1, 1};
            for (const auto& o : childrenOf(document_.section("objects"))) {
                const XMLTag* mesh = SceneDocument::child(o.get(), "Mesh");
                if (mesh && !mesh->attributes.empty() && mesh->attributes.front().second == newMesh_)
                    document_.vector(o->name, "Scale", scale);
            }
            if (edit("Add object " + name, {Touch{}}, [&](SceneDocument& d) {
                    return d.addObject(name, newMesh_, newMaterial_, ahead, scale);
                }))
                selection_.select(Selection::Kind::Object, name);
            else
                setStatus("an object needs a new name, a mesh and a material (letters, digits, _ . - :)");
        }
    }
    if (ImGui::CollapsingHeader("Light")) {
        static float colour[3] = {1.0f, 0.9f, 0.8f};
        static float cutoff = 8.0f;
        ImGui::ColorEdit3("colour", colour);
        ImGui::DragFloat("cut-off", &cutoff, 0.1f, 0.1f, 100.0f);
        if (ImGui::Button("Add light at the camera's aim")) {
            const std::string name = nameFor("light");
            if (edit("Add light " + name, {Touch{}}, [&](SceneDocument& d) {
                    return d.addLight(name, {colour[0], colour[1], colour[2]}, ahead, cutoff);
                }))
                selection_.select(Selection::Kind::Light, name);
            else
                setStatus("a light needs a new name (letters, digits, _ . - :)");
        }
    }
    if (ImGui::CollapsingHeader("Actor")) {
        ImGui::InputText("class", newClass_, sizeof newClass_);
        if (ImGui::Button("Add actor")) {
            const std::string name = nameFor(newClass_[0] == 'C' ? "camera" : "actor");
            if (edit("Add actor " + name, {Touch{}},
                     [&](SceneDocument& d) { return d.addActor(name, newClass_); }))
                selection_.select(Selection::Kind::Actor, name);
            else
                setStatus("an actor needs a new name and a class (beatshow --classes lists them)");
        }
    }
    if (ImGui::CollapsingHeader("Event", ImGuiTreeNodeFlags_DefaultOpen)) {
        ImGui::InputText("event", eventName_, sizeof eventName_);
        ImGui::InputText("target##event", eventTarget_, sizeof eventTarget_);
        if (ImGui::Button("Add event at playhead")) {
            const DocumentEvent event{eventName_, snap(static_cast<float>(frame.musicTime)), eventTarget_};
            if (edit("Add event " + event.name, {Touch{}},
                     [&](SceneDocument& d) { return d.addEvent(event); }))
                setStatus("event " + event.name + " at " + SceneDocument::formatNumber(event.time) + " s");
            else
                setStatus("an event's name and target keep to letters, digits and _ . - :");
        }
    }
    if (ImGui::CollapsingHeader("Camera path", ImGuiTreeNodeFlags_DefaultOpen)) {
        if (cameras_.empty()) {
            ImGui::TextWrapped("Add an actor of class Camera to record its path.");
        } else {
            recordCamera_ = std::clamp(recordCamera_, 0, static_cast<int>(cameras_.size()) - 1);
            if (ImGui::BeginCombo("camera", cameras_[static_cast<size_t>(recordCamera_)].c_str())) {
                for (size_t i = 0; i < cameras_.size(); ++i)
                    if (ImGui::Selectable(cameras_[i].c_str(), static_cast<int>(i) == recordCamera_))
                        recordCamera_ = static_cast<int>(i);
                ImGui::EndCombo();
            }
            ImGui::RadioButton("every beat", &recordEvery_, 0);
            ImGui::SameLine();
            ImGui::RadioButton("bar", &recordEvery_, 1);
            ImGui::SameLine();
            ImGui::RadioButton("on K", &recordEvery_, 2);
            if (!recorder_.recording()) {
                if (ImGui::Button("Record")) {
                    const CameraRecorder::Every every = recordEvery_ == 0   ? CameraRecorder::Every::Beat
                                                        : recordEvery_ == 1 ? CameraRecorder::Every::Bar
                                                                            : CameraRecorder::Every::Request;
                    recorder_.start(cameras_[static_cast<size_t>(recordCamera_)], every, frame.musicTime,
                                    tempo_);
                    // The path is flown with the editor camera.
                    followShow_ = false;
                    lookThrough_.clear();
                    history_.seal();
                }
            } else if (ImGui::Button("Stop recording")) {
                recorder_.stop();
                history_.seal();
            }
            ImGui::SameLine();
            if (ImGui::Button(lookThrough_.empty() || followShow_ ? "Look through" : "Back to EditorCam")) {
                if (lookThrough_.empty() || followShow_) {
                    followShow_ = false;
                    lookThrough_ = cameras_[static_cast<size_t>(recordCamera_)];
                } else {
                    lookThrough_.clear();
                }
            }
        }
    }
    ImGui::End();
}

void EditorUi::followRecording(const Frame& frame) {
    // Recording follows the music, whatever panel has the mouse or is folded away. A seek ends
    // the span being flown, paused or not: the music it jumped over was not flown.
    if (frame.jumped) recorder_.jumped();
    if (!recorder_.recording() || !frame.editorCamera || !frame.playing || frame.paused) return;
    bool recorded = false;
    for (const RecordedPose& pose :
         recorder_.frame(frame.musicTime, frame.editorCamera->Position, frame.editorCamera->Rotation))
        recorded = writeRecordedPose(history_, recorder_.camera(), pose, recorder_.session()) || recorded;
    if (recorded)
        afterEdit(
            {{Touch::Path, recorder_.camera(), "Position"}, {Touch::Path, recorder_.camera(), "Rotation"}});
}

double EditorUi::timeAt(float x) const {
    return viewStart_ + (x - trackLeft_) / trackWidth_ * viewSeconds_;
}

float EditorUi::xAt(double t) const {
    return trackLeft_ + static_cast<float>((t - viewStart_) / viewSeconds_) * trackWidth_;
}

void EditorUi::drawTimeline(const Frame& frame) {
    const Layout layout = layoutFor(frame.height);
    ImGui::SetNextWindowPos(ImVec2(0, layout.timelineTop), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(frame.width, layout.timelineHeight), ImGuiCond_FirstUseEver);
    if (!ImGui::Begin("Timeline")) {
        ImGui::End();
        return;
    }
    const double length = std::max({frame.songSeconds, frame.musicTime + 10.0, 30.0});
    float seconds = static_cast<float>(viewSeconds_);
    ImGui::SetNextItemWidth(160);
    if (ImGui::SliderFloat("zoom", &seconds, 2.0f, static_cast<float>(length), "%.0f s visible",
                           ImGuiSliderFlags_Logarithmic))
        viewSeconds_ = seconds;
    ImGui::SameLine();
    float start = static_cast<float>(viewStart_);
    char info[96];
    std::snprintf(info, sizeof info, "%g BPM, %d beats a bar; snap to beats (Alt: free)  , . keys",
                  tempo_.bpm, tempo_.beatsPerBar);
    ImGui::SetNextItemWidth(-(ImGui::CalcTextSize(info).x + ImGui::GetStyle().ItemSpacing.x + 4.0f));
    if (ImGui::SliderFloat("##scroll", &start, 0.0f, static_cast<float>(std::max(0.0, length - viewSeconds_)),
                           "from %.1f s"))
        viewStart_ = start;
    ImGui::SameLine();
    ImGui::TextDisabled("%s", info);

    ImGui::BeginChild("tracks", ImVec2(0, 0), false,
                      ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoScrollbar);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 size = ImGui::GetContentRegionAvail();
    // The tracks below the ruler scroll; their scroll bar stays off the time axis, which the ruler
    // and the tracks share.
    trackLeft_ = origin.x + LabelWidth;
    trackWidth_ = std::max(10.0f, size.x - LabelWidth - ImGui::GetStyle().ScrollbarSize);
    const float right = trackLeft_ + trackWidth_;
    const float bottom = origin.y + size.y;
    ImGuiIO& io = ImGui::GetIO();
    const ImVec2 mouse = io.MousePos;
    const bool hovered = ImGui::IsWindowHovered(); // the ruler: the tracks are a window of their own

    // Follows the playhead while the music plays past the view.
    if (!frame.paused && !scrubbing_ &&
        (frame.musicTime > viewStart_ + viewSeconds_ || frame.musicTime < viewStart_))
        viewStart_ = std::max(0.0, frame.musicTime - viewSeconds_ * 0.1);
    // The wheel zooms time, over the ruler and over the keys; over the tracks' names it scrolls.
    auto zoom = [&] {
        const double at = timeAt(mouse.x);
        viewSeconds_ =
            std::clamp(viewSeconds_ * std::pow(0.85, static_cast<double>(io.MouseWheel)), 1.0, length);
        viewStart_ = std::max(0.0, at - (mouse.x - trackLeft_) / trackWidth_ * viewSeconds_);
    };
    if (hovered && io.MouseWheel != 0.0f) zoom();

    // The ruler: the soundtrack's waveform under bars and beats.
    const float rulerBottom = origin.y + RulerHeight;
    draw->AddRectFilled(ImVec2(trackLeft_, origin.y), ImVec2(right, rulerBottom), IM_COL32(30, 30, 36, 255));
    if (!waveform_.peaks.empty()) {
        const float middle = origin.y + RulerHeight * 0.5f;
        for (float x = trackLeft_; x < right; x += 2.0f) {
            const double t0 = timeAt(x), t1 = timeAt(x + 2.0f);
            const size_t b0 = static_cast<size_t>(std::max(0.0, t0 / Waveform::BucketSeconds));
            const size_t b1 = std::min(waveform_.peaks.size(),
                                       static_cast<size_t>(std::max(0.0, t1 / Waveform::BucketSeconds)) + 1);
            float peak = 0.0f;
            for (size_t b = b0; b < b1; ++b)
                peak = std::max(peak, waveform_.peaks[b]);
            if (peak > 0.0f)
                draw->AddLine(ImVec2(x, middle - peak * RulerHeight * 0.45f),
                              ImVec2(x, middle + peak * RulerHeight * 0.45f), IM_COL32(70, 110, 150, 255));
        }
    }
    for (const GridLine& line :
         timelineGrid(tempo_, viewStart_, viewSeconds_, static_cast<double>(trackWidth_) / viewSeconds_)) {
        const float x = xAt(line.time);
        if (x < trackLeft_ || x > right) continue;
        if (line.barLine) {
            draw->AddLine(ImVec2(x, origin.y), ImVec2(x, bottom), IM_COL32(90, 90, 100, 140));
            char text[24];
            std::snprintf(text, sizeof text, "%lld", line.bar);
            draw->AddText(ImVec2(x + 2, origin.y), IM_COL32(200, 200, 200, 255), text);
        } else {
            draw->AddLine(ImVec2(x, rulerBottom - 6), ImVec2(x, rulerBottom), IM_COL32(140, 140, 150, 255));
        }
    }
    const bool inRuler = hovered && mouse.y >= origin.y && mouse.y < rulerBottom && mouse.x >= trackLeft_;
    if (inRuler && ImGui::IsMouseClicked(0)) scrubbing_ = true;
    if (scrubbing_) {
        if (!ImGui::IsMouseDown(0))
            scrubbing_ = false;
        else if (std::fabs(timeAt(mouse.x) - frame.musicTime) > 0.02) {
            requests_.seek = true;
            requests_.seekTarget = std::max(0.0, timeAt(mouse.x));
        }
    }

    const float playhead = xAt(frame.musicTime);
    if (playhead >= trackLeft_ && playhead <= right)
        draw->AddLine(ImVec2(playhead, origin.y), ImVec2(playhead, rulerBottom), IM_COL32(255, 60, 60, 255),
                      2.0f);
    ImGui::Dummy(ImVec2(size.x, RulerHeight));

    // The tracks, scrolled: the events' first, then one per binding.
    ImGui::BeginChild("rows", ImVec2(0, 0), false,
                      ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_AlwaysVerticalScrollbar);
    draw = ImGui::GetWindowDrawList();
    const float rowsTop = ImGui::GetWindowPos().y;
    const float rowsBottom = rowsTop + ImGui::GetWindowHeight();
    const bool rowsHovered = ImGui::IsWindowHovered();
    if (rowsHovered && io.MouseWheel != 0.0f) {
        if (mouse.x < trackLeft_)
            ImGui::SetScrollY(ImGui::GetScrollY() - io.MouseWheel * TrackHeight);
        else
            zoom();
    }
    float y = ImGui::GetCursorScreenPos().y;
    const float rowsStart = y;
    draw->AddText(ImVec2(origin.x + 4, y + 4), IM_COL32(230, 200, 120, 255), "events");
    bool clickTaken = false, menuTaken = false;
    const bool clicked = rowsHovered && ImGui::IsMouseClicked(0) && mouse.x >= trackLeft_;
    for (size_t i = 0; i < events_.size(); ++i) {
        const bool dragged = draggingEvent_ == static_cast<int>(i) && std::fabs(mouse.x - dragOrigin_) > 2.0f;
        const float t = dragged ? snap(eventDragTime_) : events_[i].time;
        const float x = xAt(t);
        if (x < trackLeft_ - 50 || x > right) continue;
        const bool picked = selection_.kind == Selection::Kind::Event && selection_.event == i;
        const ImU32 colour = picked ? IM_COL32(255, 230, 80, 255) : IM_COL32(230, 160, 60, 255);
        draw->AddTriangleFilled(ImVec2(x - 5, y + 3), ImVec2(x + 5, y + 3), ImVec2(x, y + 12), colour);
        draw->AddText(ImVec2(x + 6, y + 4), colour, events_[i].name.c_str());
        if (clicked && !clickTaken && mouse.y >= y && mouse.y < y + EventTrackHeight &&
            std::fabs(mouse.x - x) < PickRadius) {
            selection_.select(Selection::Kind::Event, events_[i].name);
            selection_.event = i;
            selection_.keys.clear();
            draggingEvent_ = static_cast<int>(i);
            eventDragTime_ = events_[i].time;
            dragOrigin_ = mouse.x;
            clickTaken = true;
        }
    }
    if (draggingEvent_ >= 0) {
        const size_t index = static_cast<size_t>(draggingEvent_);
        if (ImGui::IsMouseDown(0)) {
            eventDragTime_ = index < events_.size()
                                 ? events_[index].time + static_cast<float>((mouse.x - dragOrigin_) /
                                                                            trackWidth_ * viewSeconds_)
                                 : 0.0f;
        } else {
            if (index < events_.size() && std::fabs(mouse.x - dragOrigin_) > 2.0f) {
                DocumentEvent moved = events_[index];
                moved.time = snap(eventDragTime_);
                edit("Move event " + moved.name, {Touch{}},
                     [&](SceneDocument& d) { return d.setEvent(index, moved); });
            }
            draggingEvent_ = -1;
        }
    }
    y += EventTrackHeight;

    // One track per binding: its curve of x, y and z as the engine plays it, and its keys.
    // Keys move (and snap) once the mouse has gone a few pixels: a click alone leaves them be.
    const bool movingKeys = draggingKeys_ && std::fabs(mouse.x - dragOrigin_) > 2.0f;
    const float dragDelta =
        movingKeys ? static_cast<float>((mouse.x - dragOrigin_) / trackWidth_ * viewSeconds_) : 0.0f;
    for (BindingView& b : bindings_) {
        const float top = y;
        y += TrackHeight;
        if (y < rowsTop) continue;
        if (top > rowsBottom) break;
        draw->AddLine(ImVec2(origin.x, y), ImVec2(right, y), IM_COL32(60, 60, 66, 255));
        const bool picked = selection_.kind == Selection::Kind::Binding && selection_.name == b.name;
        draw->AddText(ImVec2(origin.x + 4, top + 9),
                      picked ? IM_COL32(255, 230, 80, 255) : IM_COL32(210, 210, 210, 255), b.label.c_str());
        if (rowsHovered && ImGui::IsMouseClicked(0) && mouse.x < trackLeft_ && mouse.x >= origin.x &&
            mouse.y >= top && mouse.y < y)
            selection_.select(Selection::Kind::Binding, b.name);
        if (b.keys.empty()) continue;
        // Where the keys of the view begin and end, by time.
        auto firstVisible = std::lower_bound(b.byTime.begin(), b.byTime.end(), viewStart_,
                                             [&](size_t i, double t) { return b.keys[i].time < t; });
        auto lastVisible = std::upper_bound(b.byTime.begin(), b.byTime.end(), viewStart_ + viewSeconds_,
                                            [&](double t, size_t i) { return t < b.keys[i].time; });
        BindingView& view = b;
        if (view.sampledStart != viewStart_ || view.sampledSeconds != viewSeconds_ ||
            view.sampledWidth != trackWidth_) {
            view.sampledStart = viewStart_;
            view.sampledSeconds = viewSeconds_;
            view.sampledWidth = trackWidth_;
            float lo = std::numeric_limits<float>::max(), hi = -lo;
            for (auto it = firstVisible == b.byTime.begin() ? firstVisible : std::prev(firstVisible);
                 it != b.byTime.end() && it <= lastVisible; ++it) {
                const Vector& v = b.keys[*it].value;
                const float values[3] = {v.x, v.y, v.z};
                for (int c = 0; c < b.components; ++c) {
                    lo = std::min(lo, values[c]);
                    hi = std::max(hi, values[c]);
                }
            }
            if (!(hi > lo)) {
                lo -= 1.0f;
                hi += 1.0f;
            }
            view.low = lo;
            view.high = hi;
            // Sampled through the engine's own curve, as the show will play it: every third pixel,
            // and each key that stands apart from the one before it (6 pixels or more) at its own
            // time, so that a straight line turns on its key, and just before it where the key
            // before holds (a step), so that the step stands upright. Closer keys add nothing the
            // pixels would show.
            std::vector<float>& times = view.sampleTimes;
            times.clear();
            auto keyAt = firstVisible;
            float previousKeyX = -1.0e9f;
            const DocumentKey* previousKey = nullptr;
            if (firstVisible != b.byTime.begin()) {
                previousKey = &b.keys[*std::prev(firstVisible)];
                previousKeyX =
                    static_cast<float>((previousKey->time - viewStart_) / viewSeconds_) * trackWidth_;
            }
            for (float x = 0.0f; x <= trackWidth_; x += 3.0f) {
                const float t = static_cast<float>(viewStart_ + x / trackWidth_ * viewSeconds_);
                for (; keyAt != lastVisible && b.keys[*keyAt].time <= t; ++keyAt) {
                    const DocumentKey& key = b.keys[*keyAt];
                    const float keyX =
                        static_cast<float>((key.time - viewStart_) / viewSeconds_) * trackWidth_;
                    const bool apart = keyX - previousKeyX >= 6.0f;
                    const bool afterStep = previousKey && previousKey->interpolation == Interpolation::Step;
                    previousKey = &key;
                    previousKeyX = keyX;
                    if (!apart || (!times.empty() && key.time <= times.back())) continue;
                    if (afterStep) {
                        const float before =
                            std::nextafter(key.time, -std::numeric_limits<float>::infinity());
                        if (times.empty() || before > times.back()) times.push_back(before);
                    }
                    times.push_back(key.time);
                }
                if (times.empty() || t > times.back()) times.push_back(t);
            }
            sampleCurve(b.keys, b.byTime, times, view.samples);
        }
        auto curveY = [&](float v) {
            return y - 4.0f - (v - view.low) / (view.high - view.low) * (TrackHeight - 8.0f);
        };
        std::vector<ImVec2> curve;
        for (size_t c = 0; c < static_cast<size_t>(view.components); ++c) {
            curve.clear();
            for (size_t i = 0; i < view.samples[c].size(); ++i)
                curve.emplace_back(xAt(view.sampleTimes[i]), curveY(view.samples[c][i]));
            draw->AddPolyline(curve.data(), static_cast<int>(curve.size()),
                              (AxisColours[c] & 0x00FFFFFF) | 0xA0000000, 0, 1.0f);
        }
        // Keys closer than two pixels are drawn once: a show's worth of keys in view is a band.
        float lastDrawn = -1.0e9f;
        for (auto it = firstVisible; it != lastVisible; ++it) {
            const size_t index = *it;
            const KeyRef ref{b.name, index};
            const bool keyPicked = selection_.keys.count(ref) > 0;
            const float t =
                keyPicked && movingKeys ? snap(b.keys[index].time + dragDelta) : b.keys[index].time;
            const float x = xAt(t);
            if (!keyPicked && !boxSelecting_ && x - lastDrawn < 2.0f) continue;
            lastDrawn = x;
            const float cy = top + TrackHeight * 0.5f;
            const ImVec2 diamond[4] = {ImVec2(x, cy - 6), ImVec2(x + 6, cy), ImVec2(x, cy + 6),
                                       ImVec2(x - 6, cy)};
            draw->AddConvexPolyFilled(diamond, 4,
                                      keyPicked ? IM_COL32(255, 230, 80, 255) : IM_COL32(200, 200, 210, 255));
            if (clicked && !clickTaken && std::fabs(mouse.x - x) < PickRadius &&
                std::fabs(mouse.y - cy) < PickRadius + 2) {
                if (!keyPicked || io.KeyShift) selection_.pickKey(ref, io.KeyShift);
                draggingKeys_ = selection_.keys.count(ref) > 0;
                dragOrigin_ = mouse.x;
                clickTaken = true;
            }
            const bool over = rowsHovered && std::fabs(mouse.x - x) < PickRadius &&
                              std::fabs(mouse.y - cy) < PickRadius + 2;
            // The right button opens the keys' menu: for the picked keys, or for this key alone
            // when it is not one of them.
            if (over && !menuTaken && ImGui::IsMouseClicked(1)) {
                if (!keyPicked) selection_.pickKey(ref, false);
                ImGui::OpenPopup("key menu");
                menuTaken = true;
            } else if (over && !draggingKeys_ && !boxSelecting_) {
                const DocumentKey& k = b.keys[index];
                ImGui::SetTooltip("%s s  (%g, %g, %g)  %s", SceneDocument::formatNumber(k.time).c_str(),
                                  static_cast<double>(k.value.x), static_cast<double>(k.value.y),
                                  static_cast<double>(k.value.z), interpolationName(k.interpolation));
            }
            // A box drawn over the tracks picks the keys inside it.
            if (boxSelecting_) {
                const float x0 = std::min(boxStartX_, mouse.x), x1 = std::max(boxStartX_, mouse.x);
                const float y0 = std::min(boxStartY_, mouse.y), y1 = std::max(boxStartY_, mouse.y);
                if (x >= x0 && x <= x1 && cy >= y0 && cy <= y1 && !ImGui::IsMouseDown(0))
                    selection_.keys.insert(ref);
            }
        }
    }
    if (ImGui::BeginPopup("key menu")) {
        Interpolation common = Interpolation::CatmullRom;
        const bool one = pickedInterpolation(common);
        ImGui::TextDisabled("from the %s to the next:", selection_.keys.size() == 1 ? "key" : "keys");
        for (int32_t i = 0; i < InterpolationCount; ++i) {
            const auto option = static_cast<Interpolation>(i);
            if (ImGui::MenuItem(interpolationName(option), nullptr, one && option == common))
                setKeyInterpolation(option);
        }
        ImGui::Separator();
        if (ImGui::MenuItem("Delete", "Delete")) deleteSelectedKeys();
        ImGui::EndPopup();
    }
    if (clicked && !clickTaken && mouse.y >= rowsStart + EventTrackHeight) {
        if (!io.KeyShift) selection_.keys.clear();
        boxSelecting_ = true;
        boxStartX_ = mouse.x;
        boxStartY_ = mouse.y;
    }
    if (boxSelecting_) {
        draw->AddRect(ImVec2(boxStartX_, boxStartY_), mouse, IM_COL32(255, 230, 80, 200));
        if (!ImGui::IsMouseDown(0)) boxSelecting_ = false;
    }
    if (draggingKeys_ && !ImGui::IsMouseDown(0)) {
        draggingKeys_ = false;
        if (std::fabs(mouse.x - dragOrigin_) > 2.0f) moveSelectedKeys(dragDelta);
    }

    // The playhead, and the rows' height for the scroll bar.
    if (playhead >= trackLeft_ && playhead <= right)
        draw->AddLine(ImVec2(playhead, rowsTop), ImVec2(playhead, rowsBottom), IM_COL32(255, 60, 60, 255),
                      2.0f);
    ImGui::Dummy(ImVec2(1.0f, EventTrackHeight + TrackHeight * static_cast<float>(bindings_.size())));
    ImGui::EndChild();
    ImGui::EndChild();
    ImGui::End();
}

void EditorUi::drawViewport(const Frame& frame) {
    ImGuiIO& io = ImGui::GetIO();
    ImDrawList* draw = ImGui::GetBackgroundDrawList();
    const ViewSetup view = currentView(frame.width, frame.height);
    const float sx = io.DisplaySize.x / frame.width, sy = io.DisplaySize.y / frame.height;
    const ImVec2 mouse(io.MousePos.x / sx, io.MousePos.y / sy);
    auto screen = [&](float x, float y) { return ImVec2(x * sx, y * sy); };

    entity_base* selected =
        selection_.kind == Selection::Kind::Object ? findObject(selection_.name) : nullptr;
    ImVec2 base, tips[3];
    bool handles = false;
    float handleLength = 1.0f;
    // An object alone shows its own box, turned with it; a group the box around all its parts.
    const bool group = selected && isGroupWithParts(*selected);
    if (selected && (selected->mesh || group)) {
        const Bounds bounds = group ? groupWorldBounds(*selected) : meshBounds(*selected->mesh);
        const Matrix model = group ? Matrix::identity() : worldMatrix(*selected);
        const Vector origin = transformCoord({}, worldMatrix(*selected));
        if (bounds.valid) {
            Vector corners[8];
            for (int i = 0; i < 8; ++i)
                corners[i] = transformCoord({(i & 1) ? bounds.max.x : bounds.min.x,
                                             (i & 2) ? bounds.max.y : bounds.min.y,
                                             (i & 4) ? bounds.max.z : bounds.min.z},
                                            model);
            const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                      {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
            for (const auto& e : edges) {
                float ax, ay, bx, by;
                if (projectToScreen(view, corners[e[0]], ax, ay) &&
                    projectToScreen(view, corners[e[1]], bx, by))
                    draw->AddLine(screen(ax, ay), screen(bx, by), IM_COL32(255, 230, 80, 200));
            }
            handleLength = std::max(0.3f, (corners[7] - corners[0]).length() * 0.6f);
        }
        float px, py;
        if (projectToScreen(view, origin, px, py)) {
            base = ImVec2(px, py);
            handles = true;
            for (int a = 0; a < 3; ++a) {
                Vector axis;
                axis[a] = handleLength;
                float tx, ty;
                if (!projectToScreen(view, origin + axis, tx, ty)) {
                    handles = false;
                    break;
                }
                tips[a] = ImVec2(tx, ty);
            }
        }
        if (handles)
            for (int a = 0; a < 3; ++a) {
                const float width = handleAxis_ == a ? 4.0f : 2.5f;
                draw->AddLine(screen(base.x, base.y), screen(tips[a].x, tips[a].y), AxisColours[a], width);
                draw->AddCircleFilled(screen(tips[a].x, tips[a].y), 5.0f, AxisColours[a]);
            }
    }

    // A drag along an axis moves the object by how far the mouse went along the axis's picture.
    if (handleAxis_ >= 0) {
        if (!ImGui::IsMouseDown(0) || !selected || !handles) {
            handleAxis_ = -1;
            history_.seal();
        } else {
            const ImVec2 along(tips[handleAxis_].x - base.x, tips[handleAxis_].y - base.y);
            const float pixels = along.x * along.x + along.y * along.y;
            const float moved =
                pixels > 1.0f ? ((mouse.x - handleLastX_) * along.x + (mouse.y - handleLastY_) * along.y) /
                                    pixels * handleLength
                              : 0.0f;
            if (moved != 0.0f) {
                Vector position = selected->Position;
                if (!selected->parent) {
                    position[handleAxis_] += moved;
                } else {
                    // The handles are the world's axes; the Position is in its parent's space.
                    Vector along;
                    along[handleAxis_] = moved;
                    position = position + worldToParentMove(*selected, along);
                }
                const std::string name = selected->name;
                edit(
                    "Move " + name, {{Touch::Value, name, "Position"}},
                    [&](SceneDocument& d) { return d.setVector(name, "Position", position); },
                    "handle:" + name);
            }
            handleLastX_ = mouse.x;
            handleLastY_ = mouse.y;
        }
        return;
    }
    if (io.WantCaptureMouse || !ImGui::IsMouseClicked(0)) return;
    // The first click of a double click took the group and put its handles up: the second one
    // asks for the part under the mouse, even where a handle of the group crosses it.
    const bool doubleClick = ImGui::IsMouseDoubleClicked(0) || frame.clicks >= 2;
    if (handles && !doubleClick)
        for (int a = 0; a < 3; ++a)
            if (distanceToSegment(mouse, base, tips[a]) < PickRadius) {
                handleAxis_ = a;
                handleLastX_ = mouse.x;
                handleLastY_ = mouse.y;
                history_.seal();
                return;
            }
    // A click takes the whole group; the second click of a double click the part under the mouse.
    if (entity_base* hit = pickForClick(rayThroughPixel(view, mouse.x, mouse.y), doubleClick)) {
        selection_.select(Selection::Kind::Object, hit->name);
        revealSelection_ = true;
        keyedParameter_ = "Position";
    } else {
        selection_.clear();
    }
}

void createWindowlessImGuiContext(float width, float height) {
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(width, height);
    // As the OpenGL 3 back end says of itself: draw lists may pass 65,536 vertices.
    io.BackendFlags |= ImGuiBackendFlags_RendererHasVtxOffset;
    unsigned char* pixels = nullptr;
    int atlasWidth = 0, atlasHeight = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &atlasWidth, &atlasHeight);
}
