// The scene files' XML: a small element tree, lookup by a "::"-separated path, and a byte-wise
// reader for the plain subset the scene files use (elements, attributes, nesting).
//
// The reader's quirks are the format that scene files are written in, so they are kept exactly:
// - every element read is an XMLTagExtended; text between tags is dropped;
// - quotes are dropped, a value is the run of name bytes after "=", ended by a space or the
//   end of the tag, other bytes vanish from names and values, an attribute with an empty value
//   is dropped;
// - the only separator is the space: a tab joins the element name and the first attribute;
// - a "/" before the name has ended makes the tag an end tag, so `<name/>` closes the open
//   element (the names are not compared) while `<name />` and `<name a=1/>` are empty elements;
// - `<?...>` is skipped, and a comment `<!-- x -->` opens an element named "--" that stays open.
//
// What the reader does NOT do: check that end tags match, decode entities or character sets,
// or keep text. Bytes that are not name bytes vanish, zero bytes included, so a file saved as
// UTF-16 reads as its text. Content it cannot place (an end tag with nothing open, a second
// top-level element, a tag cut off by the end of the file, a file with no element) is reported
// with one line naming the file and is otherwise ignored; nothing is ever read outside the
// buffer. Quirks that quietly change what a file says are noted as problems without a line
// (noteProblem, filed under the file and line): names run together by a tab or line break,
// elements still open at the end, and a comment that is not closed with "/-->" (with what it took
// in). A start tag whose names or values lost bytes is marked `altered` for the loader to judge.
//
// Every element read knows where it stands in the source, which the document keeps: its line and
// its byte range, so that a tool can point at it or splice a changed element into the file.
#pragma once

#include "math/Vector.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class XMLTag {
public:
    explicit XMLTag(std::string tagName);
    virtual ~XMLTag();

    // Appends the pair; duplicate names are kept.
    void addAttribute(std::string attributeName, std::string value);

    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes; // file order
    uint8_t isExtended = 0;                                      // 1 for an XMLTagExtended

    // Where the reader found the element (all 0 for one made in code): the line of its start tag,
    // from 1, and its bytes in the document's source: [sourceBegin, sourceEnd) runs from the start
    // tag's "<" to the end of the tag that closed it (the start tag alone for an empty element, the
    // end of the source for one never closed); [sourceBegin, startTagEnd) is the start tag.
    size_t line = 0;
    size_t sourceBegin = 0;
    size_t startTagEnd = 0;
    size_t sourceEnd = 0;
    // The reader dropped or ran together bytes of the start tag's names or values, so the element
    // does not say what its source says: a space inside a quoted value, a byte that is no name
    // byte, a name without "=value". Line breaks and tabs between names are noted by the reader.
    bool altered = false;

protected:
    XMLTag(std::string tagName, uint8_t extended);
};

class XMLTagExtended : public XMLTag {
public:
    explicit XMLTagExtended(std::string tagName);
    ~XMLTagExtended() override;

    // Appends the child (owned from now on) and returns it.
    XMLTag* addChild(std::unique_ptr<XMLTag> child);

    std::vector<std::unique_ptr<XMLTag>> children; // file order
};

// The children of a tag, or an empty list for a tag without children (or of the plain class).
const std::vector<std::unique_ptr<XMLTag>>& childrenOf(const XMLTag* tag);

class XMLDocument {
public:
    // The element named by the path ("base::scene::lights"), or null. Each segment picks the
    // first child of that name; a trailing "::" adds no segment. Writes nothing.
    XMLTag* findTag(const std::string& path) const;

    // Replaces the tree by the one read from the file. -1 when the file cannot be opened or read
    // (no line), when it is not a regular file (a directory, a FIFO: one line, and nothing is
    // opened, so a FIFO cannot block), or when its buffer cannot be allocated ("Alocate error!");
    // 0 otherwise, whatever the content.
    int load(const std::string& fileName);
    // The same reader over bytes in memory; `sourceName` names them in the reader's lines.
    int loadFromBytes(const uint8_t* data, size_t size, const std::string& sourceName);

    // The line (from 1) on which a byte offset of the source lies.
    size_t lineAt(size_t offset) const;

    std::unique_ptr<XMLTag> root;
    // The bytes the tree was read from; empty for a tree made in code.
    std::string source;
};

// A start tag as its source writes it, read by the usual rules of XML rather than the reader's:
// a quoted value keeps every byte between its quotes (spaces too; &amp; &lt; &gt; &quot; and
// &apos; decoded), an unquoted one runs to the next white space, and a name may hold any byte
// that is not white space, "=", "/" or ">". `valued` is false for a name written without "=".
struct WrittenAttribute {
    std::string name;
    std::string value;
    bool valued = true;
};
struct WrittenTag {
    std::string name;
    std::vector<WrittenAttribute> attributes;
};
// False when the tag has no source in the document (made in code, or another document's).
bool writtenStartTag(const XMLDocument& document, const XMLTag* tag, WrittenTag& out);
// The tag as the reader holds it, for messages: <name a=1 b=2>.
std::string readTagText(const XMLTag* tag);
// The start tag's source text, for messages (cut short after `limit` bytes, "..." marking the cut).
std::string writtenTagText(const XMLDocument& document, const XMLTag* tag, size_t limit = 120);

// An attribute value as a float: atof, narrowed to float (a value beyond the float range reads
// as an infinity). Every float of a scene is read through it.
float attributeFloat(const std::string& value);

// Three floats from the attributes named exactly "x", "y" and "z" (atof; missing ones are 0;
// a later duplicate wins). Other attributes are ignored; a null tag gives (0, 0, 0).
Vector tagToVector(const XMLTag* tag);

// out[i] = atof of the i-th attribute's value while i < n, whatever the attribute's name; slots
// beyond the attribute count are left alone. -1 for a missing tag or output, else 0.
int tagToFloats(const XMLTag* tag, float* out, int n);
