// beatshow-soundtrack: synthesizes the default show's music and writes it as Ogg Vorbis, then
// prints the song's structure so that a scene can be aligned to its bars.
//
//   beatshow-soundtrack OUT.ogg [MORE.ogg ...] [--from BAR] [--bars N] [--quality Q]
//
// Every output path gets the same bytes. --from and --bars render a slice of the song (tests use
// a few bars); --quality is libvorbisenc's VBR quality.
#include "tools/AtomicFile.h"
#include "tools/OggVorbisWriter.h"
#include "tools/Synth.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

bool parseNumber(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0';
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> outputs;
    double from = 0, bars = SongBars, quality = 0.4;
    bool usage = argc < 2;
    for (int i = 1; i < argc && !usage; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--from") == 0 && hasValue)
            usage = !parseNumber(argv[++i], from);
        else if (std::strcmp(argv[i], "--bars") == 0 && hasValue)
            usage = !parseNumber(argv[++i], bars);
        else if (std::strcmp(argv[i], "--quality") == 0 && hasValue)
            usage = !parseNumber(argv[++i], quality);
        else if (argv[i][0] != '-')
            outputs.emplace_back(argv[i]);
        else
            usage = true;
    }
    if (usage || outputs.empty() || from < 0 || from >= SongBars || bars < 1) {
        std::cerr
            << "usage: beatshow-soundtrack OUT.ogg [MORE.ogg ...] [--from BAR] [--bars N] [--quality Q]\n";
        return 2;
    }

    const SongAudio audio = renderSong(static_cast<int>(from), static_cast<int>(bars));
    std::string error;
    const std::vector<uint8_t> ogg =
        encodeOggVorbis(audio, static_cast<float>(quality),
                        {"TITLE=beatshow soundtrack", "ARTIST=beatshow synthesizer", "BPM=141"}, error);
    if (ogg.empty()) {
        std::cerr << "beatshow-soundtrack: " << error << "\n";
        return 1;
    }
    for (const std::string& path : outputs)
        if (!writeFileAtomically(path, ogg, error)) {
            std::cerr << "beatshow-soundtrack: " << error << "\n";
            return 1;
        }

    std::cout << "soundtrack: " << SongBpm << " BPM, " << audio.left.size() << " samples at "
              << audio.sampleRate << " Hz (" << static_cast<double>(audio.left.size()) / audio.sampleRate
              << " s), " << ogg.size() << " bytes\n";
    if (from == 0 && static_cast<int>(bars) >= SongBars) std::cout << songStructureText();
    return 0;
}
