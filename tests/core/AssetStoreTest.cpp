#include "engine/base/AssetStore.h"
#include "tests/support/TestSupport.h"

namespace {

class AssetStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store.registerKind("tex\\", "bmp", AssetKindBitmap);
        store.registerKind("model\\", "obj", AssetKindMesh);
        store.registerKind("audio\\", "ogg", AssetKindMusic);
    }
    ScratchDirectory dir;
    WorkingDirectory cwd{dir.path()};
    AssetStore store;
    LogCapture log;
};

TEST_F(AssetStoreTest, KindsAreUniqueAndDirectoriesKeptAsRegistered) {
    EXPECT_EQ(store.registerKind("other\\", "bmp", AssetKindBitmap), -2);
    EXPECT_EQ(store.directoryFor(AssetKindMusic), "audio\\");
    EXPECT_EQ(store.directoryFor(AssetKindBitmap), "tex\\");
    EXPECT_EQ(store.directoryFor(42), "");
    EXPECT_EQ(store.pathFor("stone", AssetKindBitmap), "tex/stone.bmp");
}

TEST_F(AssetStoreTest, FetchReadsOnceAndSharesTheBytes) {
    dir.write("tex/stone.bmp", std::string("first"));
    auto one = store.fetch("stone", AssetKindBitmap);
    dir.write("tex/stone.bmp", std::string("changed on disk"));
    auto two = store.fetch("stone", AssetKindBitmap);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    EXPECT_NE(one.get(), two.get());
    EXPECT_EQ(one->data(), two->data());
    EXPECT_EQ(two->size, 5u);
    EXPECT_EQ(std::string(two->data(), two->data() + two->size), "first");
    EXPECT_EQ(store.cachedCount(), 1u);
}

TEST_F(AssetStoreTest, ReadFileAlwaysAppendsAnEntry) {
    dir.write("model/cube.obj", std::string("x"));
    store.readFile("cube", AssetKindMesh);
    store.readFile("cube", AssetKindMesh);
    EXPECT_EQ(store.cachedCount(), 2u);
}

TEST_F(AssetStoreTest, EmptyFileIsASuccess) {
    dir.write("model/empty.obj", std::vector<uint8_t>{});
    auto file = store.fetch("empty", AssetKindMesh);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size, 0u);
    EXPECT_EQ(file->kind, AssetKindMesh);
}

TEST_F(AssetStoreTest, MissingFileAndUnknownKindFailWithTheirLines) {
    EXPECT_EQ(store.fetch("nothere", AssetKindMesh), nullptr);
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Cannot open file: model/nothere.obj", "openfileerror"}));
    log.clear();
    EXPECT_EQ(store.readFile("x", 9).kind, AssetKindNone);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(store.fetch("x", 9), nullptr);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"openfileerror"}));
}

TEST_F(AssetStoreTest, NamesAreCaseSensitiveCacheKeys) {
    dir.write("tex/a.bmp", std::string("lower"));
    dir.write("tex/A.bmp", std::string("upper"));
    auto lower = store.fetch("a", AssetKindBitmap);
    auto upper = store.fetch("A", AssetKindBitmap);
    ASSERT_TRUE(lower && upper);
    EXPECT_NE(lower->data(), upper->data());
    EXPECT_EQ(store.cachedCount(), 2u);
}

TEST_F(AssetStoreTest, ReleasedBytesStayValidForHoldersAndTheNextFetchReadsAgain) {
    dir.write("tex/stone.bmp", std::string("first"));
    auto held = store.fetch("stone", AssetKindBitmap);
    EXPECT_EQ(store.release("stone", AssetKindBitmap), 0);
    EXPECT_EQ(store.release("stone", AssetKindBitmap), -1);
    EXPECT_EQ(std::string(held->data(), held->data() + held->size), "first");
    dir.write("tex/stone.bmp", std::string("second"));
    auto again = store.fetch("stone", AssetKindBitmap);
    EXPECT_EQ(again->size, 6u);
}

TEST_F(AssetStoreTest, LongNamesAreKeptWhole) {
    const std::string name(40, 'n');
    dir.write("tex/" + name + ".bmp", std::string("long"));
    auto file = store.fetch(name, AssetKindBitmap);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->name, name);
    // A name sharing the first 31 bytes is a different asset.
    EXPECT_EQ(store.fetch(std::string(31, 'n') + "x", AssetKindBitmap), nullptr);
}

TEST_F(AssetStoreTest, ReadOnlyFilesLoad) {
    dir.write("tex/locked.bmp", std::string("ro"));
    std::filesystem::permissions(dir.path() / "tex/locked.bmp", std::filesystem::perms::owner_read);
    EXPECT_NE(store.fetch("locked", AssetKindBitmap), nullptr);
}

TEST_F(AssetStoreTest, DirectoriesAreNotFiles) {
    std::filesystem::create_directories(dir.path() / "tex/folder.bmp");
    EXPECT_EQ(store.fetch("folder", AssetKindBitmap), nullptr);
}

} // namespace
