#include "tools/Textures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr float PiF = std::numbers::pi_v<float>;

float smoothstep(float edge0, float edge1, float x) {
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// A circle on a tiling picture: drawn again across every edge it touches.
void fillCircleTiled(Field& mask, float cx, float cy, float radius) {
    for (int oy = -1; oy <= 1; ++oy)
        for (int ox = -1; ox <= 1; ++ox) {
            const float x = cx + static_cast<float>(ox * mask.width);
            const float y = cy + static_cast<float>(oy * mask.height);
            if (x + radius + 2 < 0 || y + radius + 2 < 0 || x - radius - 2 > static_cast<float>(mask.width) ||
                y - radius - 2 > static_cast<float>(mask.height))
                continue;
            fillCircle(mask, x, y, radius);
        }
}

// A halo around the mask's ink: the ink grown by about `radius` pixels, soft at its edge.
Field halo(const Field& ink, int radius) {
    Field grown = ink;
    blur(grown, std::max(1, radius / 2), false);
    for (float& v : grown.values)
        v = std::min(1.0f, v * 4.0f);
    blur(grown, 1, false);
    return grown;
}

MaterialPictures finish(const Picture& diffuse, std::optional<Image> normal = std::nullopt,
                        std::optional<Picture> emissive = std::nullopt) {
    MaterialPictures out;
    out.diffuse = quantize(diffuse);
    out.normal = std::move(normal);
    if (emissive) out.emissive = quantize(*emissive);
    return out;
}

} // namespace

MaterialPictures makeConcrete() {
    constexpr int N = 512;
    const Field stains = fractalNoise(N, N, 4, 4, 5, 0.55f, 101, true);
    const Field grain = fractalNoise(N, N, 64, 64, 2, 0.5f, 102, true);
    Random random(103);
    Field pores(N, N);
    for (int i = 0; i < 1600; ++i) {
        const float x = random.range(0, N), y = random.range(0, N);
        fillCircleTiled(pores, x, y, random.range(0.5f, 2.0f));
    }
    // Tie holes and the horizontal joints of the formwork boards, as on cast concrete walls.
    Field holes(N, N);
    for (float x : {128.0f, 384.0f})
        for (float y : {64.0f, 192.0f, 320.0f, 448.0f})
            fillCircleTiled(holes, x, y, 7.0f);
    blur(holes, 1, true);
    Field joints(N, N);
    for (float y : {0.0f, 256.0f, 512.0f})
        strokeLine(joints, -2, y, N + 2, y, 2.0f);
    blur(joints, 1, true);

    Picture picture(N, N);
    Field height(N, N);
    const Color base = rgb(0x8E8B85);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            const float s = stains.at(x, y), g = grain.at(x, y);
            const float pore = pores.at(x, y), hole = holes.at(x, y), joint = joints.at(x, y);
            Color c = base * (1.0f + 0.32f * s + 0.09f * g);
            c = mix(c, c * rgb(0xE8E4FF), std::clamp(0.5f + s, 0.0f, 1.0f) * 0.3f); // cooler where it is damp
            c = c * (1.0f - 0.45f * pore) * (1.0f - 0.75f * hole) * (1.0f - 0.2f * joint);
            picture.at(x, y) = c;
            height.at(x, y) = 0.7f * g + 2.0f * s - 2.0f * pore - 5.0f * hole + 1.2f * joint;
        }
    return finish(picture, normalMapFromHeight(height, 1.2f, true));
}

MaterialPictures makeStonewall() {
    constexpr int N = 512, Rows = 8, RowHeight = N / Rows;
    constexpr float Mortar = 5.0f;
    Random random(201);
    struct Stone {
        float x0, x1;
        Color tint;
    };
    const std::array<uint32_t, 6> palette = {0x8A8178, 0x7D776F, 0x948B7E, 0x6F6A64, 0x857A6C, 0x9A958C};
    std::array<std::vector<Stone>, Rows> rows;
    std::array<float, Rows> offsets{};
    for (int r = 0; r < Rows; ++r) {
        std::vector<float> widths;
        float total = 0;
        while (total < N - 60) {
            widths.push_back(random.range(80, 170));
            total += widths.back();
        }
        float x = 0;
        for (float w : widths) {
            const float scaled = w * N / total; // the row closes exactly on the tile's width
            const Color tint = rgb(palette[static_cast<size_t>(random.below(6))]) * random.range(0.9f, 1.1f);
            rows[static_cast<size_t>(r)].push_back({x, x + scaled, tint});
            x += scaled;
        }
        rows[static_cast<size_t>(r)].back().x1 = N;
        offsets[static_cast<size_t>(r)] = random.range(0, N);
    }
    const Field ragged = fractalNoise(N, N, 16, 16, 3, 0.5f, 202, true);
    const Field surface = fractalNoise(N, N, 8, 8, 5, 0.5f, 203, true);
    const Field fine = fractalNoise(N, N, 64, 64, 2, 0.5f, 204, true);

    Picture picture(N, N);
    Field height(N, N);
    const Color mortar = rgb(0x6B665E);
    for (int y = 0; y < N; ++y) {
        const int r = y / RowHeight;
        const float ly = static_cast<float>(y - r * RowHeight) + 0.5f;
        const float dy = std::min(ly, RowHeight - ly);
        for (int x = 0; x < N; ++x) {
            const float xr = std::fmod(static_cast<float>(x) + 0.5f - offsets[static_cast<size_t>(r)] + N, N);
            const auto& row = rows[static_cast<size_t>(r)];
            const auto stone =
                std::find_if(row.begin(), row.end(), [&](const Stone& s) { return xr < s.x1; });
            const Stone& s = stone == row.end() ? row.back() : *stone;
            const float dx = std::min(xr - s.x0, s.x1 - xr);
            const float d = std::min(dx, dy) + 4.0f * ragged.at(x, y);
            const float inStone = smoothstep(Mortar / 2 - 0.5f, Mortar / 2 + 1.5f, d);
            const float bevel = smoothstep(Mortar / 2, Mortar / 2 + 10, d);
            const float sf = surface.at(x, y), fn = fine.at(x, y);
            const Color stoneColor = s.tint * (0.85f + 0.3f * sf + 0.1f * fn) * (0.78f + 0.22f * bevel);
            const Color mortarColor = mortar * (0.9f + 0.25f * fn);
            picture.at(x, y) = mix(mortarColor, stoneColor, inStone);
            height.at(x, y) = inStone * (2.0f + 4.0f * std::sqrt(bevel)) + 2.5f * sf * inStone + 0.6f * fn;
        }
    }
    return finish(picture, normalMapFromHeight(height, 0.9f, true));
}

MaterialPictures makeMetal(const FontSet& fonts) {
    constexpr int N = 512;
    struct Panel {
        float x0, y0, x1, y1;
        bool vertical; // brushing direction
        float tone;
    };
    // Unequal panels, so that a mirrored emissive map would visibly miss its seams.
    const std::array<Panel, 4> panels = {{
        {0, 0, 200, 300, false, 0.02f},
        {200, 0, 512, 300, true, -0.04f},
        {0, 300, 356, 512, true, 0.05f},
        {356, 300, 512, 512, false, -0.01f},
    }};
    const Field brushX = fractalNoise(N, N, 2, 128, 3, 0.5f, 301, true);
    const Field brushY = fractalNoise(N, N, 128, 2, 3, 0.5f, 302, true);
    const Field grime = fractalNoise(N, N, 4, 4, 4, 0.5f, 303, true);

    Field rivets(N, N);
    for (const Panel& p : panels) {
        const float inset = 11;
        for (bool horizontalEdge : {true, false}) {
            const float from = horizontalEdge ? p.x0 + inset : p.y0 + inset;
            const float to = horizontalEdge ? p.x1 - inset : p.y1 - inset;
            const int count = std::max(2, static_cast<int>((to - from) / 38.0f) + 1);
            for (int i = 0; i < count; ++i) {
                const float t = from + (to - from) * static_cast<float>(i) / static_cast<float>(count - 1);
                if (horizontalEdge) {
                    fillCircle(rivets, t, p.y0 + inset, 3.5f);
                    fillCircle(rivets, t, p.y1 - inset, 3.5f);
                } else {
                    fillCircle(rivets, p.x0 + inset, t, 3.5f);
                    fillCircle(rivets, p.x1 - inset, t, 3.5f);
                }
            }
        }
    }
    // Stencilled markings and three status lamps on the first panel.
    Field paint(N, N);
    fonts.mono->draw(paint, "04", 240, 110, 64);
    fonts.mono->draw(paint, "B-141", 30, 470, 22);
    Field lamps(N, N);
    for (int i = 0; i < 3; ++i)
        fillCircle(lamps, 40.0f + 18.0f * static_cast<float>(i), 40.0f, 4.0f);

    Picture picture(N, N);
    Picture glow(N, N);
    Field height(N, N);
    const Color metal = rgb(0x7F858C), seamColor = rgb(0x101214);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            const Panel* panel = &panels[0];
            for (const Panel& p : panels)
                if (px >= p.x0 && px < p.x1 && py >= p.y0 && py < p.y1) panel = &p;
            // Panels meet the tile's border too, so the distance to the own panel's edge is the
            // distance to the nearest seam, across tiles included.
            const float d = std::min({px - panel->x0, panel->x1 - px, py - panel->y0, panel->y1 - py});
            const float seam = 1.0f - smoothstep(1.8f, 3.2f, d);
            const float brush = panel->vertical ? brushY.at(x, y) : brushX.at(x, y);
            const float rivet = rivets.at(x, y);
            Color c = metal * (0.9f + panel->tone + 0.16f * brush + 0.12f * grime.at(x, y));
            c = mix(c, c * 1.25f, rivet);
            c = mix(c, rgb(0x2A2E33), 0.85f * paint.at(x, y));
            c = mix(c, rgb(0x05080A), lamps.at(x, y));
            picture.at(x, y) = mix(c, seamColor, seam);

            const float g = std::exp(-(d * d) / (1.6f * 1.6f)) + 0.35f * std::exp(-(d * d) / (6.0f * 6.0f));
            glow.at(x, y) = Color{1, 1, 1} * std::min(1.0f, g) + rgb(0xFF3020) * lamps.at(x, y);

            const float dome = rivet > 0 ? 2.5f * rivet : 0.0f;
            height.at(x, y) = -3.0f * (1.0f - smoothstep(2.0f, 4.0f, d)) + dome + 0.25f * brush;
        }
    return finish(picture, normalMapFromHeight(height, 1.0f, true), glow);
}

namespace {

// The map's relief: noise over two continents and an island chain; 0 is the coastline.
Field mapElevation(int w, int h) {
    const Field noise = fractalNoise(w, h, 7, 4, 7, 0.5f, 401, false);
    Field e(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float nx = (static_cast<float>(x) + 0.5f) / static_cast<float>(w);
            const float ny = (static_cast<float>(y) + 0.5f) / static_cast<float>(h);
            auto blob = [&](float cx, float cy, float rx, float ry) {
                const float dx = (nx - cx) / rx, dy = (ny - cy) / ry;
                return std::exp(-(dx * dx + dy * dy));
            };
            const float land = 0.55f * blob(0.30f, 0.45f, 0.22f, 0.33f) +
                               0.5f * blob(0.76f, 0.62f, 0.17f, 0.26f) +
                               0.3f * blob(0.62f, 0.14f, 0.14f, 0.08f);
            e.at(x, y) = 1.15f * noise.at(x, y) + land - 0.3f;
        }
    return e;
}

// Coverage of an anti-aliased contour line of e at `level`, `width` pixels wide.
float contour(const Field& e, int x, int y, float level, float width) {
    const float gx = 0.5f * (e.sample(x + 1, y, false) - e.sample(x - 1, y, false));
    const float gy = 0.5f * (e.sample(x, y + 1, false) - e.sample(x, y - 1, false));
    const float gradient = std::max(1e-5f, std::hypot(gx, gy));
    const float distance = std::abs(e.at(x, y) - level) / gradient;
    return std::clamp(width / 2 + 0.5f - distance, 0.0f, 1.0f);
}

// Chebyshev distance in pixels from each land pixel to the nearest sea pixel (0 at sea).
Field distanceToSea(const Field& e) {
    const int w = e.width, h = e.height;
    Field distance(w, h, -1.0f);
    std::vector<std::pair<int, int>> frontier;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (e.at(x, y) <= 0) {
                distance.at(x, y) = 0;
                frontier.emplace_back(x, y);
            }
    for (size_t i = 0; i < frontier.size(); ++i) {
        const auto [x, y] = frontier[i];
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h || distance.at(nx, ny) >= 0) continue;
                distance.at(nx, ny) = distance.at(x, y) + 1;
                frontier.emplace_back(nx, ny);
            }
    }
    for (float& d : distance.values)
        if (d < 0) d = static_cast<float>(w + h); // no sea at all
    return distance;
}

struct Box {
    float x0, y0, x1, y1;
    bool overlaps(const Box& o, float margin) const {
        return x0 - margin < o.x1 && o.x0 - margin < x1 && y0 - margin < o.y1 && o.y0 - margin < y1;
    }
};

// Counts land pixels in any rectangle at once (a summed-area table).
class AreaSum {
public:
    explicit AreaSum(const Field& e)
        : w_(e.width), h_(e.height), sums_(static_cast<size_t>(w_ + 1) * (h_ + 1), 0) {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                at(x + 1, y + 1) = (e.at(x, y) > -0.02f ? 1 : 0) + at(x, y + 1) + at(x + 1, y) - at(x, y);
    }
    // Land pixels in [x0, x1) x [y0, y1), clipped; outside the sheet counts as land.
    int land(int x0, int y0, int x1, int y1) const {
        if (x0 < 0 || y0 < 0 || x1 > w_ || y1 > h_) return 1;
        return sums_[idx(x1, y1)] - sums_[idx(x0, y1)] - sums_[idx(x1, y0)] + sums_[idx(x0, y0)];
    }
    int width() const { return w_; }
    int height() const { return h_; }

private:
    size_t idx(int x, int y) const { return static_cast<size_t>(y) * (w_ + 1) + x; }
    int& at(int x, int y) { return sums_[idx(x, y)]; }
    int w_, h_;
    std::vector<int> sums_;
};

// The box of the given size whose surroundings hold open water the farthest, or an empty box.
Box openWater(const AreaSum& land, const std::vector<Box>& taken, int width, int height) {
    Box best{0, 0, 0, 0};
    int bestMargin = -1;
    for (int cy = height; cy < land.height() - height; cy += 6)
        for (int cx = width / 2; cx < land.width() - width / 2; cx += 6) {
            const Box box{static_cast<float>(cx - width / 2), static_cast<float>(cy - height / 2),
                          static_cast<float>(cx + width / 2), static_cast<float>(cy + height / 2)};
            if (std::any_of(taken.begin(), taken.end(), [&](const Box& t) { return t.overlaps(box, 12); }))
                continue;
            int margin = bestMargin + 1;
            while (land.land(cx - width / 2 - margin, cy - height / 2 - margin, cx + width / 2 + margin,
                             cy + height / 2 + margin) == 0)
                ++margin;
            if (margin - 1 > bestMargin) {
                bestMargin = margin - 1;
                best = box;
            }
        }
    return best;
}

} // namespace

MaterialPictures makeMap(const FontSet& fonts) {
    constexpr int W = 1024, H = 576;
    const Field e = mapElevation(W, H);
    Picture picture(W, H);

    // Sea by depth, land by height with hill shading from the north-west.
    const Color deep = rgb(0x07142E), shallow = rgb(0x12395A);
    const std::array<std::pair<float, Color>, 5> bands = {{
        {0.00f, rgb(0x2E5A3A)},
        {0.12f, rgb(0x5C7240)},
        {0.25f, rgb(0x8A7A52)},
        {0.40f, rgb(0x9C8E7E)},
        {0.55f, rgb(0xE4E4E4)},
    }};
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const float v = e.at(x, y);
            Color c;
            if (v < 0) {
                c = mix(deep, shallow, std::clamp(1.0f + v * 4.0f, 0.0f, 1.0f));
            } else {
                c = bands.back().second;
                for (size_t i = 0; i + 1 < bands.size(); ++i)
                    if (v < bands[i + 1].first) {
                        c = mix(bands[i].second, bands[i + 1].second,
                                (v - bands[i].first) / (bands[i + 1].first - bands[i].first));
                        break;
                    }
                const float gx = 0.5f * (e.sample(x + 1, y, false) - e.sample(x - 1, y, false));
                const float gy = 0.5f * (e.sample(x, y + 1, false) - e.sample(x, y - 1, false));
                const float shade = std::clamp(1.0f + 60.0f * (gx + gy), 0.55f, 1.35f);
                c = c * shade;
            }
            picture.at(x, y) = c;
        }

    // Depth and height contours, then the coastline itself.
    Field thin(W, H), coast(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const float v = e.at(x, y);
            const float step = v < 0 ? 0.1f : 0.08f;
            const float level = std::round(v / step) * step;
            if (level != 0.0f) thin.at(x, y) = contour(e, x, y, level, 0.8f);
            coast.at(x, y) = contour(e, x, y, 0.0f, 1.6f);
        }
    picture.paint(thin, rgb(0xBFE8FF), 0.18f);
    Field coastGlow = coast;
    blur(coastGlow, 2, false);
    picture.add(coastGlow, rgb(0x1E5A78) * 0.8f);
    picture.paint(coast, rgb(0x9FE6FF));

    // Rivers run from springs in the hills down to the sea. They follow the smoothed relief plus a
    // gentle pull towards the nearest coast, which carries them out of any hollow; a step may
    // climb a little, but never back onto a pixel the river has crossed.
    Field smooth = e;
    blur(smooth, 2, false);
    const Field toSea = distanceToSea(e);
    Random random(402);
    Field rivers(W, H);
    std::vector<uint8_t> crossed(static_cast<size_t>(W) * H, 0);
    for (int found = 0, tries = 0; found < 10 && tries < 4000; ++tries) {
        int x = 30 + random.below(W - 60), y = 30 + random.below(H - 60);
        if (e.at(x, y) < 0.22f || e.at(x, y) > 0.45f) continue;
        std::vector<std::pair<int, int>> path{{x, y}};
        crossed[static_cast<size_t>(y) * W + x] = 1;
        while (e.at(x, y) > 0 && path.size() < 1500) {
            int bx = -1, by = -1;
            float best = 1e9f;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= W || ny >= H || crossed[static_cast<size_t>(ny) * W + nx])
                        continue;
                    const float v = smooth.at(nx, ny) + 0.0012f * toSea.at(nx, ny);
                    if (v < best) {
                        best = v;
                        bx = nx;
                        by = ny;
                    }
                }
            if (bx < 0) break;
            x = bx;
            y = by;
            crossed[static_cast<size_t>(y) * W + x] = 1;
            path.emplace_back(x, y);
        }
        for (const auto& [px, py] : path)
            crossed[static_cast<size_t>(py) * W + px] = 0;
        if (e.at(x, y) > 0 || path.size() < 40) continue; // stuck, or a mere brook
        ++found;
        for (size_t i = 0; i + 1 < path.size(); i += 4) {
            const size_t to = std::min(i + 4, path.size() - 1);
            const float width = 0.9f + 1.6f * static_cast<float>(i) / static_cast<float>(path.size());
            strokeLine(rivers, static_cast<float>(path[i].first) + 0.5f,
                       static_cast<float>(path[i].second) + 0.5f, static_cast<float>(path[to].first) + 0.5f,
                       static_cast<float>(path[to].second) + 0.5f, width);
        }
    }
    picture.paint(rivers, rgb(0x4FA8F0));

    // The grid: lettered columns and numbered rows of 64 pixels.
    Field grid(W, H), gridText(W, H);
    for (int gx = 64; gx < W; gx += 64)
        strokeLine(grid, static_cast<float>(gx), 0, static_cast<float>(gx), H, 1.0f);
    for (int gy = 64; gy < H; gy += 64)
        strokeLine(grid, 0, static_cast<float>(gy), W, static_cast<float>(gy), 1.0f);
    for (int col = 0; col < W / 64; ++col)
        fonts.mono->drawCentred(gridText, std::string(1, static_cast<char>('A' + col)), col * 64 + 32, 12,
                                13);
    for (int row = 0; row < H / 64; ++row)
        fonts.mono->drawCentred(gridText, std::to_string(row + 1), 10, row * 64 + 32, 13);
    picture.paint(grid, rgb(0x8FD8FF), 0.3f);

    // Lettering never covers the title block, the compass, the grid's labels or other lettering.
    const float cx = 960, cy = 110;
    std::vector<Box> taken = {
        {666, 460, W, H}, {cx - 50, cy - 78, cx + 50, cy + 48}, {0, 0, W, 24}, {0, 0, 22, H}};

    // Sea names go where the most open water is.
    Field labels(W, H);
    const AreaSum land(e);
    for (const char* name : {"O F F B E A T   S E A", "Bay of Kicks", "The Shallows"}) {
        const TextExtent extent = fonts.regular->measure(name, 14);
        const Box box = openWater(land, taken, extent.width + 8, 22);
        if (box.x1 <= box.x0) continue;
        fonts.regular->drawCentred(labels, name, static_cast<int>((box.x0 + box.x1) / 2),
                                   static_cast<int>((box.y0 + box.y1) / 2), 14);
        taken.push_back(box);
    }

    // Places: dots on land with their names to the right.
    const std::array<const char*, 14> names = {
        "Kickhaven", "Basston",      "Hatfield Reach", "Padmoor",   "Snare Point", "Port Tempo", "Synthia",
        "Oggham",    "Vorbis Ridge", "Arpeggio",       "Sidechain", "Low Cut",     "Resonance",  "Downbeat",
    };
    Field dots(W, H), dotRims(W, H);
    size_t placed = 0;
    for (int tries = 0; placed < names.size() && tries < 20000; ++tries) {
        const int x = 30 + random.below(W - 60), y = 30 + random.below(H - 60);
        const float v = e.at(x, y);
        if (v < 0.03f || v > 0.3f) continue;
        const int width = fonts.regular->measure(names[placed], 15).width;
        const Box box{static_cast<float>(x - 6), static_cast<float>(y - 16),
                      static_cast<float>(x + 12 + width), static_cast<float>(y + 9)};
        if (box.x1 > W - 6 || box.y1 > H - 6) continue;
        if (std::any_of(taken.begin(), taken.end(), [&](const Box& t) { return t.overlaps(box, 10); }))
            continue;
        taken.push_back(box);
        fillCircle(dotRims, static_cast<float>(x), static_cast<float>(y), 4.5f);
        fillCircle(dots, static_cast<float>(x), static_cast<float>(y), 3.0f);
        fonts.regular->draw(labels, names[placed], x + 8, y + 5, 15);
        ++placed;
    }

    // Compass and title block.
    Field compass(W, H);
    strokeLine(compass, cx, cy - 36, cx, cy + 36, 1.5f);
    strokeLine(compass, cx - 36, cy, cx + 36, cy, 1.5f);
    for (float a = 0; a < 2 * PiF; a += PiF / 36) {
        const float r0 = std::fmod(a, PiF / 2) < 0.01f ? 22.0f : 26.0f;
        strokeLine(compass, cx + r0 * std::cos(a), cy + r0 * std::sin(a), cx + 29 * std::cos(a),
                   cy + 29 * std::sin(a), 1.0f);
    }
    strokeLine(compass, cx, cy - 44, cx - 8, cy - 20, 2.0f);
    strokeLine(compass, cx, cy - 44, cx + 8, cy - 20, 2.0f);
    fonts.bold->drawCentred(labels, "N", static_cast<int>(cx), static_cast<int>(cy - 56), 16);

    Field box(W, H), boxLines(W, H);
    fillRect(box, 676, 470, 1004, 556);
    strokeLine(boxLines, 676, 470, 1004, 470, 1.2f);
    strokeLine(boxLines, 1004, 470, 1004, 556, 1.2f);
    strokeLine(boxLines, 1004, 556, 676, 556, 1.2f);
    strokeLine(boxLines, 676, 556, 676, 470, 1.2f);
    Field title(W, H);
    fonts.bold->draw(title, "SECTOR 141 · SURVEY MAP", 690, 497, 18);
    fonts.regular->draw(title, "scale 1 : 141 000   grid 6.4 km", 690, 520, 13);
    fillRect(boxLines, 690, 534, 790, 539);
    fillRect(boxLines, 840, 534, 890, 539);
    fonts.mono->draw(title, "0", 686, 552, 11);
    fonts.mono->draw(title, "10 km", 870, 552, 11);

    picture.paint(box, rgb(0x03101E), 0.8f);
    picture.paint(boxLines, rgb(0x9FE6FF));
    picture.paint(compass, rgb(0xCFF2FF));

    Field textHalo = halo(labels, 3);
    const Field dotHalo = halo(dotRims, 2);
    for (size_t i = 0; i < textHalo.values.size(); ++i)
        textHalo.values[i] = std::max(textHalo.values[i], dotHalo.values[i]);
    picture.paint(textHalo, rgb(0x06101C), 0.75f);
    picture.paint(dotRims, rgb(0x101010));
    picture.paint(dots, rgb(0xFFF4D0));
    picture.paint(labels, rgb(0xFFF4D0));
    picture.paint(gridText, rgb(0x9FE6FF), 0.85f);
    picture.paint(title, rgb(0xE8F8FF));

    // A frame around the whole sheet.
    Field frame(W, H);
    fillRect(frame, 0, 0, W, 3);
    fillRect(frame, 0, H - 3, W, H);
    fillRect(frame, 0, 0, 3, H);
    fillRect(frame, W - 3, 0, W, H);
    picture.paint(frame, rgb(0x9FE6FF));
    return finish(picture);
}

MaterialPictures makeLogo(const FontSet& fonts) {
    constexpr int W = 1024, H = 576, Horizon = 372;
    Picture picture(W, H);
    // Night sky above, a dark floor below.
    for (int y = 0; y < H; ++y) {
        const float t = static_cast<float>(y) / Horizon;
        const Color sky = y < Horizon ? mix(rgb(0x05020F), rgb(0x2A0838), t * t) : rgb(0x07020C);
        for (int x = 0; x < W; ++x)
            picture.at(x, y) = sky;
    }
    Random random(501);
    Field stars(W, H);
    for (int i = 0; i < 220; ++i)
        fillCircle(stars, random.range(0, W), random.range(0, Horizon - 40), random.range(0.3f, 1.1f));
    picture.paint(stars, rgb(0xFFFFFF), 0.8f);

    // A striped sun sinking behind the horizon.
    const float sunX = W / 2.0f, sunY = 300.0f, sunR = 150.0f;
    Field sun(W, H);
    fillCircle(sun, sunX, sunY, sunR);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const float fy = static_cast<float>(y) + 0.5f;
            if (fy >= Horizon) {
                sun.at(x, y) = 0;
                continue;
            }
            // Bands that widen towards the horizon.
            const float below = (fy - (sunY - 10)) / (Horizon - sunY + 10);
            if (below > 0) {
                const float band = std::fmod(fy - sunY + 10, 18.0f);
                if (band < 2.0f + 9.0f * below) sun.at(x, y) = 0;
            }
        }
    Picture sunColors(W, H);
    for (int y = 0; y < H; ++y) {
        const float t = std::clamp((static_cast<float>(y) - (sunY - sunR)) / (2 * sunR), 0.0f, 1.0f);
        for (int x = 0; x < W; ++x)
            sunColors.at(x, y) = mix(rgb(0xFFD34A), rgb(0xFF2A8A), t);
    }
    Field sunGlow = sun;
    blur(sunGlow, 18, false);
    picture.add(sunGlow, rgb(0xFF3A7A) * 0.6f);
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = mix(picture.pixels[i], sunColors.pixels[i], sun.values[i]);

    // A floor grid running to the horizon.
    Field floor(W, H);
    for (int i = -16; i <= 16; ++i) {
        const float x0 = sunX + static_cast<float>(i) * 120.0f;
        strokeLine(floor, sunX + static_cast<float>(i) * 14.0f, Horizon, x0, H + 40, 1.6f);
    }
    for (int k = 0; k < 12; ++k) {
        const float y = Horizon + 204.0f * std::pow(static_cast<float>(k) / 11.0f, 2.0f) + 2.0f;
        strokeLine(floor, 0, y, W, y, 1.2f + 0.15f * static_cast<float>(k));
    }
    for (int y = Horizon; y < H; ++y)
        for (int x = 0; x < W; ++x)
            floor.at(x, y) *= 0.35f + 0.65f * static_cast<float>(y - Horizon) / (H - Horizon);
    Field floorGlow = floor;
    blur(floorGlow, 3, false);
    picture.add(floorGlow, rgb(0xC0208A) * 1.2f);
    picture.paint(floor, rgb(0xFF5AC8), 0.9f);
    Field horizonLine(W, H);
    strokeLine(horizonLine, 0, Horizon, W, Horizon, 2.0f);
    picture.paint(horizonLine, rgb(0xFF9AE0));

    // The title, with a shadow and a glow, and the subtitle on the floor.
    Field titleInk(W, H);
    fonts.bold->drawCentred(titleInk, "beatshow", W / 2, 215, 176);
    Field shadow(W, H);
    for (int y = 0; y + 6 < H; ++y)
        for (int x = 0; x + 6 < W; ++x)
            shadow.at(x + 6, y + 6) = titleInk.at(x, y);
    blur(shadow, 4, false);
    picture.paint(shadow, rgb(0x000000), 0.7f);
    Field titleGlow = titleInk;
    blur(titleGlow, 10, false);
    picture.add(titleGlow, rgb(0x30C0FF) * 0.9f);
    Picture titleColors(W, H);
    for (int y = 0; y < H; ++y) {
        const float t = std::clamp((static_cast<float>(y) - 120.0f) / 130.0f, 0.0f, 1.0f);
        for (int x = 0; x < W; ++x)
            titleColors.at(x, y) = mix(rgb(0xFFFFFF), rgb(0x9FEFFF), t);
    }
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = mix(picture.pixels[i], titleColors.pixels[i], titleInk.values[i]);

    Field subtitle(W, H);
    fonts.regular->drawCentred(subtitle, "a real-time demo engine  ·  141 BPM", W / 2, 452, 34);
    picture.paint(halo(subtitle, 4), rgb(0x07020C), 0.85f);
    picture.paint(subtitle, rgb(0xFFE6F6));
    return finish(picture);
}

MaterialPictures makeChecker() {
    constexpr int N = 256;
    Picture picture(N, N);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x)
            picture.at(x, y) = ((x / 32 + y / 32) % 2) ? rgb(0xC8C8C8) : rgb(0x404040);
    return finish(picture);
}

MaterialPictures makeTestCard(const FontSet& fonts) {
    constexpr int N = 512;
    Picture picture(N, N, rgb(0x606060));
    Field lines(N, N);
    for (int i = 0; i <= N; i += 32) {
        strokeLine(lines, static_cast<float>(i), 0, static_cast<float>(i), N, 1.0f);
        strokeLine(lines, 0, static_cast<float>(i), N, static_cast<float>(i), 1.0f);
    }
    picture.paint(lines, rgb(0x909090));
    auto square = [&](float x, float y, uint32_t color) {
        Field f(N, N);
        fillRect(f, x, y, x + 96, y + 96);
        picture.paint(f, rgb(color));
    };
    square(0, 0, 0xFF0000);      // top left: red
    square(N - 96, 0, 0x00FF00); // top right: green
    square(0, N - 96, 0x0000FF); // bottom left: blue
    square(N - 96, N - 96, 0xFFFF00);
    Field text(N, N);
    fonts.bold->drawCentred(text, "TOP", N / 2, 40, 40);
    fonts.bold->drawCentred(text, "BOTTOM", N / 2, N - 40, 40);
    fonts.bold->drawCentred(text, "LEFT", 80, N / 2, 32);
    fonts.bold->drawCentred(text, "RIGHT", N - 80, N / 2, 32);
    fonts.bold->drawCentred(text, "F", N / 2, N / 2, 160);
    picture.paint(text, rgb(0xFFFFFF));

    Field height(N, N);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            const float d =
                std::hypot(static_cast<float>(x) + 0.5f - 160, static_cast<float>(y) + 0.5f - 160);
            height.at(x, y) = 40.0f * std::max(0.0f, 1.0f - (d / 60) * (d / 60)); // the dome, top left
        }
    Field glowText(N, N);
    fonts.bold->drawCentred(glowText, "TOP", N / 2, 40, 40);
    Picture glow(N, N);
    glow.add(glowText, rgb(0xFFB000));
    return finish(picture, normalMapFromHeight(height, 1.0f, false), glow);
}

MaterialPictures makeWhite() {
    return finish(Picture(8, 8, Color{1, 1, 1}));
}

std::vector<TextureFile> materialFiles(const std::string& name, const MaterialPictures& pictures) {
    std::vector<TextureFile> files;
    const int w = pictures.diffuse.width, h = pictures.diffuse.height;
    files.push_back({name, w, h, toBitmap(pictures.diffuse)});
    if (pictures.normal) files.push_back({name + "_normal", w, h, toBitmap(*pictures.normal)});
    if (pictures.emissive) files.push_back({name + "_emissive", w, h, toEmissiveBitmap(*pictures.emissive)});
    return files;
}

std::vector<TextureFile> makeShowTextures(const FontSet& fonts) {
    std::vector<TextureFile> files;
    auto add = [&](const std::string& name, const MaterialPictures& pictures) {
        for (TextureFile& f : materialFiles(name, pictures))
            files.push_back(std::move(f));
    };
    add("concrete", makeConcrete());
    add("stonewall", makeStonewall());
    add("metal4", makeMetal(fonts));
    add("map02", makeMap(fonts));
    add("logo2", makeLogo(fonts));
    add("checker", makeChecker());
    add("testcard", makeTestCard(fonts));
    add("white", makeWhite());
    return files;
}
