// A song file through the Ogg Vorbis decoder, whole, as the player and the check decode it.
#include "platform/VorbisDecoder.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = writeScratchFile("song.ogg", data, size);
    platform::DecodedAudio audio;
    platform::decodeVorbisFile(path, audio);
    platform::vorbisFileSeconds(path);
    return 0;
}
