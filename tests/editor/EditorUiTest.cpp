// The editor's panels in a bare ImGui context (no window, no GL) over the full test scene: the
// keys they answer issue the commands they should, and recording writes the camera's path.
#include "editor/EditorUi.h"
#include "actors/ActorFactory.h"
#include "actors/EngineCamera.h"
#include "editor/EditorSession.h"
#include "engine/base/FrameTimer.h"
#include "scene/loader/SceneLoader.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/TestSupport.h"

#include <SDL_scancode.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace {

constexpr double Beat = 60.0 / 141.0;

class EditorPanels : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        registerShowAssetKinds();
        assembleTestScene("full", testDataDirectory(), scratch_.path());
        std::ifstream in(scratch_.path() / "epicrealtimetest.xml", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        loadSceneFromBytes(text, "epicrealtimetest.xml", &createActor);
        document_.loadText(text);
        createWindowlessImGuiContext(1600, 900);
    }
    void TearDown() override {
        ImGui::DestroyContext();
        RegistryTest::TearDown();
    }
    // One frame of the panels at `time`, with these keys pressed.
    EditorRequests frame(double time, std::vector<EditorUi::Frame::Key> keys = {}) {
        EditorUi::Frame f;
        f.width = width_;
        f.height = height_;
        f.musicTime = time;
        f.keys = std::move(keys);
        f.editorCamera = &camera_;
        f.flying = flying_;
        f.jumped = jumped_;
        jumped_ = false;
        ImGui::GetIO().DeltaTime = 1.0f / 60.0f;
        ImGui::NewFrame();
        const EditorRequests asked = ui_.draw(f);
        ImGui::Render();
        return asked;
    }
    // The first point of a window's content after the last frame, as a person would see it.
    static ImVec2 contentStart(const char* window) {
        const ImGuiWindow* w = ImGui::FindWindowByName(window);
        return w ? w->DC.CursorStartPos : ImVec2(-1, -1);
    }
    // A press of the left button at `at`, held over `moves` (one frame each), and released.
    void drag(ImVec2 at, std::vector<ImVec2> moves, double time = 1.0) {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = at;
        io.MouseDown[0] = true;
        frame(time);
        for (const ImVec2& move : moves) {
            io.MousePos = move;
            frame(time);
        }
        io.MouseDown[0] = false;
        frame(time);
        frame(time);
    }
    void click(ImVec2 at, double time = 1.0) { drag(at, {}, time); }
    // The first window whose name begins with `prefix` (a child's is its parent's, "/", its own).
    static const ImGuiWindow* windowNamed(const std::string& prefix) {
        for (const ImGuiWindow* w : GImGui->Windows)
            if (std::string(w->Name).rfind(prefix, 0) == 0) return w;
        return nullptr;
    }
    // Where the timeline draws the key at music time `t` on the track of binding number `track`
    // (in the document's order), from its view [start, start + seconds): the names take the
    // tracks' first 190 pixels, the scroll bar their last; the events' track (24 pixels) comes
    // before the bindings' (34 each).
    static ImVec2 keyOnTimeline(size_t track, double t, double start, double seconds) {
        const ImGuiWindow* tracks = windowNamed("Timeline/tracks_");
        if (!tracks) return ImVec2(-1, -1);
        const ImGuiWindow* rows = windowNamed(std::string(tracks->Name) + "/rows_");
        if (!rows) return ImVec2(-1, -1);
        const float left = tracks->Pos.x + 190.0f;
        const float width = tracks->Size.x - 190.0f - ImGui::GetStyle().ScrollbarSize;
        return ImVec2(left + static_cast<float>((t - start) / seconds) * width,
                      rows->Pos.y + 24.0f + 34.0f * static_cast<float>(track) + 17.0f);
    }
    // The scene with a tempo beside its song.
    void useTempo(const std::string& tempoLine) {
        std::string text = document_.text();
        const std::string song = "<song file=\"song.ogg\" />\n";
        text.insert(text.find(song) + song.size(), "      " + tempoLine + "\n");
        document_.loadText(text);
    }
    // The wheel over the tracks' names scrolls them to the end; clicked from the bottom up, the
    // names pick the last track first. The binding picked, or empty.
    std::string pickLastTimelineRow() {
        const ImGuiWindow* timeline = ImGui::FindWindowByName("Timeline");
        if (!timeline) return "";
        const float names = timeline->Pos.x + 60.0f, bottom = timeline->Pos.y + timeline->Size.y;
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = ImVec2(names, bottom - 40.0f);
        for (int i = 0; i < 10; ++i) {
            io.MouseWheel = -1.0f;
            frame(1.0);
        }
        io.MouseWheel = 0.0f;
        for (float y = bottom - 12.0f; y > bottom - 80.0f; y -= 6.0f) {
            click(ImVec2(names, y));
            if (ui_.selection().kind == Selection::Kind::Binding) return ui_.selection().name;
        }
        return "";
    }
    static EditorUi::Frame::Key key(int code, bool ctrl = false, bool alt = false) {
        EditorUi::Frame::Key k;
        k.code = code;
        k.ctrl = ctrl;
        k.alt = alt;
        return k;
    }

    ScratchDirectory scratch_;
    WorkingDirectory inScratch_{scratch_.path()};
    SceneDocument document_;
    EditorUi ui_{document_};
    EngineCamera camera_{"EditorCam"};
    bool flying_ = false;
    bool jumped_ = false; // the next frame comes after a seek
    float width_ = 1600.0f, height_ = 900.0f;
};

} // namespace

TEST_F(EditorPanels, KKeysTheShowsValueAndCtrlZTakesItBack) {
    frame(0.0);
    ui_.selection().select(Selection::Kind::Object, "crate");
    findObject("crate")->Position = {7, 8, 9};
    EditorRequests asked = frame(1.0, {key(SDL_SCANCODE_K)});
    ASSERT_EQ(document_.keys("crate", "Position").size(), 1u);
    EXPECT_EQ(document_.keys("crate", "Position")[0].value, (Vector{7, 8, 9}));
    // On the nearest beat, like every other edit.
    EXPECT_NEAR(document_.keys("crate", "Position")[0].time, 2 * Beat, 1e-5);
    // The show has no binding for it yet: the scene is loaded again from the document.
    EXPECT_TRUE(asked.reload);
    // A second key at the same time takes the new value rather than adding a twin.
    findObject("crate")->Position = {1, 1, 1};
    frame(1.0, {key(SDL_SCANCODE_K)});
    ASSERT_EQ(document_.keys("crate", "Position").size(), 1u);
    EXPECT_EQ(document_.keys("crate", "Position")[0].value, (Vector{1, 1, 1}));
    frame(1.0, {key(SDL_SCANCODE_Z, true)});
    EXPECT_EQ(document_.keys("crate", "Position")[0].value, (Vector{7, 8, 9}));
    frame(1.0, {key(SDL_SCANCODE_Z, true)});
    EXPECT_EQ(document_.binding("crate", "Position"), nullptr);
    frame(1.0, {key(SDL_SCANCODE_Y, true)});
    EXPECT_NE(document_.binding("crate", "Position"), nullptr);
    EXPECT_TRUE(frame(1.0, {key(SDL_SCANCODE_S, true)}).save);
    // With Alt, at the music time as it is.
    frame(1.0, {key(SDL_SCANCODE_K, false, true)});
    ASSERT_EQ(document_.keys("crate", "Position").size(), 2u);
    EXPECT_EQ(document_.keys("crate", "Position")[1].time, 1.0f);
}

TEST_F(EditorPanels, CommaAndPeriodJumpBetweenTheSelectionsKeysAndDeleteTakesAnEvent) {
    frame(0.0);
    ui_.selection().select(Selection::Kind::Actor, "Cam1"); // keys at 0, 2 and 4 s
    EditorRequests asked = frame(1.0, {key(SDL_SCANCODE_PERIOD)});
    ASSERT_TRUE(asked.seek);
    EXPECT_EQ(asked.seekTarget, 2.0);
    asked = frame(2.0, {key(SDL_SCANCODE_COMMA)});
    ASSERT_TRUE(asked.seek);
    EXPECT_EQ(asked.seekTarget, 0.0);
    EXPECT_FALSE(frame(4.0, {key(SDL_SCANCODE_PERIOD)}).seek);

    const size_t events = document_.events().size();
    ui_.selection().select(Selection::Kind::Event, "nextstage");
    ui_.selection().event = 2;
    frame(4.0, {key(SDL_SCANCODE_DELETE)});
    ASSERT_EQ(document_.events().size(), events - 1);
    for (const DocumentEvent& e : document_.events())
        EXPECT_NE(e.name, "nextstage");
}

TEST_F(EditorPanels, RecordingWritesTheFlownCameraOnEveryBeatAsOneStep) {
    frame(0.0);
    flying_ = true;
    ui_.recorder().start("Cam1", CameraRecorder::Every::Beat, 0.0, Tempo{});
    const size_t steps = ui_.history().commands().size();
    for (int i = 0; i <= 60; ++i) {
        camera_.Position = {float(i), 0, 0};
        camera_.Rotation = {0, 0.01f * i, 0};
        frame(i / 60.0);
    }
    ui_.recorder().stop();
    EXPECT_EQ(ui_.history().commands().size(), steps + 1);
    const std::vector<DocumentKey> rotation = document_.keys("Cam1", "Rotation");
    ASSERT_EQ(rotation.size(), 3u); // 0, one beat, two beats
    EXPECT_NEAR(rotation[1].time, Beat, 1e-5);
    EXPECT_NEAR(rotation[2].time, 2 * Beat, 1e-5);
    // The pose at the beat itself, between the frames around it.
    EXPECT_NEAR(rotation[1].value.y, 0.01 * Beat * 60.0, 1e-5);
    // The old keys at 2 and 4 s lie beyond the recording and stay.
    const std::vector<DocumentKey> position = document_.keys("Cam1", "Position");
    EXPECT_EQ(position.size(), 5u);

    // Recording again, then a seek from 1 s to 3.5 s: the key at 2 s was jumped over and stays;
    // the one at 4 s lies between the seek's landing and beat 10, which were flown through.
    ui_.recorder().start("Cam1", CameraRecorder::Every::Beat, 0.0, Tempo{});
    for (int i = 0; i <= 60; ++i)
        frame(i / 60.0);
    jumped_ = true;
    for (int i = 0; i <= 60; ++i)
        frame(3.5 + i / 60.0);
    ui_.recorder().stop();
    std::vector<float> times;
    for (const DocumentKey& key : document_.keys("Cam1", "Position"))
        times.push_back(key.time);
    ASSERT_EQ(times.size(), 6u);
    EXPECT_EQ(times[3], 2.0f);
    EXPECT_NEAR(times[4], 9 * Beat, 1e-5);
    EXPECT_NEAR(times[5], 10 * Beat, 1e-5);
}

TEST_F(EditorPanels, TheKeysMenuSetsTheirInterpolationAsOneStepAndTheCurveMovesAsTheShowPlaysIt) {
    ui_.setTimelineView(0.0, 8.0);
    frame(0.0);
    frame(0.0);
    // Cam1::Position (the first track) has keys at 4, 0 and 2 s: x goes 0, 5, 0. A right click
    // on the key at 2 s picks it and opens the keys' menu.
    const ImVec2 at = keyOnTimeline(0, 2.0, 0.0, 8.0);
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = at;
    io.MouseDown[1] = true;
    frame(0.0);
    io.MouseDown[1] = false;
    frame(0.0);
    ASSERT_EQ(ui_.selection().keys, (std::set<KeyRef>{{"Cam1::Position", 2}}));
    ASSERT_FALSE(GImGui->OpenPopupStack.empty()) << "no menu";
    const ImGuiWindow* menu = GImGui->OpenPopupStack.back().Window;
    ASSERT_NE(menu, nullptr);
    // Its first line says what it acts on; then catmull-rom, step, linear, smooth, ramp.
    const float line = ImGui::GetFontSize() + ImGui::GetStyle().ItemSpacing.y;
    const size_t steps = ui_.history().commands().size();
    click(ImVec2(menu->DC.CursorStartPos.x + 20.0f,
                 menu->DC.CursorStartPos.y + 2.0f * line + ImGui::GetFontSize() * 0.5f),
          0.0);
    ASSERT_EQ(document_.keys("Cam1", "Position")[2].interpolation, Interpolation::Step);
    EXPECT_EQ(ui_.history().commands().size(), steps + 1);
    EXPECT_NE(document_.text().find(R"(<pathpoint v0="2" v1="5" v2="1" v3="0" interpolation="step" />)"),
              std::string::npos);

    // The curve holds 5 from 2 s to 4 s and drops to 0 right at the key: upright, not a slope
    // to the next sample.
    frame(0.0);
    const auto curve = ui_.drawnCurve("Cam1::Position", 0);
    ASSERT_FALSE(curve.empty());
    size_t atFour = curve.size();
    for (size_t i = 0; i < curve.size(); ++i) {
        if (curve[i].first > 2.0 && curve[i].first < 4.0) {
            EXPECT_EQ(curve[i].second, 5.0f) << curve[i].first;
        }
        if (curve[i].first == 4.0 && atFour == curve.size()) atFour = i;
    }
    ASSERT_LT(atFour, curve.size()) << "no sample on the key at 4 s";
    ASSERT_GT(atFour, 0u);
    EXPECT_EQ(curve[atFour].second, 0.0f);
    EXPECT_EQ(curve[atFour - 1].second, 5.0f);
    EXPECT_LT(4.0 - curve[atFour - 1].first, 1e-5);

    // Ctrl+Z takes it back, and the curve is Catmull-Rom's again.
    frame(0.0, {key(SDL_SCANCODE_Z, true)});
    frame(0.0);
    EXPECT_EQ(document_.keys("Cam1", "Position")[2].interpolation, Interpolation::CatmullRom);
    for (const auto& [t, value] : ui_.drawnCurve("Cam1::Position", 0))
        if (t > 2.9 && t < 3.1) {
            EXPECT_NE(value, 5.0f) << t;
        }
}

TEST_F(EditorPanels, KeysOfSeveralTracksTakeOneInterpolationInOneStepAndKeepItWhenMovedOrKeyed) {
    frame(0.0);
    ui_.selection().keys = {{"Cam1::Position", 1}, {"Cam1::Position", 2}, {"lamp::Color", 0}};
    const size_t steps = ui_.history().commands().size();
    ASSERT_TRUE(ui_.setKeyInterpolation(Interpolation::Linear));
    EXPECT_EQ(ui_.history().commands().size(), steps + 1);
    EXPECT_EQ(document_.keys("Cam1", "Position")[1].interpolation, Interpolation::Linear);
    EXPECT_EQ(document_.keys("Cam1", "Position")[2].interpolation, Interpolation::Linear);
    EXPECT_EQ(document_.keys("Cam1", "Position")[0].interpolation, Interpolation::CatmullRom);
    // The show plays it at once: the lamp's red halfway along a straight line from 1 to 0.
    registry().musicTime = 5.0f;
    runAutomationStep();
    EXPECT_FLOAT_EQ(findLight("lamp")->Color.x, 0.5f);
    // Nothing to change: no step.
    EXPECT_FALSE(ui_.setKeyInterpolation(Interpolation::Linear));

    // K over a key keeps its way on, as does a key moved on the timeline.
    ui_.selection().keys.clear();
    ui_.selection().select(Selection::Kind::Binding, "lamp::Color");
    findLight("lamp")->Color = {0.2f, 0.2f, 0.2f};
    frame(0.0, {key(SDL_SCANCODE_K)});
    ASSERT_EQ(document_.keys("lamp", "Color").size(), 2u);
    EXPECT_EQ(document_.keys("lamp", "Color")[0].value, (Vector{0.2f, 0.2f, 0.2f}));
    EXPECT_EQ(document_.keys("lamp", "Color")[0].interpolation, Interpolation::Linear);

    frame(0.0, {key(SDL_SCANCODE_Z, true)});
    frame(0.0, {key(SDL_SCANCODE_Z, true)});
    for (const DocumentKey& k : document_.keys("Cam1", "Position"))
        EXPECT_EQ(k.interpolation, Interpolation::CatmullRom);
    EXPECT_EQ(document_.keys("lamp", "Color")[0].interpolation, Interpolation::CatmullRom);
}

TEST_F(EditorPanels, KeysEventsAndRecordingCountTheShowsTempo) {
    // 128 beats a minute, 3 a bar, bar 1's first beat at 0.1 s.
    useTempo(R"(<tempo bpm="128" beatsPerBar="3" firstBeat="0.1" />)");
    const double beat = 60.0 / 128.0;
    frame(0.0);
    EXPECT_EQ(ui_.tempo().bpm, 128.0);
    EXPECT_EQ(ui_.tempo().beatsPerBar, 3);
    // K at 1 s keys the nearest beat, the third (0.1 + 2 beats), not 141 BPM's second.
    ui_.selection().select(Selection::Kind::Object, "crate");
    frame(1.0, {key(SDL_SCANCODE_K)});
    ASSERT_EQ(document_.keys("crate", "Position").size(), 1u);
    EXPECT_NEAR(document_.keys("crate", "Position")[0].time, 0.1 + 2 * beat, 1e-5);
    // At the start, the first beat at or after 0 s.
    frame(0.0, {key(SDL_SCANCODE_K)});
    ASSERT_EQ(document_.keys("crate", "Position").size(), 2u);
    EXPECT_NEAR(document_.keys("crate", "Position")[0].time, 0.1, 1e-5);

    // A key dragged on the timeline lands on a beat of the tempo: the crate's key at 0.1 s
    // (its track is the fourth), a little over two beats to the right.
    ui_.setTimelineView(0.0, 8.0);
    frame(0.0);
    frame(0.0);
    const ImVec2 from = keyOnTimeline(3, 0.1, 0.0, 8.0);
    const ImVec2 to = keyOnTimeline(3, 0.1 + 2.2 * beat, 0.0, 8.0);
    drag(from, {ImVec2((from.x + to.x) / 2, from.y), to}, 0.0);
    std::vector<float> times;
    for (const DocumentKey& k : document_.keys("crate", "Position"))
        times.push_back(k.time);
    ASSERT_EQ(times.size(), 2u);
    // Both keys now stand on the third beat: the moved one takes the place.
    EXPECT_NEAR(times[0], 0.1 + 2 * beat, 1e-5);
    EXPECT_NEAR(times[1], 0.1 + 2 * beat, 1e-5);

    // The grid: a line on every beat from 0.1 s, a numbered bar line on every third.
    const std::vector<GridLine> grid = timelineGrid(ui_.tempo(), 0.0, 4.0, 100.0);
    ASSERT_EQ(grid.size(), 9u); // 0.1 s and the eight beats after it up to 4 s
    for (size_t i = 0; i < grid.size(); ++i) {
        EXPECT_NEAR(grid[i].time, 0.1 + static_cast<double>(i) * beat, 1e-9) << i;
        EXPECT_EQ(grid[i].barLine, i % 3 == 0) << i;
        if (grid[i].barLine) {
            EXPECT_EQ(grid[i].bar, static_cast<long long>(i / 3 + 1));
        }
    }
}

TEST_F(EditorPanels, AQuestionTakesEveryKeyUntilItIsAnswered) {
    frame(0.0);
    ui_.selection().select(Selection::Kind::Object, "crate");
    EditorQuestion question;
    question.id = "disk";
    question.title = "Changed on disk";
    question.choices = {
        {"Keep mine (K)", SDL_SCANCODE_K}, {"Load the file's (L)", SDL_SCANCODE_L}, {"Cancel", 0}};
    question.escapeChoice = 0;
    ui_.ask(question);
    ASSERT_TRUE(ui_.asking());
    // K is the question's: no key is made, nothing is saved, Delete deletes nothing.
    const size_t steps = ui_.history().commands().size();
    EditorRequests asked = frame(1.0, {key(SDL_SCANCODE_S, true), key(SDL_SCANCODE_DELETE)});
    EXPECT_FALSE(asked.save);
    EXPECT_TRUE(asked.answered.empty());
    asked = frame(1.0, {key(SDL_SCANCODE_L)});
    EXPECT_EQ(asked.answered, "disk");
    EXPECT_EQ(asked.choice, 1);
    EXPECT_FALSE(ui_.asking());
    EXPECT_EQ(ui_.history().commands().size(), steps);

    // Escape takes the choice that changes nothing; a name asked for comes back typed.
    ui_.ask(question);
    frame(1.0);
    EXPECT_EQ(frame(1.0, {key(SDL_SCANCODE_ESCAPE)}).choice, 0);
    EditorQuestion name;
    name.id = "saveas";
    name.title = "Save as";
    name.asksForName = true;
    name.name = "epicrealtimetest.xml";
    name.choices = {{"Save", 0}, {"Cancel", 0}};
    ui_.ask(name);
    // The name field has the keyboard with its text selected: what is typed replaces it.
    frame(1.0);
    frame(1.0);
    ImGui::GetIO().AddInputCharactersUTF8("copy.xml");
    frame(1.0);
    asked = frame(1.0, {key(SDL_SCANCODE_RETURN)});
    EXPECT_EQ(asked.answered, "saveas");
    EXPECT_EQ(asked.choice, 0);
    EXPECT_EQ(asked.name, "copy.xml");
}

TEST(EditorSessionOpen, AUtf16SceneIsRefusedWithOneLineAndLeftAlone) {
    std::ifstream in(std::filesystem::path(BEATSHOW_SOURCE_DIR) / "tests" / "data" / "bad" / "scene" /
                         "utf16-le.xml",
                     std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(original.empty());
    ScratchDirectory scratch;
    WorkingDirectory inScratch(scratch.path());
    scratch.write("epicrealtimetest.xml", original);
    FrameTimer timer;
    EditorSession session(timer, nullptr);
    std::string error;
    EXPECT_FALSE(session.open(error));
    EXPECT_EQ(error,
              "epicrealtimetest.xml is UTF-16 text, which the editor does not edit; save it as UTF-8 to "
              "edit it (beatshow plays it as it is)");
    std::ifstream after(scratch.path() / "epicrealtimetest.xml", std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()),
              original);
}

TEST_F(EditorPanels, CtrlSSavesWhileATextFieldHasTheKeyboardAndOtherKeysAreTyped) {
    frame(0.0);
    const ImVec2 filter = contentStart("Scene");
    click(ImVec2(filter.x + 50, filter.y + ImGui::GetFrameHeight() * 0.5f));
    ASSERT_TRUE(ImGui::GetIO().WantTextInput);
    ui_.selection().select(Selection::Kind::Object, "crate");
    const size_t steps = ui_.history().commands().size();
    const EditorRequests asked = frame(1.0, {key(SDL_SCANCODE_K), key(SDL_SCANCODE_S, true)});
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(ui_.history().commands().size(), steps); // K was a letter for the field
}

TEST_F(EditorPanels, TheInspectorsTimeFieldsDragAKeyAndAnEvent) {
    frame(0.0);
    // The key at 2 s of Cam1's path (file order 4, 0, 2), dragged 50 pixels right: 0.01 s a pixel.
    ui_.selection().keys = {{"Cam1::Position", 2}};
    ASSERT_TRUE(ui_.setKeyInterpolation(Interpolation::Smooth));
    frame(1.0);
    const ImVec2 start = contentStart("Inspector");
    const ImGuiStyle& style = ImGui::GetStyle();
    const float fieldY =
        start.y + ImGui::GetTextLineHeight() + style.ItemSpacing.y + ImGui::GetFrameHeight() * 0.5f;
    const ImVec2 field(start.x + 60, fieldY);
    drag(field, {ImVec2(field.x + 10, fieldY), ImVec2(field.x + 30, fieldY), ImVec2(field.x + 50, fieldY)});
    const std::vector<DocumentKey> keys = document_.keys("Cam1", "Position");
    ASSERT_EQ(keys.size(), 3u);
    size_t moved = keys.size();
    for (size_t i = 0; i < keys.size(); ++i)
        if (std::fabs(keys[i].time - 2.5f) < 1e-4f) moved = i;
    ASSERT_LT(moved, keys.size()) << "no key at 2.5 s";
    EXPECT_EQ(keys[moved].value, (Vector{5, 1, 0}));
    EXPECT_EQ(keys[moved].interpolation, Interpolation::Smooth);
    // Still the one picked, for the next drag.
    ASSERT_EQ(ui_.selection().keys.size(), 1u);
    EXPECT_EQ(ui_.selection().keys.begin()->index, moved);

    // The event "nextstage" at 1.25 s, dragged 30 pixels left; its time field is below its name
    // and target.
    ui_.selection().keys.clear();
    ui_.selection().select(Selection::Kind::Event, "nextstage");
    ui_.selection().event = 2;
    frame(1.0);
    const float eventFieldY = start.y + ImGui::GetTextLineHeight() + style.ItemSpacing.y +
                              2.0f * (ImGui::GetFrameHeight() + style.ItemSpacing.y) +
                              ImGui::GetFrameHeight() * 0.5f;
    const ImVec2 eventField(start.x + 60, eventFieldY);
    drag(eventField, {ImVec2(eventField.x - 10, eventFieldY), ImVec2(eventField.x - 30, eventFieldY)});
    ASSERT_EQ(document_.events()[2].name, "nextstage");
    EXPECT_NEAR(document_.events()[2].time, 0.95f, 1e-4f);
}

TEST_F(EditorPanels, TheTimelineScrollsToEveryTrack) {
    frame(0.0);
    // Nine tracks: more than the timeline shows at 1600 x 900.
    for (const auto& [entity, parameter] :
         std::vector<std::pair<std::string, std::string>>{{"crate", "Position"},
                                                          {"crate", "Scale"},
                                                          {"floor", "Position"},
                                                          {"floor", "Scale"},
                                                          {"lamp", "Position"},
                                                          {"Cam1", "Rotation"}})
        ASSERT_TRUE(ui_.keyCurrentValue(entity, parameter, 1.0)) << entity << "::" << parameter;
    frame(1.0);
    EXPECT_EQ(pickLastTimelineRow(), "Cam1::Rotation");
}

TEST_F(EditorPanels, At1280x720TheInspectorShowsAllOfAnObjectsRows) {
    ImGui::DestroyContext();
    createWindowlessImGuiContext(1280, 720);
    width_ = 1280;
    height_ = 720;
    ui_.selection().select(Selection::Kind::Object, "crate");
    for (int i = 0; i < 3; ++i)
        frame(1.0);
    const ImGuiWindow* inspector = ImGui::FindWindowByName("Inspector");
    const ImGuiWindow* timeline = ImGui::FindWindowByName("Timeline");
    ASSERT_TRUE(inspector && timeline);
    EXPECT_EQ(inspector->ScrollMax.y, 0.0f) << "rows hidden below the inspector's edge";
    EXPECT_LE(inspector->Pos.y + inspector->Size.y, timeline->Pos.y) << "the timeline covers the inspector";
    EXPECT_GE(ImGui::FindWindowByName("Scene")->Size.y, 150.0f);
}

TEST(TimelineGrid, BarsCountFromBarOnesFirstBeatAndThinOutAsTheViewZoomsOut) {
    // 120 beats a minute, bar 1 at 1 s: 0 s and 0.5 s are the last beats of bar 0, 3 s is bar 2.
    Tempo late;
    late.bpm = 120.0;
    late.firstBeat = 1.0;
    const std::vector<GridLine> lines = timelineGrid(late, 0.0, 3.0, 100.0);
    ASSERT_EQ(lines.size(), 7u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_DOUBLE_EQ(lines[i].time, 0.5 * static_cast<double>(i)) << i;
        EXPECT_EQ(lines[i].barLine, i == 2 || i == 6) << i;
    }
    EXPECT_EQ(lines[2].bar, 1);
    EXPECT_EQ(lines[6].bar, 2);
    // At 128 beats a minute and 10 pixels a second a bar is under 19 pixels: no beats, every
    // fourth bar.
    Tempo tempo;
    tempo.bpm = 128.0;
    std::vector<long long> bars;
    for (const GridLine& line : timelineGrid(tempo, 0.0, 30.0, 10.0)) {
        EXPECT_TRUE(line.barLine);
        bars.push_back(line.bar);
    }
    EXPECT_EQ(bars, (std::vector<long long>{1, 5, 9, 13, 17}));
}

TEST_F(EditorPanels, AFreeTrackIsTheTimelinesLastRowAndItsKeysAreEditedLikeAnyOther) {
    std::string text = document_.text();
    text.insert(text.find("</scene>"), "<tracks>\n<pulse components=\"2\">\n"
                                       "<key v0=\"0\" v1=\"0\" v2=\"1\" interpolation=\"linear\" />\n"
                                       "<key v0=\"8\" v1=\"4\" v2=\"5\" />\n</pulse>\n</tracks>\n");
    document_.loadText(text);
    frame(0.0);
    // Scrolled to the end, the last name is the track's, and a click on it picks the track.
    ASSERT_EQ(pickLastTimelineRow(), "::pulse");

    // K keys the track's value at the nearest beat, from its curve, with the track's two values.
    frame(1.0, {key(SDL_SCANCODE_K)});
    std::vector<DocumentTrackKey> keys = document_.trackKeys("pulse");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_NEAR(keys[1].time, 2 * Beat, 1e-5);
    EXPECT_NEAR(keys[1].values[0], 0.5f * keys[1].time, 1e-4);
    EXPECT_NEAR(keys[1].values[1], 1.0f + 0.5f * keys[1].time, 1e-4);
    const std::string written = document_.text().substr(document_.text().find("<pulse"));
    EXPECT_EQ(written.find("v3="), std::string::npos) << written;

    // Picked and deleted, then back with Ctrl+Z; the file's other keys never move.
    ui_.selection().pickKey({"::pulse", 1}, false);
    frame(1.0, {key(SDL_SCANCODE_DELETE)});
    EXPECT_EQ(document_.text(), text);
    frame(1.0, {key(SDL_SCANCODE_Z, true)});
    EXPECT_EQ(document_.trackKeys("pulse").size(), 3u);
}

TEST(FreeTrackKeys, EditedAsAPathsKeysKeepTheirFourthValueAndTheirOrder) {
    SceneDocument document;
    document.loadText("<base><scene><tracks>\n  <tint components=\"4\">\n"
                      "    <key v0=\"0\" v1=\"1\" v2=\"2\" v3=\"3\" v4=\"9\" />\n"
                      "    <key v0=\"4\" v1=\"5\" v2=\"6\" v3=\"7\" v4=\"8\" />\n"
                      "  </tint>\n</tracks></scene></base>\n");
    // A key set moves its first three values; the fourth stays, and past its neighbour it goes
    // to its place in time.
    ASSERT_TRUE(document.setKey("", "tint", 0, {6.0f, Vector{1, 1, 1}, Interpolation::Linear}));
    std::vector<DocumentTrackKey> keys = document.trackKeys("tint");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[1].time, 6.0f);
    EXPECT_EQ(keys[1].values, (std::array<float, 4>{1, 1, 1, 9}));
    EXPECT_EQ(keys[1].interpolation, Interpolation::Linear);
    // A new key takes the fourth value of the key before it.
    ASSERT_TRUE(document.addKey("", "tint", {5.0f, Vector{2, 2, 2}}));
    keys = document.trackKeys("tint");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[1].values, (std::array<float, 4>{2, 2, 2, 8}));
    EXPECT_EQ(document.keys("", "tint")[1].value, (Vector{2, 2, 2}));
    EXPECT_TRUE(document.removeKey("", "tint", 0));
    EXPECT_FALSE(document.removeKey("", "tint", 5));
    EXPECT_FALSE(document.addKey("", "none", {1.0f, Vector{}}));
    EXPECT_EQ(document.trackKeys("tint").size(), 2u);
}
