// The scene file as the editor holds it: the author's bytes, always, with the reader's tree over
// them as an index. Every edit is a splice of those bytes (a range replaced by new text), made in
// the file's own style; bytes no edit touched never change, so a scene saved unchanged is the
// file it was, comments and unknown elements included.
//
// An edit costs what it changes: after a splice only the elements it reached into are read again
// and the byte ranges after it move with it (a splice that breaks elements apart has the whole
// file read again). The tree is always the one a fresh read of the text would give.
//
// The splices an edit made are recorded while a recording is open, so that the edit history can
// take them back (each splice knows what it removed) and make them again.
#pragma once

#include "math/Vector.h"
#include "scene/AutomationPath.h"
#include "scene/XMLDocument.h"

#include <array>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

struct Splice {
    size_t offset = 0;
    std::string removed;
    std::string inserted;
};

// One key of an automation path as the file writes it: music time, three values and how it moves
// on to the next key (written as interpolation="NAME" after the values; Catmull-Rom, the default,
// is written as no attribute).
struct DocumentKey {
    float time = 0.0f;
    Vector value;
    Interpolation interpolation = Interpolation::CatmullRom;
};

// One key of a free track (<tracks><NAME components="N">) as the file writes it: music time, the
// track's 1 to 4 values (the others 0) and how it moves on (interpolation="NAME" after them).
struct DocumentTrackKey {
    float time = 0.0f;
    std::array<float, 4> values{};
    Interpolation interpolation = Interpolation::CatmullRom;
    bool operator==(const DocumentTrackKey& other) const; // bit for bit
};

// One timed event of the <eventtrigger> section, in file order.
struct DocumentEvent {
    std::string name;
    float time = 0.0f;
    std::string target; // empty: every subscriber
};

class SceneDocument {
public:
    // The file's bytes; false (and an unchanged document) when it cannot be read.
    bool load(const std::string& path);
    void loadText(std::string text, std::string sourceName = "epicrealtimetest.xml");

    const std::string& text() const { return xml_.source; }
    const XMLDocument& xml() const { return xml_; }
    const std::string& sourceName() const { return sourceName_; }
    // Goes up with every change of the text, so that views of it know when to read it again.
    size_t revision() const { return revision_; }

    // base::scene::NAME, the first section of that name (the one the loader reads), or null.
    XMLTag* section(const std::string& name) const;
    // The first child of `parent` named `name`, or null.
    static XMLTag* child(const XMLTag* parent, const std::string& name);
    // The section that defines an entity (objects, lights or actors) and the entity's element.
    XMLTag* entity(const std::string& name, std::string* sectionName = nullptr) const;

    // Reads: an entity's vector element (<Position x= y= z=>), present or not; the keys of a
    // binding in file order; the events in file order. The key functions below take an empty
    // entity name for the free track named `parameter` (its first three values as a key's; a
    // fourth stays as the key had it, or as the key before it has it).
    bool vector(const std::string& entityName, const std::string& element, Vector& out) const;
    XMLTag* binding(const std::string& entityName, const std::string& parameter) const;
    std::vector<DocumentKey> keys(const std::string& entityName, const std::string& parameter) const;
    std::vector<DocumentEvent> events() const;

    // Edits, each in the file's own style; false (and nothing changed) when what they name is not
    // in the file. Names must keep to the bytes a scene file's names are read with.
    bool setVector(const std::string& entityName, const std::string& element, const Vector& value);
    // Inserted in time order (after keys of the same time); the binding is made on the first key.
    bool addKey(const std::string& entityName, const std::string& parameter, const DocumentKey& key);
    bool setKey(const std::string& entityName, const std::string& parameter, size_t index,
                const DocumentKey& key);
    bool removeKey(const std::string& entityName, const std::string& parameter, size_t index);
    // The keys [first, last) of a path (file order) give way to these, in one splice: the new keys
    // stand where the run stood, in the path's own style. False for an empty run or no keys.
    bool replaceKeys(const std::string& entityName, const std::string& parameter, size_t first, size_t last,
                     const std::vector<DocumentKey>& keys);
    // Free tracks (SceneDocumentTracks.cpp): the track's element and its value count (1 when it
    // does not say), or null; its keys in file order.
    XMLTag* freeTrack(const std::string& name, int* components = nullptr) const;
    std::vector<DocumentTrackKey> trackKeys(const std::string& name) const;
    // The track's keys become these (in time order): only the run of keys that differ is
    // rewritten, in the track's own style. False when the scene has no such track or a time is
    // not finite.
    bool setTrackKeys(const std::string& name, const std::vector<DocumentTrackKey>& keys);
    bool addEvent(const DocumentEvent& event);
    bool setEvent(size_t index, const DocumentEvent& event);
    bool removeEvent(size_t index);
    // A placed object (mesh and material list entries are added where missing), a light, an
    // actor of a class; false when the name is taken or not a valid name.
    bool addObject(const std::string& name, const std::string& mesh, const std::string& material,
                   const Vector& position, const Vector& scale);
    bool addLight(const std::string& name, const Vector& colour, const Vector& position, float cutoff);
    bool addActor(const std::string& name, const std::string& className);
    // Takes an object, light or actor out with its automation bindings, and an actor with the
    // events aimed at it.
    bool removeEntity(const std::string& name);
    // Adds a list entry (<meshes>, <materials>) when it is missing.
    bool addListEntry(const std::string& sectionName, const std::string& name);

    // The low-level edit: replaces `length` bytes at `offset` and reads again the elements it
    // reaches into (the whole file when the splice does not keep to whole elements).
    void splice(size_t offset, size_t length, const std::string& inserted);
    // Splices made since beginRecording, in the order made.
    void beginRecording();
    std::vector<Splice> endRecording();
    // Takes splices back (last first), or makes them again (first first).
    void revert(const std::vector<Splice>& splices);
    void replay(const std::vector<Splice>& splices);

    static bool validName(const std::string& name);
    // The shortest text that reads back as the same float ("0.5", "-3", "1e-05").
    static std::string formatNumber(float value);

private:
    // Where a splice goes in the tree: the deepest element whose content holds it, the path to it
    // from the root (each element with the index of the child taken), and its children that the
    // splice reaches into, [first, last), which stand on the bytes [begin, end).
    struct TreeChange {
        std::vector<std::pair<XMLTag*, size_t>> path;
        XMLTag* parent = nullptr;
        size_t first = 0, last = 0;
        size_t begin = 0, end = 0;
    };
    struct PairCount {
        size_t single = 0, twin = 0, crlf = 0; // ='  ="  \r\n
    };
    static PairCount countPairs(const std::string& s, size_t from, size_t to);

    void apply(size_t offset, size_t length, const std::string& inserted);
    void readWhole(const std::string& text);
    bool planTreeChange(size_t offset, size_t length, TreeChange& change) const;
    // After the splice: reads the bytes of the change alone and puts the elements they make in
    // place of the old ones; false when they do not make whole elements.
    bool readAgain(const TreeChange& change, const std::string& removed, const std::string& inserted);
    // A path's keys, read once and kept in step with every splice.
    const std::vector<DocumentKey>& keysOf(const XMLTag* path) const;
    // A free track's keys as keys of a path, and an edit of them as such (SceneDocumentTracks.cpp).
    std::vector<DocumentKey> freeTrackKeys(const std::string& name) const;
    bool addFreeTrackKey(const std::string& name, const DocumentKey& key);
    bool setFreeTrackKey(const std::string& name, size_t index, const DocumentKey& key);
    bool removeFreeTrackKey(const std::string& name, size_t index);
    bool replaceFreeTrackKeys(const std::string& name, size_t first, size_t last,
                              const std::vector<DocumentKey>& keys);
    std::string lineEnd() const;
    // The white space that starts the line `offset` lies on (empty when the line has more before it).
    std::string indentOf(size_t offset) const;
    std::string indentUnit() const;
    char quoteStyle() const;
    // Inserts a new child element's text as the last child of `parent` (or after `after`).
    void insertChild(XMLTag* parent, const XMLTag* after, const std::string& elementText);
    // Removes an element with its line when it stands alone on it.
    void removeElement(const XMLTag* tag);
    // A section's element, made (before </scene>, after its usual neighbours) when missing.
    XMLTag* ensureSection(const std::string& name);
    bool setAttributes(const XMLTag* tag, const std::vector<std::pair<std::string, std::string>>& values);
    std::string emptyElement(const std::string& name,
                             const std::vector<std::pair<std::string, std::string>>& attributes) const;

    std::string sourceName_ = "epicrealtimetest.xml";
    XMLDocument xml_;
    size_t revision_ = 0;
    bool recording_ = false;
    std::vector<Splice> recorded_;
    // Kept up to date by every splice, so that no edit reads the whole text.
    PairCount pairs_;
    mutable std::unordered_map<const XMLTag*, std::vector<DocumentKey>> keyCache_;
};
