// The music's spectrum at a music time, computed from the decoded song rather than from what the
// sound device plays, so that an offline run, a show started in its middle, a capture and a show
// played in real time see the same values at the same music time.
//
// The spectrum at time T: the 1024 samples centred on sample round(T x rate) (silence where they
// lie outside the song), a Hann window, a Fourier transform; bin k (0 to 511) is the amplitude of
// the frequency k x rate / 1024, scaled so that a full-scale sine reads 1 in its bin.
//
// The bands: bass (20 to 200 Hz), mid (200 to 2000 Hz) and treble (2000 Hz to 16 kHz or the
// song's highest frequency). A band's level is the amplitude of the sine that would carry as much
// of the window's energy in that band (a full-scale sine in the band reads 1). The level read at
// T is smoothed over the 50 ms before it: a weighted mean of the levels at ten points 5 ms apart
// (the points lie on a grid of the song's samples, the nearest weighing most), so it depends on
// the music time alone, never on the frames before it, and a kick shows at once and fades out
// over 50 ms.
//
// What it does NOT do: decode (it is handed the samples) or lock (one thread at a time).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

class SongAnalysis {
public:
    static constexpr int WindowSize = 1024;
    static constexpr int Bins = WindowSize / 2;
    static constexpr int SmoothingPoints = 10; // 5 ms apart: 50 ms

    // The song as one channel (the mean of its channels) at `rate` frames a second.
    void setSong(int rate, std::vector<int16_t> mono);
    void clear();
    bool hasSong() const { return rate_ > 0 && !samples_.empty(); }
    int rate() const { return rate_; }

    // The 512 bins at music time `seconds`.
    void spectrumAt(double seconds, float* bins) const;
    // bass, mid and treble at music time `seconds`, smoothed as above.
    std::array<float, 3> bandsAt(double seconds);
    // The three levels of the window centred on one sample, unsmoothed.
    std::array<float, 3> levelsAround(int64_t centre) const;

    // The first and last bin (inclusive) of a band (0 bass, 1 mid, 2 treble) at this rate.
    std::array<int, 2> bandBins(int band) const;

private:
    void transform(int64_t centre, std::array<double, Bins>& magnitudes) const;
    int64_t centreOf(double seconds) const;

    int rate_ = 0;
    std::vector<int16_t> samples_;
    int64_t hop_ = 1;                          // samples between two smoothing points
    std::vector<std::array<float, 3>> levels_; // by smoothing point, computed once
    std::vector<uint8_t> known_;               // which of levels_ are computed
};
