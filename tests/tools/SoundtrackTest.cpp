// The soundtrack: its structure, its kicks on the 141 BPM grid (before and after Ogg Vorbis
// encoding), sections that sound different, and bytes that never change between runs.
#include "tools/OggVorbisWriter.h"
#include "tools/Synth.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double Rate = SongSampleRate;

// Mono mix through a two-pole low-pass at 300 Hz: kick and bass, no hats or claps.
std::vector<double> lowBand(const std::vector<float>& left, const std::vector<float>& right) {
    std::vector<double> out(left.size());
    const double a = 1.0 - std::exp(-2.0 * 3.14159265 * 300.0 / Rate);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        s1 += a * (0.5 * (left[i] + right[i]) - s1);
        s2 += a * (s1 - s2);
        out[i] = s2;
    }
    return out;
}

// Mono mix minus its smoothed self: the hiss of hats and claps.
double highBandEnergy(const SongAudio& audio) {
    double smooth = 0, energy = 0;
    for (size_t i = 0; i < audio.left.size(); ++i) {
        const double m = 0.5 * (audio.left[i] + audio.right[i]);
        smooth += 0.5 * (m - smooth);
        energy += (m - smooth) * (m - smooth);
    }
    return energy / static_cast<double>(audio.left.size());
}

// Sums of squares over any range of a signal at once (running totals).
class Energy {
public:
    explicit Energy(const std::vector<double>& x) : total_(x.size() + 1, 0.0) {
        for (size_t i = 0; i < x.size(); ++i)
            total_[i + 1] = total_[i] + x[i] * x[i];
    }
    // Energy of samples [from, to), clipped to the signal.
    double operator()(int64_t from, int64_t to) const {
        const int64_t n = static_cast<int64_t>(total_.size()) - 1;
        from = std::clamp<int64_t>(from, 0, n);
        to = std::clamp<int64_t>(to, from, n);
        return total_[static_cast<size_t>(to)] - total_[static_cast<size_t>(from)];
    }

private:
    std::vector<double> total_;
};

// For every beat of the audio, a kick right on the beat's sample: low-frequency energy steps up
// there. The step is where the energy of the next 10 ms most exceeds that of the 10 ms before,
// searched within half a sixteenth either side of the beat (the bass plays on the sixteenths
// between); it must lie within 5 ms of the beat (the detector itself lags by about 3 ms: the filter and the
// rising first cycle) and at least triple the energy.
void expectKicksOnTheBeatGrid(const std::vector<float>& left, const std::vector<float>& right,
                              const char* what) {
    const std::vector<double> low = lowBand(left, right);
    const Energy energy(low);
    const int64_t w = static_cast<int64_t>(0.01 * Rate);
    const int64_t tolerance = static_cast<int64_t>(0.005 * Rate);
    const int64_t sixteenth = beatStartSample(1) / 4;
    int beats = 0;
    for (int64_t beat = 0; beatStartSample(beat + 1) <= static_cast<int64_t>(low.size()); ++beat, ++beats) {
        const int64_t s = beatStartSample(beat);
        int64_t onset = -1;
        double largest = 0;
        for (int64_t t = std::max<int64_t>(s - sixteenth / 2, 0); t < s + sixteenth / 2; ++t) {
            const double step = energy(t, t + w) - energy(t - w, t);
            if (step > largest) {
                largest = step;
                onset = t;
            }
        }
        EXPECT_LE(std::abs(onset - s), tolerance)
            << what << ": beat " << beat << " starts at sample " << onset << ", expected " << s;
        EXPECT_GT(energy(s, s + w), 3.0 * energy(s - w, s)) << what << ": no onset at beat " << beat;
    }
    EXPECT_GE(beats, 7) << what;
}

TEST(Soundtrack, StructureRunsTwoToThreeMinutesInOrderedSections) {
    const auto& sections = songSections();
    ASSERT_FALSE(sections.empty());
    EXPECT_EQ(sections.front().startBar, 0);
    for (size_t i = 1; i < sections.size(); ++i)
        EXPECT_GT(sections[i].startBar, sections[i - 1].startBar) << sections[i].name;
    EXPECT_LT(sections.back().startBar, SongBars);
    EXPECT_GE(barStartSeconds(SongBars), 120.0);
    EXPECT_LE(barStartSeconds(SongBars), 180.0);
    EXPECT_DOUBLE_EQ(barStartSeconds(8), 8 * 240.0 / 141.0);

    const std::string text = songStructureText();
    for (const SongSection& s : sections)
        EXPECT_NE(text.find(s.name), std::string::npos) << s.name;
    EXPECT_NE(text.find("40.851"), std::string::npos) << text; // the drop, bar 24
}

TEST(Soundtrack, BeatsFallOnWholeSamplesOfTheGrid) {
    EXPECT_EQ(beatStartSample(0), 0);
    EXPECT_EQ(beatStartSample(141), 60 * SongSampleRate); // 141 beats are exactly one minute
    EXPECT_EQ(beatStartSample(1), 18766);                 // 18765.96 rounded
}

TEST(Soundtrack, KicksSitOnTheBeatGridInEverySection) {
    for (const SongSection& s : songSections()) {
        const SongAudio audio = renderSong(s.startBar, 2);
        ASSERT_EQ(audio.left.size(), static_cast<size_t>(beatStartSample(8))) << s.name;
        expectKicksOnTheBeatGrid(audio.left, audio.right, s.name);
    }
}

TEST(Soundtrack, SectionsSoundDifferent) {
    const double introHiss = highBandEnergy(renderSong(0, 4));
    const double dropHiss = highBandEnergy(renderSong(24, 4));
    EXPECT_GT(dropHiss, 5 * introHiss) << "the drop brings hats and claps the intro does not have";

    // Loudness before each slice was normalised: the breakdown, with its soft kick and no bass,
    // is quieter than the drop.
    auto loudness = [](const SongAudio& a) {
        double e = 0;
        for (float v : a.left)
            e += v * v;
        return std::sqrt(e / static_cast<double>(a.left.size())) / a.gain;
    };
    EXPECT_LT(loudness(renderSong(44, 2)), 0.85 * loudness(renderSong(28, 2)));
}

struct Decoded {
    std::vector<float> left, right;
    long rate = 0;
    int channels = 0;
};

struct Reader {
    const std::vector<uint8_t>* bytes;
    size_t at = 0;
};

Decoded decodeOgg(const std::vector<uint8_t>& bytes) {
    Reader reader{&bytes};
    ov_callbacks callbacks{};
    callbacks.read_func = [](void* out, size_t size, size_t count, void* source) -> size_t {
        auto* r = static_cast<Reader*>(source);
        const size_t n = std::min(size * count, r->bytes->size() - r->at);
        std::memcpy(out, r->bytes->data() + r->at, n);
        r->at += n;
        return size ? n / size : 0;
    };
    OggVorbis_File file;
    Decoded d;
    if (ov_open_callbacks(&reader, &file, nullptr, 0, callbacks) != 0) return d;
    const vorbis_info* info = ov_info(&file, -1);
    d.rate = info->rate;
    d.channels = info->channels;
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        const long n = ov_read_float(&file, &pcm, 4096, &section);
        if (n <= 0) break;
        d.left.insert(d.left.end(), pcm[0], pcm[0] + n);
        d.right.insert(d.right.end(), pcm[d.channels > 1 ? 1 : 0], pcm[d.channels > 1 ? 1 : 0] + n);
    }
    ov_clear(&file);
    return d;
}

TEST(Soundtrack, OggKeepsEverySampleAndTheBeatGrid) {
    const SongAudio audio = renderSong(24, 2);
    std::string error;
    const std::vector<uint8_t> ogg = encodeOggVorbis(audio, 0.4f, {"TITLE=test"}, error);
    ASSERT_FALSE(ogg.empty()) << error;
    ASSERT_EQ(std::memcmp(ogg.data(), "OggS", 4), 0);

    const Decoded decoded = decodeOgg(ogg);
    EXPECT_EQ(decoded.rate, 44100);
    EXPECT_EQ(decoded.channels, 2);
    ASSERT_EQ(decoded.left.size(), audio.left.size());
    expectKicksOnTheBeatGrid(decoded.left, decoded.right, "decoded");

    // The codec is lossy but close: the decoded signal follows the original.
    double error2 = 0, signal2 = 0;
    for (size_t i = 0; i < audio.left.size(); ++i) {
        error2 += (decoded.left[i] - audio.left[i]) * (decoded.left[i] - audio.left[i]);
        signal2 += audio.left[i] * audio.left[i];
    }
    EXPECT_LT(error2, 0.05 * signal2);
}

TEST(Soundtrack, SameBarsGiveTheSameBytes) {
    std::string error;
    const std::vector<uint8_t> first = encodeOggVorbis(renderSong(56, 2), 0.4f, {}, error);
    const std::vector<uint8_t> second = encodeOggVorbis(renderSong(56, 2), 0.4f, {}, error);
    ASSERT_FALSE(first.empty()) << error;
    EXPECT_EQ(first, second);
}

TEST(Soundtrack, EncoderRefusesAnImpossibleQuality) {
    std::string error;
    const std::vector<uint8_t> ogg = encodeOggVorbis(renderSong(0, 1), 5.0f, {}, error);
    EXPECT_TRUE(ogg.empty());
    EXPECT_NE(error.find("quality"), std::string::npos) << error;
}

} // namespace
