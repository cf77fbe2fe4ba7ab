#include "editor/model/SceneDocument.h"

#include "engine/base/Log.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where an attribute's value stands inside a start tag: [begin, end) without its quotes.
struct AttributeSpan {
    std::string name;
    size_t valueBegin = 0;
    size_t valueEnd = 0;
};

// The attributes of a start tag by their bytes, and where a new one goes (before the white space
// and "/>" or ">" that end the tag).
std::vector<AttributeSpan> attributeSpans(const std::string& s, const XMLTag* tag, size_t& insertAt) {
    std::vector<AttributeSpan> spans;
    size_t end = tag->startTagEnd - 1; // the ">"
    insertAt = end;
    if (insertAt > tag->sourceBegin && s[insertAt - 1] == '/') --insertAt;
    while (insertAt > tag->sourceBegin && isSpace(s[insertAt - 1]))
        --insertAt;
    size_t i = tag->sourceBegin + 1;
    while (i < end && !isSpace(s[i]) && s[i] != '/' && s[i] != '>')
        ++i;
    while (i < end) {
        while (i < end && (isSpace(s[i]) || s[i] == '/'))
            ++i;
        if (i >= end) break;
        const size_t nameBegin = i;
        while (i < end && !isSpace(s[i]) && s[i] != '=' && s[i] != '/' && s[i] != '>')
            ++i;
        if (i == nameBegin) {
            ++i;
            continue;
        }
        AttributeSpan span;
        span.name = s.substr(nameBegin, i - nameBegin);
        while (i < end && isSpace(s[i]))
            ++i;
        if (i < end && s[i] == '=') {
            ++i;
            while (i < end && isSpace(s[i]))
                ++i;
            if (i < end && (s[i] == '"' || s[i] == '\'')) {
                const char quote = s[i++];
                size_t close = s.find(quote, i);
                if (close == std::string::npos || close > end) close = end;
                span.valueBegin = i;
                span.valueEnd = close;
                i = close < end ? close + 1 : end;
            } else {
                span.valueBegin = i;
                while (i < end && !isSpace(s[i]) && !(s[i] == '/' && i + 1 == end))
                    ++i;
                span.valueEnd = i;
            }
        } else {
            span.valueBegin = span.valueEnd = i;
        }
        spans.push_back(span);
    }
    return spans;
}

const std::vector<std::string> sectionOrder = {"meshes", "materials",   "objects",      "lights",
                                               "actors", "automations", "eventtrigger", "audio"};

} // namespace

bool SceneDocument::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    const size_t slash = path.find_last_of('/');
    loadText(std::move(bytes), slash == std::string::npos ? path : path.substr(slash + 1));
    return true;
}

void SceneDocument::loadText(std::string text, std::string sourceName) {
    text_ = std::move(text);
    sourceName_ = std::move(sourceName);
    recording_ = false;
    recorded_.clear();
    reparse();
}

void SceneDocument::reparse() {
    // What the reader would say about the file was said when it was loaded; an edit repeats it.
    ++revision_;
    ProblemsMuted muted;
    LogSink previous = setLogSink([](const std::string&) {});
    xml_.loadFromBytes(reinterpret_cast<const uint8_t*>(text_.data()), text_.size(), sourceName_);
    setLogSink(previous);
}

XMLTag* SceneDocument::section(const std::string& name) const {
    return xml_.findTag("base::scene::" + name);
}

XMLTag* SceneDocument::child(const XMLTag* parent, const std::string& name) {
    for (const auto& c : childrenOf(parent))
        if (c->name == name) return c.get();
    return nullptr;
}

XMLTag* SceneDocument::entity(const std::string& name, std::string* sectionName) const {
    for (const char* s : {"objects", "lights", "actors"})
        if (XMLTag* found = child(section(s), name)) {
            if (sectionName) *sectionName = s;
            return found;
        }
    return nullptr;
}

bool SceneDocument::vector(const std::string& entityName, const std::string& element, Vector& out) const {
    const XMLTag* tag = child(entity(entityName), element);
    if (!tag) return false;
    out = tagToVector(tag);
    return true;
}

XMLTag* SceneDocument::binding(const std::string& entityName, const std::string& parameter) const {
    return child(section("automations"), entityName + "::" + parameter);
}

std::vector<DocumentKey> SceneDocument::keys(const std::string& entityName,
                                             const std::string& parameter) const {
    std::vector<DocumentKey> out;
    for (const auto& k : childrenOf(binding(entityName, parameter))) {
        float slots[4] = {0, 0, 0, 0};
        tagToFloats(k.get(), slots, 4);
        out.push_back({slots[0], {slots[1], slots[2], slots[3]}});
    }
    return out;
}

std::vector<DocumentEvent> SceneDocument::events() const {
    std::vector<DocumentEvent> out;
    for (const auto& e : childrenOf(section("eventtrigger"))) {
        DocumentEvent event;
        event.name = e->name;
        for (const auto& [key, value] : e->attributes) {
            if (key == "eventTime") event.time = attributeFloat(value);
            if (key == "target") event.target = value;
        }
        out.push_back(event);
    }
    return out;
}

// ---- style ----

std::string SceneDocument::lineEnd() const {
    return text_.find("\r\n") != std::string::npos ? "\r\n" : "\n";
}

std::string SceneDocument::indentOf(size_t offset) const {
    size_t start = offset;
    while (start > 0 && text_[start - 1] != '\n')
        --start;
    for (size_t i = start; i < offset; ++i)
        if (text_[i] != ' ' && text_[i] != '\t') return std::string();
    return text_.substr(start, offset - start);
}

std::string SceneDocument::indentUnit() const {
    // The step between the root's indentation and its first child's.
    if (const XMLTag* scene = xml_.findTag("base::scene")) {
        const std::string outer = indentOf(xml_.root->sourceBegin);
        const std::string inner = indentOf(scene->sourceBegin);
        if (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0)
            return inner.substr(outer.size());
    }
    return "  ";
}

char SceneDocument::quoteStyle() const {
    // The quote the file uses most.
    size_t single = 0, twin = 0;
    for (size_t i = 0; i + 1 < text_.size(); ++i)
        if (text_[i] == '=') {
            single += text_[i + 1] == '\'';
            twin += text_[i + 1] == '"';
        }
    return single > twin ? '\'' : '"';
}

std::string
SceneDocument::emptyElement(const std::string& name,
                            const std::vector<std::pair<std::string, std::string>>& attributes) const {
    // "<name />": the reader takes "<name/>" for an end tag.
    const char q = quoteStyle();
    std::string out = "<" + name;
    for (const auto& [key, value] : attributes)
        out += " " + key + "=" + q + value + q;
    return out + " />";
}

std::string SceneDocument::formatNumber(float value) {
    if (value == 0.0f || std::isnan(value)) return "0";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool SceneDocument::validName(const std::string& name) {
    if (name.empty() || name.rfind("--", 0) == 0) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '.' || c == '-' || c == ':';
    });
}

// ---- splicing ----

void SceneDocument::splice(size_t offset, size_t length, const std::string& inserted) {
    offset = std::min(offset, text_.size());
    length = std::min(length, text_.size() - offset);
    Splice s{offset, text_.substr(offset, length), inserted};
    text_.replace(offset, length, inserted);
    if (recording_) recorded_.push_back(std::move(s));
    reparse();
}

void SceneDocument::beginRecording() {
    recording_ = true;
    recorded_.clear();
}

std::vector<Splice> SceneDocument::endRecording() {
    recording_ = false;
    return std::move(recorded_);
}

void SceneDocument::revert(const std::vector<Splice>& splices) {
    for (auto it = splices.rbegin(); it != splices.rend(); ++it)
        text_.replace(it->offset, it->inserted.size(), it->removed);
    reparse();
}

void SceneDocument::replay(const std::vector<Splice>& splices) {
    for (const Splice& s : splices)
        text_.replace(s.offset, s.removed.size(), s.inserted);
    reparse();
}

void SceneDocument::insertChild(XMLTag* parent, const XMLTag* after, const std::string& elementText) {
    const auto& children = childrenOf(parent);
    if (!after && !children.empty()) after = children.back().get();
    if (after) {
        // On a line of its own below the sibling, with the sibling's indentation.
        const std::string indent = indentOf(after->sourceBegin);
        splice(after->sourceEnd, 0, lineEnd() + indent + elementText);
        return;
    }
    const std::string indent = indentOf(parent->sourceBegin) + indentUnit();
    if (parent->sourceEnd == parent->startTagEnd) {
        // An empty element written "<name />" opens to take its first child.
        WrittenTag written;
        std::string start = text_.substr(parent->sourceBegin, parent->startTagEnd - parent->sourceBegin);
        size_t close = start.size() - 1;
        if (close > 0 && start[close - 1] == '/') --close;
        while (close > 0 && isSpace(start[close - 1]))
            --close;
        const std::string opened = start.substr(0, close) + ">" + lineEnd() + indent + elementText +
                                   lineEnd() + indentOf(parent->sourceBegin) + "</" + parent->name + ">";
        splice(parent->sourceBegin, start.size(), opened);
        return;
    }
    splice(parent->startTagEnd, 0, lineEnd() + indent + elementText);
}

void SceneDocument::removeElement(const XMLTag* tag) {
    size_t begin = tag->sourceBegin;
    size_t end = tag->sourceEnd;
    size_t lineStart = begin;
    while (lineStart > 0 && (text_[lineStart - 1] == ' ' || text_[lineStart - 1] == '\t'))
        --lineStart;
    size_t lineStop = end;
    while (lineStop < text_.size() && (text_[lineStop] == ' ' || text_[lineStop] == '\t'))
        ++lineStop;
    const bool aloneBefore = lineStart == 0 || text_[lineStart - 1] == '\n';
    const bool aloneAfter = lineStop >= text_.size() || text_[lineStop] == '\n' || text_[lineStop] == '\r';
    if (aloneBefore && aloneAfter && lineStart > 0) {
        // The line goes with its line break before it, so the lines around stay as they were.
        begin = lineStart - 1;
        if (begin > 0 && text_[begin - 1] == '\r') --begin;
        end = lineStop;
    }
    splice(begin, end - begin, "");
}

XMLTag* SceneDocument::ensureSection(const std::string& name) {
    if (XMLTag* found = section(name)) return found;
    XMLTag* scene = xml_.findTag("base::scene");
    if (!scene) return nullptr;
    // After the nearest section that comes before it in the usual order.
    const auto position = std::find(sectionOrder.begin(), sectionOrder.end(), name);
    const XMLTag* after = nullptr;
    for (auto it = sectionOrder.begin(); it != position && it != sectionOrder.end(); ++it)
        if (XMLTag* s = section(*it)) after = s;
    const std::string indent =
        after ? indentOf(after->sourceBegin) : indentOf(scene->sourceBegin) + indentUnit();
    const std::string element = "<" + name + ">" + lineEnd() + indent + "</" + name + ">";
    if (after) {
        splice(after->sourceEnd, 0, lineEnd() + lineEnd() + indent + element);
    } else if (!childrenOf(scene).empty()) {
        const XMLTag* first = childrenOf(scene).front().get();
        splice(first->sourceBegin, 0, element + lineEnd() + lineEnd() + indent);
    } else {
        insertChild(scene, nullptr, element);
    }
    return section(name);
}

bool SceneDocument::setAttributes(const XMLTag* tag,
                                  const std::vector<std::pair<std::string, std::string>>& values) {
    if (!tag || tag->startTagEnd <= tag->sourceBegin || tag->startTagEnd > text_.size()) return false;
    size_t insertAt = 0;
    const std::vector<AttributeSpan> spans = attributeSpans(text_, tag, insertAt);
    // Rebuilt from the start tag's own bytes, replacing only the values that change.
    struct Change {
        size_t begin, end;
        std::string text;
    };
    std::vector<Change> changes;
    const char q = quoteStyle();
    for (const auto& [name, value] : values) {
        auto span =
            std::find_if(spans.begin(), spans.end(), [&](const AttributeSpan& a) { return a.name == name; });
        if (span != spans.end()) {
            const std::string current = text_.substr(span->valueBegin, span->valueEnd - span->valueBegin);
            if (current != value) changes.push_back({span->valueBegin, span->valueEnd, value});
        } else {
            changes.push_back({insertAt, insertAt, " " + name + "=" + q + value + q});
        }
    }
    if (changes.empty()) return true;
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.begin < b.begin; });
    const size_t from = changes.front().begin;
    const size_t to = std::max_element(changes.begin(), changes.end(), [](const Change& a, const Change& b) {
                          return a.end < b.end;
                      })->end;
    std::string replacement;
    size_t at = from;
    for (const Change& c : changes) {
        replacement += text_.substr(at, c.begin - at) + c.text;
        at = c.end;
    }
    replacement += text_.substr(at, to - at);
    splice(from, to - from, replacement);
    return true;
}

// ---- edits ----

bool SceneDocument::setVector(const std::string& entityName, const std::string& element,
                              const Vector& value) {
    XMLTag* owner = entity(entityName);
    if (!owner || !validName(element)) return false;
    XMLTag* tag = child(owner, element);
    const float parts[3] = {value.x, value.y, value.z};
    const char* names[3] = {"x", "y", "z"};
    if (!tag) {
        std::vector<std::pair<std::string, std::string>> attributes;
        for (int i = 0; i < 3; ++i)
            attributes.emplace_back(names[i], formatNumber(parts[i]));
        insertChild(owner, nullptr, emptyElement(element, attributes));
        return true;
    }
    // A value that already reads as the one wanted keeps the author's spelling ("1.0", "0.500").
    const Vector current = tagToVector(tag);
    const float have[3] = {current.x, current.y, current.z};
    std::vector<std::pair<std::string, std::string>> changed;
    for (int i = 0; i < 3; ++i) {
        const bool present = std::any_of(tag->attributes.begin(), tag->attributes.end(),
                                         [&](const auto& a) { return a.first == names[i]; });
        if (!present || std::bit_cast<uint32_t>(have[i]) != std::bit_cast<uint32_t>(parts[i]))
            changed.emplace_back(names[i], formatNumber(parts[i]));
    }
    return setAttributes(tag, changed);
}

bool SceneDocument::addKey(const std::string& entityName, const std::string& parameter,
                           const DocumentKey& key) {
    if (!validName(entityName) || !validName(parameter) || !std::isfinite(key.time)) return false;
    XMLTag* path = binding(entityName, parameter);
    if (!path) {
        XMLTag* list = ensureSection("automations");
        if (!list) return false;
        const std::string name = entityName + "::" + parameter;
        const std::string inner = indentOf(list->sourceBegin) + indentUnit() + indentUnit();
        const std::string pathIndent = indentOf(list->sourceBegin) + indentUnit();
        insertChild(list, nullptr, "<" + name + ">" + lineEnd() + pathIndent + "</" + name + ">");
        (void)inner;
        path = binding(entityName, parameter);
        if (!path) return false;
    }
    // Attribute names as the path's other keys write them.
    std::vector<std::string> names = {"v0", "v1", "v2", "v3"};
    const auto& children = childrenOf(path);
    const std::string element = children.empty() ? std::string("key") : children.front()->name;
    if (!children.empty() && children.front()->attributes.size() >= 4)
        for (size_t i = 0; i < 4; ++i)
            names[i] = children.front()->attributes[i].first;
    const std::vector<std::pair<std::string, std::string>> attributes = {
        {names[0], formatNumber(key.time)},
        {names[1], formatNumber(key.value.x)},
        {names[2], formatNumber(key.value.y)},
        {names[3], formatNumber(key.value.z)}};
    const XMLTag* after = nullptr;
    bool beforeAll = !children.empty();
    for (const auto& k : children) {
        float t = 0.0f;
        tagToFloats(k.get(), &t, 1);
        if (t <= key.time) {
            after = k.get();
            beforeAll = false;
        }
    }
    if (beforeAll) {
        const XMLTag* first = children.front().get();
        splice(first->sourceBegin, 0,
               emptyElement(element, attributes) + lineEnd() + indentOf(first->sourceBegin));
        return true;
    }
    insertChild(path, after, emptyElement(element, attributes));
    return true;
}

bool SceneDocument::setKey(const std::string& entityName, const std::string& parameter, size_t index,
                           const DocumentKey& key) {
    const XMLTag* path = binding(entityName, parameter);
    const auto& children = childrenOf(path);
    if (index >= children.size() || !std::isfinite(key.time)) return false;
    const std::vector<DocumentKey> all = keys(entityName, parameter);
    // A key that moves past its neighbours in time goes to its new place in the order.
    const bool inOrder = (index == 0 || all[index - 1].time <= key.time) &&
                         (index + 1 == all.size() || key.time <= all[index + 1].time);
    if (!inOrder) {
        removeKey(entityName, parameter, index);
        return addKey(entityName, parameter, key);
    }
    const XMLTag* tag = children[index].get();
    std::vector<std::string> names = {"v0", "v1", "v2", "v3"};
    for (size_t i = 0; i < 4 && i < tag->attributes.size(); ++i)
        names[i] = tag->attributes[i].first;
    const float wanted[4] = {key.time, key.value.x, key.value.y, key.value.z};
    float have[4] = {0, 0, 0, 0};
    tagToFloats(tag, have, 4);
    std::vector<std::pair<std::string, std::string>> changed;
    for (size_t i = 0; i < 4; ++i)
        if (i >= tag->attributes.size() ||
            std::bit_cast<uint32_t>(have[i]) != std::bit_cast<uint32_t>(wanted[i]))
            changed.emplace_back(names[i], formatNumber(wanted[i]));
    return setAttributes(tag, changed);
}

bool SceneDocument::removeKey(const std::string& entityName, const std::string& parameter, size_t index) {
    const auto& children = childrenOf(binding(entityName, parameter));
    if (index >= children.size()) return false;
    removeElement(children[index].get());
    return true;
}

bool SceneDocument::addEvent(const DocumentEvent& event) {
    if (!validName(event.name) || (!event.target.empty() && !validName(event.target)) ||
        !std::isfinite(event.time))
        return false;
    XMLTag* list = ensureSection("eventtrigger");
    if (!list) return false;
    std::vector<std::pair<std::string, std::string>> attributes = {{"eventTime", formatNumber(event.time)}};
    if (!event.target.empty()) attributes.emplace_back("target", event.target);
    // In time order among the others, after those at the same time.
    const XMLTag* after = nullptr;
    bool beforeAll = !childrenOf(list).empty();
    const std::vector<DocumentEvent> all = events();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].time <= event.time) {
            after = childrenOf(list)[i].get();
            beforeAll = false;
        }
    if (beforeAll) {
        const XMLTag* first = childrenOf(list).front().get();
        splice(first->sourceBegin, 0,
               emptyElement(event.name, attributes) + lineEnd() + indentOf(first->sourceBegin));
        return true;
    }
    insertChild(list, after, emptyElement(event.name, attributes));
    return true;
}

bool SceneDocument::setEvent(size_t index, const DocumentEvent& event) {
    const auto& children = childrenOf(section("eventtrigger"));
    if (index >= children.size() || !validName(event.name) ||
        (!event.target.empty() && !validName(event.target)) || !std::isfinite(event.time))
        return false;
    const DocumentEvent before = events()[index];
    const XMLTag* tag = children[index].get();
    if (before.target != event.target && event.target.empty()) {
        // No target: the event goes to every subscriber, so the attribute goes.
        removeEvent(index);
        return addEvent(event);
    }
    std::vector<std::pair<std::string, std::string>> changed;
    if (std::bit_cast<uint32_t>(before.time) != std::bit_cast<uint32_t>(event.time))
        changed.emplace_back("eventTime", formatNumber(event.time));
    if (before.target != event.target) changed.emplace_back("target", event.target);
    const size_t begin = tag->sourceBegin;
    if (!setAttributes(tag, changed)) return false;
    if (before.name != event.name) splice(begin + 1, before.name.size(), event.name);
    return true;
}

bool SceneDocument::removeEvent(size_t index) {
    const auto& children = childrenOf(section("eventtrigger"));
    if (index >= children.size()) return false;
    removeElement(children[index].get());
    return true;
}

bool SceneDocument::addListEntry(const std::string& sectionName, const std::string& name) {
    if (!validName(name)) return false;
    XMLTag* list = ensureSection(sectionName);
    if (!list) return false;
    if (child(list, name)) return true;
    insertChild(list, nullptr, emptyElement(name, {}));
    return true;
}

bool SceneDocument::addObject(const std::string& name, const std::string& mesh, const std::string& material,
                              const Vector& position, const Vector& scale) {
    if (!validName(name) || entity(name) || !validName(mesh) || !validName(material)) return false;
    if (!addListEntry("meshes", mesh) || !addListEntry("materials", material)) return false;
    XMLTag* list = ensureSection("objects");
    if (!list) return false;
    insertChild(list, nullptr,
                "<" + name + ">" + lineEnd() + indentOf(list->sourceBegin) + indentUnit() + "</" + name +
                    ">");
    setVector(name, "Position", position);
    setVector(name, "Scale", scale);
    insertChild(entity(name), nullptr, emptyElement("Mesh", {{"MeshName", mesh}}));
    insertChild(entity(name), nullptr, emptyElement("Material", {{"MaterialName", material}}));
    return true;
}

bool SceneDocument::addLight(const std::string& name, const Vector& colour, const Vector& position,
                             float cutoff) {
    if (!validName(name) || entity(name)) return false;
    XMLTag* list = ensureSection("lights");
    if (!list) return false;
    insertChild(list, nullptr,
                "<" + name + ">" + lineEnd() + indentOf(list->sourceBegin) + indentUnit() + "</" + name +
                    ">");
    setVector(name, "Color", colour);
    setVector(name, "Position", position);
    setVector(name, "Cutoff", {cutoff, 0.0f, 0.0f});
    return true;
}

bool SceneDocument::addActor(const std::string& name, const std::string& className) {
    if (!validName(name) || entity(name) || !validName(className)) return false;
    XMLTag* list = ensureSection("actors");
    if (!list) return false;
    insertChild(list, nullptr, emptyElement(name, {{"classname", className}}));
    return true;
}

bool SceneDocument::removeEntity(const std::string& name) {
    std::string sectionName;
    XMLTag* tag = entity(name, &sectionName);
    if (!tag) return false;
    removeElement(tag);
    // An event whose target names no actor goes to every subscriber: the events aimed at a
    // deleted actor go with it (unless another actor of that name is left to take them).
    if (sectionName == "actors" && !child(section("actors"), name)) {
        const std::vector<DocumentEvent> all = events();
        for (size_t i = all.size(); i-- > 0;)
            if (all[i].target == name) removeEvent(i);
    }
    // Its bindings would name an entity that is gone.
    for (;;) {
        const XMLTag* bound = nullptr;
        for (const auto& b : childrenOf(section("automations")))
            if (b->name.rfind(name + "::", 0) == 0) bound = b.get();
        if (!bound) break;
        removeElement(bound);
    }
    return true;
}
