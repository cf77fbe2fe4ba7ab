// The generated bitmaps through the engine's own reader and material builder: sizes, companions,
// and the whole chain of orientation from the upright picture to what a mesh or drawRect shows.
#include "tools/Textures.h"
#include "engine/base/Log.h"
#include "math/Matrix.h"
#include "render/Bitmap.h"
#include "render/Material.h"
#include "render/MaterialBuilder.h"
#include "render/Mesh.h"
#include "tools/MeshShapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>

namespace {

const FontSet& fonts() {
    static FontSet set = [] {
        FontSet f;
        std::string error;
        EXPECT_TRUE(openFonts(BEATSHOW_FONT_DIR, f, error)) << error;
        return f;
    }();
    return set;
}

const std::vector<TextureFile>& showTextures() {
    static const std::vector<TextureFile> all = makeShowTextures(fonts());
    return all;
}

// The materials that are repeated over meshes and carry normal maps (the full-screen pictures,
// slower to make, are left out where they do not matter).
std::vector<TextureFile> surfaceTextures() {
    std::vector<TextureFile> files;
    for (const auto& [name, pictures] :
         {std::pair{"concrete", makeConcrete()}, std::pair{"stonewall", makeStonewall()},
          std::pair{"metal4", makeMetal(fonts())}})
        for (TextureFile& f : materialFiles(name, pictures))
            files.push_back(std::move(f));
    return files;
}

DecodedBitmap decode(const TextureFile& file) {
    DecodedBitmap image;
    EXPECT_EQ(decodeBitmapBytes(file.bytes.data(), file.bytes.size(), file.name, image), 0) << file.name;
    return image;
}

// The material the engine builds from a material's files.
std::unique_ptr<Material> engineMaterial(const MaterialPictures& pictures) {
    LogCapture quiet;
    std::map<std::string, DecodedBitmap> images;
    for (const TextureFile& f : materialFiles("m", pictures))
        images[f.name] = decode(f);
    const DecodedBitmap& diffuse = images.at("m");
    auto pixels = [&](const char* name) { return images.count(name) ? &images.at(name).pixels : nullptr; };
    return makeMaterial(diffuse.channels, &diffuse.pixels, pixels("m_normal"), pixels("m_emissive"),
                        static_cast<int32_t>(diffuse.width), static_cast<int32_t>(diffuse.height), "m");
}

struct Rgb {
    int r, g, b;
};

// The texel a sampler reads at (u, v): column u x width, row v x height of the uploaded buffer
// (row 0 is v = 0), repeating.
Rgb texel(const std::vector<uint8_t>& buffer, int width, int height, TexCoord uv) {
    auto wrap = [](float x) { return x - std::floor(x); };
    const int col = std::clamp(static_cast<int>(wrap(uv.u) * static_cast<float>(width)), 0, width - 1);
    const int row = std::clamp(static_cast<int>(wrap(uv.v) * static_cast<float>(height)), 0, height - 1);
    const size_t at = 3 * (static_cast<size_t>(row) * width + col);
    return {buffer[at], buffer[at + 1], buffer[at + 2]};
}

// Texture coordinates and frame of the mesh at a point on its surface (null when no triangle
// holds the point).
struct SurfacePoint {
    TexCoord uv;
    Vector tangent, binormal, normal;
};
std::optional<SurfacePoint> surfaceAt(const Mesh& m, const Vector& p) {
    for (uint32_t i = 0; i + 2 < m.vertexCount; i += 3) {
        const Vector a = m.positions[i], b = m.positions[i + 1], c = m.positions[i + 2];
        const Vector n = cross(b - a, c - a);
        if (std::abs((p - a).dot(n.normalized())) > 1e-3f) continue;
        const float area = n.length();
        const float wa = cross(b - p, c - p).dot(n) / (area * area);
        const float wb = cross(c - p, a - p).dot(n) / (area * area);
        const float wc = 1.0f - wa - wb;
        if (wa < -1e-5f || wb < -1e-5f || wc < -1e-5f) continue;
        SurfacePoint s;
        s.uv = {wa * m.texCoords[i].u + wb * m.texCoords[i + 1].u + wc * m.texCoords[i + 2].u,
                wa * m.texCoords[i].v + wb * m.texCoords[i + 1].v + wc * m.texCoords[i + 2].v};
        s.tangent = m.tangents[i];
        s.binormal = m.binormals[i];
        s.normal = m.normals[i];
        return s;
    }
    return std::nullopt;
}

// How a left-handed look-at camera orients the screen: right and up in world space.
struct View {
    Vector right, up;
};
View viewFrom(const Vector& eye, const Vector& at, const Vector& up) {
    const Matrix v = matrixLookAtLH(eye, at, up);
    // Rows of the rotation part's transpose: the view's axes in world space.
    return {Vector{v.m[0][0], v.m[1][0], v.m[2][0]}, Vector{v.m[0][1], v.m[1][1], v.m[2][1]}};
}

bool isRed(Rgb c) {
    return c.r > 200 && c.g < 60 && c.b < 60;
}
bool isGreen(Rgb c) {
    return c.r < 60 && c.g > 200 && c.b < 60;
}
bool isBlue(Rgb c) {
    return c.r < 60 && c.g < 60 && c.b > 200;
}
bool isYellow(Rgb c) {
    return c.r > 200 && c.g > 200 && c.b < 60;
}

// Looks at a flat piece of mesh from its front and checks the test card's corners as seen.
void expectUprightTestCard(const Material& card, const Mesh& mesh, const Vector& centre, const Vector& eye,
                           const Vector& up, float halfWidth, float halfHeight) {
    const View view = viewFrom(eye, centre, up);
    auto seen = [&](float sx, float sy) {
        const Vector p = centre + view.right * (sx * halfWidth) + view.up * (sy * halfHeight);
        const auto s = surfaceAt(mesh, p);
        EXPECT_TRUE(s) << mesh.name << ": no surface at (" << sx << ", " << sy << ")";
        return s ? texel(card.diffuse, card.width, card.height, s->uv) : Rgb{-1, -1, -1};
    };
    EXPECT_TRUE(isRed(seen(-0.9f, 0.9f))) << mesh.name << ": top left is not red";
    EXPECT_TRUE(isGreen(seen(0.9f, 0.9f))) << mesh.name << ": top right is not green";
    EXPECT_TRUE(isBlue(seen(-0.9f, -0.9f))) << mesh.name << ": bottom left is not blue";
    EXPECT_TRUE(isYellow(seen(0.9f, -0.9f))) << mesh.name << ": bottom right is not yellow";
}

TEST(ShowTextures, EveryFileDecodesAtItsSizeWithCompanionsToMatch) {
    std::map<std::string, DecodedBitmap> images;
    for (const TextureFile& file : showTextures()) {
        const DecodedBitmap image = decode(file);
        EXPECT_EQ(image.width, static_cast<uint32_t>(file.width)) << file.name;
        EXPECT_EQ(image.height, static_cast<uint32_t>(file.height)) << file.name;
        EXPECT_EQ(image.channels, 3) << file.name;
        EXPECT_EQ(file.bytes.size(), 54u + 3u * file.width * file.height) << file.name;
        images[file.name] = image;
    }
    for (const char* needed : {"concrete", "stonewall", "metal4", "map02", "logo2", "concrete_normal",
                               "stonewall_normal", "metal4_normal", "metal4_emissive"})
        EXPECT_TRUE(images.count(needed)) << needed;
    for (const auto& [name, image] : images)
        for (const char* suffix : {"_normal", "_emissive"})
            if (name.ends_with(suffix)) {
                const DecodedBitmap& diffuse = images.at(name.substr(0, name.size() - std::strlen(suffix)));
                EXPECT_EQ(image.width, diffuse.width) << name;
                EXPECT_EQ(image.height, diffuse.height) << name;
            }
    EXPECT_EQ(images.at("map02").width, 1024u);
    EXPECT_EQ(images.at("map02").height, 576u);
    EXPECT_EQ(images.at("logo2").width, 1024u);
    EXPECT_EQ(images.at("logo2").height, 576u);
}

TEST(ShowTextures, PicturesAppearUprightAndUnmirroredOnMeshes) {
    const std::unique_ptr<Material> card = engineMaterial(makeTestCard(fonts()));
    expectUprightTestCard(*card, makePanel("panel"), {0, 0, 0}, {0, 0, 100}, {0, 1, 0}, 80, 45);
    const Mesh cube = makeCube("eckig");
    expectUprightTestCard(*card, cube, {0, 0, -25}, {0, 0, -100}, {0, 1, 0}, 25, 25);
    expectUprightTestCard(*card, cube, {25, 0, 0}, {100, 0, 0}, {0, 1, 0}, 25, 25);
    expectUprightTestCard(*card, cube, {0, 25, 0}, {0, 100, 0}, {0, 0, 1}, 25, 25);
    // The floor repeats the picture eight times: look at one tile in the middle.
    expectUprightTestCard(*card, makeFloor("floor"), {25, 0, 25}, {25, 100, 25}, {0, 0, 1}, 25, 25);
}

// drawRect (x1, y1, x2, y2) puts (u, v) = (0, 0) at (x1, y1) and (1, 1) at (x2, y2); the slide
// show and the map search draw from the bottom-right corner (w, h) to the top-left (0, 0).
TEST(ShowTextures, FullScreenDrawRectShowsThePictureUpright) {
    const std::unique_ptr<Material> card = engineMaterial(makeTestCard(fonts()));
    const float w = 1920, h = 1080;
    auto onScreen = [&](float x, float y) {
        return texel(card->diffuse, card->width, card->height, {(w - x) / w, (h - y) / h});
    };
    EXPECT_TRUE(isRed(onScreen(20, 20)));
    EXPECT_TRUE(isGreen(onScreen(w - 20, 20)));
    EXPECT_TRUE(isBlue(onScreen(20, h - 20)));
    EXPECT_TRUE(isYellow(onScreen(w - 20, h - 20)));
}

TEST(ShowTextures, NormalMapsTiltTowardsTheirSlopesOnTheMesh) {
    // The test card's dome has its centre at picture pixel (160, 160) and a radius of 60.
    const std::unique_ptr<Material> card = engineMaterial(makeTestCard(fonts()));
    const Mesh panel = makePanel("panel");
    const View view = viewFrom({0, 0, 100}, {0, 0, 0}, {0, 1, 0});
    auto worldNormalAt = [&](float px, float py) {
        const Vector p = view.right * ((px / 512 - 0.5f) * 160) + view.up * ((0.5f - py / 512) * 90);
        const auto s = surfaceAt(panel, p);
        EXPECT_TRUE(s);
        const Rgb c = texel(card->normal, card->width, card->height, s->uv);
        auto unpack = [](int byte) { return static_cast<float>(byte) / 127.5f - 1.0f; };
        return (s->tangent * unpack(c.r) + s->binormal * unpack(c.g) + s->normal * unpack(c.b)).normalized();
    };
    EXPECT_GT(worldNormalAt(200, 160).dot(view.right), 0.3f);  // right flank faces right
    EXPECT_LT(worldNormalAt(120, 160).dot(view.right), -0.3f); // left flank faces left
    EXPECT_GT(worldNormalAt(160, 120).dot(view.up), 0.3f);     // upper flank faces up
    EXPECT_LT(worldNormalAt(160, 200).dot(view.up), -0.3f);
    EXPECT_GT(worldNormalAt(160, 160).dot(Vector{0, 0, 1}), 0.99f); // the top of the dome
}

TEST(ShowTextures, NormalMapsAreUnitVectorsAndExactlyFlatWhereFlat) {
    const MaterialPictures card = makeTestCard(fonts());
    ASSERT_TRUE(card.normal);
    const uint8_t* corner = &card.normal->rgb[3 * (static_cast<size_t>(480) * 512 + 480)];
    EXPECT_EQ(corner[0], 127);
    EXPECT_EQ(corner[1], 127);
    EXPECT_EQ(corner[2], 255);
    for (const TextureFile& file : surfaceTextures()) {
        if (!file.name.ends_with("_normal")) continue;
        const DecodedBitmap image = decode(file);
        for (size_t i = 0; i + 2 < image.pixels.size(); i += 3) {
            const float x = image.pixels[i] / 127.5f - 1, y = image.pixels[i + 1] / 127.5f - 1,
                        z = image.pixels[i + 2] / 127.5f - 1;
            ASSERT_NEAR(std::sqrt(x * x + y * y + z * z), 1.0f, 0.03f) << file.name << " byte " << i;
            ASSERT_GT(z, 0.0f) << file.name << " byte " << i;
        }
    }
}

// The engine mirrors diffuse rows but not emissive ones; the generator compensates, so the glow
// sits on the features it belongs to.
TEST(ShowTextures, EmissiveGlowLinesUpWithTheDiffusePicture) {
    struct Case {
        const char* name;
        MaterialPictures pictures;
        bool (*glowOk)(Rgb diffuse);
    };
    const Case cases[] = {
        {"testcard", makeTestCard(fonts()), [](Rgb d) { return d.r > 200 && d.g > 200 && d.b > 200; }},
        {"metal4", makeMetal(fonts()), [](Rgb d) { return d.r < 60 && d.g < 60 && d.b < 60; }},
    };
    for (const Case& c : cases) {
        const std::unique_ptr<Material> m = engineMaterial(c.pictures);
        int glowing = 0, matching = 0;
        for (size_t i = 0; i + 2 < m->emissive.size(); i += 3) {
            const bool bright = m->emissive[i] > 240 && m->emissive[i + 1] > 100;
            if (!bright) continue;
            ++glowing;
            matching += c.glowOk({m->diffuse[i], m->diffuse[i + 1], m->diffuse[i + 2]});
        }
        ASSERT_GT(glowing, 500) << c.name;
        EXPECT_GT(matching, glowing * 9 / 10) << c.name << ": " << matching << " of " << glowing;
    }
}

// Repeated over the tunnel, the cubes and the exploding object, the wall textures must not
// show their edges: the step across the edge is no larger than the steps inside.
TEST(ShowTextures, WallTexturesTileWithoutSeams) {
    for (const TextureFile& file : surfaceTextures()) {
        const DecodedBitmap image = decode(file);
        const int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
        auto at = [&](int x, int y, int k) { return image.pixels[3 * (static_cast<size_t>(y) * w + x) + k]; };
        auto columnStep = [&](int x0, int x1) {
            double sum = 0;
            for (int y = 0; y < h; ++y)
                for (int k = 0; k < 3; ++k)
                    sum += std::abs(at(x0, y, k) - at(x1, y, k));
            return sum / h;
        };
        auto rowStep = [&](int y0, int y1) {
            double sum = 0;
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k)
                    sum += std::abs(at(x, y0, k) - at(x, y1, k));
            return sum / w;
        };
        double inside = 0;
        for (int i = 1; i < w; ++i)
            inside += columnStep(i - 1, i) + rowStep(i - 1, i);
        inside /= 2 * (w - 1);
        EXPECT_LT(columnStep(w - 1, 0), 2.5 * inside + 1) << file.name;
        EXPECT_LT(rowStep(h - 1, 0), 2.5 * inside + 1) << file.name;
    }
}

TEST(ShowTextures, MissingFontsAreNamedWithThePackageToInstall) {
    FontSet none;
    std::string error;
    EXPECT_FALSE(openFonts("/nonexistent-font-directory", none, error));
    EXPECT_NE(error.find("/nonexistent-font-directory/DejaVuSans.ttf"), std::string::npos) << error;
    EXPECT_NE(error.find("fonts-dejavu-core"), std::string::npos) << error;
}

TEST(ShowTextures, PictureConversionWritesTheBottomRowFirst) {
    // A 2 x 2 picture: top row red, green; bottom row blue, white.
    const Image picture{2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}};
    DecodedBitmap plain, mirrored;
    const std::vector<uint8_t> a = toBitmap(picture), b = toEmissiveBitmap(picture);
    ASSERT_EQ(decodeBitmapBytes(a.data(), a.size(), "a", plain), 0);
    ASSERT_EQ(decodeBitmapBytes(b.data(), b.size(), "b", mirrored), 0);
    EXPECT_EQ(plain.pixels, (std::vector<uint8_t>{0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0}));
    EXPECT_EQ(mirrored.pixels, (std::vector<uint8_t>{255, 255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0}));
}

} // namespace
