#include "render/MaterialBuilder.h"
#include "render/Bitmap.h"
#include "render/Material.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/TestSupport.h"

#include <sstream>

namespace {

using Bytes = std::vector<uint8_t>;

// Pixel A = (1, 2, 3), pixel B = (4, 5, 6).
const Bytes AB{1, 2, 3, 4, 5, 6};
const Bytes BA{4, 5, 6, 1, 2, 3};

std::string addressOf(const void* p) {
    std::ostringstream text;
    text << std::hex << reinterpret_cast<uintptr_t>(p);
    return text.str();
}

TEST(MakeMaterial, DiffuseAndNormalRowsAreMirroredEmissiveRowsAreNot) {
    LogCapture log;
    const Bytes twoRows{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    auto material = makeMaterial(3, &AB, &AB, &AB, 2, 1, "m");
    EXPECT_EQ(material->diffuse, BA);
    EXPECT_EQ(material->normal, BA);
    EXPECT_EQ(material->emissive, AB);
    EXPECT_EQ(material->size, 6);
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"material m width: 2 height: 1 channel: 3 size6 dataptr: " +
                                       addressOf(material->diffuse.data())});
    // Rows stay in their order; each is mirrored on its own.
    auto square = makeMaterial(3, &twoRows, nullptr, nullptr, 2, 2, "sq");
    EXPECT_EQ(square->diffuse, (Bytes{4, 5, 6, 1, 2, 3, 10, 11, 12, 7, 8, 9}));
}

TEST(MakeMaterial, MissingImagesGetTheirDefaults) {
    LogCapture log;
    auto material = makeMaterial(3, nullptr, nullptr, nullptr, 2, 1, "plain");
    EXPECT_EQ(material->diffuse, Bytes(6, 0));
    EXPECT_EQ(material->normal, (Bytes{127, 127, 255, 127, 127, 255}));
    EXPECT_EQ(material->emissive, Bytes(6, 0));
    // A buffer shorter than its image keeps the default where it has no pixels.
    const Bytes onePixel{9, 9, 9};
    auto shortNormal = makeMaterial(3, &AB, &onePixel, &onePixel, 2, 1, "short");
    EXPECT_EQ(shortNormal->normal, (Bytes{127, 127, 255, 9, 9, 9}));
    EXPECT_EQ(shortNormal->emissive, (Bytes{9, 9, 9, 0, 0, 0}));
}

class MaterialLoading : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        registerShowAssetKinds();
        cwd_ = std::make_unique<WorkingDirectory>(dir_.path());
    }
    void TearDown() override {
        cwd_.reset();
        RegistryTest::TearDown();
    }
    void writeImage(const std::string& name, uint32_t w, uint32_t h, const Bytes& rgb) {
        writeBitmapFile(dir_.path(), name, w, h, rgb);
    }
    ScratchDirectory dir_;
    std::unique_ptr<WorkingDirectory> cwd_;
};

TEST_F(MaterialLoading, TheSameFileIsMirroredAsDiffuseButNotAsEmissive) {
    writeImage("m", 2, 1, AB);
    writeImage("m_emissive", 2, 1, AB);
    Material* material = loadMaterial("m");
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->diffuse, BA);
    EXPECT_EQ(material->emissive, AB);
    EXPECT_EQ(material->normal, (Bytes{127, 127, 255, 127, 127, 255}));
    EXPECT_EQ(material->channels, 3);
    EXPECT_EQ(renderer().materials(), std::vector<Material*>{material});
    // Every image is dropped from the cache once decoded.
    EXPECT_EQ(registry().assets.cachedCount(), 0u);
    // A missing optional image is written about by the asset store, but it is no problem.
    EXPECT_TRUE(log().contains("Cannot open file: tex/m_normal.bmp"));
    EXPECT_TRUE(problemsNoted().empty());
}

TEST_F(MaterialLoading, AMissingOrUnusableDiffuseImageFailsTheMaterial) {
    EXPECT_EQ(loadMaterial("none"), nullptr);
    EXPECT_EQ(log().lines(), (std::vector<std::string>{"Cannot open file: tex/none.bmp", "openfileerror",
                                                       "Loading Material failure"}));
    log().clear();

    Bytes twoPerPixel = encodeBitmap(makeNumberedImage(4, 1), 4, 1);
    twoPerPixel[34] = 8; // image-size field 8 for 4 pixels: 2 bytes each
    writeBytes(dir_.path() / "tex" / "thin.bmp", twoPerPixel);
    EXPECT_EQ(loadMaterial("thin"), nullptr);
    EXPECT_EQ(log().lines(),
              (std::vector<std::string>{
                  "bitmap thin: 2 bytes per pixel from the image-size field (8 bytes for 4 x 1 "
                  "pixels); a 24-bit image needs 3",
                  "Loading Material failure"}));
    log().clear();

    writeBytes(dir_.path() / "tex" / "short.bmp", Bytes{'B', 'M', 1, 2, 3});
    EXPECT_EQ(loadMaterial("short"), nullptr);
    EXPECT_EQ(log().lines(),
              (std::vector<std::string>{"bitmap short: not a bitmap file", "Loading Material failure"}));
    EXPECT_TRUE(renderer().materials().empty());
    EXPECT_EQ(registry().assets.cachedCount(), 0u);
    EXPECT_FALSE(problemsNoted().empty());
}

TEST_F(MaterialLoading, ABitmapWithoutItsImageSizeStillMakesTheMaterial) {
    const Bytes picture = makeNumberedImage(4, 2);
    writeImage("sized", 4, 2, picture);
    Bytes noSize = encodeBitmap(picture, 4, 2);
    noSize[34] = noSize[35] = noSize[36] = noSize[37] = 0; // as many paint programs save it
    writeBytes(dir_.path() / "tex" / "nosize.bmp", noSize);
    Material* sized = loadMaterial("sized");
    Material* material = loadMaterial("nosize");
    ASSERT_NE(sized, nullptr);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->channels, 3);
    EXPECT_EQ(material->size, 4 * 2 * 3);
    EXPECT_EQ(material->diffuse, sized->diffuse);
    EXPECT_TRUE(problemsNoted().empty());
}

TEST_F(MaterialLoading, CompanionsOfAnotherSizeAreReplacedByTheDefault) {
    writeImage("m", 2, 1, AB);
    writeImage("m_normal", 1, 2, AB);
    Bytes twoPerPixel = encodeBitmap(makeNumberedImage(4, 1), 4, 1);
    twoPerPixel[34] = 8; // 8 bytes for 4 pixels
    writeBytes(dir_.path() / "tex" / "m_emissive.bmp", twoPerPixel);
    Material* material = loadMaterial("m");
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->normal, (Bytes{127, 127, 255, 127, 127, 255}));
    EXPECT_EQ(material->emissive, Bytes(6, 0));
    EXPECT_TRUE(
        log().contains("bitmap m_normal: 1 x 2 does not match the diffuse image (2 x 1); using the default"));
    EXPECT_TRUE(
        log().contains("bitmap m_emissive: 2 bytes per pixel from the image-size field; using the default"));
    EXPECT_EQ(problemsNoted().size(), 2u);
}

TEST_F(MaterialLoading, OtherBitmapLayoutsGiveTheSamePicture) {
    // The 2 x 1 picture A, B saved top-down with padded rows.
    Bytes topDown = encodeBitmap(AB, 2, 1);
    topDown[22] = topDown[23] = topDown[24] = topDown[25] = 0xFF; // height -1
    topDown.insert(topDown.end(), {0, 0});                        // row padded to 8 bytes
    writeBytes(dir_.path() / "tex" / "td.bmp", topDown);
    Material* material = loadMaterial("td");
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->diffuse, BA);
}

TEST_F(MaterialLoading, TwoMaterialsOfOneName) {
    writeImage("m", 2, 1, AB);
    Material* first = loadMaterial("m");
    Material* second = loadMaterial("m");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    // The registry answers with the first; the renderer's list, where names are looked up for
    // drawing, has the later one in front.
    EXPECT_EQ(findMaterial("m"), first);
    EXPECT_EQ(renderer().materials().front(), second);
}

} // namespace
