// The editor's panels, drawn with Dear ImGui over the show's picture: the outliner and the
// inspector, the timeline, the viewport's selection with its axis handles, and the menu. The
// panels read the model and the running show and issue commands on the edit history; what must
// wait until the frame is over (a seek, a reload, a save) they ask for in `Requests`.
//
// Nothing here talks to the window system or to OpenGL, so the panels also draw in a context with
// no back end (make bench times them so).
#pragma once

#include "editor/model/CameraRecorder.h"
#include "editor/model/EditHistory.h"
#include "editor/model/SceneDocument.h"
#include "editor/model/Selection.h"
#include "scene/Tempo.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class EngineCamera;

// The soundtrack's loudness for the timeline: the largest sample in each 10 ms.
struct Waveform {
    static constexpr double BucketSeconds = 0.01;
    std::vector<float> peaks; // 0..1
};

// A question the editor must have answered before it goes on: unsaved changes on the way out,
// a scene file changed on disk, a file that may not be replaced, the name to save under. It
// stands over the editor (nothing else takes the mouse or the keys) until one of its choices is
// taken: by a click, by the choice's key, Escape for `escapeChoice`, Enter for the first.
struct EditorQuestion {
    std::string id; // what the asker acts on when it comes back answered
    std::string title;
    std::string text;
    struct Choice {
        std::string label;
        int key = 0; // an SDL scan code that takes it (0: none)
    };
    std::vector<Choice> choices;
    int escapeChoice = -1; // -1: the last one
    bool asksForName = false;
    std::string name; // the name field's first text
};

struct EditorRequests {
    bool seek = false;
    double seekTarget = 0.0;
    bool reload = false; // the scene must be loaded again from the document
    bool save = false;
    bool saveAs = false;
    bool togglePause = false;
    bool quit = false;
    // The question just answered (empty: none), the choice taken and the name typed.
    std::string answered;
    int choice = -1;
    std::string name;
};

// A line of the timeline's grid: a beat of the show's tempo, and whether it starts a bar (then
// `bar` is its number: 1 on bar 1's first beat, 0 and below before it).
struct GridLine {
    double time = 0.0;
    bool barLine = false;
    long long bar = 0;
};
// The grid lines between `start` and `start + seconds` (none before 0 s) at `pixelsPerSecond`:
// every beat while beats stand 6 pixels apart, else the bar lines only; bar lines thin out to
// every 4th and every 16th bar as bars get closer than 30 and 8 pixels.
std::vector<GridLine> timelineGrid(const Tempo& tempo, double start, double seconds, double pixelsPerSecond);

class EditorUi {
public:
    explicit EditorUi(SceneDocument& document);

    SceneDocument& document() { return document_; }
    EditHistory& history() { return history_; }
    Selection& selection() { return selection_; }
    CameraRecorder& recorder() { return recorder_; }
    // The show's tempo as the document says it: the grid, snapping and recording count with it.
    const Tempo& tempo() const { return tempo_; }
    void setWaveform(Waveform waveform) { waveform_ = std::move(waveform); }

    // What the show is at this frame: its music time and whether it is paused; the camera the
    // editor flies and whether the view is its; the picture's size in pixels.
    struct Frame {
        double musicTime = 0.0;
        bool paused = false;
        bool playing = true;
        double songSeconds = 0.0;
        EngineCamera* editorCamera = nullptr;
        bool flying = false;
        float width = 1600.0f;
        float height = 900.0f;
        float frameMs = 0.0f;
        // The keys pressed since the last frame (SDL scan codes), with the modifiers held at the
        // time: a press and its release often fall into the same frame.
        struct Key {
            int code = 0;
            bool ctrl = false, shift = false, alt = false;
        };
        std::vector<Key> keys;
        // The show moved to another time since the last frame (a seek, a jump back, a replay).
        bool jumped = false;
        // The window system's count of the latest press of the left button: 2 for the second
        // click of a double click. At a few frames a second both clicks fall between two frames
        // and ImGui sees a single one; this still tells a double click.
        int clicks = 1;
    };
    // Builds this frame's panels (between ImGui::NewFrame and ImGui::Render).
    EditorRequests draw(const Frame& frame);

    // The camera the view looks through: empty for the editor camera, else a scene camera's name.
    const std::string& lookThrough() const { return lookThrough_; }
    void setLookThrough(std::string camera) { lookThrough_ = std::move(camera); }
    bool followShow() const { return followShow_; }
    // The timeline's visible span of music time.
    void setTimelineView(double start, double seconds) {
        viewStart_ = start;
        viewSeconds_ = seconds;
    }
    // Puts a question over the editor until it is answered (EditorRequests::answered); one at a
    // time: a question asked while another stands replaces it.
    void ask(EditorQuestion question);
    bool asking() const { return !question_.id.empty(); }
    const EditorQuestion& question() const { return question_; }

    // The line beside the menu saying what the last action did; `statusCount` goes up with each,
    // so that the same line said twice can be told from once (the session logs each).
    void setStatus(std::string text) {
        status_ = std::move(text);
        ++statusCount_;
    }
    const std::string& status() const { return status_; }
    size_t statusCount() const { return statusCount_; }

    // The edit has changed the document: the show follows it (requests a load when it must).
    void afterEdit(const std::vector<Touch>& touches);
    void undo();
    void redo();
    // Replaces the whole document by `text` as one step of the history (false: nothing changed).
    // The caller reloads the show.
    bool replaceDocument(const std::string& label, const std::string& text);
    // Adds a key at the playhead from the parameter's current value in the show (K).
    bool keyCurrentValue(const std::string& entity, const std::string& parameter, double time);
    // Sets how each picked key moves on to the next, as one step of the history (false: no key
    // picked changes).
    bool setKeyInterpolation(Interpolation interpolation);
    // Runs an edit of the document as one command of the history and has the show follow it;
    // `mergeKey` merges it with the command before of the same key. False when the edit refused
    // or changed nothing. The panels' edits, and those made for others (a sync tracker's keys).
    bool edit(const std::string& label, const std::vector<Touch>& touches,
              const std::function<bool(SceneDocument&)>& change, const std::string& mergeKey = std::string());
    // The curve the timeline last drew for a binding (ENTITY::PARAMETER) and component (0 x,
    // 1 y, 2 z): music times and values, in time order; empty for a binding not drawn.
    std::vector<std::pair<double, float>> drawnCurve(const std::string& binding, int component) const;

    // The objects as the outliner lists them: the groups' tree, each object after its parent and
    // indented by its depth (siblings in file order); a flat list in file order when no object
    // has a parent.
    struct OutlineRow {
        int depth = 0;
        std::string name;
        bool operator==(const OutlineRow&) const = default;
    };
    std::vector<OutlineRow> objectOutline();

private:
    struct BindingView {
        std::string name;   // ENTITY::PARAMETER, or ::NAME for a free track of <tracks>
        std::string label;  // as the timeline and the lists show it
        std::string entity; // empty for a free track
        std::string parameter;
        int components = 3;            // the values a key has
        std::vector<DocumentKey> keys; // file order
        std::vector<size_t> byTime;    // indices into keys, by time
        // The curves as last drawn (their values at these music times), and the view they were
        // sampled for: sampled again only when the view or the keys change.
        std::vector<float> sampleTimes;
        std::vector<float> samples[3];
        double sampledStart = -1.0, sampledSeconds = -1.0;
        float sampledWidth = -1.0f, low = 0.0f, high = 1.0f;
    };
    void refresh();
    void drawMenu(const Frame& frame);
    void drawOutliner(const Frame& frame);
    void drawInspector(const Frame& frame);
    void drawEntityInspector(const Frame& frame);
    void drawKeyInspector();
    void drawKeysInspector();
    // The picked keys' interpolation as a combo: true, with the one chosen, when one was.
    bool interpolationChoice(Interpolation& chosen);
    // The interpolation every picked key has (false: none picked, or not all the same).
    bool pickedInterpolation(Interpolation& common) const;
    // The key a reference names, or null when it is gone.
    const DocumentKey* keyOf(const KeyRef& key) const;
    void drawEventInspector();
    // The inspector's "time" field over `current`: true, with the new time, once a drag or an
    // entry has ended; `time` is what the field shows.
    bool timeField(float current, float& time);
    void drawAddPanel(const Frame& frame);
    void followRecording(const Frame& frame);
    void drawTimeline(const Frame& frame);
    void drawViewport(const Frame& frame);
    void handleShortcuts(const Frame& frame);
    void drawQuestion(const Frame& frame);
    void answer(int choice);
    void jumpToKey(const Frame& frame, int direction);
    void moveSelectedKeys(float delta);
    void deleteSelectedKeys();
    float snap(float t) const;
    double timeAt(float x) const;
    float xAt(double t) const;

    SceneDocument& document_;
    EditHistory history_;
    Selection selection_;
    CameraRecorder recorder_;
    Waveform waveform_;
    EditorRequests requests_;
    Tempo tempo_;

    // What the document holds, read again when it changed.
    size_t seenRevision_ = SIZE_MAX;
    std::vector<BindingView> bindings_;
    std::vector<DocumentEvent> events_;
    struct Entry {
        Selection::Kind kind;
        std::string name;
        std::string parent; // an object's <Parent>, as the file names it
    };
    std::vector<Entry> entries_;
    // The objects' tree (groups), as the loader builds it: each entry's children, by index into
    // entries_, and whether any object has a parent at all (else the list stays flat).
    std::vector<std::vector<int>> objectChildren_;
    std::vector<int> objectParent_; // -1: at the root (or not an object)
    std::vector<int> objectRoots_;
    bool objectTree_ = false;
    bool revealSelection_ = false; // picked in the picture: the outliner shows it once
    void buildObjectTree();
    void drawObjectRow(int index);
    bool holdsSelection(int index) const;
    std::vector<std::string> cameras_;

    char filter_[128] = "";
    std::string lookThrough_;
    bool followShow_ = true;
    std::string status_;
    EditorQuestion question_;
    bool questionShown_ = false; // its name field has had the keyboard
    char questionName_[512] = "";
    size_t statusCount_ = 0;
    std::string keyedParameter_ = "Position";
    int recordEvery_ = 0;
    int recordCamera_ = 0;

    // The timeline's view and its drags.
    double viewStart_ = 0.0;
    double viewSeconds_ = 30.0;
    float trackLeft_ = 0.0f;
    float trackWidth_ = 1.0f;
    bool scrubbing_ = false;
    bool draggingKeys_ = false;
    float dragOrigin_ = 0.0f;
    bool boxSelecting_ = false;
    float boxStartX_ = 0.0f, boxStartY_ = 0.0f;
    int draggingEvent_ = -1;
    float eventDragTime_ = 0.0f;
    // The viewport's axis handle being dragged (-1: none), and the picture's mouse position.
    int handleAxis_ = -1;
    float handleLastX_ = 0.0f, handleLastY_ = 0.0f;

    // The add panel's fields.
    char newName_[64] = "";
    char newMesh_[64] = "sphere";
    char newMaterial_[64] = "metal4";
    char newClass_[64] = "Camera";
    char eventName_[64] = "exit";
    char eventTarget_[64] = "";
    char eventEditName_[64] = "";
    char eventEditTarget_[64] = "";
    size_t eventEditIndex_ = SIZE_MAX;
    // The time field being dragged or typed (0: none) and its value meanwhile.
    unsigned timeFieldId_ = 0;
    float timeFieldValue_ = 0.0f;
};

// Makes the current ImGui context one that draws nowhere: a display of this size, the font atlas
// built, no settings file. For running the panels without a window (the benchmark, the tests).
void createWindowlessImGuiContext(float width, float height);
