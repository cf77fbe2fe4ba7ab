// The beatshow-import program as a demo maker runs it: the snippet alone on standard output, its
// exit statuses, and a show made only of imported assets that the player's check passes and that
// plays to its exit event.
#include "tests/import/ImportTestFiles.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

ProgramRun importer(const std::string& arguments) {
    return runShellCommand("(" + shellQuoted(BEATSHOW_IMPORT_PROGRAM) + " " + arguments + ")");
}

void writeSong(const fs::path& path, double seconds) {
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 44100;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const auto frames = static_cast<sf_count_t>(seconds * 44100);
    std::vector<float> samples(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.3f * std::sin(static_cast<float>(i / 2) * 0.06f);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

class ImportProgram : public ::testing::Test {
protected:
    fs::path in(const std::string& name) const { return source_.path() / name; }
    void SetUp() override {
        writePicturePng(in("quarters.png"), quartersPicture(32, 32));
        TestGltf model;
        model.meshes.push_back(cubePrimitive(true));
        model.nodes.push_back({"Cube"});
        model.materials.push_back({"Paint", 0});
        model.imageFiles = {"quarters.png"};
        writeGltf(in("crate.gltf"), model);
    }
    ScratchDirectory source_, show_;
};

TEST_F(ImportProgram, OnlyTheSnippetGoesToStandardOutputAndTheStatusSaysHowItWent) {
    const std::string into = " --into " + shellQuoted(show_.path().string());
    const ProgramRun snippet = importer(shellQuoted(in("crate.gltf").string()) + into + " 2>/dev/null");
    EXPECT_EQ(snippet.status, 0);
    ASSERT_FALSE(snippet.lines.empty());
    EXPECT_EQ(snippet.lines.front().rfind("    <!-- Imported by beatshow-import from crate.gltf.", 0), 0u);
    EXPECT_TRUE(snippet.has("      <crate />"));
    EXPECT_FALSE(snippet.hasEnding("(12 triangles, material crate)"));

    const ProgramRun messages = importer(shellQuoted(in("crate.gltf").string()) + into + " >/dev/null");
    EXPECT_EQ(messages.status, 0);
    EXPECT_TRUE(messages.hasEnding("crate.gltf: wrote model/crate.obj (12 triangles, material crate, "
                                   "replacing the file that was there)"));

    const ProgramRun missing = importer(shellQuoted(in("absent.glb").string()) + into);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.lines.size(), 1u);
    const ProgramRun usage = importer("--scale -1 x.glb");
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(usage.has("beatshow-import: --scale -1: give a number above 0"));
    EXPECT_EQ(importer("--help").status, 0);
}

TEST_F(ImportProgram, AShowOfImportedAssetsOnlyPassesTheCheckAndPlaysToItsEnd) {
    const fs::path show = show_.path();
    for (const auto& entry : fs::directory_iterator(BEATSHOW_SHOW_DIR))
        if (entry.path().extension() == ".vsh" || entry.path().extension() == ".psh")
            fs::copy_file(entry.path(), show / entry.path().filename());
    writeSong(in("song.wav"), 3.0);
    const ProgramRun run =
        importer(shellQuoted(in("crate.gltf").string()) + " " + shellQuoted(in("song.wav").string()) +
                 " --into " + shellQuoted(show.string()) + " 2>/dev/null");
    ASSERT_EQ(run.status, 0);
    const ProgramRun words =
        importer("--text 'made at home' --height 48 --into " + shellQuoted(show.string()) + " 2>/dev/null");
    ASSERT_EQ(words.status, 0);
    fs::copy_file(show / "audio/song.ogg", show / "soundtrack.ogg");

    // The two snippets, merged by hand as the comment says, and the rest of a scene around them.
    std::ostringstream scene;
    scene << "<base>\n  <scene>\n"
          << "    <meshes>\n      <crate />\n      <text_made_at_home />\n    </meshes>\n"
          << "    <materials>\n      <crate />\n      <text_made_at_home />\n    </materials>\n"
          << "    <objects>\n"
          << "      <crate>\n        <Position x=\"0\" y=\"0\" z=\"0\" />\n        <Scale x=\"1\" y=\"1\" "
             "z=\"1\" />\n"
          << "        <Mesh MeshName=\"crate\" />\n        <Material MaterialName=\"crate\" />\n      "
             "</crate>\n"
          << "      <words>\n        <Position x=\"0\" y=\"1.6\" z=\"-1\" />\n        <Scale x=\"1\" y=\"1\" "
             "z=\"1\" />\n"
          << "        <Mesh MeshName=\"text_made_at_home\" />\n"
          << "        <Material MaterialName=\"text_made_at_home\" />\n      </words>\n"
          << "    </objects>\n"
          << "    <lights>\n      <front>\n        <Color x=\"1\" y=\"1\" z=\"1\" />\n"
          << "        <Position x=\"0\" y=\"1\" z=\"-4\" />\n      </front>\n    </lights>\n"
          << "    <actors>\n      <Cam classname=\"Camera\">\n        <Position x=\"0\" y=\"0\" z=\"5\" />\n"
          << "      </Cam>\n    </actors>\n"
          << "    <automations>\n      <Cam::Position>\n        <pathpoint v0=\"0\" v1=\"0\" v2=\"0\" "
             "v3=\"5\" />\n"
          << "        <pathpoint v0=\"2\" v1=\"0\" v2=\"0\" v3=\"4\" />\n      </Cam::Position>\n"
          << "    </automations>\n"
          << "    <eventtrigger>\n      <activate eventTime=\"0.1\" target=\"Cam\" />\n"
          << "      <exit eventTime=\"1.5\" />\n    </eventtrigger>\n"
          << "    <audio>\n      <song file=\"song.ogg\" />\n    </audio>\n"
          << "  </scene>\n</base>\n";
    std::ofstream(show / "epicrealtimetest.xml") << scene.str();

    const ProgramRun check =
        runShellCommand(shellQuoted(BEATSHOW_PROGRAM) + " --check " + shellQuoted(show.string()));
    EXPECT_EQ(check.status, 0) << ::testing::PrintToString(check.lines);

    const ProgramRun play = runShellCommand(
        "cd " + shellQuoted(show.string()) +
        " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 120 " + shellQuoted(BEATSHOW_PROGRAM) +
        " --offline 10 --size 320x180 --shots 1 --shot-dir shots");
    // The exit event ends it.
    EXPECT_EQ(play.status, 0) << ::testing::PrintToString(play.lines);
    EXPECT_TRUE(play.has("Triggering Event: activate 0.1")) << ::testing::PrintToString(play.lines);
    EXPECT_TRUE(fs::exists(show / "shots/shot-00001.000.png"));
}

} // namespace
