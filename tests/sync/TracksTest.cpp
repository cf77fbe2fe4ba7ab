// Tracks as a tracker sees the show: rows over the tempo, the three tracks of a parameter and the
// way back to the scene's keys, Rocket's track and project files, and the decoder of what an
// editor sends.
#include "editor/model/SceneDocument.h"
#include "scene/sync/RocketProtocol.h"
#include "scene/sync/SyncTracks.h"
#include "scene/sync/TrackFiles.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace {

SceneKey sceneKey(float time, float x, float y, float z, Interpolation way = Interpolation::CatmullRom) {
    return SceneKey{time, {x, y, z}, way};
}

RowClock clockAt(double bpm, int rowsPerBeat = 8, double firstBeat = 0.0) {
    RowClock clock;
    clock.tempo.bpm = bpm;
    clock.tempo.firstBeat = firstBeat;
    clock.rowsPerBeat = rowsPerBeat;
    return clock;
}

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

TEST(Rows, RowsRunAtTheTemposBeatsFromTheFirstBeatAtOrAfterTheStart) {
    const RowClock clock = clockAt(120.0); // 16 rows a second
    EXPECT_EQ(clock.timeOfRow(16), 1.0);
    EXPECT_EQ(clock.rowAt(1.0), 16u);
    EXPECT_EQ(clock.rowAt(1.06), 16u);
    EXPECT_EQ(clock.nearestRow(1.04), 17u);
    EXPECT_EQ(clock.rowAt(-2.0), 0u);

    // Bar 1 at 1.3 s, a beat 0.5 s: row 0 is on the beat at 0.3 s.
    const RowClock late = clockAt(120.0, 8, 1.3);
    EXPECT_NEAR(late.rowZero(), 0.3, 1e-12);
    EXPECT_NEAR(late.timeOfRow(8), 0.8, 1e-12);
    EXPECT_EQ(late.rowAt(0.1), 0u);
}

TEST(Tracks, NamesAreEntityColonParameterDotComponent) {
    EXPECT_EQ(trackName("Cam1", "Position", 0), "Cam1:Position.x");
    EXPECT_EQ(trackName("Cam1", "Target::x", 2), "Cam1:Target::x.z");
    std::string entity, parameter;
    int component = -1;
    ASSERT_TRUE(splitTrackName("Cam1:Target::x.z", entity, parameter, component));
    EXPECT_EQ(entity, "Cam1");
    EXPECT_EQ(parameter, "Target::x");
    EXPECT_EQ(component, 2);
    for (const char* bad : {"Cam1Position.x", ":Position.x", "Cam1:.x", "Cam1:Position.w", "Cam1:Position"})
        EXPECT_FALSE(splitTrackName(bad, entity, parameter, component)) << bad;
}

TEST(Tracks, KeysGoToTheirNearestRowsWithTheirKeyTypes) {
    const RowClock clock = clockAt(120.0);
    const std::vector<SceneKey> keys = {
        sceneKey(0.0f, 1, 2, 3, Interpolation::Step), sceneKey(1.01f, 4, 5, 6, Interpolation::Linear),
        sceneKey(2.0f, 7, 8, 9, Interpolation::Ramp), sceneKey(3.0f, 0, 0, 0)};
    const TrackKeys y = trackOfKeys(keys, 1, clock);
    EXPECT_EQ(y, (TrackKeys{{0, {2, 0}}, {16, {5, 1}}, {32, {8, 3}}, {48, {0, 2}}})); // Catmull-Rom: smooth
}

TEST(Tracks, KeysThatComeBackAsTheyWentAreTheScenesKeysExactly) {
    const RowClock clock = clockAt(141.0);
    // Times off the rows, a Catmull-Rom key (which goes out as smooth) and two keys on one row.
    const std::vector<SceneKey> keys = {sceneKey(0.0f, 1, 2, 3),
                                        sceneKey(0.4f, 4, 5, 6, Interpolation::Linear),
                                        sceneKey(0.41f, 4, 5, 7), sceneKey(2.3f, 7, 8, 9)};
    std::array<TrackKeys, 3> tracks;
    for (int c = 0; c < 3; ++c)
        tracks[static_cast<size_t>(c)] = trackOfKeys(keys, c, clock);
    EXPECT_EQ(keysFromTracks(keys, tracks, {true, true, true}, {0, 0, 0}, clock), keys);
    EXPECT_EQ(keysFromTracks(keys, {}, {false, false, false}, {0, 0, 0}, clock), keys);
}

TEST(Tracks, AChangedTrackChangesItsComponentAndKeepsTheOthersCurves) {
    const RowClock clock = clockAt(120.0); // rows of 1/16 s
    const std::vector<SceneKey> keys = {sceneKey(0.0f, 0, 10, 5, Interpolation::Linear),
                                        sceneKey(1.0f, 2, 20, 5, Interpolation::Linear)};
    std::array<TrackKeys, 3> tracks;
    for (int c = 0; c < 3; ++c)
        tracks[static_cast<size_t>(c)] = trackOfKeys(keys, c, clock);

    // x: the key on row 16 changes value and way; a new key on row 8; y and z are not touched.
    tracks[0][16] = {9.0f, 0};
    tracks[0][8] = {4.0f, 1};
    const std::vector<SceneKey> changed =
        keysFromTracks(keys, tracks, {true, false, false}, {0, 0, 0}, clock);
    ASSERT_EQ(changed.size(), 3u);
    EXPECT_EQ(changed[0], keys[0]);
    // Row 8 is 0.5 s: y and z give what their lines play there.
    EXPECT_EQ(changed[1], sceneKey(0.5f, 4, 15, 5, Interpolation::Linear));
    EXPECT_EQ(changed[2], sceneKey(1.0f, 9, 20, 5, Interpolation::Step));

    // Every key of a track deleted: the component rests at the parameter's own value.
    tracks[0].clear();
    const std::vector<SceneKey> rest = keysFromTracks(keys, tracks, {true, false, false}, {-1, 0, 0}, clock);
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0].values[0], -1.0f);
    EXPECT_EQ(rest[1].values[0], -1.0f);
    EXPECT_EQ(rest[1].values[1], 20.0f);
    // All three deleted: no keys.
    EXPECT_TRUE(keysFromTracks(keys, {}, {true, true, true}, {0, 0, 0}, clock).empty());
}

TEST(Tracks, AKeySetInTheTrackerSaysHowItsRowMovesOnOverKeysAsTheSceneHadThem) {
    const RowClock clock = clockAt(120.0);
    const std::vector<SceneKey> keys = {sceneKey(0.0f, 0, 1.2f, 0), sceneKey(2.0f, 6, 0.6f, 0)};
    std::array<TrackKeys, 3> tracks;
    tracks[1] = {{0, {0.0f, 1}}, {32, {0.6f, 2}}}; // y: a straight line from a new value
    const std::vector<SceneKey> changed =
        keysFromTracks(keys, tracks, {false, true, false}, {0, 0, 0}, clock);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0], sceneKey(0.0f, 0, 0, 0, Interpolation::Linear)); // not x's Catmull-Rom
    EXPECT_EQ(changed[1], keys[1]);                                        // y's key came back as it went
}

TEST(Tracks, TracksFromNothingBecomeKeysAtTheirRows) {
    const RowClock clock = clockAt(120.0);
    std::array<TrackKeys, 3> tracks;
    tracks[0] = {{0, {1.0f, 2}}, {32, {3.0f, 3}}};
    tracks[2] = {{16, {5.0f, 0}}};
    const std::vector<SceneKey> keys = keysFromTracks({}, tracks, {true, false, true}, {0, 7, 0}, clock);
    ASSERT_EQ(keys.size(), 3u);
    // The z track has one key: it holds its value everywhere.
    EXPECT_EQ(keys[0], sceneKey(0.0f, 1, 7, 5, Interpolation::Smooth));
    EXPECT_EQ(keys[1].time, 1.0f);
    EXPECT_EQ(keys[1].values[0], 2.0f); // halfway on x's smooth segment
    // The one key set on the row says how all three move on from it.
    EXPECT_EQ(keys[1].interpolation, Interpolation::Step);
    EXPECT_EQ(keys[2], sceneKey(2.0f, 3, 7, 5, Interpolation::Ramp));
}

TEST(Tracks, AFreeTracksValuesEachHaveATrackAndComeBackAsOneKeyList) {
    EXPECT_EQ(freeTrackName("glow", 0, 1), "tracks:glow");
    EXPECT_EQ(freeTrackName("grade", 3, 4), "tracks:grade.w");
    const RowClock clock = clockAt(120.0);
    // Four values: the fourth track moves on its own.
    const std::vector<SceneKey> keys = {{0.0f, {1, 2, 3, 4}, Interpolation::Linear},
                                        {2.0f, {1, 2, 3, 8}, Interpolation::Linear}};
    std::array<TrackKeys, 4> tracks;
    for (int c = 0; c < 4; ++c)
        tracks[static_cast<size_t>(c)] = trackOfKeys(keys, c, clock);
    EXPECT_EQ(keysFromTracks(keys, 4, tracks, {true, true, true, true}, {}, clock), keys);
    tracks[3][16] = {100.0f, 0};
    const std::vector<SceneKey> changed =
        keysFromTracks(keys, 4, tracks, {true, true, true, true}, {}, clock);
    ASSERT_EQ(changed.size(), 3u);
    EXPECT_EQ(changed[1].time, 1.0f);
    EXPECT_EQ(changed[1].values, (std::array<float, 4>{1, 2, 3, 100}));
    EXPECT_EQ(changed[1].interpolation, Interpolation::Step);
    // One value: the others stay 0, and the path's points carry one value.
    const std::vector<SceneKey> single =
        keysFromTracks({}, 1, {TrackKeys{{8, {0.5f, 1}}}}, {true}, {}, clock);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].values, (std::array<float, 4>{0.5f, 0, 0, 0}));
    EXPECT_EQ(pathPointsOf(single, 1)[0].count, 1);
}

TEST(Tracks, AFreeTracksKeysAreWrittenInTheFilesOwnStyleChangingOnlyWhatDiffers) {
    const std::string scene = "<base>\r\n <scene>\r\n  <tracks>\r\n   <grade components='2'>\r\n"
                              "    <k t='0' r='1.0' g='1' />\r\n    <!-- a note /-->\r\n"
                              "    <k t='4' r='0.5' g='1' interpolation='linear' />\r\n   </grade>\r\n"
                              "   <glow />\r\n  </tracks>\r\n </scene>\r\n</base>\r\n";
    SceneDocument document;
    document.loadText(scene);
    int components = 0;
    ASSERT_TRUE(document.freeTrack("grade", &components));
    EXPECT_EQ(components, 2);
    std::vector<DocumentTrackKey> keys = document.trackKeys("grade");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[1].values, (std::array<float, 4>{0.5f, 1, 0, 0}));
    EXPECT_EQ(keys[1].interpolation, Interpolation::Linear);

    // The same keys write nothing; one key between them goes in as its neighbours are written.
    ASSERT_TRUE(document.setTrackKeys("grade", keys));
    EXPECT_EQ(document.text(), scene);
    keys.insert(keys.begin() + 1, DocumentTrackKey{2.0f, {0.75f, 0.25f, 0, 0}, Interpolation::Step});
    ASSERT_TRUE(document.setTrackKeys("grade", keys));
    std::string expected = scene;
    const std::string first = "<k t='0' r='1.0' g='1' />";
    expected.insert(expected.find(first) + first.size(),
                    "\r\n    <k t='2' r='0.75' g='0.25' interpolation='step' />");
    EXPECT_EQ(document.text(), expected);
    EXPECT_EQ(document.trackKeys("grade"), keys);

    // Taken out again: the file is as it was. An empty element opens to take its first key.
    keys.erase(keys.begin() + 1);
    ASSERT_TRUE(document.setTrackKeys("grade", keys));
    EXPECT_EQ(document.text(), scene);
    ASSERT_TRUE(document.setTrackKeys("glow", {{1.0f, {0.5f, 0, 0, 0}, Interpolation::CatmullRom}}));
    EXPECT_NE(document.text().find("   <glow>\r\n    <key v0='1' v1='0.5' />\r\n   </glow>"),
              std::string::npos)
        << document.text();
    EXPECT_FALSE(document.setTrackKeys("none", keys));
}

TEST(TrackFiles, TrackFilesHoldCountRowValueTypeLittleEndian) {
    const TrackKeys keys = {{0, {1.0f, 0}}, {258, {-2.5f, 3}}};
    const std::string file = encodeTrackFile(keys);
    EXPECT_EQ(file, bytes({2,    0, 0, 0, 0, 0, 0,    0,    0x00, 0x00, 0x80,
                           0x3f, 0, 2, 1, 0, 0, 0x00, 0x00, 0x20, 0xc0, 3}));
    TrackKeys back;
    std::string error;
    ASSERT_TRUE(decodeTrackFile(file, back, error)) << error;
    EXPECT_EQ(back, keys);

    EXPECT_FALSE(decodeTrackFile(file.substr(0, file.size() - 1), back, error));
    EXPECT_NE(error.find("holds 2 keys but has room for 1"), std::string::npos) << error;
    EXPECT_TRUE(back.empty());
    std::string badType = file;
    badType.back() = 9;
    EXPECT_FALSE(decodeTrackFile(badType, back, error));
    EXPECT_NE(error.find("key type 9"), std::string::npos) << error;
    EXPECT_FALSE(decodeTrackFile(bytes({0xff, 0xff, 0xff, 0x7f}), back, error)); // two billion keys claimed
    EXPECT_FALSE(decodeTrackFile("", back, error));
    ASSERT_TRUE(decodeTrackFile(bytes({0, 0, 0, 0}), back, error));
    EXPECT_TRUE(back.empty());
}

TEST(TrackFiles, FileNamesHoldNoByteAFolderWouldRead) {
    EXPECT_EQ(trackFileName("sync", "Cam1:Position.x"), "sync_Cam1-3APosition.x.track");
    EXPECT_EQ(trackFileName("sync", "a/../b\\c"), "sync_a-2F..-2Fb-5Cc.track");
    std::string track;
    ASSERT_TRUE(trackOfFileName("sync", "sync_Cam1-3APosition.x.track", track));
    EXPECT_EQ(track, "Cam1:Position.x");
    ASSERT_TRUE(trackOfFileName("sync", "sync_light-01-3AColor.y.track", track));
    EXPECT_EQ(track, "light-01:Color.y"); // a dash of the name's own stays
    EXPECT_FALSE(trackOfFileName("sync", "other_a.track", track));
    EXPECT_FALSE(trackOfFileName("sync", "sync_.track", track));
}

TEST(TrackFiles, ProjectsReadBackAndTakeWhatEditorsAddAroundTheKeys) {
    const std::vector<NamedTrack> tracks = {{"Cam1:Position.x", {{0, {0.1f, 1}}, {64, {-1e-7f, 2}}}},
                                            {"Cam1:Position.y", {}}};
    const std::string project = encodeRocketProject(tracks, 10000);
    std::vector<NamedTrack> back;
    std::string error;
    ASSERT_TRUE(decodeRocketProject(project, back, error)) << error;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].name, tracks[0].name);
    EXPECT_EQ(back[0].keys, tracks[0].keys); // values to the bit
    EXPECT_TRUE(back[1].keys.empty());

    const std::string edited = R"(<?xml version="1.0" encoding="utf-8"?>
<sync rows="12000" highlightRowStep="8">
<tracks>
<track name="cube:Rotation.y" folded="0" muteKeyCount="0" color="ff5f9ea0">
<key row="8" value="1.5" interpolation="3"/>
<key row="16" value="2" interpolation="0" />
</track>
</tracks>
<bookmarks><bookmark row="32"/></bookmarks>
</sync>
)";
    ASSERT_TRUE(decodeRocketProject(edited, back, error)) << error;
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].keys, (TrackKeys{{8, {1.5f, 3}}, {16, {2.0f, 0}}}));

    for (const char* broken :
         {"<notsync />", "<sync><tracks><track><key row=\"1\" value=\"1\" /></track></tracks></sync>",
          "<sync><tracks><track name=\"a\"><key row=\"-1\" value=\"1\" /></track></tracks></sync>",
          "<sync><tracks><track name=\"a\"><key row=\"1\" value=\"x\" /></track></tracks></sync>",
          "<sync><tracks><track name=\"a\"><key row=\"1\" value=\"1\" interpolation=\"4\" "
          "/></track></tracks></sync>"})
        EXPECT_FALSE(decodeRocketProject(broken, back, error)) << broken;
}

TEST(RocketProtocol, TheShowsMessagesAreBigEndian) {
    EXPECT_EQ(rocket::encodeGetTrack("ab:c.x"), bytes({2, 0, 0, 0, 6}) + "ab:c.x");
    EXPECT_EQ(rocket::encodeSetRow(0x01020304), bytes({3, 1, 2, 3, 4}));
}

TEST(RocketProtocol, TheEditorsMessagesAreReadWholeOrWaitedFor) {
    const std::string setKey = bytes({0, 0, 0, 0, 2, 0, 0, 1, 0, 0x3f, 0xc0, 0, 0, 1});
    rocket::Message m;
    size_t used = 0;
    std::string why;
    const auto* data = reinterpret_cast<const uint8_t*>(setKey.data());
    for (size_t cut = 0; cut < setKey.size(); ++cut)
        EXPECT_EQ(rocket::decodeFromEditor(data, cut, m, used, why), rocket::Decoded::NeedMore) << cut;
    ASSERT_EQ(rocket::decodeFromEditor(data, setKey.size(), m, used, why), rocket::Decoded::Message);
    EXPECT_EQ(used, 14u);
    EXPECT_EQ(m.command, rocket::SetKey);
    EXPECT_EQ(m.track, 2u);
    EXPECT_EQ(m.row, 256u);
    EXPECT_EQ(m.value, 1.5f);
    EXPECT_EQ(m.type, 1);

    const std::string others = bytes({1, 0, 0, 0, 1, 0, 0, 0, 9, 3, 0, 0, 0, 7, 4, 1, 5});
    data = reinterpret_cast<const uint8_t*>(others.data());
    ASSERT_EQ(rocket::decodeFromEditor(data, others.size(), m, used, why), rocket::Decoded::Message);
    EXPECT_EQ(m.command, rocket::DeleteKey);
    EXPECT_EQ(m.row, 9u);
    ASSERT_EQ(rocket::decodeFromEditor(data + 9, others.size() - 9, m, used, why), rocket::Decoded::Message);
    EXPECT_EQ(m.command, rocket::SetRow);
    EXPECT_EQ(m.row, 7u);
    ASSERT_EQ(rocket::decodeFromEditor(data + 14, 3, m, used, why), rocket::Decoded::Message);
    EXPECT_TRUE(m.pause);
    ASSERT_EQ(rocket::decodeFromEditor(data + 16, 1, m, used, why), rocket::Decoded::Message);
    EXPECT_EQ(m.command, rocket::SaveTracks);
}

TEST(RocketProtocol, WhatTheProtocolDoesNotAllowIsRefusedByName) {
    rocket::Message m;
    size_t used = 0;
    std::string why;
    auto refused = [&](const std::string& message) {
        const auto result = rocket::decodeFromEditor(reinterpret_cast<const uint8_t*>(message.data()),
                                                     message.size(), m, used, why);
        return result == rocket::Decoded::Refused ? why : std::string("(taken)");
    };
    EXPECT_EQ(refused(bytes({9})), "unknown command 9");
    EXPECT_EQ(refused(bytes({2, 0, 0, 0, 1, 'a'})), "GET_TRACK, which only the show sends");
    EXPECT_EQ(refused(bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3f, 0x80, 0, 0, 4})),
              "SET_KEY with key type 4 (0 step to 3 ramp)");
    EXPECT_EQ(refused(bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7f, 0xc0, 0, 0, 0})),
              "SET_KEY with a value that is not a finite number");
    EXPECT_EQ(refused(bytes({4, 2})), "PAUSE with 2 (1 pauses, 0 plays)");
}

} // namespace
