#include "editor/model/LiveScene.h"

#include "engine/EngineRegistry.h"

#include <algorithm>
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
