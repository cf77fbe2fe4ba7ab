#include "scene/XMLDocument.h"

#include "engine/base/Log.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <stdexcept>

XMLTag::XMLTag(std::string tagName) : XMLTag(std::move(tagName), 0) {}

XMLTag::XMLTag(std::string tagName, uint8_t extended) : name(std::move(tagName)), isExtended(extended) {}

XMLTag::~XMLTag() = default;

void XMLTag::addAttribute(std::string attributeName, std::string value) {
    attributes.emplace_back(std::move(attributeName), std::move(value));
}

XMLTagExtended::XMLTagExtended(std::string tagName) : XMLTag(std::move(tagName), 1) {}

XMLTag* XMLTagExtended::addChild(std::unique_ptr<XMLTag> child) {
    children.push_back(std::move(child));
    return children.back().get();
}

// Takes the tree apart without recursion: a file of a million nested tags must not exhaust the
// stack when its document goes away. Each tag is destroyed after its children were moved out.
XMLTagExtended::~XMLTagExtended() {
    std::vector<std::unique_ptr<XMLTag>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<XMLTag> next = std::move(pending.back());
        pending.pop_back();
        if (auto* extended = dynamic_cast<XMLTagExtended*>(next.get())) {
            for (auto& child : extended->children)
                pending.push_back(std::move(child));
            extended->children.clear();
        }
    }
}

namespace {

const std::vector<std::unique_ptr<XMLTag>> noChildren;

} // namespace

const std::vector<std::unique_ptr<XMLTag>>& childrenOf(const XMLTag* tag) {
    if (!tag || !tag->isExtended) return noChildren;
    const auto* extended = dynamic_cast<const XMLTagExtended*>(tag);
    return extended ? extended->children : noChildren;
}

XMLTag* XMLDocument::findTag(const std::string& path) const {
    if (!root || path.empty()) return nullptr;
    std::vector<std::string> segments;
    size_t start = 0;
    while (start < path.size()) {
        const size_t end = path.find("::", start);
        if (end == std::string::npos) {
            segments.push_back(path.substr(start));
            break;
        }
        segments.push_back(path.substr(start, end - start));
        start = end + 2;
    }
    if (segments.empty() || segments.front() != root->name) return nullptr;

    XMLTag* current = root.get();
    for (size_t i = 1; i < segments.size(); ++i) {
        XMLTag* next = nullptr;
        for (const auto& child : childrenOf(current))
            if (child->name == segments[i]) {
                next = child.get();
                break;
            }
        if (!next) return nullptr;
        current = next;
    }
    return current;
}

namespace {

bool isNameByte(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '-' || c == ':';
}

// Bytes that separate or shape a tag rather than carry its words.
bool isLayoutByte(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>' || c == '"' || c == '\'';
}

bool isComment(const std::string& name) {
    return name.rfind("--", 0) == 0;
}

// A log line and the problem it reports, filed under a line of the file; the note leaves the file
// and line to its place.
void reportProblem(const std::string& source, size_t line, const std::string& logLine,
                   const std::string& note) {
    if (!logLine.empty()) logStream << logLine << std::endl;
    ProblemPlace place(source, line);
    noteProblem(note);
}

void noteAt(const std::string& source, size_t line, const std::string& note) {
    reportProblem(source, line, std::string(), note);
}

// "<a> (line 3), <b> (line 4) and 2 more"
std::string elementList(const std::vector<std::unique_ptr<XMLTag>>& tags) {
    std::string text;
    const size_t shown = std::min<size_t>(tags.size(), 3);
    for (size_t i = 0; i < shown; ++i) {
        if (i > 0) text += (i + 1 == shown && tags.size() == shown) ? " and " : ", ";
        text += "<" + tags[i]->name + "> (line " + std::to_string(tags[i]->line) + ")";
    }
    if (tags.size() > shown) text += " and " + std::to_string(tags.size() - shown) + " more";
    return text;
}

// The byte-wise state machine. Names, values and the completed attributes of the tag being
// read are kept here until its ">" decides what the tag is.
class Reader {
public:
    explicit Reader(const std::string& source) : source_(source) {}

    std::unique_ptr<XMLTag> read(const uint8_t* data, size_t size) {
        // A zero byte is a byte like any other that is not part of a name, so a scene saved as
        // UTF-16 (a zero beside every character, a byte-order mark in front) reads as its text.
        for (size_t i = 0; i < size; ++i) {
            const uint8_t c = data[i];
            offset_ = i;
            step(c);
            if (c == '\n') ++line_;
        }
        if (state_ != Outside)
            reportProblem(source_, tagLine_,
                          source_ + ": the file ends inside the tag that starts on line " +
                              std::to_string(tagLine_) + "; that tag is ignored",
                          "the file ends inside this tag; it is ignored");
        for (const OpenElement& open : stack_)
            open.tag->sourceEnd = size;
        noteOpenComments();
        noteOpenElements();
        if (!root_) {
            const std::string what = size == 0 ? "the file is empty" : "no XML element found";
            reportProblem(source_, 0, source_ + ": " + what, what);
        }
        discardAll();
        return std::move(root_);
    }

private:
    enum OuterState { Outside, Declaration, InTag };
    enum InnerState { ElementName, AttributeName, AttributeValue };
    struct OpenElement {
        XMLTagExtended* tag;
        size_t line;
    };

    void step(uint8_t c) {
        switch (state_) {
        case Outside:
            if (c == '<') startTag();
            return;
        case Declaration:
            if (c == '>') state_ = Outside;
            return;
        case InTag:
            break;
        }
        // A zero byte changes nothing in any state (a UTF-16 file has one beside every character);
        // it must not count as a byte lost from a word either.
        if (c == 0) return;

        if (c == '/') {
            slashSeen_ = true;
            endTag_ = !nameEnded_;
        }
        // Only the space separates: after a tab or a line break the next name byte runs on into
        // the name or value being read. The show reads it so; a check wants to hear of it.
        const bool lineLayout = c == '\t' || c == '\r' || c == '\n';
        if (lineLayout && !currentToken().empty()) joinPending_ = true;
        switch (inner_) {
        case ElementName:
            if (c == '?') {
                state_ = Declaration;
                return;
            }
            if (isNameByte(c)) {
                append(elementName_, c);
                return;
            }
            if (c == ' ' && !elementName_.empty()) {
                nameEnded_ = true;
                switchInner(AttributeName);
                return;
            }
            // "<!--" opens a comment; any other byte of a name is lost.
            if (!isLayoutByte(c) && !(c == '!' && elementName_.empty())) altered_ = true;
            break;
        case AttributeName:
            if (isNameByte(c)) {
                // Two words run into one name (after a tab or line break the join is noted as such).
                if (nameGap_ && !joinPending_) altered_ = true;
                append(attributeName_, c);
                return;
            }
            if (c == '=') {
                switchInner(AttributeValue);
                return;
            }
            if (!attributeName_.empty() && !lineLayout) nameGap_ = true;
            if (!isLayoutByte(c)) altered_ = true;
            break;
        case AttributeValue:
            if (isNameByte(c)) {
                if (valueGap_ && !joinPending_) altered_ = true; // what follows a quote or a slash runs on
                append(attributeValue_, c);
                return;
            }
            if (c == ' ' && !attributeValue_.empty()) {
                completed_.emplace_back(std::move(attributeName_), std::move(attributeValue_));
                attributeName_.clear();
                attributeValue_.clear();
                switchInner(AttributeName);
                return;
            }
            if (!attributeValue_.empty() && !lineLayout && c != ' ') valueGap_ = true;
            if (!isLayoutByte(c)) altered_ = true;
            break;
        }
        if (c == '>') endOfTag();
    }

    const std::string& currentToken() const {
        return inner_ == ElementName     ? elementName_
               : inner_ == AttributeName ? attributeName_
                                         : attributeValue_;
    }

    void append(std::string& token, uint8_t c) {
        if (joinPending_) joined_ = true;
        token.push_back(static_cast<char>(c));
    }

    void switchInner(InnerState next) {
        inner_ = next;
        joinPending_ = false;
        nameGap_ = false;
        valueGap_ = false;
    }

    void startTag() {
        state_ = InTag;
        inner_ = ElementName;
        joinPending_ = joined_ = false;
        altered_ = nameGap_ = valueGap_ = false;
        elementName_.clear();
        attributeName_.clear();
        attributeValue_.clear();
        completed_.clear();
        slashSeen_ = endTag_ = nameEnded_ = false;
        tagLine_ = line_;
        tagStart_ = offset_;
    }

    void endOfTag() {
        state_ = Outside;
        if (!attributeValue_.empty())
            completed_.emplace_back(std::move(attributeName_), std::move(attributeValue_));
        else if (!attributeName_.empty())
            altered_ = true; // a name without a value, or with an empty one, is dropped
        // A comment's words run together as they please: nothing reads them.
        if (joined_ && !isComment(elementName_)) noteJoinedNames();
        if (slashSeen_ && endTag_) {
            if (stack_.empty()) {
                reportProblem(source_, tagLine_,
                              source_ + ": line " + std::to_string(tagLine_) + ": end tag </" + elementName_ +
                                  "> closes nothing; ignored",
                              "end tag </" + elementName_ + "> closes nothing; ignored");
            } else {
                const OpenElement closed = stack_.back();
                stack_.pop_back();
                closed.tag->sourceEnd = offset_ + 1;
                if (isComment(closed.tag->name)) {
                    noteClosedComment(closed);
                    nestingOff_ = nestingOff_ || !stack_.empty();
                } else if (closed.tag->name != elementName_ && !nestingOff_ && !closed.tag->altered &&
                           !altered_) {
                    // Closed all the same: the reader keeps to the nesting, not to the names. Only
                    // the first is told; every end tag after it is off by the same level.
                    nestingOff_ = true;
                    noteAt(source_, tagLine_,
                           "end tag </" + elementName_ + "> closes <" + closed.tag->name + "> (line " +
                               std::to_string(closed.line) + "); the names should match");
                }
            }
            return;
        }

        auto element = std::make_unique<XMLTagExtended>(elementName_);
        for (auto& [key, value] : completed_)
            element->addAttribute(std::move(key), std::move(value));
        element->line = tagLine_;
        element->sourceBegin = tagStart_;
        element->startTagEnd = offset_ + 1;
        element->sourceEnd = offset_ + 1; // until an end tag closes it
        // A tag whose names a tab or line break ran together is noted as such, with how it reads.
        element->altered = altered_ && !joined_ && !isComment(elementName_);
        XMLTagExtended* raw = element.get();

        if (!root_) {
            root_ = std::move(element);
            stack_.push_back({raw, tagLine_});
            return;
        }
        if (stack_.empty()) {
            // Only one tree can be the document; a second one is kept aside so that its own end
            // tags still balance, and dropped.
            reportProblem(source_, tagLine_,
                          source_ + ": line " + std::to_string(tagLine_) + ": element <" + elementName_ +
                              "> comes after the root element <" + root_->name +
                              "> was closed; it is ignored with its content",
                          "element <" + elementName_ + "> comes after the root element <" + root_->name +
                              "> was closed; it is ignored with its content");
            discarded_.push_back(std::move(element));
        } else {
            stack_.back().tag->addChild(std::move(element));
        }
        if (!slashSeen_) stack_.push_back({raw, tagLine_});
    }

    void noteJoinedNames() {
        std::string read = "<" + std::string(slashSeen_ && endTag_ ? "/" : "") + elementName_;
        for (const auto& [key, value] : completed_)
            read += " " + key + "=" + value;
        noteAt(source_, tagLine_,
               "a tab or line break inside the tag runs two names into one, read as " + read +
                   ">; only a space separates names and values");
    }

    // A comment that does not end in "/-->" is an element like any other: it stays open and the
    // elements after it become its children, until some end tag closes it in place of the element
    // that tag was written for.
    static constexpr const char* CommentRule =
        "a comment must end with \"/-->\" in a scene file (<!-- like this /-->): ";

    std::string swallowed(const XMLTagExtended* comment) const {
        return comment->children.empty() ? std::string("nothing")
                                         : elementList(comment->children) + ", which the loader never sees";
    }

    void noteClosedComment(const OpenElement& closed) {
        const std::string parent = stack_.empty() ? std::string() : stack_.back().tag->name;
        std::string text = std::string(CommentRule) + "this one stays open and takes in " +
                           swallowed(closed.tag) + ", until </" + elementName_ + "> on line " +
                           std::to_string(tagLine_) + " closes it";
        if (!parent.empty())
            text += " in place of <" + parent + ">, so what follows is read one level too deep";
        noteAt(source_, closed.line, text);
    }

    void noteOpenComments() {
        for (const OpenElement& open : stack_)
            if (isComment(open.tag->name))
                noteAt(source_, open.line,
                       std::string(CommentRule) + "this one stays open to the end of the file and takes in " +
                           swallowed(open.tag));
    }

    // An element still open at the end lost its end tag somewhere inside: every end tag after
    // that point closed the element one level further in, so what followed was read too deep.
    void noteOpenElements() {
        if (stack_.empty()) return;
        const OpenElement& outer = stack_.front();
        const OpenElement& inner = stack_.back();
        if (stack_.size() == 1) {
            noteAt(source_, outer.line,
                   "<" + outer.tag->name +
                       "> is still open at the end of the file; an end tag is missing inside it, so what "
                       "follows the missing one was read one level too deep");
            return;
        }
        noteAt(source_, outer.line,
               std::to_string(stack_.size()) + " elements are still open at the end of the file, from <" +
                   outer.tag->name + "> (line " + std::to_string(outer.line) + ") to <" + inner.tag->name +
                   "> (line " + std::to_string(inner.line) +
                   "); end tags are missing, so what follows each missing one was read too deep");
    }

    void discardAll() {
        stack_.clear();
        discarded_.clear();
    }

    const std::string& source_;
    OuterState state_ = Outside;
    InnerState inner_ = ElementName;
    std::string elementName_;
    std::string attributeName_;
    std::string attributeValue_;
    std::vector<std::pair<std::string, std::string>> completed_;
    bool slashSeen_ = false;
    bool endTag_ = false;
    bool nameEnded_ = false;
    size_t line_ = 1;
    size_t tagLine_ = 1;
    size_t offset_ = 0;        // of the byte being read
    size_t tagStart_ = 0;      // of the current tag's "<"
    bool joinPending_ = false; // a tab or line break followed a name byte of the current token
    bool joined_ = false;      // ... and another name byte ran on after it
    bool altered_ = false;     // the tag lost or ran together bytes of its words
    bool nameGap_ = false;     // an attribute name was interrupted; more name bytes would join it
    bool valueGap_ = false;    // a value was interrupted (quote, slash); more bytes would join it
    bool nestingOff_ = false;  // an end tag closed another element than its own
    std::unique_ptr<XMLTag> root_;
    std::vector<OpenElement> stack_;
    std::vector<std::unique_ptr<XMLTag>> discarded_;
};

} // namespace

int XMLDocument::loadFromBytes(const uint8_t* data, size_t size, const std::string& sourceName) {
    root.reset();
    if (!data) size = 0;
    source.assign(reinterpret_cast<const char*>(data), size);
    Reader reader(sourceName);
    root = reader.read(data, size);
    return 0;
}

size_t XMLDocument::lineAt(size_t offset) const {
    offset = std::min(offset, source.size());
    return 1 + static_cast<size_t>(
                   std::count(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

int XMLDocument::load(const std::string& fileName) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(fileName, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        const std::string what =
            std::string("not a regular file (") +
            (std::filesystem::is_directory(status) ? "a directory" : "a device, FIFO or socket") +
            "); not read";
        reportProblem(fileName, 0, fileName + ": " + what, what);
        return -1;
    }
    std::FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f) return -1;
    // Read in blocks until the end rather than trusting the size, which only sizes the buffer.
    std::vector<uint8_t> buffer;
    bool ok = true;
    try {
        const std::uintmax_t expected = std::filesystem::file_size(fileName, error);
        if (!error) buffer.reserve(static_cast<size_t>(expected));
        uint8_t block[65536];
        size_t got;
        while ((got = std::fread(block, 1, sizeof block, f)) > 0)
            buffer.insert(buffer.end(), block, block + got);
        ok = !std::ferror(f);
    } catch (const std::exception&) { // the allocation failed (or asked for too much)
        std::fclose(f);
        logStream << "Alocate error!" << std::endl;
        return -1;
    }
    std::fclose(f);
    if (!ok) return -1;
    return loadFromBytes(buffer.data(), buffer.size(), fileName);
}

float attributeFloat(const std::string& value) {
    const double d = std::atof(value.c_str());
    // From half a step past the largest float on, rounding goes to infinity; that is spelt out
    // here rather than left to a narrowing whose result the language leaves open.
    constexpr double overflow = 0x1.ffffffp127;
    if (d >= overflow) return std::numeric_limits<float>::infinity();
    if (d <= -overflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

Vector tagToVector(const XMLTag* tag) {
    Vector v;
    if (!tag) return v;
    for (const auto& [key, value] : tag->attributes) {
        if (key == "x")
            v.x = attributeFloat(value);
        else if (key == "y")
            v.y = attributeFloat(value);
        else if (key == "z")
            v.z = attributeFloat(value);
    }
    return v;
}

int tagToFloats(const XMLTag* tag, float* out, int n) {
    if (!tag || !out) return -1;
    int i = 0;
    for (const auto& attribute : tag->attributes) {
        if (i >= n) break;
        out[i++] = attributeFloat(attribute.second);
    }
    return 0;
}

namespace {

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string decodeEntities(const std::string& text) {
    static const std::pair<const char*, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&')
            for (const auto& [entity, c] : entities)
                if (text.compare(i, std::strlen(entity), entity) == 0) {
                    out.push_back(c);
                    i += std::strlen(entity);
                    replaced = true;
                    break;
                }
        if (!replaced) out.push_back(text[i++]);
    }
    return out;
}

} // namespace

bool writtenStartTag(const XMLDocument& document, const XMLTag* tag, WrittenTag& out) {
    out = WrittenTag{};
    if (!tag || tag->startTagEnd <= tag->sourceBegin || tag->startTagEnd > document.source.size() ||
        document.source[tag->sourceBegin] != '<')
        return false;
    // Between the "<" and the ">" that ended the tag for the reader, without the zero bytes that
    // the reader passes over too (a scene saved as UTF-16 has one beside every character).
    std::string s = document.source.substr(tag->sourceBegin, tag->startTagEnd - tag->sourceBegin);
    s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
    size_t i = 1;
    const size_t end = s.size() - 1;
    auto nameEnd = [&](size_t from) {
        while (from < end && !isWhiteSpace(s[from]) && s[from] != '=' && s[from] != '/' && s[from] != '>')
            ++from;
        return from;
    };
    auto skipSpace = [&] {
        while (i < end && isWhiteSpace(s[i]))
            ++i;
    };
    size_t stop = nameEnd(i);
    out.name = s.substr(i, stop - i);
    i = stop;
    while (true) {
        skipSpace();
        while (i < end && s[i] == '/') {
            ++i;
            skipSpace();
        }
        if (i >= end) break;
        WrittenAttribute attribute;
        stop = nameEnd(i);
        if (stop == i) { // a stray "=": skip it
            ++i;
            continue;
        }
        attribute.name = s.substr(i, stop - i);
        i = stop;
        skipSpace();
        if (i < end && s[i] == '=') {
            ++i;
            skipSpace();
            if (i < end && (s[i] == '"' || s[i] == '\'')) {
                const char quote = s[i++];
                size_t close = s.find(quote, i);
                if (close == std::string::npos || close > end) close = end;
                attribute.value = decodeEntities(s.substr(i, close - i));
                i = close < end ? close + 1 : end;
            } else {
                size_t valueEnd = i;
                while (valueEnd < end && !isWhiteSpace(s[valueEnd]) && s[valueEnd] != '>' &&
                       !(s[valueEnd] == '/' && valueEnd + 1 == end))
                    ++valueEnd;
                attribute.value = decodeEntities(s.substr(i, valueEnd - i));
                i = valueEnd;
            }
        } else {
            attribute.valued = false;
        }
        out.attributes.push_back(std::move(attribute));
    }
    return true;
}

std::string readTagText(const XMLTag* tag) {
    if (!tag) return "<>";
    std::string text = "<" + tag->name;
    for (const auto& [key, value] : tag->attributes)
        text += " " + key + "=" + value;
    return text + ">";
}

std::string writtenTagText(const XMLDocument& document, const XMLTag* tag, size_t limit) {
    if (!tag || tag->startTagEnd <= tag->sourceBegin || tag->startTagEnd > document.source.size())
        return readTagText(tag);
    const std::string written = document.source.substr(tag->sourceBegin, tag->startTagEnd - tag->sourceBegin);
    // The tag goes to a terminal: a byte outside printable ASCII is shown as \xHH, never sent as
    // it is (an escape byte in a scene must not drive the terminal that shows the finding).
    std::string text;
    for (const char c : written) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t' || c == '\r' || c == '\n') {
            text += ' ';
        } else if (byte == 0) {
            continue; // UTF-16's other half
        } else if (byte < 0x20 || byte >= 0x7F) {
            static const char digits[] = "0123456789ABCDEF";
            text += {'\\', 'x', digits[byte >> 4], digits[byte & 15]};
        } else {
            text += c;
        }
    }
    if (text.size() > limit) text = text.substr(0, limit) + "...";
    return text;
}
