#include "scene/Tempo.h"

#include "engine/base/Log.h"
#include "scene/XMLDocument.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// floor(a / b) for whole numbers of either sign.
long long floorDivide(long long a, long long b) {
    const long long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The shortest of "%.6g" that reads back the same to the scene's reader: 128, 0.25, 117.5.
std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// A whole number written as one: "4", not "4.0" or "4x".
bool parseWhole(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return end && *end == '\0';
}

} // namespace

double Tempo::barTime(long long bar, long long beat) const {
    // The same product the command line has always used for 141 BPM, so a default start time
    // stays what it was to the last bit.
    return firstBeat + static_cast<double>((bar - 1) * beatsPerBar + (beat - 1)) * 60.0 / bpm;
}

bool Tempo::inBeatWindow(double seconds) const {
    const double sixteenths = std::floor(beatsAt(seconds) * 16.0);
    if (!std::isfinite(sixteenths) || std::fabs(sixteenths) >= 9.0e18) return false;
    const long long n = static_cast<long long>(sixteenths);
    return ((n % 16) + 16) % 16 == 0;
}

std::string Tempo::barAndBeat(double seconds) const {
    // Music time does not run below 0: a negative time reads as the start.
    const double beats = std::floor(beatsAt(std::max(0.0, seconds)));
    const long long whole =
        std::isfinite(beats) && std::fabs(beats) < 9.0e18 ? static_cast<long long>(beats) : 0;
    const long long bar = floorDivide(whole, beatsPerBar);
    const long long beat = whole - bar * beatsPerBar;
    return "bar " + std::to_string(bar + 1) + "." + std::to_string(beat + 1);
}

std::string Tempo::sceneLine() const {
    return "<tempo bpm=\"" + shortNumber(bpm) + "\" beatsPerBar=\"" + std::to_string(beatsPerBar) +
           "\" firstBeat=\"" + shortNumber(firstBeat) + "\" />";
}

const XMLTag* tempoElement(const XMLDocument& document) {
    for (const auto& child : childrenOf(document.findTag("base::scene::audio")))
        if (child->name == "tempo") return child.get();
    return nullptr;
}

Tempo tempoFromElement(const XMLTag* element, std::vector<std::string>* problems) {
    Tempo tempo;
    if (!element) return tempo;
    auto note = [problems](const std::string& text) {
        if (problems) problems->push_back(text);
    };
    for (const auto& [key, value] : element->attributes) {
        if (key == "bpm") {
            const double bpm = std::atof(value.c_str());
            if (bpm >= Tempo::MinBpm && bpm <= Tempo::MaxBpm)
                tempo.bpm = bpm;
            else
                note("<tempo> bpm=" + value +
                     " is not a tempo from 1 to 1000 beats a minute; the show counts " +
                     shortNumber(tempo.bpm));
        } else if (key == "beatsPerBar") {
            long long beats = 0;
            if (parseWhole(value, beats) && beats >= 1 && beats <= Tempo::MaxBeatsPerBar)
                tempo.beatsPerBar = static_cast<int>(beats);
            else
                note("<tempo> beatsPerBar=" + value +
                     " is not a whole number from 1 to 64; the show counts " +
                     std::to_string(tempo.beatsPerBar));
        } else if (key == "firstBeat") {
            const double first = std::atof(value.c_str());
            if (std::isfinite(first) && std::fabs(first) <= 3600.0)
                tempo.firstBeat = first;
            else
                note("<tempo> firstBeat=" + value + " is not a music time in seconds; bar 1 starts at " +
                     shortNumber(tempo.firstBeat) + " s");
        } else {
            note("<tempo>: attribute '" + key + "' is not read (it takes bpm, beatsPerBar and firstBeat)");
        }
    }
    return tempo;
}

Tempo readSceneTempo(const std::string& sceneFile) {
    // The load that plays the scene notes what is wrong with it; this look ahead notes nothing.
    ProblemsMuted muted;
    XMLDocument document;
    if (document.load(sceneFile) != 0) return Tempo{};
    return tempoFromElement(tempoElement(document));
}
