// The editor's camera recorder at a scripted music clock, and picking in a known view.
#include "actors/EngineCamera.h"
#include "editor/model/CameraRecorder.h"
#include "editor/model/LiveScene.h"
#include "editor/model/Picking.h"
#include "render/Mesh.h"
#include "scene/AutomationPath.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace {

constexpr double Beat = 60.0 / 141.0;

const char* cameraScene = "<base>\n  <scene>\n    <actors>\n      <Cam1 classname=\"Camera\" />\n"
                          "    </actors>\n  </scene>\n</base>\n";

// Plays the music from `from` to `to` at `fps` frames a second; the pose moves with the time, so
// each key tells at which time it was taken.
std::vector<RecordedPose> play(CameraRecorder& recorder, double from, double to, double fps = 60.0) {
    std::vector<RecordedPose> keys;
    for (int frame = 0;; ++frame) {
        const double t = from + frame / fps;
        if (t > to) break;
        for (const RecordedPose& pose : recorder.frame(t, {float(t), 0, 0}, {0, float(-t), 0}))
            keys.push_back(pose);
    }
    return keys;
}

// Plays and writes what is recorded, as the editor does.
void playAndWrite(CameraRecorder& recorder, EditHistory& history, double from, double to) {
    for (const RecordedPose& pose : play(recorder, from, to))
        ASSERT_TRUE(writeRecordedPose(history, "Cam1", pose, recorder.session()));
}

} // namespace

TEST(CameraRecorderTest, EveryBeatAFramePassesGetsThePoseAtTheBeatAtAnyFrameRate) {
    // 6 s hold the beats 0 to 14; at 1.5 frames a second a frame passes two or three of them.
    for (const double fps : {60.0, 7.0, 1.5}) {
        SCOPED_TRACE(fps);
        CameraRecorder recorder;
        recorder.start("Cam1", CameraRecorder::Every::Beat, 0.0, Tempo{});
        const std::vector<RecordedPose> keys = play(recorder, 0.0, 6.0, fps);
        ASSERT_EQ(keys.size(), 15u);
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_NEAR(keys[i].time, i * Beat, 1e-5);
            // The pose at the beat itself, between the frames before and after it.
            EXPECT_NEAR(keys[i].position.x, keys[i].time, 1e-4);
            EXPECT_NEAR(keys[i].rotation.y, -keys[i].time, 1e-4);
            EXPECT_EQ(keys[i].since, i == 0 ? 0.0f : keys[i - 1].time);
        }
    }
}

TEST(CameraRecorderTest, BarsPausesAndJumpsBack) {
    CameraRecorder recorder;
    recorder.start("Cam1", CameraRecorder::Every::Bar, 1.0, Tempo{});
    std::vector<RecordedPose> keys = play(recorder, 1.0, 5.2);
    ASSERT_EQ(keys.size(), 3u); // bars 2, 3 and 4
    EXPECT_NEAR(keys[0].time, 4 * Beat, 1e-5);
    EXPECT_NEAR(keys[2].time, 12 * Beat, 1e-5);
    // Paused: the same time again records nothing; a seek back only moves the recorder along.
    EXPECT_TRUE(recorder.frame(5.2, {}, {}).empty());
    EXPECT_TRUE(recorder.frame(2.0, {}, {}).empty());
    keys = play(recorder, 2.0, 3.5);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_NEAR(keys[0].time, 8 * Beat, 1e-5);
    recorder.stop();
    EXPECT_TRUE(play(recorder, 0.0, 10.0).empty());
    // On request: snapped to the nearest beat.
    recorder.start("Cam1", CameraRecorder::Every::Request, 0.0, Tempo{});
    EXPECT_TRUE(play(recorder, 0.0, 3.0).empty());
    EXPECT_NEAR(recorder.now(Beat * 3 + 0.1, {}, {}).time, 3 * Beat, 1e-5);
    EXPECT_NEAR(recorder.now(Beat * 3 + 0.1, {}, {}, false).time, 3 * Beat + 0.1, 1e-5);
}

TEST(CameraRecorderTest, BeatsAndBarsAreTheShowsTempo) {
    // 128 beats a minute, 3 a bar, bar 1 at 0.3 s: the beats before it are beats too.
    Tempo tempo;
    tempo.bpm = 128.0;
    tempo.beatsPerBar = 3;
    tempo.firstBeat = 0.3;
    const double beat = 60.0 / 128.0;
    CameraRecorder recorder;
    recorder.start("Cam1", CameraRecorder::Every::Beat, 0.0, tempo);
    std::vector<RecordedPose> keys = play(recorder, 0.0, 3.0);
    ASSERT_EQ(keys.size(), 6u); // 0.3 s and the five beats after it up to 3 s
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_NEAR(keys[i].time, 0.3 + static_cast<double>(i) * beat, 1e-5) << i;

    recorder.start("Cam1", CameraRecorder::Every::Bar, 0.0, tempo);
    keys = play(recorder, 0.0, 6.0);
    ASSERT_EQ(keys.size(), 5u); // bars 1 to 5
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_NEAR(keys[i].time, 0.3 + static_cast<double>(i) * 3.0 * beat, 1e-5) << i;

    // K snaps to the nearest beat of the tempo; before the first beat after 0 s, to that beat.
    recorder.start("Cam1", CameraRecorder::Every::Request, 0.0, tempo);
    EXPECT_NEAR(recorder.now(0.3 + 4 * beat + 0.1, {}, {}).time, 0.3 + 4 * beat, 1e-5);
    EXPECT_NEAR(recorder.now(0.3 + 4 * beat - 0.2, {}, {}).time, 0.3 + 4 * beat, 1e-5);
    EXPECT_NEAR(recorder.now(0.0, {}, {}).time, 0.3, 1e-5);
}

TEST(CameraRecorderTest, RecordedPosesBecomeKeysOfOneStepThatReplaceThePathTheyPass) {
    SceneDocument doc;
    doc.loadText(cameraScene);
    EditHistory history(doc);
    // An earlier path with keys inside the span about to be recorded, and one beyond it.
    history.run("old", {}, [](SceneDocument& d) {
        return d.addKey("Cam1", "Position", {0.5f, {9, 9, 9}}) &&
               d.addKey("Cam1", "Position", {0.6f, {9, 9, 9}}) &&
               d.addKey("Cam1", "Position", {10.0f, {9, 9, 9}});
    });
    CameraRecorder recorder;
    recorder.start("Cam1", CameraRecorder::Every::Beat, 0.0, Tempo{});
    playAndWrite(recorder, history, 0.0, 1.0);
    ASSERT_EQ(history.commands().size(), 2u);
    const std::vector<DocumentKey> position = doc.keys("Cam1", "Position");
    ASSERT_EQ(position.size(), 4u);
    EXPECT_NEAR(position[0].time, 0.0, 1e-6);
    EXPECT_NEAR(position[1].time, Beat, 1e-5);
    EXPECT_NEAR(position[2].time, 2 * Beat, 1e-5);
    EXPECT_EQ(position[3].time, 10.0f);
    const std::vector<DocumentKey> rotation = doc.keys("Cam1", "Rotation");
    ASSERT_EQ(rotation.size(), 3u);
    EXPECT_EQ(rotation[1].value.y, -position[1].value.x);
    // One undo takes the whole recording back.
    history.undo();
    EXPECT_EQ(doc.keys("Cam1", "Position").size(), 3u);
    EXPECT_EQ(doc.binding("Cam1", "Rotation"), nullptr);
}

TEST(CameraRecorderTest, ASeekEndsTheFlownSpanAndTheKeysItJumpedOverStay) {
    SceneDocument doc;
    doc.loadText(cameraScene);
    EditHistory history(doc);
    // A path with a key every 0.1 s from 0 to 10 s.
    ASSERT_TRUE(history.run("old", {}, [](SceneDocument& d) {
        for (int k = 0; k <= 100; ++k)
            if (!d.addKey("Cam1", "Position", {k * 0.1f, {9, 9, 9}})) return false;
        return true;
    }));
    CameraRecorder recorder;
    recorder.start("Cam1", CameraRecorder::Every::Beat, 1.0, Tempo{});
    playAndWrite(recorder, history, 1.0, 2.0); // beats 3 and 4 (1.28 and 1.70 s)
    recorder.jumped();                         // a seek forwards
    playAndWrite(recorder, history, 6.0, 7.0); // beats 15 and 16 (6.38 and 6.81 s)
    playAndWrite(recorder, history, 3.0, 3.5); // a jump back: beat 8 (3.40 s)
    recorder.stop();
    EXPECT_EQ(history.commands().size(), 2u);

    // Flown through: (1, 1.70], (6, 6.81] and (3, 3.40]; every other old key is still there.
    auto flown = [](float t) {
        return (t > 1.001f && t < 1.702f) || (t > 6.001f && t < 6.808f) || (t > 3.001f && t < 3.404f);
    };
    std::vector<float> expected;
    for (int k = 0; k <= 100; ++k)
        if (!flown(k * 0.1f)) expected.push_back(k * 0.1f);
    for (int beat : {3, 4, 8, 15, 16})
        expected.push_back(static_cast<float>(beat * Beat));
    std::sort(expected.begin(), expected.end());
    std::vector<float> times;
    for (const DocumentKey& key : doc.keys("Cam1", "Position"))
        times.push_back(key.time);
    ASSERT_EQ(times.size(), expected.size());
    for (size_t i = 0; i < times.size(); ++i)
        EXPECT_NEAR(times[i], expected[i], 1e-5) << i;
}

TEST(TimelineCurveTest, SamplesAreTheShowsOwnCurveReadFromTheKeysAroundEachTime) {
    // Keys in no order, some at the same time, each with any of the interpolations, from one key
    // up to many; sampled from before the first key to after the last, against the whole path
    // evaluated as the show does.
    std::mt19937 random(99);
    for (size_t count : {1u, 2u, 3u, 4u, 7u, 200u}) {
        SCOPED_TRACE(count);
        std::vector<DocumentKey> keys;
        for (size_t k = 0; k < count; ++k)
            keys.push_back({static_cast<float>(random() % 40) * 0.25f,
                            {static_cast<float>(random() % 100), static_cast<float>(k), -1.0f},
                            static_cast<Interpolation>(random() % InterpolationCount)});
        std::vector<size_t> byTime(keys.size());
        std::iota(byTime.begin(), byTime.end(), 0);
        std::stable_sort(byTime.begin(), byTime.end(),
                         [&](size_t a, size_t b) { return keys[a].time < keys[b].time; });
        AutomationPath whole;
        std::vector<PathPoint> points;
        for (const DocumentKey& k : keys) {
            PathPoint p;
            p.time = k.time;
            p.values = {k.value.x, k.value.y, k.value.z};
            p.count = 3;
            p.spare = static_cast<int32_t>(k.interpolation);
            points.push_back(p);
        }
        whole.setPoints(points);
        std::vector<float> times;
        for (float t = -1.0f; t <= 11.0f; t += 0.0625f)
            times.push_back(t);
        std::vector<float> samples[3];
        sampleCurve(keys, byTime, times, samples);
        ASSERT_EQ(samples[0].size(), times.size());
        for (size_t i = 0; i < times.size(); ++i) {
            whole.setTime(times[i]);
            const PathPoint expected = whole.evaluate();
            for (size_t c = 0; c < 3; ++c)
                ASSERT_EQ(samples[c][i], expected.values[c]) << "at " << times[i];
        }
    }
}

class PickingTest : public RegistryTest {
protected:
    // A cube of side 2 around its origin.
    Mesh* cube() {
        auto mesh = std::make_unique<Mesh>();
        mesh->name = "cube";
        for (float x : {-1.0f, 1.0f})
            for (float y : {-1.0f, 1.0f})
                for (float z : {-1.0f, 1.0f})
                    mesh->positions.push_back({x, y, z});
        mesh->vertexCount = static_cast<uint32_t>(mesh->positions.size());
        Mesh* raw = mesh.get();
        engine().keptMeshes.push_back(std::move(mesh));
        return raw;
    }
    entity_base* place(const std::string& name, const Vector& position, const Vector& scale) {
        auto* e = keepAlive(std::make_unique<entity_base>(name));
        e->Position = position;
        e->Scale = scale;
        e->mesh = mesh_;
        addObject(e);
        return e;
    }
    void SetUp() override {
        RegistryTest::SetUp();
        mesh_ = cube();
    }
    Mesh* mesh_ = nullptr;
};

TEST_F(PickingTest, TheRayThroughAPixelHitsTheNearestObjectUnderIt) {
    entity_base* front = place("front", {0, 0, 5}, {1, 1, 1});
    place("behind", {0, 0, 10}, {3, 3, 3});
    entity_base* right = place("right", {8, 0, 10}, {1, 1, 1});
    ViewSetup view; // at the origin, looking down +z
    view.width = 1600;
    view.height = 900;
    EXPECT_EQ(pickObject(rayThroughPixel(view, 800, 450)), front);
    // The right cube at x = 8, z = 10 lies where the projection puts it.
    float x = 0, y = 0;
    ASSERT_TRUE(projectToScreen(view, {8, 0, 10}, x, y));
    EXPECT_GT(x, 800.0f);
    EXPECT_NEAR(y, 450.0f, 0.5f);
    EXPECT_EQ(pickObject(rayThroughPixel(view, x, y)), right);
    // Above the scene: nothing.
    EXPECT_EQ(pickObject(rayThroughPixel(view, 800, 5)), nullptr);
    // Behind the camera: not seen, not hit.
    EXPECT_FALSE(projectToScreen(view, {0, 0, -5}, x, y));
}

TEST_F(PickingTest, TheCameraTurnsAndMovesTheRayAsTheRendererDoes) {
    // Where the engine's camera looks after a quarter turn of yaw and a little pitch: the world
    // direction its rotation matrix (what the renderer multiplies the view by) turns into +z.
    EngineCamera camera("cam");
    camera.Rotation = {0.2f, -1.5707963f, 0};
    camera.Update(0.0f);
    const Matrix& turn = *camera.getRotationMatrix();
    const Vector forward{turn.m[0][2], turn.m[1][2], turn.m[2][2]};
    const Vector ahead = forward * 6.0f;
    entity_base* left = place("left", ahead, {1, 1, 1});
    ViewSetup view;
    view.cameraRotation = camera.Rotation;
    EXPECT_NEAR((view.forward() - forward).length(), 0.0f, 1e-5f);
    float x = 0, y = 0;
    ASSERT_TRUE(projectToScreen(view, ahead, x, y));
    EXPECT_NEAR(y, view.height / 2, 1.0f);
    EXPECT_NEAR(x, view.width / 2, 1.0f);
    EXPECT_EQ(pickObject(rayThroughPixel(view, x, y)), left);
    // A camera's Position is the negated eye point: an eye moved 3 units towards the cube.
    const Vector eye = forward * 3.0f;
    view.cameraPosition = -eye;
    EXPECT_EQ(view.eye(), eye);
    const Ray ray = rayThroughPixel(view, view.width / 2, view.height / 2);
    EXPECT_NEAR((ray.origin - eye).length(), 0.0f, 1e-4);
    float distance = 0;
    ASSERT_TRUE(hitBounds(ray, meshBounds(*mesh_), objectMatrix(left->Position, left->Rotation, left->Scale),
                          distance));
    // The cube's near face, 1 unit before its centre 3 units away (a box, so up to its corner).
    const float travelled = (ray.direction * distance).length();
    EXPECT_GE(travelled, 3.0f - std::sqrt(3.0f) - 1e-3f);
    EXPECT_LE(travelled, 2.0f + 1e-3f);
    // An object scaled to nothing cannot be hit.
    left->Scale = {0, 0, 0};
    EXPECT_EQ(pickObject(ray), nullptr);
}
