// Pictures for the texture generators: float colour and scalar fields with rows top-down, as a
// picture is seen, plus the few drawing, noise and conversion helpers the generators share.
//
// Orientation: everything here is drawn upright, x to the right and y downwards. Only the
// conversion to bitmap bytes knows the file layout; see toBitmap and toEmissiveBitmap.
// Everything is deterministic: the noise and the random numbers come from integer hashes and a
// fixed-seed generator, never from the clock or the standard library's distributions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Color {
    float r = 0, g = 0, b = 0;
    Color operator+(const Color& o) const { return {r + o.r, g + o.g, b + o.b}; }
    Color operator-(const Color& o) const { return {r - o.r, g - o.g, b - o.b}; }
    Color operator*(float s) const { return {r * s, g * s, b * s}; }
    Color operator*(const Color& o) const { return {r * o.r, g * o.g, b * o.b}; }
};

Color mix(const Color& a, const Color& b, float t);
// 0xRRGGBB as a colour.
Color rgb(uint32_t hex);

// A grid of floats: heights, masks, coverage.
struct Field {
    int width = 0, height = 0;
    std::vector<float> values;

    Field() = default;
    Field(int w, int h, float fill = 0.0f);
    float& at(int x, int y) { return values[static_cast<size_t>(y) * width + x]; }
    float at(int x, int y) const { return values[static_cast<size_t>(y) * width + x]; }
    // With wrap the field tiles (coordinates taken modulo the size), else edges are clamped.
    float sample(int x, int y, bool wrap) const;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<Color> pixels;

    Picture() = default;
    Picture(int w, int h, Color fill = {});
    Color& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    const Color& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Paints `color` where the mask covers, by coverage x opacity.
    void paint(const Field& mask, const Color& color, float opacity = 1.0f);
    // Adds `color` x mask (light, glow).
    void add(const Field& mask, const Color& color);
};

// 3-byte red-green-blue pixels, rows top-down.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// Rounds each channel of 0..1 to a byte.
Image quantize(const Picture& picture);

// An ordinary bottom-up 24-bit bitmap of the upright picture: the first row written is the
// picture's bottom row. The engine keeps rows in file order and mirrors diffuse and normal rows,
// so on a mesh the picture appears unmirrored (u grows towards its left edge, v towards its top),
// and drawRect (w, h, 0, 0) shows it upright on screen.
std::vector<uint8_t> toBitmap(const Image& image);
// The same, with every row mirrored left-right: the engine copies emissive rows as they are
// while it mirrors the diffuse ones, so an emissive map written this way lines up with its
// diffuse picture on the screen.
std::vector<uint8_t> toEmissiveBitmap(const Image& image);

// A tangent-space normal map of the height field (heights in pixels x strength): red is the
// component along the tangent (+u), green along the binormal (+v), blue along the normal, each
// as floor(127.5 x (c + 1)); a flat spot is exactly (127, 127, 255).
Image normalMapFromHeight(const Field& height, float strength, bool wrap);

// Deterministic random numbers (SplitMix64).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next();
    float uniform();                    // [0, 1)
    float range(float low, float high); // [low, high)
    int below(int n);                   // 0 .. n - 1

private:
    uint64_t state_;
};

// Gradient noise in about -1..1 that tiles with the given period in lattice cells (0: no tiling).
float gradientNoise(float x, float y, int periodX, int periodY, uint32_t seed);
// Sum of octaves of gradient noise, each of twice the frequency and `gain` times the amplitude,
// tiling over a picture of `size` pixels when the base period divides it.
Field fractalNoise(int width, int height, int cellsX, int cellsY, int octaves, float gain, uint32_t seed,
                   bool wrap);

// Three box blurs of the radius (close to a Gaussian).
void blur(Field& field, int radius, bool wrap);

// Anti-aliased shapes added into a mask (coverage is kept at most 1).
void fillCircle(Field& mask, float cx, float cy, float radius);
void strokeLine(Field& mask, float x0, float y0, float x1, float y1, float width);
void fillRect(Field& mask, float x0, float y0, float x1, float y1);
