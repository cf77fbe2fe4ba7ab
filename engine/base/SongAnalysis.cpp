#include "engine/base/SongAnalysis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

using Complex = std::complex<double>;

// The window and the transform's twiddles, made once.
struct Tables {
    std::array<double, SongAnalysis::WindowSize> window{};
    std::array<Complex, SongAnalysis::WindowSize / 2> twiddles{};
    std::array<uint16_t, SongAnalysis::WindowSize> reversed{};
    double scale = 0.0; // turns |X_k| into a sine's amplitude

    Tables() {
        constexpr int n = SongAnalysis::WindowSize;
        double sum = 0.0;
        for (int i = 0; i < n; ++i) {
            window[static_cast<size_t>(i)] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / n);
            sum += window[static_cast<size_t>(i)];
        }
        // A sine of amplitude A gives |X_k| = A x sum / 2 in its bin.
        scale = 2.0 / sum;
        for (int i = 0; i < n / 2; ++i)
            twiddles[static_cast<size_t>(i)] = std::polar(1.0, -2.0 * std::numbers::pi * i / n);
        int bits = 0;
        while ((1 << bits) < n)
            ++bits;
        for (int i = 0; i < n; ++i) {
            int r = 0;
            for (int b = 0; b < bits; ++b)
                if (i & (1 << b)) r |= 1 << (bits - 1 - b);
            reversed[static_cast<size_t>(i)] = static_cast<uint16_t>(r);
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

// A Hann window's main lobe spreads a sine over three bins (1, 1/2, 1/2 of its amplitude
// squared: 1.5): dividing by it makes a sine in the band read its amplitude.
constexpr double SineEnergy = 1.5;

} // namespace

void SongAnalysis::setSong(int rate, std::vector<int16_t> mono) {
    rate_ = rate > 0 ? rate : 0;
    samples_ = std::move(mono);
    hop_ = std::max<int64_t>(1, std::llround(rate_ / 200.0));
    const size_t points = rate_ > 0 ? samples_.size() / static_cast<size_t>(hop_) + 2 : 0;
    levels_.assign(points, {});
    known_.assign(points, 0);
}

void SongAnalysis::clear() {
    setSong(0, {});
}

int64_t SongAnalysis::centreOf(double seconds) const {
    const double sample = std::round(seconds * rate_);
    if (!std::isfinite(sample)) return 0;
    return static_cast<int64_t>(std::clamp(sample, -1.0e15, 1.0e15));
}

void SongAnalysis::transform(int64_t centre, std::array<double, Bins>& magnitudes) const {
    const Tables& t = tables();
    std::array<Complex, WindowSize> x{};
    const int64_t first = centre - WindowSize / 2;
    const auto count = static_cast<int64_t>(samples_.size());
    for (int i = 0; i < WindowSize; ++i) {
        const int64_t at = first + i;
        const double sample = at >= 0 && at < count ? samples_[static_cast<size_t>(at)] / 32768.0 : 0.0;
        x[t.reversed[static_cast<size_t>(i)]] = Complex(sample * t.window[static_cast<size_t>(i)], 0.0);
    }
    for (int length = 2; length <= WindowSize; length *= 2) {
        const int half = length / 2;
        const int step = WindowSize / length;
        for (int start = 0; start < WindowSize; start += length)
            for (int k = 0; k < half; ++k) {
                const Complex w = t.twiddles[static_cast<size_t>(k * step)];
                Complex& a = x[static_cast<size_t>(start + k)];
                Complex& b = x[static_cast<size_t>(start + k + half)];
                const Complex product = w * b;
                b = a - product;
                a = a + product;
            }
    }
    for (int k = 0; k < Bins; ++k)
        magnitudes[static_cast<size_t>(k)] = std::abs(x[static_cast<size_t>(k)]) * t.scale;
}

void SongAnalysis::spectrumAt(double seconds, float* bins) const {
    if (!hasSong()) {
        std::fill(bins, bins + Bins, 0.0f);
        return;
    }
    std::array<double, Bins> magnitudes{};
    transform(centreOf(seconds), magnitudes);
    for (int k = 0; k < Bins; ++k)
        bins[k] = static_cast<float>(magnitudes[static_cast<size_t>(k)]);
}

std::array<int, 2> SongAnalysis::bandBins(int band) const {
    if (rate_ <= 0) return {1, 0};
    const double binHz = static_cast<double>(rate_) / WindowSize;
    const double edges[4] = {20.0, 200.0, 2000.0, 16000.0};
    const int b = std::clamp(band, 0, 2);
    const int first = std::max(1, static_cast<int>(std::ceil(edges[b] / binHz - 1e-9)));
    // Each band ends below where the next begins, so no bin counts twice.
    const int last = b == 2 ? std::min(Bins - 1, static_cast<int>(std::floor(edges[3] / binHz)))
                            : static_cast<int>(std::ceil(edges[b + 1] / binHz - 1e-9)) - 1;
    return {first, std::min(last, Bins - 1)};
}

std::array<float, 3> SongAnalysis::levelsAround(int64_t centre) const {
    if (!hasSong()) return {};
    std::array<double, Bins> magnitudes{};
    transform(centre, magnitudes);
    std::array<float, 3> levels{};
    for (int band = 0; band < 3; ++band) {
        const auto [first, last] = bandBins(band);
        double energy = 0.0;
        for (int k = first; k <= last; ++k)
            energy += magnitudes[static_cast<size_t>(k)] * magnitudes[static_cast<size_t>(k)];
        levels[static_cast<size_t>(band)] = static_cast<float>(std::sqrt(energy / SineEnergy));
    }
    return levels;
}

std::array<float, 3> SongAnalysis::bandsAt(double seconds) {
    if (!hasSong()) return {};
    const int64_t centre = centreOf(seconds);
    // The last smoothing point at or before the time, then the nine before it.
    const int64_t newest = centre >= 0 ? centre / hop_ : -((-centre + hop_ - 1) / hop_);
    double sum[3] = {0.0, 0.0, 0.0};
    double weights = 0.0;
    for (int k = 0; k < SmoothingPoints; ++k) {
        const int64_t point = newest - k;
        const double weight = static_cast<double>(SmoothingPoints - k);
        weights += weight;
        std::array<float, 3> levels{};
        if (point >= 0 && static_cast<size_t>(point) < levels_.size()) {
            const auto i = static_cast<size_t>(point);
            if (!known_[i]) {
                levels_[i] = levelsAround(point * hop_);
                known_[i] = 1;
            }
            levels = levels_[i];
        } else if (point >= 0) {
            levels = levelsAround(point * hop_); // past the song: silence, or its last samples
        }
        for (size_t b = 0; b < 3; ++b)
            sum[b] += weight * levels[b];
    }
    return {static_cast<float>(sum[0] / weights), static_cast<float>(sum[1] / weights),
            static_cast<float>(sum[2] / weights)};
}
