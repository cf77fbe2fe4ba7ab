// A show linked to a stand-in Rocket editor over the loopback, the show in this process on the
// recording renderer: the greeting and the tracks, keys set and deleted live, rows both ways,
// pauses, a save into the scene file, a malformed message, an editor that goes away and comes back.
#include "app/SyncLink.h"
#include "engine/FreeTracks.h"
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
      <lamp::Color />
    </automations>
    <eventtrigger>
      <exit eventTime="30" />
    </eventtrigger>
  </scene>
</base>
)";

const std::vector<std::string> sceneTracks = {"lamp:Position.x", "lamp:Position.y", "lamp:Position.z",
                                              "lamp:Color.x",    "lamp:Color.y",    "lamp:Color.z"};

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class SyncLinkTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        transport::reset();
        show.write("epicrealtimetest.xml", sceneText());
        scenePath = (show.path() / "epicrealtimetest.xml").string();
        rememberShowScene(scenePath);
        ASSERT_EQ(loadScene(scenePath, nullptr), 0);
        registry().playing = true;
    }

    virtual std::string sceneText() const { return scene; }

    std::unique_ptr<SyncLink> linkTo(uint16_t port) {
        std::string error;
        connector = platform::makeTcpConnector("127.0.0.1", port, error);
        EXPECT_TRUE(connector) << error;
        SyncLink::Settings settings;
        settings.scenePath = scenePath;
        settings.client.retrySeconds = 0.05;
        return std::make_unique<SyncLink>(*connector, now, settings);
    }

    // Frames of the show, with the editor serviced between them, until `done` (false after 5 s).
    bool frames(SyncLink& link, StandInEditor* editor, const std::function<bool()>& done) {
        const double until = now() + 5.0;
        while (now() < until) {
            link.beforeFrame();
            link.afterFrame();
            if (editor) editor->service();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    // A few more frames, for what must not happen.
    void settle(SyncLink& link, StandInEditor* editor, double seconds = 0.3) {
        const double until = now() + seconds;
        frames(link, editor, [&] { return now() >= until; });
    }

    // Connected: the tracks asked for and the show's first row told.
    bool connected(SyncLink& link, StandInEditor& editor, size_t tracks = 6) {
        return frames(link, &editor, [&] { return editor.tracks.size() == tracks && !editor.rows.empty(); });
    }

    Vector lampPositionAt(float musicTime) {
        registry().musicTime = musicTime;
        runAutomationStep();
        return findLight("lamp")->Position;
    }

    ScratchDirectory show;
    std::string scenePath;
    std::unique_ptr<TcpConnector> connector;
};

TEST_F(SyncLinkTest, GreetsAndAsksForEveryComponentsTrackInOrder) {
    StandInEditor editor;
    auto link = linkTo(editor.port());
    ASSERT_TRUE(connected(*link, editor));
    EXPECT_EQ(editor.greeting(), "hello, synctracker!");
    EXPECT_EQ(editor.tracks, sceneTracks);
    EXPECT_TRUE(editor.unexpected.empty());
    EXPECT_EQ(log().count("sync: connected to 127.0.0.1:" + std::to_string(editor.port()) + " (6 tracks)"),
              1);
}

TEST_F(SyncLinkTest, KeysSetAndDeletedLiveChangeTheShowOnTheNextFrame) {
    StandInEditor editor;
    auto link = linkTo(editor.port());
    ASSERT_TRUE(connected(*link, editor));
    const RowClock clock = link->rowClock();
    // An editor that opened the exported project sends the scene's keys as they went out (row 75
    // is 4 s at 18.8 rows a second); nothing changes for them.
    const float xs[2] = {0, 8}, ys[2] = {1, 1}, zs[2] = {2, 2};
    const uint32_t keyRows[2] = {0, 75};
    for (int k = 0; k < 2; ++k) {
        editor.setKey(0, keyRows[k], xs[k], 2);
        editor.setKey(1, keyRows[k], ys[k], 2);
        editor.setKey(2, keyRows[k], zs[k], 2);
    }
    settle(*link, &editor);
    EXPECT_EQ(link->document().text(), scene);
    EXPECT_EQ(findAutomation(findLight("lamp"), "Position")->pointCount(), 2u);

    // x gets a key of 100 on row 38, straight on from there.
    editor.setKey(0, 38, 100.0f, 1);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor,
                       [&] { return findAutomation(findLight("lamp"), "Position")->pointCount() == 3; }));
    const float t = static_cast<float>(clock.timeOfRow(38));
    EXPECT_EQ(lampPositionAt(t).x, 100.0f);
    EXPECT_EQ(lampPositionAt(t).y, 1.0f);
    EXPECT_NEAR(lampPositionAt((t + 4.0f) / 2).x, 54.0f, 1e-4); // halfway on the straight line to 8

    // Deleted again: the scene is as it was, and so is the show.
    editor.deleteKey(0, 38);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor,
                       [&] { return findAutomation(findLight("lamp"), "Position")->pointCount() == 2; }));
    EXPECT_EQ(link->document().text(), scene);
    EXPECT_EQ(lampPositionAt(2.0f).x, catmullRom(0, 0, 8, 8, 0.5f));

    // A parameter without keys gets its first from the editor.
    editor.setKey(4, 19, 0.25f, 0); // lamp:Color.y, one beat in
    editor.service();
    ASSERT_TRUE(frames(*link, &editor,
                       [&] { return findAutomation(findLight("lamp"), "Color")->pointCount() == 1; }));
    const std::vector<DocumentKey> colour = link->document().keys("lamp", "Color");
    ASSERT_EQ(colour.size(), 1u);
    EXPECT_EQ(colour[0].value.x, 1.0f); // the light's own colour where no track has keys
    EXPECT_EQ(colour[0].value.y, 0.25f);
    EXPECT_EQ(colour[0].interpolation, Interpolation::Step);
}

TEST_F(SyncLinkTest, AReloadOfTheSceneFromItsFileKeepsTheTrackersKeys) {
    StandInEditor editor;
    auto link = linkTo(editor.port());
    ASSERT_TRUE(connected(*link, editor));
    editor.setKey(0, 0, 0.0f, 2);
    editor.setKey(0, 38, 100.0f, 1);
    editor.setKey(0, 75, 8.0f, 2);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor,
                       [&] { return findAutomation(findLight("lamp"), "Position")->pointCount() == 3; }));
    // A saved bitmap loads the scene again from its file, which has not the tracker's keys.
    reloadShowScene(registry().clock.position(), false);
    ++registry().showMoves;
    ASSERT_EQ(findAutomation(findLight("lamp"), "Position")->pointCount(), 2u);
    const int seeks = transport::state().seeks;
    ASSERT_TRUE(frames(*link, &editor,
                       [&] { return findAutomation(findLight("lamp"), "Position")->pointCount() == 3; }));
    EXPECT_EQ(transport::state().seeks, seeks + 1); // replayed with them
    EXPECT_EQ(log().count("sync: the scene was loaded again from its file"), 1);
    // Later seeks keep them too.
    transport::seekTo(1.0);
    EXPECT_EQ(findAutomation(findLight("lamp"), "Position")->pointCount(), 3u);
}

TEST_F(SyncLinkTest, RowsGoBothWaysAndPauseDrivesTheTransport) {
    StandInEditor editor;
    auto link = linkTo(editor.port());
    ASSERT_TRUE(connected(*link, editor));
    const RowClock clock = link->rowClock();
    editor.rows.clear(); // the row the show was at when it connected

    // The editor moves the show to row 94 (5 s): a replay from the start, as --start makes it.
    editor.setRow(94);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor, [&] { return transport::state().seeks == 1; }));
    EXPECT_NEAR(registry().clock.position(), clock.timeOfRow(94), 1.0 / 60.0);

    // The show tells the editor where it plays, once a row.
    registry().musicTime = 10.0f;
    ASSERT_TRUE(frames(*link, &editor, [&] { return !editor.rows.empty(); }));
    EXPECT_EQ(editor.rows, (std::vector<uint32_t>{188}));
    settle(*link, &editor, 0.1);
    EXPECT_EQ(editor.rows.size(), 1u);
    registry().musicTime = 10.06f;
    ASSERT_TRUE(frames(*link, &editor, [&] { return editor.rows.size() == 2; }));
    EXPECT_EQ(editor.rows.back(), 189u);

    editor.pause(true);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor, [&] { return registry().clock.paused(); }));
    const int seeks = transport::state().seeks;
    editor.pause(false);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor, [&] { return !registry().clock.paused(); }));
    // Resuming replays to where the pause began, as the Space key does.
    EXPECT_EQ(transport::state().seeks, seeks + 1);
}

TEST_F(SyncLinkTest, TheShowsExitPausesItInsteadOfEndingTheWorkOnIt) {
    StandInEditor editor;
    auto link = linkTo(editor.port());
    ASSERT_TRUE(connected(*link, editor));
    // A row past the exit (and past any show): the replay stops at the exit, which pauses.
    editor.setRow(0xffffffffu);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor, [&] { return transport::state().seeks == 1; }));
    EXPECT_FALSE(registry().quitRequested);
    EXPECT_TRUE(registry().clock.paused());
    EXPECT_NEAR(registry().clock.position(), 30.0, 0.1);
    EXPECT_EQ(log().count("sync: row at "), 1);
    EXPECT_EQ(log().count("sync: the show's exit at 30"), 1);

    // Played on from before it, the frame that meets the exit pauses too.
    transport::seekTo(29.0);
    transport::togglePause();
    link->beforeFrame();
    registry().musicTime = 30.01f;
    fireDueEvents();
    ASSERT_TRUE(registry().quitRequested);
    link->afterFrame();
    EXPECT_FALSE(registry().quitRequested);
    EXPECT_TRUE(registry().clock.paused());
    // Escape in a paused frame ends the show.
    link->beforeFrame();
    registry().quitRequested = true;
    link->afterFrame();
    EXPECT_TRUE(registry().quitRequested);
}

TEST_F(SyncLinkTest, SaveTracksWritesTheKeysIntoTheSceneFileWithABackup) {
    StandInEditor editor;
    auto link = linkTo(editor.port());
    ASSERT_TRUE(connected(*link, editor));
    editor.setKey(0, 0, 0.0f, 2);
    editor.setKey(0, 38, 100.0f, 1);
    editor.setKey(0, 75, 8.0f, 2);
    editor.saveTracks();
    editor.service();
    ASSERT_TRUE(frames(*link, &editor, [&] { return log().count("sync: saved the tracks into ") == 1; }));

    std::string expected = scene;
    const std::string first = "        <key v0=\"0\" v1=\"0\" v2=\"1\" v3=\"2\" />\n";
    expected.insert(expected.find(first) + first.size(),
                    "        <key v0=\"" +
                        SceneDocument::formatNumber(static_cast<float>(link->rowClock().timeOfRow(38))) +
                        "\" v1=\"100\" v2=\"1\" v3=\"2\" interpolation=\"linear\" />\n");
    EXPECT_EQ(fileText(scenePath), expected);
    EXPECT_EQ(fileText(scenePath + ".bak"), scene);

    // The saved scene loads with the key and its way, and saving again writes nothing.
    SceneDocument saved;
    ASSERT_TRUE(saved.load(scenePath));
    ASSERT_EQ(saved.keys("lamp", "Position").size(), 3u);
    EXPECT_EQ(saved.keys("lamp", "Position")[1].interpolation, Interpolation::Linear);
    editor.saveTracks();
    editor.service();
    ASSERT_TRUE(
        frames(*link, &editor, [&] { return log().count("sync: " + scenePath + " already holds") == 1; }));
    EXPECT_EQ(fileText(scenePath + ".bak"), scene);
}

TEST_F(SyncLinkTest, AMalformedMessageClosesTheConnectionWithALineAndTheLinkComesBack) {
    StandInEditor editor;
    auto link = linkTo(editor.port());
    ASSERT_TRUE(connected(*link, editor));
    editor.setKey(0, 38, 100.0f, 1);
    editor.sendBytes(std::string(1, '\x09'));
    editor.service();
    const std::string line =
        "sync: 127.0.0.1:" + std::to_string(editor.port()) +
        " sent unknown command 9; connection closed; the show plays on and tries again every second";
    ASSERT_TRUE(frames(*link, &editor, [&] { return log().contains(line); }));
    // What came before it is taken.
    EXPECT_EQ(findAutomation(findLight("lamp"), "Position")->pointCount(), 3u);
    // The link tries again, and asks for its tracks again.
    ASSERT_TRUE(frames(*link, &editor, [&] { return editor.accepted() == 2 && editor.tracks.size() == 6; }));

    // A key for a track never asked for, and a key type beyond ramp: each a line of its own.
    editor.setKey(6, 0, 1.0f, 0);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor,
                       [&] { return log().count("sync: 127.0.0.1:") >= 2 && editor.accepted() == 3; }));
    EXPECT_EQ(log().count("sync: 127.0.0.1:" + std::to_string(editor.port()) +
                          " sent SET_KEY for track 6, but the show asked for 6"),
              1);
}

TEST_F(SyncLinkTest, AnEditorThatGoesAwayAndComesBackCostsOneLine) {
    uint16_t port = 0;
    {
        StandInEditor first;
        port = first.port();
        auto link = linkTo(port);
        ASSERT_TRUE(connected(*link, first));
        first.quit();
        ASSERT_TRUE(frames(*link, nullptr, [&] { return log().count("sync: lost the connection to") == 1; }));
        // Tries again every 50 ms here, refused each time: no line more, and the show goes on.
        settle(*link, nullptr, 0.5);
        EXPECT_EQ(log().count("sync: "), 2) << ::testing::PrintToString(log().lines());

        StandInEditor again(port);
        ASSERT_TRUE(frames(*link, &again, [&] { return again.tracks == sceneTracks; }));
        EXPECT_EQ(log().count("sync: connected to"), 2);
    }
}

TEST_F(SyncLinkTest, NoEditorAtTheStartIsOneLineAndTheShowPlaysOn) {
    uint16_t port = 0;
    {
        StandInEditor probe; // a port nobody listens on once it is gone
        port = probe.port();
    }
    auto link = linkTo(port);
    settle(*link, nullptr, 0.4);
    EXPECT_EQ(log().count("sync: cannot connect to 127.0.0.1:" + std::to_string(port) + " ("), 1)
        << ::testing::PrintToString(log().lines());
    EXPECT_EQ(log().count("sync: "), 1);
    EXPECT_EQ(findAutomation(findLight("lamp"), "Position")->pointCount(), 2u);
}

} // namespace

namespace {

// A show with free tracks beside its automation.
class SyncFreeTrackTest : public SyncLinkTest {
protected:
    std::string sceneText() const override {
        std::string text = scene;
        text.insert(text.find("    <eventtrigger>"), R"(    <tracks>
      <glow>
        <key v0="0" v1="0.5" />
      </glow>
      <grade components="3" />
      <not-a-uniform />
    </tracks>
)");
        return text;
    }
    float glowAt(float time) {
        int components = 0;
        AutomationPath* path = findFreeTrack("glow", &components);
        EXPECT_EQ(components, 1);
        path->setTime(time);
        return path->evaluate().values[0];
    }
};

TEST_F(SyncFreeTrackTest, FreeTracksAreTracksTooAndTheirKeysReachTheShowAndTheFile) {
    StandInEditor editor;
    auto link = linkTo(editor.port());
    ASSERT_TRUE(connected(*link, editor, 10));
    std::vector<std::string> tracks = sceneTracks;
    for (const char* track : {"tracks:glow", "tracks:grade.x", "tracks:grade.y", "tracks:grade.z"})
        tracks.push_back(track);
    EXPECT_EQ(editor.tracks, tracks); // the name no shader could use is no track of the show

    // The tracker takes glow up on row 38 in a straight line: the show plays it from the next frame.
    const RowClock clock = link->rowClock();
    editor.setKey(6, 0, 0.5f, 1);
    editor.setKey(6, 38, 1.5f, 1);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor, [&] { return findFreeTrack("glow")->pointCount() == 2; }));
    const float t = static_cast<float>(clock.timeOfRow(38));
    EXPECT_EQ(glowAt(t), 1.5f);
    EXPECT_FLOAT_EQ(glowAt(t / 2), 1.0f);

    // grade.y gets its first key; the other values of the key rest at 0.
    editor.setKey(8, 19, 0.25f, 0);
    editor.service();
    ASSERT_TRUE(frames(*link, &editor, [&] { return findFreeTrack("grade")->pointCount() == 1; }));
    const std::vector<PathPoint> grade = findFreeTrack("grade")->points();
    EXPECT_EQ(grade[0].count, 3);
    EXPECT_EQ(grade[0].values[1], 0.25f);
    EXPECT_EQ(grade[0].values[0], 0.0f);

    // Saved: the scene file holds both, each in the file's style.
    editor.saveTracks();
    editor.service();
    ASSERT_TRUE(frames(*link, &editor, [&] { return log().count("sync: saved the tracks into ") == 1; }));
    SceneDocument saved;
    ASSERT_TRUE(saved.load(scenePath));
    const std::vector<DocumentTrackKey> glow = saved.trackKeys("glow");
    ASSERT_EQ(glow.size(), 2u);
    EXPECT_EQ(glow[0].interpolation, Interpolation::Linear);
    EXPECT_EQ(glow[1].values[0], 1.5f);
    const std::vector<DocumentTrackKey> gradeKeys = saved.trackKeys("grade");
    ASSERT_EQ(gradeKeys.size(), 1u);
    EXPECT_EQ(gradeKeys[0].values, (std::array<float, 4>{0, 0.25f, 0, 0}));
    EXPECT_EQ(gradeKeys[0].interpolation, Interpolation::Step);
    // The automation the tracker left alone is as it was.
    EXPECT_EQ(saved.keys("lamp", "Position").size(), 2u);
}

} // namespace
