// The free tracks of a scene document: reading their keys and writing new ones in the file's
// own style, as the sync link saves what a tracker changed.
#include "editor/model/DifferingRun.h"
#include "editor/model/SceneDocument.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>

namespace {

bool isComment(const std::string& name) {
    return name.rfind("--", 0) == 0;
}

int componentsOf(const XMLTag* track) {
    for (const auto& [key, value] : track->attributes)
        if (key == "components") {
            int n = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
            return error == std::errc() && end == value.data() + value.size() && n >= 1 && n <= 4 ? n : 1;
        }
    return 1;
}

// The key elements of a track, comments left out.
std::vector<const XMLTag*> keyTags(const XMLTag* track) {
    std::vector<const XMLTag*> tags;
    for (const auto& child : childrenOf(track))
        if (!isComment(child->name)) tags.push_back(child.get());
    return tags;
}

DocumentTrackKey trackKeyOf(const XMLTag* tag, int components) {
    float slots[5] = {0, 0, 0, 0, 0};
    const auto values = static_cast<size_t>(components) + 1;
    tagToFloats(tag, slots, static_cast<int>(values));
    DocumentTrackKey key;
    key.time = slots[0];
    for (size_t c = 0; c < static_cast<size_t>(components); ++c)
        key.values[c] = slots[c + 1];
    for (size_t i = values; i < tag->attributes.size(); ++i)
        if (tag->attributes[i].first == "interpolation")
            parseInterpolation(tag->attributes[i].second, key.interpolation);
    return key;
}

} // namespace

bool DocumentTrackKey::operator==(const DocumentTrackKey& other) const {
    auto same = [](float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); };
    return same(time, other.time) && same(values[0], other.values[0]) && same(values[1], other.values[1]) &&
           same(values[2], other.values[2]) && same(values[3], other.values[3]) &&
           interpolation == other.interpolation;
}

XMLTag* SceneDocument::freeTrack(const std::string& name, int* components) const {
    XMLTag* track = child(section("tracks"), name);
    if (track && components) *components = componentsOf(track);
    return track;
}

std::vector<DocumentTrackKey> SceneDocument::trackKeys(const std::string& name) const {
    std::vector<DocumentTrackKey> keys;
    int components = 1;
    const XMLTag* track = freeTrack(name, &components);
    if (!track) return keys;
    for (const XMLTag* tag : keyTags(track))
        keys.push_back(trackKeyOf(tag, components));
    return keys;
}

bool SceneDocument::setTrackKeys(const std::string& name, const std::vector<DocumentTrackKey>& keys) {
    int components = 1;
    XMLTag* track = freeTrack(name, &components);
    if (!track) return false;
    for (const DocumentTrackKey& key : keys)
        if (!std::isfinite(key.time)) return false;
    const std::vector<DocumentTrackKey> old = trackKeys(name);
    if (old == keys) return true;

    // The run that differs: keys before and after it stay as they are written.
    const auto [prefix, oldEnd, newEnd] = differingRun(old, keys);

    // Written as the track's first key writes its element and attribute names.
    const std::vector<const XMLTag*> tags = keyTags(track);
    const auto values = static_cast<size_t>(components) + 1;
    std::string element = "key";
    std::vector<std::string> names;
    for (size_t i = 0; i < values; ++i)
        names.push_back("v" + std::to_string(i));
    if (!tags.empty()) {
        element = tags.front()->name;
        if (tags.front()->attributes.size() >= values)
            for (size_t i = 0; i < values; ++i)
                names[i] = tags.front()->attributes[i].first;
    }
    auto keyText = [&](const DocumentTrackKey& key) {
        std::vector<std::pair<std::string, std::string>> attributes = {{names[0], formatNumber(key.time)}};
        for (size_t c = 0; c + 1 < values; ++c)
            attributes.emplace_back(names[c + 1], formatNumber(key.values[c]));
        if (key.interpolation != Interpolation::CatmullRom)
            attributes.emplace_back("interpolation", interpolationName(key.interpolation));
        return emptyElement(element, attributes);
    };

    if (newEnd == prefix) {
        // Only keys taken out: last first, so the earlier ones stay where they are.
        for (size_t i = oldEnd; i > prefix; --i)
            removeElement(keyTags(freeTrack(name))[i - 1]);
        return true;
    }
    if (oldEnd > prefix) {
        const std::string indent = indentOf(tags[prefix]->sourceBegin);
        std::string text;
        for (size_t i = prefix; i < newEnd; ++i)
            text += (text.empty() ? "" : lineEnd() + indent) + keyText(keys[i]);
        splice(tags[prefix]->sourceBegin, tags[oldEnd - 1]->sourceEnd - tags[prefix]->sourceBegin, text);
        return true;
    }
    // Only keys added.
    if (!tags.empty() && prefix == 0) {
        const std::string indent = indentOf(tags.front()->sourceBegin);
        std::string text;
        for (size_t i = prefix; i < newEnd; ++i)
            text += keyText(keys[i]) + lineEnd() + indent;
        splice(tags.front()->sourceBegin, 0, text);
        return true;
    }
    const XMLTag* after = prefix > 0 ? tags[prefix - 1] : nullptr;
    for (size_t i = prefix; i < newEnd; ++i) {
        insertChild(track, after, keyText(keys[i]));
        track = freeTrack(name);
        after = keyTags(track)[i];
    }
    return true;
}

// ---- a free track's keys as a path's ----

namespace {

DocumentKey asPathKey(const DocumentTrackKey& k) {
    return {k.time, Vector{k.values[0], k.values[1], k.values[2]}, k.interpolation};
}

// The key's three values over `fourth`'s fourth (a path key has none of its own).
DocumentTrackKey asTrackKey(const DocumentKey& k, float fourth) {
    return {k.time, {k.value.x, k.value.y, k.value.z, fourth}, k.interpolation};
}

// Where a key of this time goes: after the last key not later than it.
size_t placeFor(const std::vector<DocumentTrackKey>& keys, float time) {
    size_t at = keys.size();
    while (at > 0 && keys[at - 1].time > time)
        --at;
    return at;
}

} // namespace

std::vector<DocumentKey> SceneDocument::freeTrackKeys(const std::string& name) const {
    std::vector<DocumentKey> keys;
    for (const DocumentTrackKey& k : trackKeys(name))
        keys.push_back(asPathKey(k));
    return keys;
}

bool SceneDocument::addFreeTrackKey(const std::string& name, const DocumentKey& key) {
    if (!freeTrack(name) || !std::isfinite(key.time)) return false;
    std::vector<DocumentTrackKey> keys = trackKeys(name);
    const size_t at = placeFor(keys, key.time);
    keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(at),
                asTrackKey(key, at > 0 ? keys[at - 1].values[3] : 0.0f));
    return setTrackKeys(name, keys);
}

bool SceneDocument::setFreeTrackKey(const std::string& name, size_t index, const DocumentKey& key) {
    std::vector<DocumentTrackKey> keys = trackKeys(name);
    if (index >= keys.size() || !std::isfinite(key.time)) return false;
    const DocumentTrackKey changed = asTrackKey(key, keys[index].values[3]);
    // As a path's key: one that moves past its neighbours goes to its new place in the order.
    const bool inOrder =
        key.time == keys[index].time || ((index == 0 || keys[index - 1].time <= key.time) &&
                                         (index + 1 == keys.size() || key.time <= keys[index + 1].time));
    if (inOrder) {
        keys[index] = changed;
    } else {
        keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(index));
        keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(placeFor(keys, key.time)), changed);
    }
    return setTrackKeys(name, keys);
}

bool SceneDocument::removeFreeTrackKey(const std::string& name, size_t index) {
    std::vector<DocumentTrackKey> keys = trackKeys(name);
    if (index >= keys.size()) return false;
    keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(index));
    return setTrackKeys(name, keys);
}

bool SceneDocument::replaceFreeTrackKeys(const std::string& name, size_t first, size_t last,
                                         const std::vector<DocumentKey>& with) {
    std::vector<DocumentTrackKey> keys = trackKeys(name);
    if (first >= last || last > keys.size() || with.empty()) return false;
    const float fourth = keys[first].values[3];
    std::vector<DocumentTrackKey> run;
    for (const DocumentKey& k : with)
        run.push_back(asTrackKey(k, fourth));
    keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(first),
               keys.begin() + static_cast<std::ptrdiff_t>(last));
    keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(first), run.begin(), run.end());
    return setTrackKeys(name, keys);
}
