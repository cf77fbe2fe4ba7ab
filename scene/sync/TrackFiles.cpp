#include "scene/sync/TrackFiles.h"

#include "engine/base/Log.h"
#include "scene/XMLDocument.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void putLittle32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>(value >> shift);
}

uint32_t readLittle32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int k = 3; k >= 0; --k)
        value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(k)]);
    return value;
}

const char* const unsafeInFileNames = "<>:\"/\\|?*";
const char* const hexDigits = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string escapeXml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A float written so that it reads back to the same bits.
std::string exactNumber(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

bool parseWhole(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

} // namespace

std::string encodeTrackFile(const TrackKeys& keys) {
    std::string out;
    putLittle32(out, static_cast<uint32_t>(keys.size()));
    for (const auto& [row, key] : keys) {
        putLittle32(out, row);
        putLittle32(out, std::bit_cast<uint32_t>(key.value));
        out += static_cast<char>(key.type);
    }
    return out;
}

bool decodeTrackFile(const std::string& bytes, TrackKeys& keys, std::string& error) {
    keys.clear();
    if (bytes.size() < 4) {
        error =
            "a track file starts with its key count; this one has " + std::to_string(bytes.size()) + " bytes";
        return false;
    }
    const uint32_t count = readLittle32(bytes, 0);
    constexpr size_t KeyBytes = 4 + 4 + 1;
    if (static_cast<int32_t>(count) < 0 || (bytes.size() - 4) / KeyBytes < count) {
        error = "the track file says it holds " + std::to_string(static_cast<int32_t>(count)) +
                " keys but has room for " + std::to_string((bytes.size() - 4) / KeyBytes);
        return false;
    }
    for (uint32_t k = 0; k < count; ++k) {
        const size_t at = 4 + k * KeyBytes;
        const int32_t row = static_cast<int32_t>(readLittle32(bytes, at));
        const float value = std::bit_cast<float>(readLittle32(bytes, at + 4));
        const uint8_t type = static_cast<uint8_t>(bytes[at + 8]);
        if (row < 0 || type > 3 || !std::isfinite(value)) {
            error = "key " + std::to_string(k + 1) + " of the track file has " +
                    (row < 0    ? "the row " + std::to_string(row)
                     : type > 3 ? "the key type " + std::to_string(type) + " (0 step to 3 ramp)"
                                : std::string("a value that is not a number"));
            keys.clear();
            return false;
        }
        keys[static_cast<uint32_t>(row)] = {value, type};
    }
    return true;
}

std::string trackFileName(const std::string& prefix, const std::string& track) {
    std::string name = prefix + "_";
    for (char c : track) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte != 0 && std::strchr(unsafeInFileNames, c)) {
            name += '-';
            name += hexDigits[byte >> 4];
            name += hexDigits[byte & 15];
        } else {
            name += c;
        }
    }
    return name + ".track";
}

bool trackOfFileName(const std::string& prefix, const std::string& fileName, std::string& track) {
    const std::string head = prefix + "_";
    const std::string tail = ".track";
    if (fileName.size() <= head.size() + tail.size() || fileName.compare(0, head.size(), head) != 0 ||
        fileName.compare(fileName.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string encoded = fileName.substr(head.size(), fileName.size() - head.size() - tail.size());
    track.clear();
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '-' && i + 2 < encoded.size()) {
            const int high = hexValue(encoded[i + 1]);
            const int low = hexValue(encoded[i + 2]);
            const int value = high * 16 + low;
            // Only what the encoder writes so is read so: other dashes are the name's own.
            if (high >= 0 && low >= 0 && value != 0 && std::strchr(unsafeInFileNames, value)) {
                track += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        track += encoded[i];
    }
    return !track.empty();
}

std::string encodeRocketProject(const std::vector<NamedTrack>& tracks, uint32_t rows) {
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out += "<sync rows=\"" + std::to_string(rows) + "\">\n<tracks>\n";
    for (const NamedTrack& track : tracks) {
        out += "<track name=\"" + escapeXml(track.name) + "\">\n";
        for (const auto& [row, key] : track.keys)
            out += "<key row=\"" + std::to_string(row) + "\" value=\"" + exactNumber(key.value) +
                   "\" interpolation=\"" + std::to_string(key.type) + "\"/>\n";
        out += "</track>\n";
    }
    return out + "</tracks>\n</sync>\n";
}

bool decodeRocketProject(const std::string& bytes, std::vector<NamedTrack>& tracks, std::string& error) {
    tracks.clear();
    XMLDocument document;
    {
        // The reader's notes are about scene files; this is none.
        ProblemsMuted muted;
        document.loadFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "project");
    }
    if (!document.root || document.root->name != "sync") {
        error = "not a Rocket project: its root element is " +
                (document.root ? "<" + document.root->name + ">" : std::string("missing")) + ", not <sync>";
        return false;
    }
    const XMLTag* list = document.findTag("sync::tracks");
    for (const auto& element : childrenOf(list)) {
        if (element->name != "track") continue;
        WrittenTag tag;
        if (!writtenStartTag(document, element.get(), tag)) continue;
        NamedTrack track;
        for (const WrittenAttribute& a : tag.attributes)
            if (a.name == "name") track.name = a.value;
        if (track.name.empty()) {
            error = "a <track> on line " + std::to_string(element->line) + " has no name";
            return false;
        }
        for (const auto& keyElement : childrenOf(element.get())) {
            if (keyElement->name != "key") continue;
            WrittenTag keyTag;
            if (!writtenStartTag(document, keyElement.get(), keyTag)) continue;
            long long row = -1, type = 0;
            bool rowRead = false, valueRead = false;
            float value = 0.0f;
            for (const WrittenAttribute& a : keyTag.attributes) {
                if (a.name == "row") rowRead = parseWhole(a.value, row);
                if (a.name == "value") {
                    char* end = nullptr;
                    value = std::strtof(a.value.c_str(), &end);
                    valueRead = end && *end == '\0' && !a.value.empty();
                }
                if (a.name == "interpolation" && !parseWhole(a.value, type)) type = -1;
            }
            const std::string where =
                "the key on line " + std::to_string(keyElement->line) + " of track '" + track.name + "'";
            if (!rowRead || row < 0 || row > 0x7fffffff) {
                error = where + " has no row from 0 on";
                return false;
            }
            if (!valueRead || !std::isfinite(value)) {
                error = where + " has no value that is a number";
                return false;
            }
            if (type < 0 || type > 3) {
                error = where + " has an interpolation other than 0 step to 3 ramp";
                return false;
            }
            track.keys[static_cast<uint32_t>(row)] = {value, static_cast<uint8_t>(type)};
        }
        tracks.push_back(std::move(track));
    }
    return true;
}
