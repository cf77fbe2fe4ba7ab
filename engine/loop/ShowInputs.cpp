#include "engine/loop/ShowInputs.h"

#include "engine/EngineRegistry.h"
#include "engine/FreeTracks.h"
#include "engine/base/Log.h"
#include "engine/base/SongAnalysis.h"
#include "render/RenderInterface.h"

#include <mutex>

namespace {

struct Analysis {
    std::mutex mutex;
    SongDecoder decoder;
    SongAnalysis spectrum;
    std::string path; // the song analysed (or that failed), with the player's load count then
    uint64_t loads = 0;
    bool tried = false;
};

Analysis& analysis() {
    static Analysis a;
    return a;
}

bool musicIsRead(RenderInterface* renderer) {
    if (!renderer) return false;
    if (renderer->declaresShaderInput(SpectrumSamplerName)) return true;
    for (const std::string& band : musicBandInputs())
        if (renderer->declaresShaderInput(band)) return true;
    return false;
}

} // namespace

void setSongDecoder(SongDecoder decoder) {
    std::lock_guard lock(analysis().mutex);
    analysis().decoder = std::move(decoder);
}

void prepareSongAnalysis() {
    EngineRegistry& r = engine();
    if (!musicIsRead(r.renderer)) return;
    uint64_t loads = 0;
    const std::string path = r.music.streamPath(&loads);
    Analysis& a = analysis();
    std::lock_guard lock(a.mutex);
    if (a.tried && a.path == path && a.loads == loads) return;
    a.tried = true;
    a.path = path;
    a.loads = loads;
    a.spectrum.clear();
    if (path.empty() || !a.decoder) return;
    int rate = 0;
    std::vector<int16_t> mono;
    std::string why;
    if (!a.decoder(path, rate, mono, why)) {
        logStream << "spectrum: " << path << " cannot be decoded (" << why
                  << "); the shaders read the music as silence" << std::endl;
        return;
    }
    a.spectrum.setSong(rate, std::move(mono));
}

ShaderInputs gatherShaderInputs(float musicTime) {
    EngineRegistry& r = engine();
    ShaderInputs inputs;
    evaluateFreeTracks(musicTime, inputs);
    const Tempo tempo = showTempo();
    const double beat = tempo.beatsAt(musicTime);
    inputs.set("time", {musicTime, 0, 0, 0}, 1);
    inputs.set("beat", {static_cast<float>(beat), 0, 0, 0}, 1);
    inputs.set("bar", {static_cast<float>(beat / tempo.beatsPerBar), 0, 0, 0}, 1);
    std::array<float, 3> bands{};
    if (musicIsRead(r.renderer)) {
        prepareSongAnalysis();
        Analysis& a = analysis();
        std::lock_guard lock(a.mutex);
        bands = a.spectrum.bandsAt(musicTime);
        if (r.renderer->declaresShaderInput(SpectrumSamplerName)) {
            a.spectrum.spectrumAt(musicTime, inputs.spectrum.data());
            inputs.hasSpectrum = true;
        }
    }
    inputs.set("bass", {bands[0], 0, 0, 0}, 1);
    inputs.set("mid", {bands[1], 0, 0, 0}, 1);
    inputs.set("treble", {bands[2], 0, 0, 0}, 1);
    return inputs;
}

void resetShowInputs() {
    Analysis& a = analysis();
    std::lock_guard lock(a.mutex);
    a.spectrum.clear();
    a.path.clear();
    a.loads = 0;
    a.tried = false;
}
