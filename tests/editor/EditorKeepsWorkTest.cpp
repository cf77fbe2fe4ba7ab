// What keeps an editing session's work: the show's "exit" passed by a seek or a reload pauses
// the editor's show instead of ending the program; saving goes through a linked scene, keeps
// the file's permissions, replaces neither a file changed on disk nor a read-only one unless the
// user agrees, keeps what the file held as NAME.bak, and unsaved work can be kept beside it.
#include "actors/ActorFactory.h"
#include "editor/model/SceneFile.h"
#include "engine/EngineRegistry.h"
#include "engine/loop/SceneReload.h"
#include "scene/loader/SceneLoader.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::perms permissionsOf(const fs::path& path) {
    return fs::status(path).permissions() & fs::perms::mask;
}

// A show that ends itself at 1 s.
const char* const ExitingShow = "<base><scene><eventtrigger>\n"
                                "  <exit eventTime=\"1\" />\n"
                                "</eventtrigger></scene></base>";

class ShowExit : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        rememberShowSceneBytes(ExitingShow);
        loadSceneFromBytes(ExitingShow, "epicrealtimetest.xml", &createActor);
        registry().playing = true;
    }
    void TearDown() override {
        registry().exitPauses = false;
        registry().exitReached = false;
        RegistryTest::TearDown();
    }
};

} // namespace

TEST_F(ShowExit, ASeekOrAReloadPastTheExitEndsThePlayerButOnlyPausesTheEditor) {
    // The player: the replay stops at the exit and the program ends.
    EXPECT_LT(seekShow(3.0f), 1.5f);
    EXPECT_TRUE(registry().quitRequested);
    EXPECT_FALSE(registry().exitReached);

    // The editor: the replay reaches where it was asked to, the exit is noted for the editor to
    // pause on, and nothing ends.
    registry().quitRequested = false;
    registry().exitPauses = true;
    EXPECT_GE(seekShow(3.0f), 3.0f);
    EXPECT_FALSE(registry().quitRequested);
    EXPECT_TRUE(registry().exitReached.exchange(false));

    // A reload after an edit that put a new exit behind the playhead: the same.
    const std::string edited = "<base><scene><eventtrigger>\n"
                               "  <exit eventTime=\"1\" />\n"
                               "  <exit eventTime=\"2\" />\n"
                               "</eventtrigger></scene></base>";
    EXPECT_GE(reloadShowSceneBytes(edited, 2.5f).position, 2.5f);
    EXPECT_FALSE(registry().quitRequested);
    EXPECT_TRUE(registry().exitReached.exchange(false));

    // Played on from before it, the exit is reached the same way.
    EXPECT_LT(seekShow(0.5f), 1.0f);
    EXPECT_FALSE(registry().exitReached);
    registry().musicTime = 1.2f;
    fireDueEvents();
    EXPECT_FALSE(registry().quitRequested);
    EXPECT_TRUE(registry().exitReached);
}

TEST(SceneFileSave, ALinkedSceneIsSavedThroughItsLinkWithItsPermissionsKept) {
    ScratchDirectory scratch;
    scratch.write("store/scene.xml", "<base>one</base>");
    const fs::path target = scratch.path() / "store" / "scene.xml";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_directories(scratch.path() / "show");
    const fs::path link = scratch.path() / "show" / "epicrealtimetest.xml";
    fs::create_symlink("../store/scene.xml", link);

    std::string error;
    ASSERT_TRUE(saveSceneFile(link.string(), "<base>two</base>", error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "../store/scene.xml");
    EXPECT_EQ(readFile(target), "<base>two</base>");
    EXPECT_EQ(permissionsOf(target), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // The backup is beside the name the editor was given, as private as the scene.
    EXPECT_EQ(readFile(link.string() + ".bak"), "<base>one</base>");
    EXPECT_EQ(permissionsOf(link.string() + ".bak"), permissionsOf(target));
    // Nothing half-written is left in either folder.
    for (const fs::path& folder : {scratch.path() / "store", scratch.path() / "show"})
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();

    // A link that leads nowhere is not replaced by a file.
    fs::remove(target);
    EXPECT_FALSE(saveSceneFile(link.string(), "<base>three</base>", error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_symlink(link));
}

TEST(SceneFileSave, AFileChangedOnDiskIsOnlyReplacedWhenTheUserAgrees) {
    ScratchDirectory scratch;
    scratch.write("epicrealtimetest.xml", "<base>read</base>");
    const std::string path = (scratch.path() / "epicrealtimetest.xml").string();
    std::string bytes, message;
    SceneFileState known;
    ASSERT_TRUE(readSceneFile(path, bytes, known, message)) << message;

    // Saved as it was read: nothing to ask.
    SceneSave save;
    save.expected = &known;
    SceneFileState written;
    ASSERT_EQ(saveSceneFile(path, "<base>mine</base>", save, written, message), SceneSaveResult::Saved);
    known = written;
    EXPECT_EQ(readFile(path + ".bak"), "<base>read</base>");

    // Someone else's change, even of the same size and in the same second, is not replaced.
    scratch.write("epicrealtimetest.xml", "<base>your</base>");
    EXPECT_EQ(saveSceneFile(path, "<base>again</base>", save, written, message),
              SceneSaveResult::ChangedOnDisk);
    EXPECT_NE(message.find("changed on disk"), std::string::npos) << message;
    EXPECT_EQ(readFile(path), "<base>your</base>");
    EXPECT_EQ(readFile(path + ".bak"), "<base>read</base>");

    // Agreed to: replaced, and the backup is the file as it was just before, their change.
    save.overwriteChanged = true;
    ASSERT_EQ(saveSceneFile(path, "<base>again</base>", save, written, message), SceneSaveResult::Saved);
    EXPECT_EQ(readFile(path), "<base>again</base>");
    EXPECT_EQ(readFile(path + ".bak"), "<base>your</base>");
    // What the save says it wrote is what the disk holds: the editor's own save is no change.
    SceneFileState now;
    ASSERT_TRUE(readSceneFile(path, bytes, now, message)) << message;
    EXPECT_TRUE(written.sameContent(now));
    EXPECT_TRUE(written.sameStamp(now));

    // A file removed meanwhile is not silently written again either.
    fs::remove(path);
    save.overwriteChanged = false;
    known = written;
    EXPECT_EQ(saveSceneFile(path, "<base>back</base>", save, written, message),
              SceneSaveResult::ChangedOnDisk);
    EXPECT_FALSE(fs::exists(path));
}

TEST(SceneFileSave, AReadOnlySceneIsOnlyReplacedWhenTheUserAgreesAndStaysReadOnly) {
    ScratchDirectory scratch;
    scratch.write("epicrealtimetest.xml", "<base><scene></scene></base>");
    const fs::path path = scratch.path() / "epicrealtimetest.xml";
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(path, readOnly);

    std::string message;
    SceneFileState written;
    EXPECT_EQ(saveSceneFile(path.string(), "<base>new</base>", SceneSave{}, written, message),
              SceneSaveResult::ReadOnly);
    EXPECT_EQ(message, path.string() + " is read-only");
    EXPECT_EQ(readFile(path), "<base><scene></scene></base>");
    // --resave cannot ask: it leaves the file alone and says so.
    EXPECT_EQ(resaveShow(scratch.path().string(), message), 1);
    EXPECT_NE(message.find("read-only; not saved"), std::string::npos) << message;

    SceneSave agreed;
    agreed.overwriteReadOnly = true;
    ASSERT_EQ(saveSceneFile(path.string(), "<base>new</base>", agreed, written, message),
              SceneSaveResult::Saved);
    EXPECT_EQ(readFile(path), "<base>new</base>");
    EXPECT_EQ(permissionsOf(path), readOnly);
}

TEST(SceneFileSave, UnsavedWorkIsKeptBesideTheSceneWhichStaysAsItWas) {
    ScratchDirectory scratch;
    scratch.write("epicrealtimetest.xml", "<base>saved</base>");
    const fs::path path = scratch.path() / "epicrealtimetest.xml";
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    std::string error;
    ASSERT_TRUE(writeRecoveryCopy(path.string(), "<base>unsaved</base>", error)) << error;
    EXPECT_EQ(recoveryPath(path.string()), path.string() + ".recover");
    EXPECT_EQ(readFile(path.string() + ".recover"), "<base>unsaved</base>");
    EXPECT_EQ(permissionsOf(path.string() + ".recover"), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(readFile(path), "<base>saved</base>");
}

TEST(SceneFileSave, UTF16ScenesAreToldApartAndResavedByteForByte) {
    const fs::path bad = fs::path(BEATSHOW_SOURCE_DIR) / "tests" / "data" / "bad" / "scene";
    ScratchDirectory scratch;
    for (const char* name : {"utf16-le.xml", "utf16-be.xml"}) {
        SCOPED_TRACE(name);
        const std::string original = readFile(bad / name);
        EXPECT_TRUE(isUtf16Text(original));
        // Without its byte-order mark too.
        EXPECT_TRUE(isUtf16Text(original.substr(2)));
        scratch.write("epicrealtimetest.xml", original);
        std::string message;
        ASSERT_EQ(resaveShow(scratch.path().string(), message), 0) << message;
        EXPECT_EQ(readFile(scratch.path() / "epicrealtimetest.xml"), original);
    }
    EXPECT_FALSE(isUtf16Text(readFile(fs::path(BEATSHOW_SOURCE_DIR) / "show" / "epicrealtimetest.xml")));
    EXPECT_FALSE(isUtf16Text("<?xml version=\"1.0\" encoding=\"utf-8\"?><base>\xc3\xa9</base>"));
    EXPECT_FALSE(isUtf16Text(""));
}
