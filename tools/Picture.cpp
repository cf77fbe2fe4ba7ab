#include "tools/Picture.h"

#include "render/Bitmap.h"

#include <algorithm>
#include <cmath>
#include <numbers>

Color mix(const Color& a, const Color& b, float t) {
    return a + (b - a) * t;
}

Color rgb(uint32_t hex) {
    return {static_cast<float>((hex >> 16) & 0xFF) / 255.0f, static_cast<float>((hex >> 8) & 0xFF) / 255.0f,
            static_cast<float>(hex & 0xFF) / 255.0f};
}

Field::Field(int w, int h, float fill) : width(w), height(h), values(static_cast<size_t>(w) * h, fill) {}

float Field::sample(int x, int y, bool wrap) const {
    if (wrap) {
        x = ((x % width) + width) % width;
        y = ((y % height) + height) % height;
    } else {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
    }
    return at(x, y);
}

Picture::Picture(int w, int h, Color fill) : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}

void Picture::paint(const Field& mask, const Color& color, float opacity) {
    for (size_t i = 0; i < pixels.size(); ++i) {
        const float a = std::clamp(mask.values[i] * opacity, 0.0f, 1.0f);
        if (a > 0.0f) pixels[i] = mix(pixels[i], color, a);
    }
}

void Picture::add(const Field& mask, const Color& color) {
    for (size_t i = 0; i < pixels.size(); ++i)
        if (mask.values[i] != 0.0f) pixels[i] = pixels[i] + color * mask.values[i];
}

Image quantize(const Picture& picture) {
    Image image{picture.width, picture.height, std::vector<uint8_t>(picture.pixels.size() * 3)};
    auto byte = [](float c) { return static_cast<uint8_t>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f)); };
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        image.rgb[3 * i + 0] = byte(picture.pixels[i].r);
        image.rgb[3 * i + 1] = byte(picture.pixels[i].g);
        image.rgb[3 * i + 2] = byte(picture.pixels[i].b);
    }
    return image;
}

namespace {

std::vector<uint8_t> bottomUpBitmap(const Image& image, bool mirror) {
    const size_t w = static_cast<size_t>(image.width), h = static_cast<size_t>(image.height);
    std::vector<uint8_t> rows(w * h * 3);
    for (size_t fileRow = 0; fileRow < h; ++fileRow) {
        const size_t pictureRow = h - 1 - fileRow;
        for (size_t x = 0; x < w; ++x) {
            const size_t from = 3 * (pictureRow * w + (mirror ? w - 1 - x : x));
            std::copy_n(image.rgb.begin() + static_cast<std::ptrdiff_t>(from), 3,
                        rows.begin() + static_cast<std::ptrdiff_t>(3 * (fileRow * w + x)));
        }
    }
    return encodeBitmap(rows, static_cast<uint32_t>(w), static_cast<uint32_t>(h));
}

} // namespace

std::vector<uint8_t> toBitmap(const Image& image) {
    return bottomUpBitmap(image, false);
}

std::vector<uint8_t> toEmissiveBitmap(const Image& image) {
    return bottomUpBitmap(image, true);
}

Image normalMapFromHeight(const Field& height, float strength, bool wrap) {
    Image image{height.width, height.height, std::vector<uint8_t>(height.values.size() * 3)};
    auto encode = [](double c) {
        return static_cast<uint8_t>(std::clamp(std::floor(127.5 * (c + 1.0)), 0.0, 255.0));
    };
    for (int y = 0; y < height.height; ++y)
        for (int x = 0; x < height.width; ++x) {
            // u grows towards the picture's left and v towards its top (see toBitmap), so the
            // slopes along +u and +v are the negated slope along x and the slope down the rows;
            // the normal leans against them: (-dh/du, -dh/dv, 1).
            const double dx = 0.5 * (height.sample(x + 1, y, wrap) - height.sample(x - 1, y, wrap));
            const double dyDown = 0.5 * (height.sample(x, y + 1, wrap) - height.sample(x, y - 1, wrap));
            const double nt = strength * dx, nb = strength * dyDown;
            const double length = std::sqrt(nt * nt + nb * nb + 1.0);
            uint8_t* p = &image.rgb[3 * (static_cast<size_t>(y) * height.width + x)];
            p[0] = encode(nt / length);
            p[1] = encode(nb / length);
            p[2] = encode(1.0 / length);
        }
    return image;
}

uint64_t Random::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

float Random::uniform() {
    return static_cast<float>(next() >> 40) / static_cast<float>(1ull << 24);
}

float Random::range(float low, float high) {
    return low + (high - low) * uniform();
}

int Random::below(int n) {
    return static_cast<int>(next() % static_cast<uint64_t>(n));
}

namespace {

uint32_t hash(int x, int y, uint32_t seed) {
    uint32_t h = seed ^ (static_cast<uint32_t>(x) * 0x8DA6B343u) ^ (static_cast<uint32_t>(y) * 0xD8163841u);
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float fade(float t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

} // namespace

namespace {

// 256 unit gradients evenly spread around the circle, looked up by hash.
struct GradientTable {
    float x[256], y[256];
    GradientTable() {
        for (int i = 0; i < 256; ++i) {
            const double angle = 2.0 * std::numbers::pi * i / 256.0;
            x[i] = static_cast<float>(std::cos(angle));
            y[i] = static_cast<float>(std::sin(angle));
        }
    }
};
const GradientTable gradients;

} // namespace

float gradientNoise(float x, float y, int periodX, int periodY, uint32_t seed) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const float tx = x - fx, ty = y - fy;
    auto corner = [&](int cx, int cy) {
        int hx = ix + cx, hy = iy + cy;
        if (periodX > 0) hx = ((hx % periodX) + periodX) % periodX;
        if (periodY > 0) hy = ((hy % periodY) + periodY) % periodY;
        const uint32_t g = hash(hx, hy, seed) & 255u;
        return gradients.x[g] * (tx - static_cast<float>(cx)) +
               gradients.y[g] * (ty - static_cast<float>(cy));
    };
    const float u = fade(tx), v = fade(ty);
    const float top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * u;
    const float bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * u;
    return 1.41421356f * (top + (bottom - top) * v);
}

Field fractalNoise(int width, int height, int cellsX, int cellsY, int octaves, float gain, uint32_t seed,
                   bool wrap) {
    Field field(width, height);
    float amplitude = 1.0f, total = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        const int cx = cellsX << o, cy = cellsY << o;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const float px =
                    (static_cast<float>(x) + 0.5f) * static_cast<float>(cx) / static_cast<float>(width);
                const float py =
                    (static_cast<float>(y) + 0.5f) * static_cast<float>(cy) / static_cast<float>(height);
                field.at(x, y) += amplitude * gradientNoise(px, py, wrap ? cx : 0, wrap ? cy : 0,
                                                            seed + 7919u * static_cast<uint32_t>(o));
            }
        total += amplitude;
        amplitude *= gain;
    }
    for (float& v : field.values)
        v /= total;
    return field;
}

namespace {

// One box blur along rows or columns: each line is copied with `radius` pixels of border on each
// side (wrapped or repeated), then averaged with a running sum.
void boxPass(Field& field, int radius, bool wrap, bool horizontal) {
    const int w = field.width, h = field.height;
    const int lines = horizontal ? h : w, length = horizontal ? w : h;
    std::vector<float> padded(static_cast<size_t>(length + 2 * radius + 1));
    const float norm = 1.0f / static_cast<float>(2 * radius + 1);
    for (int l = 0; l < lines; ++l) {
        for (int i = -radius; i < length + radius + 1; ++i)
            padded[static_cast<size_t>(i + radius)] =
                horizontal ? field.sample(i, l, wrap) : field.sample(l, i, wrap);
        float sum = 0.0f;
        for (int i = 0; i < 2 * radius + 1; ++i)
            sum += padded[static_cast<size_t>(i)];
        for (int i = 0; i < length; ++i) {
            (horizontal ? field.at(i, l) : field.at(l, i)) = sum * norm;
            sum += padded[static_cast<size_t>(i + 2 * radius + 1)] - padded[static_cast<size_t>(i)];
        }
    }
}

} // namespace

void blur(Field& field, int radius, bool wrap) {
    if (radius <= 0) return;
    for (int pass = 0; pass < 3; ++pass) {
        boxPass(field, radius, wrap, true);
        boxPass(field, radius, wrap, false);
    }
}

namespace {

// Calls f(x, y, px, py) for the pixels of the box, clipped, with the pixel centre (px, py).
template <typename F>
void forBox(Field& mask, float x0, float y0, float x1, float y1, F f) {
    const int ax = std::max(0, static_cast<int>(std::floor(std::min(x0, x1))));
    const int ay = std::max(0, static_cast<int>(std::floor(std::min(y0, y1))));
    const int bx = std::min(mask.width - 1, static_cast<int>(std::ceil(std::max(x0, x1))));
    const int by = std::min(mask.height - 1, static_cast<int>(std::ceil(std::max(y0, y1))));
    for (int y = ay; y <= by; ++y)
        for (int x = ax; x <= bx; ++x)
            f(x, y, static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
}

void cover(Field& mask, int x, int y, float coverage) {
    coverage = std::clamp(coverage, 0.0f, 1.0f);
    mask.at(x, y) = std::max(mask.at(x, y), coverage);
}

} // namespace

void fillCircle(Field& mask, float cx, float cy, float radius) {
    forBox(mask, cx - radius - 1, cy - radius - 1, cx + radius + 1, cy + radius + 1,
           [&](int x, int y, float px, float py) {
               cover(mask, x, y, radius - std::hypot(px - cx, py - cy) + 0.5f);
           });
}

void strokeLine(Field& mask, float x0, float y0, float x1, float y1, float width) {
    const float half = width / 2.0f;
    const float dx = x1 - x0, dy = y1 - y0;
    const float lengthSquared = dx * dx + dy * dy;
    forBox(mask, std::min(x0, x1) - half - 1, std::min(y0, y1) - half - 1, std::max(x0, x1) + half + 1,
           std::max(y0, y1) + half + 1, [&](int x, int y, float px, float py) {
               float t = lengthSquared > 0 ? ((px - x0) * dx + (py - y0) * dy) / lengthSquared : 0.0f;
               t = std::clamp(t, 0.0f, 1.0f);
               const float d = std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
               cover(mask, x, y, half - d + 0.5f);
           });
}

void fillRect(Field& mask, float x0, float y0, float x1, float y1) {
    forBox(mask, x0, y0, x1, y1, [&](int x, int y, float, float) {
        const float fx = static_cast<float>(x), fy = static_cast<float>(y);
        const float ox = std::max(0.0f, std::min(fx + 1, std::max(x0, x1)) - std::max(fx, std::min(x0, x1)));
        const float oy = std::max(0.0f, std::min(fy + 1, std::max(y0, y1)) - std::max(fy, std::min(y0, y1)));
        cover(mask, x, y, ox * oy);
    });
}
