#include "scene/XMLDocument.h"

#include "engine/base/Log.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

void reportProblem(const std::string& line) {
    logStream << line << std::endl;
    noteProblem(line);
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
            step(c);
            if (c == '\n') ++line_;
        }
        if (state_ != Outside)
            reportProblem(source_ + ": the file ends inside the tag that starts on line " +
                          std::to_string(tagLine_) + "; that tag is ignored");
        noteOpenElements();
        if (!root_) reportProblem(source_ + (size == 0 ? ": the file is empty" : ": no XML element found"));
        discardAll();
        return std::move(root_);
    }

private:
    enum OuterState { Outside, Declaration, InTag };
    enum InnerState { ElementName, AttributeName, AttributeValue };

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

        if (c == '/') {
            slashSeen_ = true;
            endTag_ = !nameEnded_;
        }
        // Only the space separates: after a tab or a line break the next name byte runs on into
        // the name or value being read. The show reads it so; a check wants to hear of it.
        if ((c == '\t' || c == '\r' || c == '\n') && !currentToken().empty()) joinPending_ = true;
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
            break;
        case AttributeName:
            if (isNameByte(c)) {
                append(attributeName_, c);
                return;
            }
            if (c == '=') {
                switchInner(AttributeValue);
                return;
            }
            break;
        case AttributeValue:
            if (isNameByte(c)) {
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
    }

    void startTag() {
        state_ = InTag;
        inner_ = ElementName;
        joinPending_ = joined_ = false;
        elementName_.clear();
        attributeName_.clear();
        attributeValue_.clear();
        completed_.clear();
        slashSeen_ = endTag_ = nameEnded_ = false;
        tagLine_ = line_;
    }

    void endOfTag() {
        state_ = Outside;
        if (!attributeValue_.empty())
            completed_.emplace_back(std::move(attributeName_), std::move(attributeValue_));
        // A comment's words run together as they please: nothing reads them.
        if (joined_ && elementName_.rfind("--", 0) != 0) noteJoinedNames();
        if (slashSeen_ && endTag_) {
            if (stack_.empty())
                reportProblem(source_ + ": line " + std::to_string(tagLine_) + ": end tag </" + elementName_ +
                              "> closes nothing; ignored");
            else
                stack_.pop_back();
            return;
        }

        auto element = std::make_unique<XMLTagExtended>(elementName_);
        for (auto& [key, value] : completed_)
            element->addAttribute(std::move(key), std::move(value));
        XMLTagExtended* raw = element.get();

        if (!root_) {
            root_ = std::move(element);
            stack_.push_back({raw, tagLine_});
            return;
        }
        if (stack_.empty()) {
            // Only one tree can be the document; a second one is kept aside so that its own end
            // tags still balance, and dropped.
            reportProblem(source_ + ": line " + std::to_string(tagLine_) + ": element <" + elementName_ +
                          "> comes after the root element <" + root_->name +
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
        noteProblem(source_ + ": line " + std::to_string(tagLine_) +
                    ": a tab or line break inside the tag runs two names into one, read as " + read +
                    ">; only a space separates names and values");
    }

    // An element still open at the end lost its end tag somewhere inside: every end tag after
    // that point closed the element one level further in, so what followed was read too deep.
    void noteOpenElements() {
        if (stack_.empty()) return;
        const OpenElement& outer = stack_.front();
        const OpenElement& inner = stack_.back();
        if (stack_.size() == 1) {
            noteProblem(source_ + ": <" + outer.tag->name + "> from line " + std::to_string(outer.line) +
                        " is still open at the end of the file; an end tag is missing inside it, so what "
                        "follows the missing one was read one level too deep");
            return;
        }
        noteProblem(source_ + ": " + std::to_string(stack_.size()) +
                    " elements are still open at the end of the file, from <" + outer.tag->name + "> (line " +
                    std::to_string(outer.line) + ") to <" + inner.tag->name + "> (line " +
                    std::to_string(inner.line) +
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
    bool joinPending_ = false; // a tab or line break followed a name byte of the current token
    bool joined_ = false;      // ... and another name byte ran on after it
    std::unique_ptr<XMLTag> root_;
    struct OpenElement {
        XMLTagExtended* tag;
        size_t line;
    };
    std::vector<OpenElement> stack_;
    std::vector<std::unique_ptr<XMLTag>> discarded_;
};

} // namespace

int XMLDocument::loadFromBytes(const uint8_t* data, size_t size, const std::string& sourceName) {
    root.reset();
    if (!data) size = 0;
    Reader reader(sourceName);
    root = reader.read(data, size);
    return 0;
}

int XMLDocument::load(const std::string& fileName) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(fileName, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        reportProblem(fileName + ": not a regular file (" +
                      (std::filesystem::is_directory(status) ? "a directory" : "a device, FIFO or socket") +
                      "); not read");
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
