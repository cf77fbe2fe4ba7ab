// `beatshow --edit --sync`: the editor's session (without its window) linked to a stand-in Rocket
// editor on the loopback, the show in this process on the recording renderer. The tracker's keys
// are steps of the editor's history, its save is the editor's, and what the editor adds gets
// tracks.
#include "app/SyncLink.h"
#include "editor/EditorSession.h"
#include "engine/base/FrameTimer.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/Transport.h"
#include "platform/TcpSocket.h"
#include "scene/loader/SceneLoader.h"
#include "tests/support/TestSupport.h"
#include "tests/sync/StandInEditor.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string scene = R"(<base>
  <scene>
    <lights>
      <lamp>
        <Color x="1" y="1" z="1" />
        <Position x="0" y="0" z="0" />
      </lamp>
    </lights>
    <automations>
      <lamp::Position>
        <key v0="0" v1="0" v2="1" v3="2" />
        <key v0="4" v1="8" v2="1" v3="2" />
      </lamp::Position>
    </automations>
    <eventtrigger>
      <exit eventTime="30" />
    </eventtrigger>
  </scene>
</base>
)";

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class EditorWithTracker : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        transport::reset();
        scratch_.write("epicrealtimetest.xml", scene);
        rememberShowScene("epicrealtimetest.xml");
        ASSERT_EQ(loadScene("epicrealtimetest.xml", nullptr), 0);
        registry().playing = true;
        std::string error;
        ASSERT_TRUE(session_.open(error)) << error;
        connector_ = platform::makeTcpConnector("127.0.0.1", tracker_.port(), error);
        ASSERT_TRUE(connector_) << error;
        SyncLink::Settings settings;
        settings.client.retrySeconds = 0.05;
        settings.editor = &session_;
        link_ = std::make_unique<SyncLink>(*connector_, now, settings);
    }

    // Frames of the show as the program runs them (the link wraps the editor's session), with the
    // tracker serviced between them, until `done` (false after 5 s).
    bool frames(const std::function<bool()>& done) {
        const double until = now() + 5.0;
        while (now() < until) {
            session_.beforeFrame();
            link_->beforeFrame();
            session_.afterFrame(16.0);
            link_->afterFrame();
            tracker_.service();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    size_t showKeys(const char* parameter) {
        const AutomationPath* path = findAutomation(findLight("lamp"), parameter);
        return path ? path->pointCount() : 0;
    }
    EditHistory& history() { return session_.ui().history(); }
    std::vector<DocumentKey> keys(const char* parameter) {
        return session_.document().keys("lamp", parameter);
    }

    ScratchDirectory scratch_;
    WorkingDirectory inScratch_{scratch_.path()};
    FrameTimer timer_;
    EditorSession session_{timer_, nullptr};
    StandInEditor tracker_;
    std::unique_ptr<TcpConnector> connector_;
    std::unique_ptr<SyncLink> link_;
};

TEST_F(EditorWithTracker, TheTrackersKeysAreOneStepOfTheEditorsHistoryUntilTheUserEditsBetween) {
    ASSERT_TRUE(frames([&] { return tracker_.tracks.size() == 3; }));
    const RowClock clock = link_->rowClock();
    // x gets 100 on row 38, straight on from there: the editor's document has it, the show plays
    // it, and it is an unsaved change.
    tracker_.setKey(0, 38, 100.0f, 1);
    tracker_.service();
    ASSERT_TRUE(frames([&] { return showKeys("Position") == 3; }));
    ASSERT_EQ(keys("Position").size(), 3u);
    EXPECT_EQ(keys("Position")[1].time, static_cast<float>(clock.timeOfRow(38)));
    EXPECT_EQ(keys("Position")[1].value.x, 100.0f);
    EXPECT_EQ(keys("Position")[1].interpolation, Interpolation::Linear);
    EXPECT_TRUE(history().modified());
    ASSERT_EQ(history().commands().size(), 1u);
    EXPECT_EQ(history().undoLabel(), "Keys from the tracker");
    EXPECT_EQ(fileText("epicrealtimetest.xml"), scene); // nothing written

    // More keys from the tracker join that step.
    tracker_.setKey(0, 56, 50.0f, 0);
    tracker_.service();
    ASSERT_TRUE(frames([&] { return showKeys("Position") == 4; }));
    EXPECT_EQ(history().commands().size(), 1u);

    // The user's own edit comes between: the tracker's next key is a step of its own.
    ASSERT_TRUE(session_.ui().edit("Set lamp Color", {{Touch::Value, "lamp", "Color"}}, [](SceneDocument& d) {
        return d.setVector("lamp", "Color", {0.5f, 0.5f, 0.5f});
    }));
    ASSERT_EQ(history().commands().size(), 2u);
    tracker_.deleteKey(0, 56);
    tracker_.service();
    ASSERT_TRUE(frames([&] { return history().commands().size() == 3; }));
    EXPECT_EQ(keys("Position").size(), 3u); // 0, row 38 and 4 s

    // A key the user adds to the path stays when the tracker speaks for the path again: the
    // tracker has no key for y and z there, and x's is the curve of its track.
    session_.ui().keyCurrentValue("lamp", "Position", 6.0);
    ASSERT_EQ(keys("Position").size(), 4u);
    tracker_.setKey(0, 56, 60.0f, 1);
    tracker_.service();
    ASSERT_TRUE(frames([&] { return showKeys("Position") == 5; }));
    ASSERT_EQ(keys("Position").size(), 5u);
    EXPECT_EQ(keys("Position")[4].time, 6.0f);
    EXPECT_EQ(history().commands().size(), 5u);

    // Undo goes back step by step, and the show with it.
    session_.ui().undo();
    EXPECT_EQ(keys("Position").size(), 4u);
    EXPECT_EQ(showKeys("Position"), 4u);
    for (int i = 0; i < 4; ++i)
        session_.ui().undo();
    EXPECT_EQ(session_.document().text(), scene);
    EXPECT_FALSE(history().modified());
    EXPECT_EQ(showKeys("Position"), 2u);
}

TEST_F(EditorWithTracker, SaveTracksIsTheEditorsSaveWithItsBackupAndWhatItSavedIsOneStep) {
    ASSERT_TRUE(frames([&] { return tracker_.tracks.size() == 3; }));
    tracker_.setKey(0, 0, 0.0f, 2);
    tracker_.setKey(0, 38, 100.0f, 1);
    tracker_.setKey(0, 75, 8.0f, 2);
    tracker_.saveTracks();
    tracker_.service();
    ASSERT_TRUE(frames([&] { return log().contains("editor: saved epicrealtimetest.xml"); }));
    EXPECT_EQ(log().count("sync: the tracker asked to save; the editor saves the scene"), 1);

    std::string expected = scene;
    const std::string first = "        <key v0=\"0\" v1=\"0\" v2=\"1\" v3=\"2\" />\n";
    expected.insert(expected.find(first) + first.size(),
                    "        <key v0=\"" +
                        SceneDocument::formatNumber(static_cast<float>(link_->rowClock().timeOfRow(38))) +
                        "\" v1=\"100\" v2=\"1\" v3=\"2\" interpolation=\"linear\" />\n");
    EXPECT_EQ(fileText("epicrealtimetest.xml"), expected);
    EXPECT_EQ(fileText("epicrealtimetest.xml.bak"), scene);
    EXPECT_FALSE(history().modified());
    EXPECT_EQ(history().commands().size(), 1u);

    // The save ended the step: the tracker's next key is one of its own, and one undo takes it
    // back to what was saved.
    tracker_.setKey(1, 19, 3.0f, 0);
    tracker_.service();
    ASSERT_TRUE(frames([&] { return history().commands().size() == 2; }));
    EXPECT_TRUE(history().modified());
    session_.ui().undo();
    EXPECT_EQ(session_.document().text(), expected);
    EXPECT_FALSE(history().modified());
    // And one more takes the saved keys back, all together.
    session_.ui().undo();
    EXPECT_EQ(session_.document().text(), scene);
    EXPECT_TRUE(history().modified());
}

TEST_F(EditorWithTracker, AParameterTheEditorKeysGetsItsTracks) {
    ASSERT_TRUE(frames([&] { return tracker_.tracks.size() == 3; }));
    // K on the lamp's colour makes a binding: the show loads it, and the tracker is asked for it.
    findLight("lamp")->Color = {0.5f, 0.25f, 1.0f};
    ASSERT_TRUE(session_.ui().keyCurrentValue("lamp", "Color", 1.0));
    session_.afterFrame(16.0); // the editor loads the new binding into the show
    ASSERT_TRUE(frames([&] { return tracker_.tracks.size() == 6; }));
    EXPECT_EQ(tracker_.tracks[3], "lamp:Color.x");
    EXPECT_EQ(tracker_.tracks[5], "lamp:Color.z");
    // Its keys come back from the tracker onto it.
    tracker_.setKey(4, 8, 0.75f, 0);
    tracker_.service();
    ASSERT_TRUE(frames([&] { return keys("Color").size() == 2; }));
    EXPECT_EQ(keys("Color")[1].value, (Vector{0.5f, 0.75f, 1.0f}));
}

TEST_F(EditorWithTracker, TheUsersWayOutStandsAfterTheShowsExit) {
    ASSERT_TRUE(frames([&] { return tracker_.tracks.size() == 3; }));
    // Played on past the exit (the editor paused there and the user played on), then Escape:
    // the link leaves the end to the editor.
    transport::seekTo(31.0);
    link_->beforeFrame();
    registry().quitRequested = true;
    link_->afterFrame();
    EXPECT_TRUE(registry().quitRequested);
    EXPECT_EQ(log().count("sync: the show's exit"), 0);
}

} // namespace
