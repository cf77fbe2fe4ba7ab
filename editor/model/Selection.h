// What the editor has selected: one entity (by its name and the section that defines it, or an
// event by its index), and the key frames picked on the timeline.
#pragma once

#include <set>
#include <string>
#include <utility>

struct KeyRef {
    std::string binding; // ENTITY::PARAMETER
    size_t index = 0;
    auto operator<=>(const KeyRef&) const = default;
};

struct Selection {
    enum class Kind { None, Mesh, Material, Object, Light, Actor, Binding, Event };
    Kind kind = Kind::None;
    std::string name; // an entity's name, a binding's ENTITY::PARAMETER, a list entry
    size_t event = 0; // for Kind::Event
    std::set<KeyRef> keys;

    void select(Kind k, std::string n) {
        kind = k;
        name = std::move(n);
    }
    void clear() {
        kind = Kind::None;
        name.clear();
        keys.clear();
    }
    bool isEntity() const { return kind == Kind::Object || kind == Kind::Light || kind == Kind::Actor; }
    // Click: only this key; shift-click: this key in or out.
    void pickKey(const KeyRef& key, bool extend) {
        if (!extend) keys.clear();
        if (extend && keys.count(key))
            keys.erase(key);
        else
            keys.insert(key);
    }
};
