// What keeps an editing session's work: the show's "exit" passed by a seek or a reload pauses
// the editor's show instead of ending the program.
#include "actors/ActorFactory.h"
#include "engine/EngineRegistry.h"
#include "engine/loop/SceneReload.h"
#include "scene/loader/SceneLoader.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

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
