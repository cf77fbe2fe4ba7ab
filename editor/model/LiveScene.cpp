#include "editor/model/LiveScene.h"

#include "engine/EngineRegistry.h"
#include "scene/AutomationPath.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <sstream>

entity_base* findSceneEntity(const std::string& name) {
    if (entity_base* object = findObject(name)) return object;
    if (Light* light = findLight(name)) return light;
    return findActor(name);
}

namespace {

AutomationPath* findBinding(const std::string& entityName, const std::string& parameter) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (AutomationBinding& b : r.automations)
        if (b.entity && b.parameter && b.entity->name == entityName && b.parameter->name == parameter)
            return b.path.get();
    return nullptr;
}

} // namespace

bool applyTouches(const SceneDocument& document, const std::vector<Touch>& touches) {
    for (const Touch& touch : touches) {
        switch (touch.kind) {
        case Touch::Structure:
            return false;
        case Touch::Value: {
            entity_base* entity = findSceneEntity(touch.entity);
            Vector value;
            if (!entity || !document.vector(touch.entity, touch.element, value)) return false;
            EntityParameter* parameter = entity->getParameter(touch.element);
            if (!parameter || !parameter->value) return false;
            *parameter->value = value;
            break;
        }
        case Touch::Path: {
            AutomationPath* path = findBinding(touch.entity, touch.element);
            if (!path || !document.binding(touch.entity, touch.element)) return false;
            std::vector<PathPoint> points;
            for (const DocumentKey& key : document.keys(touch.entity, touch.element)) {
                PathPoint p;
                p.time = key.time;
                p.values[0] = key.value.x;
                p.values[1] = key.value.y;
                p.values[2] = key.value.z;
                p.count = 3;
                p.spare = static_cast<int32_t>(key.interpolation);
                points.push_back(p);
            }
            path->setPoints(std::move(points));
            break;
        }
        }
    }
    return true;
}

void sampleCurve(const std::vector<DocumentKey>& keys, const std::vector<size_t>& byTime,
                 const std::vector<float>& times, std::vector<float> (&out)[3]) {
    for (auto& values : out)
        values.clear();
    const size_t n = byTime.size();
    if (n == 0) return;
    auto point = [&](size_t k) {
        const DocumentKey& key = keys[byTime[k]];
        PathPoint p;
        p.time = key.time;
        p.values = {key.value.x, key.value.y, key.value.z};
        p.count = 3;
        p.spare = static_cast<int32_t>(key.interpolation);
        return p;
    };
    // The engine's curve between keys i and i + 1 reads keys i - 1 to i + 1 (and, at the path's
    // end, its last key): a path of keys i - 1 to i + 2 gives the same values there.
    AutomationPath path;
    size_t built = SIZE_MAX;
    size_t i = 0;
    const float last = keys[byTime.back()].time;
    for (const float t : times) {
        size_t segment = 0;
        if (n > 1 && !(t >= last)) {
            while (i + 2 < n && !(keys[byTime[i + 1]].time > t))
                ++i;
            segment = i;
        } else {
            segment = n > 1 ? n - 2 : 0;
        }
        if (segment != built) {
            std::vector<PathPoint> around;
            for (size_t k = segment > 0 ? segment - 1 : 0; k < std::min(n, segment + 3); ++k)
                around.push_back(point(k));
            path.setPoints(std::move(around));
            built = segment;
        }
        path.setTime(t);
        const PathPoint p = path.evaluate();
        for (size_t c = 0; c < 3; ++c)
            out[c].push_back(p.values[c]);
    }
}

namespace {

void writeVector(std::ostream& out, const char* name, const Vector& v) {
    out << " " << name << "=(" << v.x << "," << v.y << "," << v.z << ")";
}

void writeParameters(std::ostream& out, const entity_base& e) {
    for (const auto& [name, parameter] : e.parameters())
        if (parameter && parameter->value) writeVector(out, name.c_str(), *parameter->value);
}

} // namespace

std::string registryText() {
    EngineRegistry& r = engine();
    std::ostringstream out;
    out.precision(9);
    std::lock_guard lock(r.mutex);
    for (const Mesh* mesh : r.meshes)
        out << "mesh " << mesh->name << " " << mesh->vertexCount << "\n";
    for (const auto& material : r.materials)
        out << "material " << material->name << "\n";
    // Address order says nothing about the scene: objects and lights are listed by name.
    std::vector<std::string> lines;
    for (const auto& [entity, instance] : r.objects) {
        std::ostringstream line;
        line.precision(9);
        line << "object " << entity->name << " mesh=" << (entity->mesh ? entity->mesh->name : "-")
             << " material=" << (entity->material ? entity->material->name : "-");
        if (entity->parent) line << " parent=" << entity->parent->name;
        writeParameters(line, *entity);
        lines.push_back(line.str());
    }
    for (const auto& [light, record] : r.lights) {
        std::ostringstream line;
        line.precision(9);
        line << "light " << light->name;
        writeParameters(line, *light);
        lines.push_back(line.str());
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines)
        out << line << "\n";
    for (Actor* actor : r.actors) {
        out << "actor " << actor->name << " class=" << actor->GetClassName()
            << " entities=" << actor->GetEntityCount();
        writeParameters(out, *actor);
        out << "\n";
    }
    for (const AutomationBinding& b : r.automations) {
        out << "automation " << (b.entity ? b.entity->name : "-")
            << "::" << (b.parameter ? b.parameter->name : "-");
        for (const PathPoint& p : b.path->points())
            out << " [" << p.time << " " << p.values[0] << " " << p.values[1] << " " << p.values[2] << "]";
        out << "\n";
    }
    for (const EventTrigger& t : r.triggers.triggers()) {
        const auto* target = dynamic_cast<const entity_base*>(t.target);
        out << "event " << t.name << " " << t.time << " " << (target ? target->name : "*") << "\n";
    }
    return out.str();
}
