#include "actors/entity/Entity.h"

#include "engine/base/Events.h"

entity_base::entity_base(std::string entityName) : name(std::move(entityName)) {
    addVectorParameter("Position", Position);
    addVectorParameter("Rotation", Rotation);
    addVectorParameter("Scale", Scale);
}

void entity_base::Trigger(const std::string&) {}

EntityParameter* entity_base::getParameter(const std::string& parameterName) const {
    auto it = parameters_.find(parameterName);
    return it == parameters_.end() ? nullptr : it->second.get();
}

int entity_base::getParameterType(const std::string& parameterName) const {
    const EntityParameter* p = getParameter(parameterName);
    return p ? p->type : 0;
}

int entity_base::addParameter(std::unique_ptr<EntityParameter> parameter) {
    if (!parameter) return -1;
    const std::string key = parameter->name;
    parameters_.try_emplace(key, std::move(parameter));
    return 0;
}

int entity_base::addVectorParameter(const std::string& parameterName, Vector& value) {
    auto p = std::make_unique<EntityParameter>();
    p->name = parameterName;
    p->type = EntityParameter::ThreeFloats;
    p->value = &value;
    return addParameter(std::move(p));
}

Light::Light(std::string lightName) : entity_base(std::move(lightName)) {
    addVectorParameter("Color", Color);
    addVectorParameter("Cutoff", Cutoff);
}

void Light::Trigger(const std::string&) {}

Actor::Actor(std::string actorName) : entity_base(std::move(actorName)) {
    subscribeEvent(this, "play");
    subscribeEvent(this, "pause");
    subscribeEvent(this, "stop");
}

void Actor::Trigger(const std::string&) {}

void Actor::OnBeat(uint32_t) {}

Actor::ElementResult Actor::TakeElement(const ActorElement&, std::string&) {
    return ElementResult::NotMine;
}
