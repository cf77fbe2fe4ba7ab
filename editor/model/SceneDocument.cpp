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

// The first byte of the tag that closed `tag`: where its content ends. The closing tag is the
// run from the first "<" after the last ">" before its own ">" (the reader takes any "<" inside a
// tag as a byte of it). An element that nothing closed, or one without content, gives its start
// tag's end: nothing inside it can be told apart from what follows.
size_t contentEnd(const std::string& s, const XMLTag* tag) {
    if (tag->sourceEnd <= tag->startTagEnd || tag->sourceEnd > s.size() || s[tag->sourceEnd - 1] != '>')
        return tag->startTagEnd;
    size_t i = tag->sourceEnd - 1;
    while (i > tag->startTagEnd && s[i - 1] != '>')
        --i;
    const size_t open = s.find('<', i);
    return open == std::string::npos || open >= tag->sourceEnd ? tag->startTagEnd : open;
}

std::vector<std::unique_ptr<XMLTag>>& childList(XMLTag* tag) {
    return static_cast<XMLTagExtended*>(tag)->children;
}

// Moves every tag of the subtrees children[from...] by `bytes` and `lines`, without recursion.
void shiftTrees(std::vector<std::unique_ptr<XMLTag>>& children, size_t from, std::ptrdiff_t bytes,
                std::ptrdiff_t lines) {
    const auto move = [&](XMLTag* t) {
        t->sourceBegin = static_cast<size_t>(static_cast<std::ptrdiff_t>(t->sourceBegin) + bytes);
        t->startTagEnd = static_cast<size_t>(static_cast<std::ptrdiff_t>(t->startTagEnd) + bytes);
        t->sourceEnd = static_cast<size_t>(static_cast<std::ptrdiff_t>(t->sourceEnd) + bytes);
        t->line = static_cast<size_t>(static_cast<std::ptrdiff_t>(t->line) + lines);
    };
    std::vector<std::vector<std::unique_ptr<XMLTag>>*> pending;
    const auto visit = [&](std::vector<std::unique_ptr<XMLTag>>& list, size_t first) {
        for (size_t i = first; i < list.size(); ++i) {
            XMLTag* t = list[i].get();
            move(t);
            // Every tag the reader makes is extended; most (keys, vectors) have no children.
            if (t->isExtended && !childList(t).empty()) pending.push_back(&childList(t));
        }
    };
    visit(children, from);
    while (!pending.empty()) {
        std::vector<std::unique_ptr<XMLTag>>* list = pending.back();
        pending.pop_back();
        visit(*list, 0);
    }
}

DocumentKey keyOf(const XMLTag* tag) {
    float slots[4] = {0, 0, 0, 0};
    tagToFloats(tag, slots, 4);
    DocumentKey key{slots[0], {slots[1], slots[2], slots[3]}};
    // After the four values, as the loader reads it.
    for (size_t i = 4; i < tag->attributes.size(); ++i)
        if (tag->attributes[i].first == "interpolation")
            parseInterpolation(tag->attributes[i].second, key.interpolation);
    return key;
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
    sourceName_ = std::move(sourceName);
    recording_ = false;
    recorded_.clear();
    readWhole(text);
}

void SceneDocument::readWhole(const std::string& text) {
    // What the reader would say about the file was said when it was loaded; an edit repeats it.
    ++revision_;
    keyCache_.clear();
    {
        ProblemsMuted muted;
        LogSink previous = setLogSink([](const std::string&) {});
        xml_.loadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), sourceName_);
        setLogSink(previous);
    }
    pairs_ = countPairs(xml_.source, 0, xml_.source.size());
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
    if (entityName.empty()) return freeTrackKeys(parameter);
    return keysOf(binding(entityName, parameter));
}

const std::vector<DocumentKey>& SceneDocument::keysOf(const XMLTag* path) const {
    static const std::vector<DocumentKey> none;
    if (!path) return none;
    auto [entry, made] = keyCache_.try_emplace(path);
    if (made)
        for (const auto& k : childrenOf(path))
            entry->second.push_back(keyOf(k.get()));
    return entry->second;
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
    return pairs_.crlf > 0 ? "\r\n" : "\n";
}

std::string SceneDocument::indentOf(size_t offset) const {
    size_t start = offset;
    while (start > 0 && xml_.source[start - 1] != '\n')
        --start;
    for (size_t i = start; i < offset; ++i)
        if (xml_.source[i] != ' ' && xml_.source[i] != '\t') return std::string();
    return xml_.source.substr(start, offset - start);
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
    return pairs_.single > pairs_.twin ? '\'' : '"';
}

SceneDocument::PairCount SceneDocument::countPairs(const std::string& s, size_t from, size_t to) {
    PairCount count;
    for (size_t i = from; i + 1 < to; ++i) {
        if (s[i] == '=') {
            count.single += s[i + 1] == '\'';
            count.twin += s[i + 1] == '"';
        }
        count.crlf += s[i] == '\r' && s[i + 1] == '\n';
    }
    return count;
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
    offset = std::min(offset, xml_.source.size());
    length = std::min(length, xml_.source.size() - offset);
    if (recording_) recorded_.push_back({offset, xml_.source.substr(offset, length), inserted});
    apply(offset, length, inserted);
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
        apply(it->offset, it->inserted.size(), it->removed);
}

void SceneDocument::replay(const std::vector<Splice>& splices) {
    for (const Splice& s : splices)
        apply(s.offset, s.removed.size(), s.inserted);
}

void SceneDocument::apply(size_t offset, size_t length, const std::string& inserted) {
    std::string& s = xml_.source;
    // The byte pairs that the splice can make or break lie within one byte of it.
    const size_t around = offset > 0 ? offset - 1 : 0;
    const PairCount before = countPairs(s, around, std::min(offset + length + 1, s.size()));
    TreeChange change;
    const bool local = planTreeChange(offset, length, change);
    const std::string removed = s.substr(offset, length);
    s.replace(offset, length, inserted);
    const PairCount after = countPairs(s, around, std::min(offset + inserted.size() + 1, s.size()));
    pairs_.single = pairs_.single - before.single + after.single;
    pairs_.twin = pairs_.twin - before.twin + after.twin;
    pairs_.crlf = pairs_.crlf - before.crlf + after.crlf;
    if (local && readAgain(change, removed, inserted)) {
        ++revision_;
        return;
    }
    const std::string whole = s;
    readWhole(whole);
}

bool SceneDocument::planTreeChange(size_t offset, size_t length, TreeChange& change) const {
    const std::string& s = xml_.source;
    const size_t a = offset, b = offset + length;
    XMLTag* parent = xml_.root.get();
    if (!parent || !parent->isExtended || parent->sourceEnd <= parent->startTagEnd ||
        a < parent->startTagEnd || b > contentEnd(s, parent))
        return false;
    // Down to the deepest element whose content holds the whole splice.
    for (;;) {
        const auto& children = childList(parent);
        const auto next = std::partition_point(children.begin(), children.end(),
                                               [&](const auto& t) { return t->sourceBegin <= a; });
        if (next == children.begin()) break;
        XMLTag* inner = std::prev(next)->get();
        if (!inner->isExtended || inner->sourceEnd <= inner->startTagEnd || a < inner->startTagEnd ||
            b > contentEnd(s, inner))
            break;
        change.path.push_back({parent, static_cast<size_t>(std::prev(next) - children.begin())});
        parent = inner;
    }
    // Its children that the splice reaches into: each is read again whole.
    const auto& children = childList(parent);
    change.parent = parent;
    change.first =
        static_cast<size_t>(std::partition_point(children.begin(), children.end(),
                                                 [&](const auto& t) { return t->sourceEnd <= a; }) -
                            children.begin());
    change.last =
        static_cast<size_t>(std::partition_point(children.begin(), children.end(),
                                                 [&](const auto& t) { return t->sourceBegin < b; }) -
                            children.begin());
    const bool some = change.first < change.last;
    change.begin = some ? std::min(a, children[change.first]->sourceBegin) : a;
    change.end = some ? std::max(b, children[change.last - 1]->sourceEnd) : b;
    // The reader must be outside every tag where the bytes read again begin and end: between the
    // neighbours there may be text, but nothing that opens or closes a tag.
    const size_t before = change.first > 0 ? children[change.first - 1]->sourceEnd : parent->startTagEnd;
    const size_t after =
        change.last < children.size() ? children[change.last]->sourceBegin : contentEnd(s, parent);
    if (before > change.begin || after < change.end) return false;
    auto plain = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            if (s[i] == '<' || s[i] == '>') return false;
        return true;
    };
    return plain(before, change.begin) && plain(change.end, after);
}

bool SceneDocument::readAgain(const TreeChange& change, const std::string& removed,
                              const std::string& inserted) {
    const std::string& s = xml_.source;
    const std::ptrdiff_t bytes =
        static_cast<std::ptrdiff_t>(inserted.size()) - static_cast<std::ptrdiff_t>(removed.size());
    const size_t end = static_cast<size_t>(static_cast<std::ptrdiff_t>(change.end) + bytes);
    const std::string piece = s.substr(change.begin, end - change.begin);
    // The bytes must end outside every tag ("<" after the last ">" would run on into what
    // follows them) and make whole elements: read inside an element of their own, that element
    // must be closed by its own end tag, not sooner or later.
    const size_t lastOpen = piece.rfind('<'), lastClose = piece.rfind('>');
    if (lastOpen != std::string::npos && (lastClose == std::string::npos || lastClose < lastOpen))
        return false;
    const std::string wrapped = "<r>" + piece + "</r> ";
    XMLDocument reading;
    {
        ProblemsMuted muted;
        LogSink previous = setLogSink([](const std::string&) {});
        reading.loadFromBytes(reinterpret_cast<const uint8_t*>(wrapped.data()), wrapped.size(), sourceName_);
        setLogSink(previous);
    }
    if (!reading.root || !reading.root->isExtended || reading.root->sourceEnd + 1 != wrapped.size())
        return false;
    std::vector<std::unique_ptr<XMLTag>>& fresh = childList(reading.root.get());

    // Where the new elements stand: the line of the first byte read comes from the last element
    // that starts before it.
    auto& children = childList(change.parent);
    const XMLTag* earlier = change.parent;
    if (change.first > 0) {
        earlier = children[change.first - 1].get();
        while (!childrenOf(earlier).empty())
            earlier = childrenOf(earlier).back().get();
    }
    const size_t line =
        earlier->line +
        static_cast<size_t>(std::count(s.begin() + static_cast<std::ptrdiff_t>(earlier->sourceBegin),
                                       s.begin() + static_cast<std::ptrdiff_t>(change.begin), '\n'));
    shiftTrees(fresh, 0, static_cast<std::ptrdiff_t>(change.begin) - 3,
               static_cast<std::ptrdiff_t>(line) - 1);
    const std::ptrdiff_t lines =
        std::count(inserted.begin(), inserted.end(), '\n') - std::count(removed.begin(), removed.end(), '\n');

    // The keys known of a path follow its children; paths that go are forgotten. Paths are the
    // children of a section (root, scene, section, path).
    const size_t depth = change.path.size();
    if (auto known = keyCache_.find(change.parent); known != keyCache_.end()) {
        std::vector<DocumentKey>& keys = known->second;
        keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(change.first),
                   keys.begin() + static_cast<std::ptrdiff_t>(change.last));
        std::vector<DocumentKey> made;
        for (const auto& k : fresh)
            made.push_back(keyOf(k.get()));
        keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(change.first), made.begin(), made.end());
    }
    if (depth + 1 < 3) {
        keyCache_.clear();
    } else if (depth + 1 == 3) {
        for (size_t i = change.first; i < change.last; ++i)
            keyCache_.erase(children[i].get());
    }

    // The new elements in place of the old, without moving the other children where the counts
    // allow (a path's keys are many).
    const size_t made = fresh.size(), gone = change.last - change.first, kept = std::min(made, gone);
    for (size_t i = 0; i < kept; ++i)
        children[change.first + i] = std::move(fresh[i]);
    if (gone > kept)
        children.erase(children.begin() + static_cast<std::ptrdiff_t>(change.first + kept),
                       children.begin() + static_cast<std::ptrdiff_t>(change.last));
    if (made > kept)
        children.insert(children.begin() + static_cast<std::ptrdiff_t>(change.first + kept),
                        std::make_move_iterator(fresh.begin() + static_cast<std::ptrdiff_t>(kept)),
                        std::make_move_iterator(fresh.end()));
    if (bytes == 0 && lines == 0) return true;
    // Everything after the splice moves with it; the elements around it end later.
    shiftTrees(children, change.first + made, bytes, lines);
    change.parent->sourceEnd =
        static_cast<size_t>(static_cast<std::ptrdiff_t>(change.parent->sourceEnd) + bytes);
    for (auto it = change.path.rbegin(); it != change.path.rend(); ++it) {
        shiftTrees(childList(it->first), it->second + 1, bytes, lines);
        it->first->sourceEnd = static_cast<size_t>(static_cast<std::ptrdiff_t>(it->first->sourceEnd) + bytes);
    }
    return true;
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
        std::string start =
            xml_.source.substr(parent->sourceBegin, parent->startTagEnd - parent->sourceBegin);
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
    while (lineStart > 0 && (xml_.source[lineStart - 1] == ' ' || xml_.source[lineStart - 1] == '\t'))
        --lineStart;
    size_t lineStop = end;
    while (lineStop < xml_.source.size() && (xml_.source[lineStop] == ' ' || xml_.source[lineStop] == '\t'))
        ++lineStop;
    const bool aloneBefore = lineStart == 0 || xml_.source[lineStart - 1] == '\n';
    const bool aloneAfter =
        lineStop >= xml_.source.size() || xml_.source[lineStop] == '\n' || xml_.source[lineStop] == '\r';
    if (aloneBefore && aloneAfter && lineStart > 0) {
        // The line goes with its line break before it, so the lines around stay as they were.
        begin = lineStart - 1;
        if (begin > 0 && xml_.source[begin - 1] == '\r') --begin;
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
    if (!tag || tag->startTagEnd <= tag->sourceBegin || tag->startTagEnd > xml_.source.size()) return false;
    size_t insertAt = 0;
    const std::vector<AttributeSpan> spans = attributeSpans(xml_.source, tag, insertAt);
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
            const std::string current =
                xml_.source.substr(span->valueBegin, span->valueEnd - span->valueBegin);
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
        replacement += xml_.source.substr(at, c.begin - at) + c.text;
        at = c.end;
    }
    replacement += xml_.source.substr(at, to - at);
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
    if (entityName.empty()) return addFreeTrackKey(parameter, key);
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
    std::vector<std::pair<std::string, std::string>> attributes = {{names[0], formatNumber(key.time)},
                                                                   {names[1], formatNumber(key.value.x)},
                                                                   {names[2], formatNumber(key.value.y)},
                                                                   {names[3], formatNumber(key.value.z)}};
    if (key.interpolation != Interpolation::CatmullRom)
        attributes.emplace_back("interpolation", interpolationName(key.interpolation));
    const XMLTag* after = nullptr;
    bool beforeAll = !children.empty();
    const std::vector<DocumentKey>& known = keysOf(path);
    for (size_t i = known.size(); i-- > 0;)
        if (known[i].time <= key.time) {
            after = children[i].get();
            beforeAll = false;
            break;
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
    if (entityName.empty()) return setFreeTrackKey(parameter, index, key);
    const XMLTag* path = binding(entityName, parameter);
    const auto& children = childrenOf(path);
    if (index >= children.size() || !std::isfinite(key.time)) return false;
    const std::vector<DocumentKey>& all = keysOf(path);
    // A key that moves past its neighbours in time goes to its new place in the order; one whose
    // time stays stays where the file has it, in order or not.
    const bool inOrder =
        key.time == all[index].time || ((index == 0 || all[index - 1].time <= key.time) &&
                                        (index + 1 == all.size() || key.time <= all[index + 1].time));
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
    const Interpolation before = all[index].interpolation;
    if (key.interpolation != before && key.interpolation != Interpolation::CatmullRom)
        changed.emplace_back("interpolation", interpolationName(key.interpolation));
    if (!setAttributes(tag, changed)) return false;
    if (key.interpolation == before || key.interpolation != Interpolation::CatmullRom) return true;
    // Back to the default: the attribute goes, with the white space before it.
    const XMLTag* edited = childrenOf(binding(entityName, parameter))[index].get();
    size_t insertAt = 0;
    for (const AttributeSpan& span : attributeSpans(xml_.source, edited, insertAt)) {
        if (span.name != "interpolation") continue;
        size_t begin = xml_.source.rfind("interpolation", span.valueBegin);
        while (begin > edited->sourceBegin && isSpace(xml_.source[begin - 1]))
            --begin;
        size_t end = span.valueEnd;
        if (end < xml_.source.size() && (xml_.source[end] == '"' || xml_.source[end] == '\'')) ++end;
        splice(begin, end - begin, "");
        break;
    }
    return true;
}

bool SceneDocument::replaceKeys(const std::string& entityName, const std::string& parameter, size_t first,
                                size_t last, const std::vector<DocumentKey>& keys) {
    if (entityName.empty()) return replaceFreeTrackKeys(parameter, first, last, keys);
    const XMLTag* path = binding(entityName, parameter);
    const auto& children = childrenOf(path);
    if (first >= last || last > children.size() || keys.empty()) return false;
    for (const DocumentKey& key : keys)
        if (!std::isfinite(key.time)) return false;
    // Written as the path's first key writes its element and attributes, each on a line of its
    // own with the indentation of the run's first line.
    const XMLTag* model = children.front().get();
    std::vector<std::string> names = {"v0", "v1", "v2", "v3"};
    if (model->attributes.size() >= 4)
        for (size_t i = 0; i < 4; ++i)
            names[i] = model->attributes[i].first;
    const XMLTag* from = children[first].get();
    const XMLTag* to = children[last - 1].get();
    std::string text;
    for (const DocumentKey& key : keys) {
        if (!text.empty()) text += lineEnd() + indentOf(from->sourceBegin);
        std::vector<std::pair<std::string, std::string>> attributes = {{names[0], formatNumber(key.time)},
                                                                       {names[1], formatNumber(key.value.x)},
                                                                       {names[2], formatNumber(key.value.y)},
                                                                       {names[3], formatNumber(key.value.z)}};
        if (key.interpolation != Interpolation::CatmullRom)
            attributes.emplace_back("interpolation", interpolationName(key.interpolation));
        text += emptyElement(model->name, attributes);
    }
    splice(from->sourceBegin, to->sourceEnd - from->sourceBegin, text);
    return true;
}

bool SceneDocument::removeKey(const std::string& entityName, const std::string& parameter, size_t index) {
    if (entityName.empty()) return removeFreeTrackKey(parameter, index);
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
