// beatshow-import's tempo and tracker side, in-process: the tempo of a song the synthesizer plays
// at 128 BPM, heard by aubio; a Rocket project and track files as the scene's keys; and the
// synthesizer at another tempo.
#include "tools/import/SyncImport.h"
#include "scene/sync/TrackFiles.h"
#include "tests/support/TestSupport.h"
#include "tools/Synth.h"
#include "tools/import/TempoDetect.h"

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

// A 16-bit stereo WAV file of the song.
void writeWav(const std::filesystem::path& path, const SongAudio& song) {
    std::string data;
    for (size_t i = 0; i < song.left.size(); ++i)
        for (float v : {song.left[i], song.right[i]}) {
            const auto s = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
            data += static_cast<char>(s & 0xff);
            data += static_cast<char>((s >> 8) & 0xff);
        }
    auto u32 = [](uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    };
    auto u16 = [](uint16_t v) { return std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; };
    const uint32_t rate = static_cast<uint32_t>(song.sampleRate);
    std::string file = "RIFF" + u32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + u32(16) + u16(1) +
                       u16(2) + u32(rate) + u32(rate * 4) + u16(4) + u16(16) + "data" +
                       u32(static_cast<uint32_t>(data.size())) + data;
    std::ofstream(path, std::ios::binary) << file;
}

TEST(SynthTempo, TheSongPlaysItsBarsAtTheTempoAsked) {
    const SongAudio at141 = renderSong(56, 1);
    const SongAudio at128 = renderSong(56, 1, 128.0);
    EXPECT_EQ(at141.left.size(), static_cast<size_t>(std::llround(4 * 44100 * 60.0 / 141.0)));
    EXPECT_EQ(at128.left.size(), static_cast<size_t>(std::llround(4 * 44100 * 60.0 / 128.0)));
}

TEST(TempoDetect, ASongAt128BpmIsHeardAt128WithItsBeatsOnTheGrid) {
    ScratchDirectory dir;
    const auto song = dir.path() / "song.wav";
    writeWav(song, renderSong(56, 12, 128.0)); // 22.5 s of the finale
    TempoEstimate estimate;
    std::string error;
    ASSERT_TRUE(detectTempo(song.string(), estimate, error)) << error;
    EXPECT_NEAR(estimate.tempo.bpm, 128.0, 0.5);
    EXPECT_EQ(estimate.tempo.beatsPerBar, 4);
    // The kicks start on sample 0: the first beat is at 0 s, or a beat's length minus a hair.
    const double beat = 60.0 / 128.0;
    const double off = std::fmod(estimate.tempo.firstBeat + beat / 2, beat) - beat / 2;
    EXPECT_NEAR(off, 0.0, 0.03) << estimate.tempo.sceneLine();

    std::ostringstream out, messages;
    int status = -1;
    ASSERT_TRUE(runSyncImport({"--detect-tempo", song.string()}, out, messages, status));
    EXPECT_EQ(status, 0) << messages.str();
    EXPECT_EQ(out.str(), estimate.tempo.sceneLine() + "\n");
    EXPECT_EQ(out.str().rfind("<tempo bpm=\"128\" beatsPerBar=\"4\" firstBeat=\"", 0), 0u) << out.str();
}

TEST(TempoDetect, WhatIsNoSongIsOneLine) {
    ScratchDirectory dir;
    dir.write("noise.wav", std::string("RIFF, but not really"));
    std::ostringstream out, messages;
    int status = -1;
    ASSERT_TRUE(
        runSyncImport({"--detect-tempo", (dir.path() / "noise.wav").string()}, out, messages, status));
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(out.str().empty());
    EXPECT_NE(messages.str().find("noise.wav: cannot decode it"), std::string::npos) << messages.str();
}

TEST(TrackerImport, AProjectAndTrackFilesBecomeTheScenesKeysAtItsTempo) {
    ScratchDirectory dir;
    dir.write("epicrealtimetest.xml",
              std::string("<base><scene><audio><tempo bpm=\"120\" /></audio></scene></base>"));
    const std::vector<NamedTrack> tracks = {{"cube:Position.x", {{0, {1.0f, 1}}, {16, {2.5f, 0}}}},
                                            {"cube:Position.y", {{16, {-1.0f, 1}}}},
                                            {"odd track", {{0, {1.0f, 0}}}}};
    dir.write("show.rocket", encodeRocketProject(tracks, 1000));
    dir.write(trackFileName("sync", "lamp:Color.z"), encodeTrackFile({{8, {0.5f, 3}}}));

    std::ostringstream out, messages;
    int status = -1;
    ASSERT_TRUE(runSyncImport({(dir.path() / "show.rocket").string(),
                               (dir.path() / trackFileName("sync", "lamp:Color.z")).string(), "--into",
                               dir.path().string()},
                              out, messages, status));
    EXPECT_EQ(status, 0) << messages.str();
    // 120 BPM, 8 rows a beat: row 16 is 1 s.
    EXPECT_EQ(out.str(), "<automations>\n"
                         "  <cube::Position>\n"
                         "    <key v0=\"0\" v1=\"1\" v2=\"-1\" v3=\"0\" interpolation=\"linear\" />\n"
                         "    <key v0=\"1\" v1=\"2.5\" v2=\"-1\" v3=\"0\" interpolation=\"step\" />\n"
                         "  </cube::Position>\n"
                         "  <lamp::Color>\n"
                         "    <key v0=\"0.5\" v1=\"0\" v2=\"0\" v3=\"0.5\" interpolation=\"ramp\" />\n"
                         "  </lamp::Color>\n"
                         "</automations>\n");
    EXPECT_NE(messages.str().find("track 'odd track' is not ENTITY:PARAMETER.x, .y or .z"), std::string::npos)
        << messages.str();

    // A project that does not read is one line and status 1; other words are not this import's.
    dir.write("broken.rocket",
              std::string("<sync><tracks><track name=\"a:b.x\"><key row=\"x\" /></track></tracks></sync>"));
    std::ostringstream none;
    ASSERT_TRUE(runSyncImport({(dir.path() / "broken.rocket").string()}, none, messages, status));
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(none.str().empty());
    EXPECT_FALSE(runSyncImport({"model.glb", "--into", "x"}, none, messages, status));
    ASSERT_TRUE(runSyncImport({"a.rocket", "model.glb"}, none, messages, status));
    EXPECT_EQ(status, 2);
}

TEST(TrackerImport, FreeTracksComeBackAsTheScenesTracks) {
    ScratchDirectory dir;
    dir.write("epicrealtimetest.xml",
              std::string("<base><scene><audio><tempo bpm=\"120\" /></audio></scene></base>"));
    const std::vector<NamedTrack> tracks = {{"tracks:glow", {{0, {0.5f, 1}}, {16, {1.0f, 0}}}},
                                            {"tracks:grade.y", {{16, {2.0f, 0}}}}};
    dir.write("show.rocket", encodeRocketProject(tracks, 1000));
    std::ostringstream out, messages;
    int status = -1;
    ASSERT_TRUE(runSyncImport({(dir.path() / "show.rocket").string(), "--into", dir.path().string()}, out,
                              messages, status));
    EXPECT_EQ(status, 0) << messages.str();
    // grade's x is left at 0; a track named up to .y has two values.
    EXPECT_EQ(out.str(), "<tracks>\n"
                         "  <glow>\n"
                         "    <key v0=\"0\" v1=\"0.5\" interpolation=\"linear\" />\n"
                         "    <key v0=\"1\" v1=\"1\" interpolation=\"step\" />\n"
                         "  </glow>\n"
                         "  <grade components=\"2\">\n"
                         "    <key v0=\"1\" v1=\"0\" v2=\"2\" interpolation=\"step\" />\n"
                         "  </grade>\n"
                         "</tracks>\n");
}

} // namespace
