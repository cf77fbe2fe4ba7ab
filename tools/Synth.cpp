// The synthesizer: instruments, the arrangement bar by bar, and the mix. The song's structure
// (sections, start bars and times) is listed at the top of Synth.h.
#include "tools/Synth.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double Rate = SongSampleRate;

// Samples a beat at a tempo: the same expression for every tempo, so the default song's samples
// stay what they were.
double samplesPerBeatAt(double bpm) {
    return Rate * 60.0 / bpm;
}
const double DefaultSamplesPerBeat = samplesPerBeatAt(SongBpm);

const std::vector<SongSection> sections = {
    {"intro", 0}, {"build", 8}, {"drop", 24}, {"breakdown", 40}, {"finale", 56}, {"outro", 80},
};

enum class Part { Intro, Build, Drop, Breakdown, Finale, Outro };

Part partOf(int bar) {
    int index = 0;
    for (size_t i = 0; i < sections.size(); ++i)
        if (bar >= sections[i].startBar) index = static_cast<int>(i);
    return static_cast<Part>(index);
}

int partStart(Part part) {
    return sections[static_cast<size_t>(part)].startBar;
}

double hz(double midi) {
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

// White noise from a 32-bit xorshift: the same seed, the same hiss.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {
        if (state_ == 0) state_ = 1;
    }
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    uint32_t state_;
};

// Topology-preserving state-variable filter (Zavalishin): stable under fast cutoff changes.
class Filter {
public:
    void set(double cutoff, double q) {
        const double g = std::tan(Pi * std::clamp(cutoff, 10.0, 0.45 * Rate) / Rate);
        k_ = 1.0 / q;
        a1_ = 1.0 / (1.0 + g * (g + k_));
        a2_ = g * a1_;
        a3_ = g * a2_;
    }
    void tick(double x) {
        const double v3 = x - ic2_;
        const double v1 = a1_ * ic1_ + a2_ * v3;
        const double v2 = ic2_ + a2_ * ic1_ + a3_ * v3;
        ic1_ = 2 * v1 - ic1_;
        ic2_ = 2 * v2 - ic2_;
        low = v2;
        band = v1;
        high = x - k_ * v1 - v2;
    }
    double low = 0, band = 0, high = 0;

private:
    double ic1_ = 0, ic2_ = 0, a1_ = 0, a2_ = 0, a3_ = 0, k_ = 1;
};

// Band-limited sawtooth: a naive ramp with its jump smoothed over one sample (PolyBLEP).
double polyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

struct Saw {
    double phase = 0;
    double next(double frequency) {
        const double dt = frequency / Rate;
        const double out = 2.0 * phase - 1.0 - polyBlep(phase, dt);
        phase += dt;
        if (phase >= 1.0) phase -= 1.0;
        return out;
    }
};

using Track = std::vector<float>;

// Adds f(i) for i in [0, length) to the track from `start`, clipped to the track.
template <typename F>
void render(Track& out, int64_t start, int64_t length, F f) {
    const int64_t end = std::min<int64_t>(start + length, static_cast<int64_t>(out.size()));
    for (int64_t n = std::max<int64_t>(start, 0); n < end; ++n)
        out[static_cast<size_t>(n)] += static_cast<float>(f(n - start));
}

void addKick(Track& out, int64_t start, double velocity) {
    double phase = 0;
    Noise noise(static_cast<uint32_t>(start));
    const int64_t length = static_cast<int64_t>(0.45 * Rate);
    render(out, start, length, [&](int64_t i) {
        const double t = static_cast<double>(i) / Rate;
        // The body starts at phase 0 on the beat's sample and drops from a click to 46 Hz.
        const double f = 46.0 + 120.0 * std::exp(-t / 0.032) + 200.0 * std::exp(-t / 0.003);
        const double body = std::sin(2 * Pi * phase) * std::exp(-t / 0.16) * std::min(1.0, (0.45 - t) / 0.03);
        phase += f / Rate;
        const double click = 0.25 * noise.next() * std::exp(-t / 0.0012);
        return velocity * (std::tanh(1.8 * body) / std::tanh(1.8) * 0.95 + click);
    });
}

void addBass(Track& out, int64_t start, int64_t length, int pitch, double velocity, double brightness) {
    Saw a, b;
    a.phase = 0.0;
    b.phase = 0.5;
    double sub = 0;
    Filter filter;
    const double f = hz(pitch);
    const int64_t release = static_cast<int64_t>(0.05 * Rate);
    render(out, start, length + release, [&](int64_t i) {
        const double t = static_cast<double>(i) / Rate;
        if (i % 16 == 0)
            filter.set(180.0 + 900.0 * brightness + 2200.0 * brightness * std::exp(-t / 0.07), 1.4);
        const double raw = 0.35 * (a.next(f * 1.0035) + b.next(f * 0.9965)) + 0.5 * std::sin(2 * Pi * sub);
        sub += f / Rate;
        filter.tick(raw);
        const double attack = std::min(1.0, t / 0.003);
        const double tail = i < length ? 1.0 : std::exp(-static_cast<double>(i - length) / (0.012 * Rate));
        return velocity * attack * tail * filter.low;
    });
}

void addHat(Track& out, int64_t start, double velocity, bool open) {
    Noise noise(static_cast<uint32_t>(start) ^ 0x4A7u);
    Filter high, sizzle;
    high.set(7500, 0.7);
    sizzle.set(10500, 1.5);
    const double decay = open ? 0.16 : 0.022;
    render(out, start, static_cast<int64_t>(6 * decay * Rate), [&](int64_t i) {
        const double t = static_cast<double>(i) / Rate;
        const double x = noise.next();
        high.tick(x);
        sizzle.tick(x);
        return velocity * std::exp(-t / decay) * (0.7 * high.high + 0.5 * sizzle.band);
    });
}

void addClap(Track& out, int64_t start, double velocity) {
    Noise noise(static_cast<uint32_t>(start) ^ 0xC1Au);
    Filter band;
    band.set(1300, 1.2);
    render(out, start, static_cast<int64_t>(0.5 * Rate), [&](int64_t i) {
        const double t = static_cast<double>(i) / Rate;
        double env = 0;
        for (int k = 0; k < 3; ++k)
            if (t >= 0.009 * k) env += std::exp(-(t - 0.009 * k) / 0.005);
        if (t >= 0.02) env += 0.8 * std::exp(-(t - 0.02) / 0.11);
        band.tick(noise.next());
        return velocity * env * band.band * 1.6;
    });
}

void addSnare(Track& out, int64_t start, double velocity) {
    Noise noise(static_cast<uint32_t>(start) ^ 0x5EAu);
    Filter band;
    band.set(2500, 0.8);
    double phase = 0;
    render(out, start, static_cast<int64_t>(0.35 * Rate), [&](int64_t i) {
        const double t = static_cast<double>(i) / Rate;
        const double tone = std::sin(2 * Pi * phase) * std::exp(-t / 0.05);
        phase += (160.0 + 40.0 * std::exp(-t / 0.02)) / Rate;
        band.tick(noise.next());
        return velocity * (0.5 * tone + 1.2 * band.band * std::exp(-t / 0.09));
    });
}

void addCrash(Track& out, int64_t start, double velocity) {
    Noise noise(static_cast<uint32_t>(start) ^ 0xC4Au);
    Filter high;
    high.set(4500, 0.7);
    render(out, start, static_cast<int64_t>(3.0 * Rate), [&](int64_t i) {
        const double t = static_cast<double>(i) / Rate;
        high.tick(noise.next());
        return velocity * std::min(1.0, t / 0.002) * std::exp(-t / 0.7) * high.high;
    });
}

void addRiser(Track& out, int64_t start, int64_t length, double velocity) {
    Noise noise(static_cast<uint32_t>(start) ^ 0x415u);
    Filter band;
    render(out, start, length, [&](int64_t i) {
        const double p = static_cast<double>(i) / static_cast<double>(length);
        if (i % 32 == 0) band.set(300.0 * std::pow(20.0, p), 2.0);
        band.tick(noise.next());
        return velocity * p * p * band.band * 2.0;
    });
}

// One chord of the pad: three slightly detuned saws per note, spread from left to right.
void addPad(Track& left, Track& right, int64_t start, int64_t length, const std::vector<int>& notes,
            double velocity) {
    struct Voice {
        Saw saw;
        double frequency, toLeft, toRight;
    };
    std::vector<Voice> voices;
    Noise phases(static_cast<uint32_t>(start) ^ 0x9ADu);
    const std::array<double, 3> detune = {-0.08, 0.0, 0.08};
    for (int note : notes)
        for (size_t k = 0; k < detune.size(); ++k) {
            Voice v;
            v.saw.phase = 0.5 * (phases.next() + 1.0);
            v.frequency = hz(note + detune[k]);
            v.toLeft = k == 0 ? 0.9 : k == 1 ? 0.6 : 0.3;
            v.toRight = 1.2 - v.toLeft;
            voices.push_back(v);
        }
    const int64_t release = static_cast<int64_t>(0.7 * Rate);
    const int64_t end = std::min<int64_t>(start + length + release, static_cast<int64_t>(left.size()));
    for (int64_t n = std::max<int64_t>(start, 0); n < end; ++n) {
        const int64_t i = n - start;
        const double t = static_cast<double>(i) / Rate;
        const double attack = std::min(1.0, t / 0.35);
        const double tail = i < length ? 1.0 : std::exp(-static_cast<double>(i - length) / (0.2 * Rate));
        const double gain = velocity * attack * tail * 0.05;
        double l = 0, r = 0;
        for (Voice& v : voices) {
            const double s = v.saw.next(v.frequency);
            l += s * v.toLeft;
            r += s * v.toRight;
        }
        left[static_cast<size_t>(n)] += static_cast<float>(l * gain);
        right[static_cast<size_t>(n)] += static_cast<float>(r * gain);
    }
}

// A short pulse-wave pluck for the arpeggio.
void addPluck(Track& out, int64_t start, int pitch, double velocity) {
    Saw a, b;
    b.phase = 0.35;
    const double f = hz(pitch);
    render(out, start, static_cast<int64_t>(0.5 * Rate), [&](int64_t i) {
        const double t = static_cast<double>(i) / Rate;
        const double pulse = a.next(f) - b.next(f);
        return velocity * std::min(1.0, t / 0.002) * std::exp(-t / 0.11) * pulse * 0.5;
    });
}

void addLead(Track& out, int64_t start, int64_t length, int pitch, double velocity) {
    Saw a, b;
    b.phase = 0.25;
    Filter filter;
    filter.set(3200, 0.9);
    const int64_t release = static_cast<int64_t>(0.15 * Rate);
    render(out, start, length + release, [&](int64_t i) {
        const double t = static_cast<double>(i) / Rate;
        const double vibrato = t > 0.25 ? 0.18 * std::sin(2 * Pi * 5.3 * (t - 0.25)) : 0.0;
        const double f = hz(pitch + vibrato);
        filter.tick(0.5 * (a.next(f * 1.0035) + b.next(f * 0.9965)));
        const double attack = std::min(1.0, t / 0.01);
        const double tail = i < length ? 1.0 : std::exp(-static_cast<double>(i - length) / (0.04 * Rate));
        return velocity * attack * tail * filter.low;
    });
}

// Parallel comb filters into allpasses on each side (Schroeder's reverb, with Freeverb's tuning).
class Reverb {
public:
    Reverb() {
        const std::array<int, 6> combs = {1116, 1188, 1277, 1356, 1422, 1491};
        const std::array<int, 3> allpasses = {556, 441, 341};
        for (int side = 0; side < 2; ++side) {
            for (int c : combs)
                combs_[side].push_back({std::vector<double>(static_cast<size_t>(c + 23 * side)), 0, 0});
            for (int a : allpasses)
                allpasses_[side].push_back({std::vector<double>(static_cast<size_t>(a + 23 * side)), 0, 0});
        }
    }
    void process(double in, double& left, double& right) {
        left = side(0, in);
        right = side(1, in);
    }

private:
    struct Line {
        std::vector<double> buffer;
        size_t at;
        double store;
    };
    double side(int s, double in) {
        double sum = 0;
        for (Line& c : combs_[s]) {
            const double out = c.buffer[c.at];
            c.store = out * 0.75 + c.store * 0.25; // damping
            c.buffer[c.at] = in + c.store * 0.83;
            c.at = (c.at + 1) % c.buffer.size();
            sum += out;
        }
        for (Line& a : allpasses_[s]) {
            const double delayed = a.buffer[a.at];
            a.buffer[a.at] = sum + delayed * 0.5;
            a.at = (a.at + 1) % a.buffer.size();
            sum = delayed - sum;
        }
        return sum;
    }
    std::array<std::vector<Line>, 2> combs_;
    std::array<std::vector<Line>, 2> allpasses_;
};

struct Chord {
    int bass;
    std::vector<int> pad;
    std::array<int, 3> tones;
};

const std::array<Chord, 4> mainChords = {{
    {45, {57, 60, 64, 69}, {57, 60, 64}}, // Am
    {41, {57, 60, 65, 69}, {57, 60, 65}}, // F
    {48, {55, 60, 64, 67}, {55, 60, 64}}, // C
    {43, {55, 59, 62, 67}, {55, 59, 62}}, // G
}};
const std::array<Chord, 4> breakdownChords = {{
    {41, {53, 57, 60, 65}, {53, 57, 60}}, // F
    {43, {55, 59, 62, 67}, {55, 59, 62}}, // G
    {40, {52, 55, 59, 64}, {52, 55, 59}}, // Em
    {45, {57, 60, 64, 69}, {57, 60, 64}}, // Am
}};

// The finale's melody on an eighth-note grid, four bars a phrase: a pitch starts a note,
// Hold extends the previous one, Rest is silence.
constexpr int Hold = -1, Rest = -2;
const std::array<std::array<std::array<int, 8>, 4>, 2> melody = {{
    {{
        {76, Hold, Hold, 81, Hold, 79, 76, Hold},
        {72, Hold, Hold, 74, Hold, 76, Hold, Hold},
        {79, Hold, Hold, 76, Hold, 72, Hold, 74},
        {74, Hold, Hold, Hold, 71, Hold, 74, Hold},
    }},
    {{
        {81, Hold, 79, Hold, 76, Hold, 74, 76},
        {72, Hold, Hold, 69, Hold, 72, 74, Hold},
        {76, Hold, 79, Hold, 84, Hold, 83, 79},
        {81, Hold, Hold, Hold, Hold, Hold, 79, Rest},
    }},
}};

// Cutoff of the pad and the arpeggio over the song, by bar position (bars may be fractional).
double ramp(double bar, double fromBar, double toBar, double from, double to) {
    const double t = std::clamp((bar - fromBar) / (toBar - fromBar), 0.0, 1.0);
    return from * std::pow(to / from, t);
}

double padCutoff(double bar) {
    if (bar < 8) return ramp(bar, 0, 8, 450, 900);
    if (bar < 24) return ramp(bar, 8, 24, 900, 2600);
    if (bar < 40) return 2800;
    if (bar < 56) return ramp(bar, 40, 56, 1100, 3000);
    if (bar < 80) return 3200;
    return ramp(bar, 80, 96, 2800, 500);
}

double arpCutoff(double bar) {
    if (bar < 24) return ramp(bar, 16, 24, 500, 3000);
    if (bar < 40) return 3500;
    if (bar < 56) return ramp(bar, 40, 56, 1400, 4500);
    if (bar < 80) return 4000;
    return ramp(bar, 80, 84, 3000, 800);
}

struct Tracks {
    Track kick, bass, hats, clap, snare, crash, riser, padLeft, padRight, arp, lead;
    std::vector<int64_t> kicks;
    explicit Tracks(size_t n)
        : kick(n), bass(n), hats(n), clap(n), snare(n), crash(n), riser(n), padLeft(n), padRight(n), arp(n),
          lead(n) {}
};

// Writes one bar's notes; `rel` is the bar's index in the rendered slice.
void arrangeBar(Tracks& t, int bar, int rel, double samplesPerBeat) {
    const Part part = partOf(bar);
    const int inPart = bar - partStart(part);
    const Chord& chord =
        (part == Part::Breakdown ? breakdownChords : mainChords)[static_cast<size_t>(bar % 4)];
    auto at = [&](double beat) {
        return static_cast<int64_t>(std::llround((rel * 4 + beat) * samplesPerBeat));
    };
    auto beats = [&](double n) { return static_cast<int64_t>(std::llround(n * samplesPerBeat)); };

    // Kick on every beat: the show's beat signal.
    const double kickVelocity = part == Part::Intro ? 0.8 : part == Part::Breakdown ? 0.65 : 1.0;
    for (int b = 0; b < 4; ++b) {
        addKick(t.kick, at(b), kickVelocity);
        t.kicks.push_back(at(b));
    }

    // Bass.
    const bool rolling = part == Part::Drop || part == Part::Finale;
    if (rolling) {
        const double brightness = part == Part::Finale ? 0.85 : 0.7;
        const bool octave = part == Part::Finale ? bar % 2 == 1 : inPart >= 8;
        for (int b = 0; b < 4; ++b)
            for (int step = 1; step < 4; ++step)
                addBass(t.bass, at(b + 0.25 * step), beats(0.2), chord.bass + (octave && step == 2 ? 12 : 0),
                        0.9, brightness);
    } else if (part == Part::Build || (part == Part::Outro && inPart < 8)) {
        const double brightness = part == Part::Build ? 0.2 + 0.5 * inPart / 16.0 : 0.5;
        for (int b = 0; b < 4; ++b)
            addBass(t.bass, at(b + 0.5), beats(0.42), chord.bass, 0.9, brightness);
    } else if (part == Part::Breakdown && inPart >= 8) {
        addBass(t.bass, at(0), beats(3.8), chord.bass, 0.8, 0.15);
    }

    // Hats: closed or open on the off-beats, quiet sixteenths in the busier bars.
    bool offbeats = false, open = false, sixteenths = false;
    double hatVelocity = 0.8;
    switch (part) {
    case Part::Intro:
        offbeats = inPart >= 4;
        hatVelocity = 0.5;
        break;
    case Part::Build:
        offbeats = true;
        sixteenths = inPart >= 8;
        hatVelocity = 0.7;
        break;
    case Part::Drop:
        offbeats = sixteenths = true;
        open = inPart >= 8;
        break;
    case Part::Breakdown:
        offbeats = inPart >= 8;
        hatVelocity = 0.5;
        break;
    case Part::Finale:
        offbeats = sixteenths = true;
        open = inPart >= 8;
        break;
    case Part::Outro:
        offbeats = inPart < 12;
        hatVelocity = 0.8 - 0.04 * inPart;
        break;
    }
    for (int b = 0; b < 4; ++b) {
        if (offbeats) addHat(t.hats, at(b + 0.5), hatVelocity * (open ? 0.8 : 1.0), open);
        if (sixteenths) {
            addHat(t.hats, at(b + 0.25), 0.3, false);
            addHat(t.hats, at(b + 0.75), 0.35, false);
        }
    }

    // Clap on the back beats of the drop and the finale.
    if (rolling) {
        addClap(t.clap, at(1), 0.9);
        addClap(t.clap, at(3), 0.9);
    }

    // Snare rolls and risers lead into the drop and the finale.
    const bool leadIn = (part == Part::Build && inPart >= 12) || (part == Part::Breakdown && inPart >= 12);
    if (leadIn) {
        const int barOfFour = inPart - 12;
        if (barOfFour < 2) {
            addSnare(t.snare, at(1), 0.5);
            addSnare(t.snare, at(3), 0.5);
        } else {
            for (int s = 0; s < 16; ++s)
                addSnare(t.snare, at(0.25 * s), 0.25 + 0.75 * (barOfFour - 2 + s / 16.0) / 2.0);
        }
        if (barOfFour == 0) addRiser(t.riser, at(0), beats(16), 1.0);
    }

    // Crashes at the starts of phrases.
    const bool crash = (part == Part::Drop && inPart % 8 == 0) || (part == Part::Finale && inPart % 8 == 0) ||
                       ((part == Part::Breakdown || part == Part::Outro) && inPart == 0);
    if (crash) addCrash(t.crash, at(0), part == Part::Breakdown ? 0.5 : 1.0);

    // The pad holds the bar's chord.
    const double padVelocity = part == Part::Intro ? 0.8 : part == Part::Breakdown ? 1.1 : 1.0;
    addPad(t.padLeft, t.padRight, at(0), beats(4), chord.pad, padVelocity);

    // Arpeggio: the chord's tones rising over two octaves in sixteenths.
    const bool arp = (part == Part::Build && inPart >= 8) || part == Part::Drop || part == Part::Breakdown ||
                     part == Part::Finale || (part == Part::Outro && inPart < 4);
    if (arp)
        for (int s = 0; s < 16; ++s) {
            const int tone = s % 4 == 3 ? chord.tones[0] + 12 : chord.tones[static_cast<size_t>(s % 4)];
            addPluck(t.arp, at(0.25 * s), tone + ((s / 4) % 2) * 12, s % 4 == 0 ? 1.0 : 0.7);
        }

    // The finale's melody.
    if (part == Part::Finale) {
        const auto& phrase = melody[static_cast<size_t>((inPart / 4) % 2)][static_cast<size_t>(inPart % 4)];
        for (int step = 0; step < 8; ++step) {
            const int pitch = phrase[static_cast<size_t>(step)];
            if (pitch < 0) continue;
            int steps = 1;
            while (step + steps < 8 && phrase[static_cast<size_t>(step + steps)] == Hold)
                ++steps;
            addLead(t.lead, at(0.5 * step), beats(0.5 * steps - 0.05), pitch, 0.8);
        }
    }
}

// Gain that dips after each kick, so the kick stays clear of the pad, the bass and the arpeggio.
std::vector<float> sidechain(const std::vector<int64_t>& kicks, size_t n, double depth) {
    std::vector<float> gain(n, 1.0f);
    const double attack = 0.004 * Rate, recover = 0.12 * Rate;
    for (size_t k = 0; k < kicks.size(); ++k) {
        const int64_t from = kicks[k];
        const int64_t to = k + 1 < kicks.size() ? kicks[k + 1] : static_cast<int64_t>(n);
        for (int64_t i = std::max<int64_t>(from, 0); i < std::min<int64_t>(to, static_cast<int64_t>(n));
             ++i) {
            const double d = static_cast<double>(i - from);
            const double shape = d < attack ? d / attack : std::exp(-(d - attack) / recover);
            gain[static_cast<size_t>(i)] = static_cast<float>(1.0 - depth * shape);
        }
    }
    return gain;
}

} // namespace

const std::vector<SongSection>& songSections() {
    return sections;
}

double barStartSeconds(int bar) {
    return bar * 240.0 / SongBpm;
}

int64_t beatStartSample(int64_t beat) {
    return static_cast<int64_t>(std::llround(static_cast<double>(beat) * DefaultSamplesPerBeat));
}

std::string songStructureText() {
    std::string text = "section     start bar   start time\n";
    auto line = [&](const char* name, int bar) {
        const double seconds = barStartSeconds(bar);
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "%-10s %6d   %8.3f s  (%d:%06.3f)\n", name, bar, seconds,
                      static_cast<int>(seconds) / 60, seconds - 60 * (static_cast<int>(seconds) / 60));
        text += buffer;
    };
    for (const SongSection& s : sections)
        line(s.name, s.startBar);
    line("end", SongBars);
    return text;
}

SongAudio renderSong(int firstBar, int barCount, double bpm) {
    firstBar = std::clamp(firstBar, 0, SongBars);
    barCount = std::clamp(barCount, 0, SongBars - firstBar);
    const double samplesPerBeat = samplesPerBeatAt(std::clamp(bpm, MinSongBpm, MaxSongBpm));
    const size_t n = static_cast<size_t>(std::llround(barCount * 4 * samplesPerBeat));
    Tracks t(n);
    for (int rel = 0; rel < barCount; ++rel)
        arrangeBar(t, firstBar + rel, rel, samplesPerBeat);

    const std::vector<float> duckDeep = sidechain(t.kicks, n, 0.75);
    const std::vector<float> duck = sidechain(t.kicks, n, 0.55);

    Filter padL, padR, arpFilter;
    const size_t echo = static_cast<size_t>(std::llround(0.75 * samplesPerBeat));
    std::vector<double> echoL(echo), echoR(echo);
    size_t echoAt = 0;
    Reverb reverb;

    SongAudio audio;
    audio.left.resize(n);
    audio.right.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const double bar = firstBar + static_cast<double>(i) / (4 * samplesPerBeat);
        if (i % 32 == 0) {
            padL.set(padCutoff(bar), 0.9);
            padR.set(padCutoff(bar), 0.9);
            arpFilter.set(arpCutoff(bar), 1.6);
        }
        padL.tick(t.padLeft[i]);
        padR.tick(t.padRight[i]);
        arpFilter.tick(t.arp[i]);

        // Ping-pong echo of the arpeggio at a dotted eighth.
        const double arp = arpFilter.low * duck[i];
        const double fromL = echoL[echoAt], fromR = echoR[echoAt];
        echoL[echoAt] = arp + 0.4 * fromR;
        echoR[echoAt] = 0.4 * fromL;
        echoAt = (echoAt + 1) % echo;

        const double pad = duck[i];
        const double send = 0.3 * (padL.low + padR.low) * pad + 0.35 * arp + 0.25 * t.clap[i] +
                            0.2 * t.snare[i] + 0.3 * t.lead[i] + 0.1 * t.crash[i];
        double wetL, wetR;
        reverb.process(0.05 * send, wetL, wetR);

        const double centre = 0.7 * t.kick[i] + 0.35 * t.bass[i] * duckDeep[i] + 0.9 * t.clap[i] +
                              0.6 * t.snare[i] + 0.4 * t.riser[i] + 0.3 * t.lead[i];
        double left = centre + 0.6 * t.hats[i] + 0.35 * t.crash[i] + 2.0 * padL.low * pad + 0.3 * arp +
                      0.2 * fromL + 0.8 * wetL;
        double right = centre + 0.8 * t.hats[i] + 0.35 * t.crash[i] + 2.0 * padR.low * pad + 0.3 * arp +
                       0.2 * fromR + 0.8 * wetR;
        // The last two bars of the song fade out.
        const double fade = std::clamp((SongBars - bar) / 2.0, 0.0, 1.0);
        audio.left[i] = static_cast<float>(std::tanh(1.1 * left) * fade);
        audio.right[i] = static_cast<float>(std::tanh(1.1 * right) * fade);
    }

    float peak = 0;
    for (size_t i = 0; i < n; ++i)
        peak = std::max({peak, std::abs(audio.left[i]), std::abs(audio.right[i])});
    if (peak > 0) {
        const float gain = 0.89f / peak; // -1 dBFS
        audio.gain = gain;
        for (size_t i = 0; i < n; ++i) {
            audio.left[i] *= gain;
            audio.right[i] *= gain;
        }
    }
    return audio;
}
