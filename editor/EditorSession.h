// `beatshow --edit`: the editor over a running show. The session wraps the program's window so
// that the editor is drawn over every presented picture (after the show and its filter chain,
// before the swap: never in the show's own frame, shots or captures), takes the window's input
// before the show does, flies the editor camera, and carries out between frames what the panels
// asked for: seeks, loads of the edited scene, saving.
//
// Others may edit the document too (a sync tracker's link, through SharedDocument): their edits
// are steps of the editor's history like the panels' own, and their save is the editor's save.
//
// It never loses the user's work: the show's "exit" pauses it; a way out with unsaved changes
// asks first (Escape, the window's close, the menu) or keeps them beside the scene (a signal); a
// change of the scene file on disk is never read over them nor saved over unseen.
#pragma once

#include "editor/EditorUi.h"
#include "editor/GuiKeyFeed.h"
#include "editor/model/SceneDocument.h"
#include "editor/model/SceneFile.h"
#include "editor/model/SharedDocument.h"
#include "engine/loop/MainLoop.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FileWatcher;
class FrameTimer;
class SystemWindow;

class EditorSession : public FrameObserver, public SharedDocument {
public:
    // `inner` is the run's own observer (frames, statistics), called first.
    EditorSession(FrameTimer& timer, FrameObserver* inner);
    ~EditorSession() override;

    // Reads the show's scene file (in the working directory); false with a message when it cannot.
    bool open(std::string& error);
    // The program's window with the editor drawn over it.
    std::unique_ptr<SystemWindow> wrap(std::unique_ptr<SystemWindow> window);
    // The show's file watcher with the scene file taken out: a change of the scene on disk comes
    // to the editor, which reads it again only when that loses nothing, and asks otherwise.
    std::unique_ptr<FileWatcher> watch(std::unique_ptr<FileWatcher> watcher);
    // Called by that watcher: true (and noted) when `file` is the scene the editor edits.
    bool takeSceneChange(const std::string& file);

    void beforeFrame() override;
    void afterFrame(double dt) override;

    // Called by the wrapped window: the editor's frame, drawn over the picture before it is shown.
    void drawOverPicture();
    // Called by the wrapped window as the frame is drawn: the view the editor wants.
    void settleView();
    // Before the window and its GL context go: the editor's GL objects and ImGui go first.
    void releaseGui();
    // Whether the window system's event may reach the show (the editor keeps what is its own).
    bool passToShow(const void* sdlEvent);

    // For a handler of SIGTERM, SIGINT and SIGHUP (async-signal-safe; on Windows the console's
    // Ctrl+C and its closing, platform/System.h): the editor ends at its next frame, its unsaved
    // changes kept as NAME.recover beside the scene. A second signal before that takes the
    // signal's default action.
    static void noteSignal(int signal);
    // The signal that ended the session (0: none).
    int endedBySignal() const { return endedBySignal_; }

    EditorUi& ui() { return ui_; }

    // SharedDocument: the document, edits through the panels' history, and the editor's save.
    const SceneDocument& document() const override { return document_; }
    bool edit(const std::string& label, const std::vector<Touch>& touches,
              const std::function<bool(SceneDocument&)>& change, const std::string& mergeKey) override;
    void seal() override;
    void save() override;

private:
    void startWaveform();
    void flyCamera();
    void saveNow();
    // Saves to `path`, asking first when the file changed on disk since the editor read or wrote
    // it, or is read-only (unless told to replace it anyway).
    void saveTo(const std::string& path, bool overwriteChanged, bool overwriteReadOnly);
    void askSaveAs();
    void saveAs(const std::string& name);
    // The file's bytes become the document, as one step of the history, and the show follows.
    void loadFromDisk(const std::string& bytes, const SceneFileState& state);
    void watchFile();
    void askToQuit();
    // Puts the question on screen and in the log.
    void ask(EditorQuestion question);
    void act(const EditorRequests& answer);
    void takeSignal();
    void logStatus();
    // Hands a window system event to ImGui (keys through the feed, which may keep them a frame).
    void feedGui(const SDL_Event& event);

    FrameTimer& timer_;
    FrameObserver* inner_;
    SceneDocument document_;
    EditorUi ui_;
    EditorRequests requests_;
    bool guiReady_ = false;
    bool guiFailed_ = false;
    size_t loggedStatus_ = 0;
    bool textInput_ = false; // SDL's text input is on for a text field
    GuiKeyFeed guiKeys_;
    bool pendingReload_ = false;
    std::string scenePath_ = "epicrealtimetest.xml";
    // The scene file as the editor last read, wrote or accepted it, and as it last looked.
    SceneFileState known_;
    SceneFileState seen_;
    bool sceneTouched_ = false; // the watcher saw it change
    double nextLook_ = 0.0;
    // A save that waits for an answer: where to, whether a change on disk may be replaced, and
    // whether the program quits after it.
    std::string savingTo_;
    bool overwriteChanged_ = false;
    bool quitAfterSave_ = false;
    // The file's version while the user chooses between it and the editor's.
    std::string diskBytes_;
    SceneFileState diskState_;
    EditorQuestion asked_;   // the last question asked
    bool quitAsked_ = false; // Escape, the window's close or the menu asked to quit
    int endedBySignal_ = 0;
    bool wasFlying_ = false;
    // Where the window's last mouse event put the pointer: the SDL back end reads the pointer only
    // while the window has the keyboard focus, which a window without a window manager never gets.
    bool mouseSeen_ = false;
    float mouseX_ = 0.0f, mouseY_ = 0.0f;
    std::vector<EditorUi::Frame::Key> keys_; // pressed since the last editor frame
    int leftClicks_ = 1;                     // SDL's click count of the latest left press
    double lastFly_ = 0.0;
    // Whether the show moved to another time since the editor's last frame.
    bool jumped_ = false;
    unsigned seenShowMoves_ = 0;

    std::thread waveformThread_;
    std::mutex waveformMutex_;
    std::unique_ptr<Waveform> decoded_;
    std::atomic<bool> waveformReady_{false};
    double songSeconds_ = 0.0;
};
