// The Rocket sync protocol, as its editors speak it: after the show's greeting "hello, synctracker!"
// and the editor's answer "hello, demo!", one-byte commands with big-endian fields.
//
//   0 SET_KEY     editor -> show   u32 track, u32 row, f32 value (its IEEE bits), u8 type
//   1 DELETE_KEY  editor -> show   u32 track, u32 row
//   2 GET_TRACK   show -> editor   u32 name length, the name's bytes
//   3 SET_ROW     both ways        u32 row
//   4 PAUSE       editor -> show   u8 1 pause, 0 play
//   5 SAVE_TRACKS editor -> show   nothing
//
// Tracks are numbered by the order the show asked for them in, per connection. Key types: 0 step
// (hold), 1 linear, 2 smooth, 3 ramp.
//
// This unit only turns messages into bytes and bytes into messages; it owns no socket. The
// decoder reads only the bytes it is handed and refuses, naming it, whatever the protocol does
// not allow (an unknown command, a key type beyond ramp, a value that is not a number, a pause
// byte that is neither 0 nor 1), so nothing an editor sends reaches the show unchecked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rocket {

inline constexpr char ClientGreeting[] = "hello, synctracker!";
inline constexpr char ServerGreeting[] = "hello, demo!";
constexpr size_t ServerGreetingSize = sizeof(ServerGreeting) - 1;

enum Command : uint8_t { SetKey = 0, DeleteKey = 1, GetTrack = 2, SetRow = 3, Pause = 4, SaveTracks = 5 };
enum KeyType : uint8_t { KeyStep = 0, KeyLinear = 1, KeySmooth = 2, KeyRamp = 3 };
constexpr uint8_t KeyTypeCount = 4;

// "SET_KEY", "GET_TRACK", ...; "command N" for one the protocol does not have.
std::string commandName(uint8_t command);

// One message from the editor.
struct Message {
    Command command = SetRow;
    uint32_t track = 0;
    uint32_t row = 0;
    float value = 0.0f;
    uint8_t type = KeyStep;
    bool pause = false;
};

enum class Decoded {
    Message,  // `message` holds it; `used` bytes were read
    NeedMore, // the bytes end inside a message: wait for more
    Refused,  // not a message the show takes: `why` names it
};

// Reads one message from the start of what the editor sent.
Decoded decodeFromEditor(const uint8_t* data, size_t size, Message& message, size_t& used, std::string& why);

// What the show sends.
std::string encodeGetTrack(const std::string& name);
std::string encodeSetRow(uint32_t row);

// Big-endian fields, for the encoders (and the tests' stand-in editor).
void putU32(std::string& out, uint32_t value);
uint32_t readU32(const uint8_t* data);

} // namespace rocket
