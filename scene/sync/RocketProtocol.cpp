#include "scene/sync/RocketProtocol.h"

#include <bit>
#include <cmath>

namespace rocket {

std::string commandName(uint8_t command) {
    switch (command) {
    case SetKey:
        return "SET_KEY";
    case DeleteKey:
        return "DELETE_KEY";
    case GetTrack:
        return "GET_TRACK";
    case SetRow:
        return "SET_ROW";
    case Pause:
        return "PAUSE";
    case SaveTracks:
        return "SAVE_TRACKS";
    default:
        return "command " + std::to_string(command);
    }
}

void putU32(std::string& out, uint32_t value) {
    out += static_cast<char>(value >> 24);
    out += static_cast<char>(value >> 16);
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value);
}

uint32_t readU32(const uint8_t* data) {
    return static_cast<uint32_t>(data[0]) << 24 | static_cast<uint32_t>(data[1]) << 16 |
           static_cast<uint32_t>(data[2]) << 8 | data[3];
}

std::string encodeGetTrack(const std::string& name) {
    std::string out(1, static_cast<char>(GetTrack));
    putU32(out, static_cast<uint32_t>(name.size()));
    return out + name;
}

std::string encodeSetRow(uint32_t row) {
    std::string out(1, static_cast<char>(SetRow));
    putU32(out, row);
    return out;
}

Decoded decodeFromEditor(const uint8_t* data, size_t size, Message& message, size_t& used, std::string& why) {
    used = 0;
    if (size == 0) return Decoded::NeedMore;
    const uint8_t command = data[0];
    size_t length = 0;
    switch (command) {
    case SetKey:
        length = 1 + 4 + 4 + 4 + 1;
        break;
    case DeleteKey:
        length = 1 + 4 + 4;
        break;
    case SetRow:
        length = 1 + 4;
        break;
    case Pause:
        length = 1 + 1;
        break;
    case SaveTracks:
        length = 1;
        break;
    case GetTrack:
        why = "GET_TRACK, which only the show sends";
        return Decoded::Refused;
    default:
        why = "unknown command " + std::to_string(command);
        return Decoded::Refused;
    }
    if (size < length) return Decoded::NeedMore;
    message = Message{};
    message.command = static_cast<Command>(command);
    switch (command) {
    case SetKey:
        message.track = readU32(data + 1);
        message.row = readU32(data + 5);
        message.value = std::bit_cast<float>(readU32(data + 9));
        message.type = data[13];
        if (message.type >= KeyTypeCount) {
            why = "SET_KEY with key type " + std::to_string(message.type) + " (0 step to 3 ramp)";
            return Decoded::Refused;
        }
        // A value that is not a number would turn the whole curve into not-a-number.
        if (!std::isfinite(message.value)) {
            why = "SET_KEY with a value that is not a finite number";
            return Decoded::Refused;
        }
        break;
    case DeleteKey:
        message.track = readU32(data + 1);
        message.row = readU32(data + 5);
        break;
    case SetRow:
        message.row = readU32(data + 1);
        break;
    case Pause:
        if (data[1] > 1) {
            why = "PAUSE with " + std::to_string(data[1]) + " (1 pauses, 0 plays)";
            return Decoded::Refused;
        }
        message.pause = data[1] == 1;
        break;
    default:
        break;
    }
    used = length;
    return Decoded::Message;
}

} // namespace rocket
