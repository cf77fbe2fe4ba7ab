#include "tools/import/TempoDetect.h"

#include <aubio/aubio.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr uint_t Window = 1024;
constexpr uint_t Hop = 512;
constexpr int LeastBeats = 8;
constexpr int Bins = 96; // a beat folded into this many places

struct SoundFile {
    SNDFILE* file = nullptr;
    ~SoundFile() {
        if (file) sf_close(file);
    }
};

struct AubioTempo {
    aubio_tempo_t* tracker = nullptr;
    fvec_t* in = nullptr;
    fvec_t* out = nullptr;
    ~AubioTempo() {
        if (tracker) del_aubio_tempo(tracker);
        if (in) del_fvec(in);
        if (out) del_fvec(out);
    }
};

// A tempo as a person would write it: whole beats a minute when it is that close to them (the
// search steps by a hundredth, and a short song tells its tempo to a few tenths).
double tidyBpm(double bpm) {
    const double whole = std::round(bpm);
    if (std::fabs(bpm - whole) < 0.3) return whole;
    return std::round(bpm * 10.0) / 10.0;
}

} // namespace

bool detectTempo(const std::string& songFile, TempoEstimate& estimate, std::string& error) {
    SF_INFO info{};
    SoundFile sound;
    sound.file = sf_open(songFile.c_str(), SFM_READ, &info);
    if (!sound.file) {
        error = std::string("cannot decode it (") + sf_strerror(nullptr) + ")";
        return false;
    }
    if (info.channels < 1 || info.samplerate < 8000 || info.samplerate > 384000) {
        error = "it has " + std::to_string(info.channels) + " channels at " +
                std::to_string(info.samplerate) + " Hz; a song for a show has 1 or 2 at 8 to 384 kHz";
        return false;
    }
    AubioTempo aubio;
    aubio.tracker = new_aubio_tempo("default", Window, Hop, static_cast<uint_t>(info.samplerate));
    aubio.in = new_fvec(Hop);
    aubio.out = new_fvec(2);
    if (!aubio.tracker || !aubio.in || !aubio.out) {
        error = "aubio's beat tracker could not start";
        return false;
    }
    const size_t channels = static_cast<size_t>(info.channels);
    std::vector<float> block(Hop * channels);
    std::vector<double> beats;
    // The low end's rise in each hop: where the kicks (or whatever marks the beat down there) hit.
    std::vector<double> lowRise;
    const double low = 1.0 - std::exp(-2.0 * std::numbers::pi * 150.0 / info.samplerate);
    double lowState = 0.0, lastEnergy = 0.0;
    sf_count_t frames = 0;
    for (;;) {
        const sf_count_t got = sf_readf_float(sound.file, block.data(), Hop);
        if (got <= 0) break;
        for (uint_t i = 0; i < Hop; ++i) {
            float sum = 0.0f;
            if (static_cast<sf_count_t>(i) < got)
                for (size_t c = 0; c < channels; ++c)
                    sum += block[i * channels + c];
            aubio.in->data[i] = sum / static_cast<float>(channels);
        }
        double energy = 0.0;
        for (uint_t i = 0; i < Hop; ++i) {
            lowState += low * (aubio.in->data[i] - lowState);
            energy += lowState * lowState;
        }
        lowRise.push_back(std::max(0.0, energy - lastEnergy));
        lastEnergy = energy;
        aubio_tempo_do(aubio.tracker, aubio.in, aubio.out);
        if (aubio.out->data[0] != 0) beats.push_back(aubio_tempo_get_last_s(aubio.tracker));
        frames += got;
    }
    estimate.seconds = static_cast<double>(frames) / info.samplerate;
    estimate.beatsHeard = static_cast<int>(beats.size());
    estimate.confidence = aubio_tempo_get_confidence(aubio.tracker);
    if (static_cast<int>(beats.size()) < LeastBeats) {
        error = "aubio heard " + std::to_string(beats.size()) + " beats in " +
                std::to_string(static_cast<int>(estimate.seconds)) + " s, too few to tell a tempo";
        return false;
    }
    // aubio's tempo: the middle gap between the beats it heard once it had settled (it takes a few
    // seconds, and then re-settles now and then, which the middle gap passes over).
    std::vector<double> gaps;
    for (size_t i = beats.size() / 4 + 1; i < beats.size(); ++i)
        gaps.push_back(beats[i] - beats[i - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    const double heard = 60.0 / gaps[gaps.size() / 2];
    // aubio may count eighths, halves or a figure of three: the tempo is the one near a simple
    // ratio of its own on whose beats the low end (kick, bass) rises most, against the rise a half
    // and a third of a beat later (a tempo two or three times too slow rises there as much; one
    // twice as fast has every other beat weak). Near each, the fold of the rises over one beat says it to a
    // hundredth: for the right tempo they pile up in one place, a tempo a little off smears them.
    const double hopSeconds = static_cast<double>(Hop) / info.samplerate;
    struct Fold {
        double pile = -1.0;   // the rises around the beat
        double against = 0.0; // and a half and a third of a beat from it
    };
    auto foldAt = [&](double bpm) {
        const double period = 60.0 / bpm;
        std::vector<double> fold(Bins, 0.0);
        for (size_t h = 0; h < lowRise.size(); ++h) {
            const double phase = std::fmod(static_cast<double>(h) * hopSeconds, period) / period;
            fold[static_cast<size_t>(phase * Bins) % Bins] += lowRise[h];
        }
        auto around = [&fold](int b) {
            return fold[static_cast<size_t>((b + Bins - 1) % Bins)] + fold[static_cast<size_t>(b % Bins)] +
                   fold[static_cast<size_t>((b + 1) % Bins)];
        };
        Fold best;
        for (int b = 0; b < Bins; ++b)
            if (around(b) > best.pile) {
                best.pile = around(b);
                best.against =
                    std::max({around(b + Bins / 2), around(b + Bins / 3), around(b + 2 * Bins / 3)});
            }
        return best;
    };
    // Coarsely within 4 % of each ratio, then finely around the best.
    auto search = [&](double from, double to, double step, double& at) {
        Fold best;
        for (double bpm = from; bpm <= to; bpm += step) {
            const Fold fold = foldAt(bpm);
            if (fold.pile > best.pile) {
                best = fold;
                at = bpm;
            }
        }
        return best;
    };
    double bestBpm = heard, bestContrast = -1.0;
    for (double ratio : {1.0, 0.5, 2.0, 2.0 / 3.0, 1.5, 0.75, 4.0 / 3.0}) {
        const double rough = heard * ratio;
        if (rough < 50.0 || rough > 220.0) continue;
        double candidate = rough;
        search(rough * 0.96, rough * 1.04, 0.05, candidate);
        const Fold fold = search(candidate - 0.05, candidate + 0.05, 0.005, candidate);
        // Per beat, so that tempi of other lengths compare.
        const double contrast = (fold.pile - fold.against) / candidate;
        if (contrast > bestContrast) {
            bestContrast = contrast;
            bestBpm = candidate;
        }
    }
    Tempo& tempo = estimate.tempo;
    tempo.bpm = std::clamp(tidyBpm(bestBpm), Tempo::MinBpm, Tempo::MaxBpm);
    // Where the beats fall at the tidied tempo: aubio follows the beat but may follow it on the
    // off-beats, so the phase is the one whose beats the low end (kick, bass) rises on most.
    const double beat = 60.0 / tempo.bpm;
    auto rise = [&](double seconds) {
        const double at = seconds / hopSeconds;
        const auto h = static_cast<size_t>(at);
        if (h + 1 >= lowRise.size()) return 0.0;
        const double f = at - static_cast<double>(h);
        return lowRise[h] * (1.0 - f) + lowRise[h + 1] * f;
    };
    double first = 0.0, best = -1.0;
    for (double phase = 0.0; phase < beat; phase += 0.001) {
        double score = 0.0;
        for (double t = phase; t < estimate.seconds; t += beat)
            score += rise(t);
        if (score > best) {
            best = score;
            first = phase;
        }
    }
    tempo.firstBeat = std::round(first * 1000.0) / 1000.0;
    if (tempo.firstBeat >= beat - 0.0005) tempo.firstBeat = 0.0;
    tempo.beatsPerBar = 4;
    return true;
}
