// A key's interpolation: how the values move on to the next key, tested on the values a path
// plays; the scene attribute that says it, as the loader reads it, --check names it and the
// editor's document writes it.
#include "editor/model/SceneDocument.h"
#include "editor/model/SceneFile.h"
#include "scene/AutomationPath.h"
#include "scene/loader/SceneLoader.h"
#include "tests/support/TestSupport.h"

#include <fstream>
#include <sstream>

namespace {

PathPoint key(float time, float value, Interpolation interpolation = Interpolation::CatmullRom) {
    PathPoint p;
    p.time = time;
    p.values[0] = value;
    p.values[1] = -value;
    p.count = 3;
    p.spare = static_cast<int32_t>(interpolation);
    return p;
}

float at(AutomationPath& path, float time, size_t slot = 0) {
    path.setTime(time);
    return path.evaluate().values[slot];
}

// Keys at 0 (10), 2 (20), 4 (0); the first two segments' way is the one under test.
struct PathWith : AutomationPath {
    explicit PathWith(Interpolation first) {
        addPoint(key(0.0f, 10.0f, first));
        addPoint(key(2.0f, 20.0f, first));
        addPoint(key(4.0f, 0.0f));
    }
};

TEST(Interpolation, EachKeyMovesOnAsItsNameSays) {
    PathWith step(Interpolation::Step);
    EXPECT_EQ(at(step, 0.5f), 10.0f);
    EXPECT_EQ(at(step, 1.999f), 10.0f);
    EXPECT_EQ(at(step, 2.0f), 20.0f); // the next key's time takes its value
    EXPECT_EQ(at(step, 3.0f), 20.0f);

    PathWith linear(Interpolation::Linear);
    EXPECT_EQ(at(linear, 0.5f), 12.5f);
    EXPECT_EQ(at(linear, 1.0f), 15.0f);
    EXPECT_EQ(at(linear, 3.0f), 10.0f);
    EXPECT_EQ(at(linear, 1.0f, 1), -15.0f); // every value of the key alike

    PathWith smooth(Interpolation::Smooth);
    EXPECT_EQ(at(smooth, 0.5f), 10.0f + 10.0f * (0.0625f * (3.0f - 0.5f))); // u = 1/4: 3u^2 - 2u^3
    EXPECT_EQ(at(smooth, 1.0f), 15.0f);
    EXPECT_FLOAT_EQ(at(smooth, 1.5f), 10.0f + 10.0f * 0.84375f);

    PathWith ramp(Interpolation::Ramp);
    EXPECT_EQ(at(ramp, 0.5f), 10.625f); // u^2 = 1/16
    EXPECT_EQ(at(ramp, 1.0f), 12.5f);
    EXPECT_EQ(at(ramp, 1.5f), 15.625f);
}

TEST(Interpolation, KeysWithoutOneAreTheCatmullRomOfBefore) {
    PathWith path(Interpolation::CatmullRom);
    EXPECT_EQ(at(path, 1.0f), catmullRom(10, 10, 20, 20, 0.5f));
    EXPECT_EQ(at(path, 3.0f), catmullRom(10, 20, 0, 0, 0.5f));
    // A step key in the middle changes its own segment only.
    AutomationPath mixed;
    mixed.addPoint(key(0.0f, 10.0f));
    mixed.addPoint(key(2.0f, 20.0f, Interpolation::Step));
    mixed.addPoint(key(4.0f, 0.0f));
    EXPECT_EQ(at(mixed, 1.0f), catmullRom(10, 10, 20, 20, 0.5f));
    EXPECT_EQ(at(mixed, 3.0f), 20.0f);
}

TEST(Interpolation, EdgesBeforeOnAndAfterTheKeysAndNone) {
    for (Interpolation way :
         {Interpolation::Step, Interpolation::Linear, Interpolation::Smooth, Interpolation::Ramp}) {
        PathWith path(way);
        const char* name = interpolationName(way);
        EXPECT_EQ(at(path, -1.0f), 10.0f) << name << ": before the first key its values hold";
        EXPECT_EQ(at(path, 0.0f), 10.0f) << name;
        EXPECT_EQ(at(path, 2.0f), 20.0f) << name << ": exactly on a key";
        EXPECT_EQ(at(path, 4.0f), 0.0f) << name << ": the last key";
        EXPECT_EQ(at(path, 9.0f), 0.0f) << name << ": after the last key";
    }
    // The default runs its first stretch on backwards, as it always has.
    PathWith spline(Interpolation::CatmullRom);
    EXPECT_EQ(at(spline, -1.0f), catmullRom(10, 10, 20, 20, -0.5f));

    AutomationPath none;
    const PathPoint before = none.evaluate();
    none.setTime(3.0f);
    EXPECT_EQ(none.evaluate().values, before.values);

    AutomationPath one;
    one.addPoint(key(5.0f, 7.0f, Interpolation::Ramp));
    EXPECT_EQ(at(one, 0.0f), 7.0f);
    EXPECT_EQ(at(one, 8.0f), 7.0f);
}

TEST(Interpolation, NamesAreTheScenes) {
    Interpolation way = Interpolation::CatmullRom;
    for (const char* name : {"step", "linear", "smooth", "ramp", "catmull-rom"}) {
        ASSERT_TRUE(parseInterpolation(name, way)) << name;
        EXPECT_STREQ(interpolationName(way), name);
    }
    EXPECT_FALSE(parseInterpolation("Linear", way));
    EXPECT_EQ(way, Interpolation::CatmullRom);
    // A point with a spare field of no interpolation plays as the default.
    PathPoint odd;
    odd.spare = 99;
    EXPECT_EQ(odd.interpolation(), Interpolation::CatmullRom);
}

const std::string sceneWithWays = R"(<base>
  <scene>
    <lights>
      <lamp>
        <Position x="0" y="0" z="0" />
      </lamp>
    </lights>
    <automations>
      <lamp::Position>
        <key v0="0" v1="0" v2="0" v3="0" interpolation="linear" />
        <key v0="1" v1="10" v2="0" v3="0" interpolation="stpe" />
        <key interpolation="step" v0="2" v1="20" v2="0" />
        <key v0="3" v1="30" v2="0" v3="0" ease="ramp" />
        <key v0="4" v1="40" v2="0" v3="0" />
      </lamp::Position>
    </automations>
  </scene>
</base>
)";

class InterpolationScene : public RegistryTest {};

TEST_F(InterpolationScene, TheLoaderReadsItAndNamesWhatItCannot) {
    resetProblems();
    loadSceneFromBytes(sceneWithWays, "show.xml", nullptr);
    AutomationPath* path = findAutomation(findLight("lamp"), "Position");
    ASSERT_NE(path, nullptr);
    const std::vector<PathPoint> points = path->points();
    ASSERT_EQ(points.size(), 5u);
    EXPECT_EQ(points[0].interpolation(), Interpolation::Linear);
    // "step" before the values is read as the time, its place saying what it is: 0.
    EXPECT_EQ(points[1].time, 0.0f);
    EXPECT_EQ(points[1].values[0], 2.0f);
    EXPECT_EQ(points[2].interpolation(), Interpolation::CatmullRom); // unknown: the default
    EXPECT_EQ(points[3].interpolation(), Interpolation::CatmullRom);

    std::vector<std::string> notes;
    for (const NotedProblem& p : problemRecords())
        if (p.text.find("automation 'lamp::Position'") == 0)
            notes.push_back(std::to_string(p.line) + ": " + p.text);
    EXPECT_EQ(
        notes,
        (std::vector<std::string>{
            "11: automation 'lamp::Position' point 2: interpolation 'stpe' is none of catmull-rom, step, "
            "linear, smooth and ramp; the key moves on as catmull-rom; did you mean 'step'?",
            "12: automation 'lamp::Position' point 3: interpolation must come after the key's 4 values "
            "(time, x, y, z); here it is read as one of them",
            "13: automation 'lamp::Position' point 4: only the first 4 values (time, x, y, z) and an "
            "interpolation are read; ease=ramp is not"}));
}

TEST(InterpolationDocument, TheEditorsDocumentReadsAndWritesItInTheFilesOwnStyle) {
    const std::string text = "<base>\n  <scene>\n    <automations>\n      <lamp::Position>\n"
                             "        <key v0='0' v1='1' v2='2' v3='3' interpolation='ramp' />\n"
                             "        <key v0='2' v1='1' v2='2' v3='3' />\n"
                             "      </lamp::Position>\n    </automations>\n  </scene>\n</base>\n";
    SceneDocument document;
    document.loadText(text);
    std::vector<DocumentKey> keys = document.keys("lamp", "Position");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].interpolation, Interpolation::Ramp);
    EXPECT_EQ(keys[1].interpolation, Interpolation::CatmullRom);

    // Set, changed and taken away again: each time only the attribute moves.
    keys[1].interpolation = Interpolation::Step;
    ASSERT_TRUE(document.setKey("lamp", "Position", 1, keys[1]));
    EXPECT_NE(document.text().find("<key v0='2' v1='1' v2='2' v3='3' interpolation='step' />"),
              std::string::npos)
        << document.text();
    keys[0].interpolation = Interpolation::CatmullRom;
    ASSERT_TRUE(document.setKey("lamp", "Position", 0, keys[0]));
    keys[1].interpolation = Interpolation::CatmullRom;
    ASSERT_TRUE(document.setKey("lamp", "Position", 1, keys[1]));
    EXPECT_EQ(document.text(), [&] {
        std::string plain = text;
        plain.erase(plain.find(" interpolation='ramp'"), std::string(" interpolation='ramp'").size());
        return plain;
    }());

    DocumentKey added{1.0f, {4, 5, 6}, Interpolation::Smooth};
    ASSERT_TRUE(document.addKey("lamp", "Position", added));
    EXPECT_NE(document.text().find("<key v0='1' v1='4' v2='5' v3='6' interpolation='smooth' />"),
              std::string::npos)
        << document.text();
    EXPECT_EQ(document.keys("lamp", "Position")[1].interpolation, Interpolation::Smooth);
}

TEST(InterpolationDocument, ASceneWithItResavesByteForByteAndLoadsTheSameWays) {
    ScratchDirectory show;
    show.write("epicrealtimetest.xml", sceneWithWays);
    std::string message;
    ASSERT_EQ(resaveShow(show.path().string(), message), 0) << message;
    std::ifstream in(show.path() / "epicrealtimetest.xml", std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str(), sceneWithWays);

    SceneDocument document;
    document.loadText(bytes.str());
    const std::vector<DocumentKey> keys = document.keys("lamp", "Position");
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[0].interpolation, Interpolation::Linear);
    EXPECT_EQ(keys[1].interpolation, Interpolation::CatmullRom);
}

} // namespace
