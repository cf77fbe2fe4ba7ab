#include "editor/EditorSession.h"

#include "actors/EngineCamera.h"
#include "editor/model/Picking.h"
#include "editor/model/SceneFile.h"
#include "engine/EngineRegistry.h"
#include "engine/base/FileWatcher.h"
#include "engine/base/FrameTimer.h"
#include "engine/base/Log.h"
#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/Transport.h"
#include "platform/SdlWindow.h"
#include "platform/System.h"
#include "platform/VorbisDecoder.h"

#include <SDL.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

namespace {

std::atomic<int> signalNoted{0};

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The show's file watcher without the scene file: the editor's document is the show's scene, so
// the editor decides what a change on disk does (never a reload over unsaved changes).
class SceneFileFilter : public FileWatcher {
public:
    SceneFileFilter(std::unique_ptr<FileWatcher> inner, EditorSession& session)
        : inner_(std::move(inner)), session_(session) {}
    std::vector<std::string> takeChanges() override {
        std::vector<std::string> changes = inner_->takeChanges();
        std::erase_if(changes, [this](const std::string& file) { return session_.takeSceneChange(file); });
        return changes;
    }

private:
    std::unique_ptr<FileWatcher> inner_;
    EditorSession& session_;
};

// The program's window, with the editor drawn over what is presented and its input sorted out.
class EditorWindow : public SystemWindow {
public:
    EditorWindow(std::unique_ptr<SystemWindow> inner, EditorSession& session)
        : inner_(std::move(inner)), session_(session) {}
    ~EditorWindow() override {
        inner_->makeContextCurrent();
        session_.releaseGui();
    }

    bool pollMessage(WindowMessage& message) override {
        session_.settleView();
        return inner_->pollMessage(message);
    }
    bool makeContextCurrent() override { return inner_->makeContextCurrent(); }
    void swapBuffers() override {
        session_.drawOverPicture();
        inner_->swapBuffers();
    }
    int drawableWidth() const override { return inner_->drawableWidth(); }
    int drawableHeight() const override { return inner_->drawableHeight(); }
    void showWindow() override { inner_->showWindow(); }
    // The editor needs its pointer, whatever the show asks.
    void setCursorVisible(bool) override { inner_->setCursorVisible(true); }
    void getCursorPosition(int& x, int& y) override { inner_->getCursorPosition(x, y); }
    void moveCursor(int x, int y) override { inner_->moveCursor(x, y); }
    void showMessageBox(const std::string& caption, const std::string& text, bool error) override {
        inner_->showMessageBox(caption, text, error);
    }

private:
    std::unique_ptr<SystemWindow> inner_;
    EditorSession& session_;
};

int filterEvent(void* session, SDL_Event* event) {
    return static_cast<EditorSession*>(session)->passToShow(event) ? 1 : 0;
}

bool editorKey(SDL_Scancode key) {
    switch (key) {
    case SDL_SCANCODE_W:
    case SDL_SCANCODE_A:
    case SDL_SCANCODE_S:
    case SDL_SCANCODE_D:
    case SDL_SCANCODE_Q:
    case SDL_SCANCODE_E:
    case SDL_SCANCODE_K:
    case SDL_SCANCODE_COMMA:
    case SDL_SCANCODE_PERIOD:
    case SDL_SCANCODE_DELETE:
        return true;
    default:
        return false;
    }
}

} // namespace

EditorSession::EditorSession(FrameTimer& timer, FrameObserver* inner)
    : timer_(timer), inner_(inner), ui_(document_) {}

EditorSession::~EditorSession() {
    if (waveformThread_.joinable()) waveformThread_.join();
}

void EditorSession::releaseGui() {
    if (!guiReady_) return;
    if (textInput_) platform::setTextInput(false);
    textInput_ = false;
    SDL_SetEventFilter(nullptr, nullptr);
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
    guiReady_ = false;
}

bool EditorSession::open(std::string& error) {
    std::string bytes, problem;
    SceneFileState state;
    if (!readSceneFile(scenePath_, bytes, state, problem) || !state.exists) {
        error = "cannot read " + scenePath_ + " in " + std::filesystem::current_path().string() +
                (problem.empty() ? std::string() : " (" + problem + ")");
        return false;
    }
    // The document's edits splice single bytes: in UTF-16 text they would write bytes of half
    // characters ("fadein" renamed "fadeout" read back as "fadeoutein"). Refused, not damaged.
    if (isUtf16Text(bytes)) {
        error = scenePath_ + " is UTF-16 text, which the editor does not edit; save it as UTF-8 to edit it "
                             "(beatshow plays it as it is)";
        return false;
    }
    document_.loadText(std::move(bytes), scenePath_);
    known_ = seen_ = state;
    std::error_code ec;
    if (std::filesystem::exists(recoveryPath(scenePath_), ec))
        ui_.setStatus("unsaved changes of an earlier session are in " + recoveryPath(scenePath_));
    // The show's "exit" pauses the show rather than ending the program.
    engine().exitPauses = true;
    startWaveform();
    return true;
}

std::unique_ptr<SystemWindow> EditorSession::wrap(std::unique_ptr<SystemWindow> window) {
    if (!window) return window;
    return std::make_unique<EditorWindow>(std::move(window), *this);
}

void EditorSession::startWaveform() {
    std::string song;
    if (const XMLTag* entry = SceneDocument::child(document_.section("audio"), "song"))
        for (const auto& [key, value] : entry->attributes)
            if (key == "file") song = "audio/" + value;
    waveformThread_ = std::thread([this, song] {
        platform::DecodedAudio audio;
        if ((song.empty() || platform::decodeVorbisFile(song, audio) != platform::AudioOk) &&
            platform::decodeVorbisFile("soundtrack.ogg", audio) != platform::AudioOk)
            return;
        auto waveform = std::make_unique<Waveform>();
        const size_t perBucket =
            std::max<size_t>(1, static_cast<size_t>(audio.rate * Waveform::BucketSeconds)) *
            static_cast<size_t>(audio.channels);
        for (size_t i = 0; i < audio.samples.size(); i += perBucket) {
            int peak = 0;
            for (size_t j = i; j < std::min(audio.samples.size(), i + perBucket); ++j)
                peak = std::max(peak, std::abs(static_cast<int>(audio.samples[j])));
            waveform->peaks.push_back(static_cast<float>(peak) / 32768.0f);
        }
        std::lock_guard lock(waveformMutex_);
        decoded_ = std::move(waveform);
        waveformReady_ = true;
    });
}

bool EditorSession::passToShow(const void* sdlEvent) {
    const SDL_Event* event = static_cast<const SDL_Event*>(sdlEvent);
    if (!guiReady_) return true;
    feedGui(*event);
    const ImGuiIO& io = ImGui::GetIO();
    switch (event->type) {
    case SDL_MOUSEMOTION:
        mouseSeen_ = true;
        mouseX_ = static_cast<float>(event->motion.x);
        mouseY_ = static_cast<float>(event->motion.y);
        return false;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (event->type == SDL_MOUSEBUTTONDOWN && event->button.button == SDL_BUTTON_LEFT)
            leftClicks_ = event->button.clicks;
        mouseSeen_ = true;
        mouseX_ = static_cast<float>(event->button.x);
        mouseY_ = static_cast<float>(event->button.y);
        return false;
    case SDL_MOUSEWHEEL:
    case SDL_TEXTINPUT:
    case SDL_TEXTEDITING:
        return false;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        // Whether a text field takes the key is decided as the editor's frame handles it.
        if (event->type == SDL_KEYDOWN) {
            const Uint16 mod = event->key.keysym.mod;
            keys_.push_back({event->key.keysym.scancode, (mod & KMOD_CTRL) != 0, (mod & KMOD_SHIFT) != 0,
                             (mod & KMOD_ALT) != 0});
        }
        // A question over the editor takes every key.
        if (ui_.asking()) return false;
        if (io.WantCaptureKeyboard || io.WantTextInput) return false;
        if ((event->key.keysym.mod & KMOD_CTRL) || editorKey(event->key.keysym.scancode)) return false;
        // Escape quits, as in the show, unless that would throw edits away: then it asks first.
        if (event->type == SDL_KEYDOWN && event->key.keysym.scancode == SDL_SCANCODE_ESCAPE &&
            ui_.history().modified()) {
            quitAsked_ = true;
            return false;
        }
        return true;
    }
    case SDL_QUIT:
    case SDL_WINDOWEVENT:
        if ((event->type == SDL_QUIT || event->window.event == SDL_WINDOWEVENT_CLOSE) &&
            (ui_.history().modified() || ui_.asking())) {
            quitAsked_ = true;
            return false;
        }
        return true;
    default:
        return true;
    }
}

void EditorSession::feedGui(const SDL_Event& event) {
    if (GuiKeyFeed::takes(event))
        guiKeys_.take(event);
    else
        ImGui_ImplSDL2_ProcessEvent(&event);
}

void EditorSession::settleView() {
    EngineRegistry& r = engine();
    EngineCamera* editor = r.editorCamera.load();
    if (ui_.followShow() || !editor) {
        if (EngineCamera* scene = r.sceneCamera.load()) r.activeCamera = scene;
        return;
    }
    EngineCamera* camera = editor;
    if (!ui_.lookThrough().empty())
        if (auto* through = dynamic_cast<EngineCamera*>(findActor(ui_.lookThrough()))) camera = through;
    camera->Update(0.0f);
    r.activeCamera = camera;
}

void EditorSession::flyCamera() {
    EngineRegistry& r = engine();
    EngineCamera* camera = r.editorCamera.load();
    const double now = seconds();
    const float dt = static_cast<float>(std::min(0.1, lastFly_ > 0.0 ? now - lastFly_ : 0.0));
    lastFly_ = now;
    const bool flying = !ui_.followShow() && ui_.lookThrough().empty();
    if (!camera || !guiReady_) return;
    if (flying && !wasFlying_) {
        // Flying starts from where the picture was seen.
        if (EngineCamera* seen = r.activeCamera.load(); seen && seen != camera) {
            camera->Position = seen->Position;
            camera->Rotation = seen->Rotation;
        }
    }
    wasFlying_ = flying;
    if (!flying) return;
    const ImGuiIO& io = ImGui::GetIO();
    ViewSetup view;
    view.cameraPosition = camera->Position;
    view.cameraRotation = camera->Rotation;
    const Matrix axes = matrixInverse(view.view());
    const Vector rightward{axes.m[0][0], axes.m[0][1], axes.m[0][2]};
    const Vector forward{axes.m[2][0], axes.m[2][1], axes.m[2][2]};
    if (io.MouseDown[1] && !io.WantCaptureMouse) {
        // Which way a growing yaw turns, read from the camera itself.
        ViewSetup turned = view;
        turned.cameraRotation.y += 0.01f;
        const Matrix t = matrixInverse(turned.view());
        const float sign = (Vector{t.m[2][0], t.m[2][1], t.m[2][2]}.dot(rightward) > 0.0f) ? 1.0f : -1.0f;
        camera->Rotation.y += sign * io.MouseDelta.x * 0.004f;
        camera->Rotation.x = std::clamp(camera->Rotation.x - io.MouseDelta.y * 0.004f, -1.55f, 1.55f);
    }
    if (!io.WantCaptureKeyboard && !io.KeyCtrl) {
        const float speed = (io.KeyShift ? 12.0f : 3.0f) * dt;
        Vector move;
        if (io.KeysDown[SDL_SCANCODE_W]) move += forward;
        if (io.KeysDown[SDL_SCANCODE_S]) move -= forward;
        if (io.KeysDown[SDL_SCANCODE_D]) move += rightward;
        if (io.KeysDown[SDL_SCANCODE_A]) move -= rightward;
        if (io.KeysDown[SDL_SCANCODE_E]) move += Vector{0, 1, 0};
        if (io.KeysDown[SDL_SCANCODE_Q]) move -= Vector{0, 1, 0};
        // A camera's Position is its negated eye point.
        camera->Position -= move * speed;
    }
    camera->Update(0.0f);
}

void EditorSession::beforeFrame() {
    takeSignal();
    if (engine().quitRequested) return;
    if (inner_) inner_->beforeFrame();
    if (waveformReady_.exchange(false)) {
        std::lock_guard lock(waveformMutex_);
        songSeconds_ = static_cast<double>(decoded_->peaks.size()) * Waveform::BucketSeconds;
        ui_.setWaveform(std::move(*decoded_));
    }
    flyCamera();
}

void EditorSession::drawOverPicture() {
    EngineRegistry& r = engine();
    if (guiFailed_) return;
    if (!guiReady_) {
        SDL_Window* window = SDL_GL_GetCurrentWindow();
        if (!window) return;
        IMGUI_CHECKVERSION();
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr; // nothing written into the show's folder
        ImGui::StyleColorsDark();
        ImGui::GetStyle().Colors[ImGuiCol_WindowBg].w = 0.86f;
        const bool input = ImGui_ImplSDL2_InitForOpenGL(window, SDL_GL_GetCurrentContext());
        if (!input || !ImGui_ImplOpenGL3_Init("#version 450")) {
            // The show goes on without the editor rather than drawing through a broken back end.
            logStream
                << "editor: cannot draw on this window's OpenGL context; the show plays without the editor"
                << std::endl;
            if (input) ImGui_ImplSDL2_Shutdown();
            ImGui::DestroyContext();
            guiFailed_ = true;
            engine().exitPauses = false;
            return;
        }
        SDL_SetWindowResizable(window, SDL_TRUE);
        SDL_ShowCursor(SDL_ENABLE);
        SDL_SetEventFilter(filterEvent, this);
        guiReady_ = true;
    }
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    if (mouseSeen_) ImGui::GetIO().MousePos = ImVec2(mouseX_, mouseY_);
    ImGui::NewFrame();
    EditorUi::Frame frame;
    frame.musicTime = r.musicTime;
    frame.paused = r.clock.paused();
    frame.playing = r.playing && !r.loading;
    frame.songSeconds = songSeconds_;
    frame.editorCamera = r.editorCamera.load();
    frame.flying = !ui_.followShow() && ui_.lookThrough().empty();
    frame.keys.swap(keys_);
    frame.clicks = leftClicks_;
    // The transport's keys and hot reload move the show inside the loop, the editor's own seeks
    // after its frame: either way the music did not play through to here.
    frame.jumped = jumped_ || r.showMoves != seenShowMoves_;
    jumped_ = false;
    seenShowMoves_ = r.showMoves;
    if (r.window) {
        frame.width = static_cast<float>(r.window->width);
        frame.height = static_cast<float>(r.window->height);
    }
    const EditorRequests asked = ui_.draw(frame);
    requests_.seek = requests_.seek || asked.seek;
    if (asked.seek) requests_.seekTarget = asked.seekTarget;
    requests_.reload = requests_.reload || asked.reload;
    requests_.save = requests_.save || asked.save;
    requests_.saveAs = requests_.saveAs || asked.saveAs;
    requests_.togglePause = requests_.togglePause != asked.togglePause;
    requests_.quit = requests_.quit || asked.quit;
    if (!asked.answered.empty()) {
        requests_.answered = asked.answered;
        requests_.choice = asked.choice;
        requests_.name = asked.name;
    }
    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    logStatus();
    // The keys held back for this frame go to the next.
    guiKeys_.frameDone();
    // ImGui's SDL back end takes characters only from SDL's text input, which the show keeps
    // off: on while a text field has the keyboard, off again after (an input method's window
    // would otherwise open over the show). Read from the frame just drawn rather than from
    // io.WantTextInput, which tells the frame before: at a few frames a second the first
    // characters typed into a field just clicked would be lost.
    if (const bool wanted = ImGui::GetCurrentContext()->WantTextInputNextFrame == 1; wanted != textInput_) {
        platform::setTextInput(wanted);
        textInput_ = wanted;
    }
}

std::unique_ptr<FileWatcher> EditorSession::watch(std::unique_ptr<FileWatcher> watcher) {
    if (!watcher) return watcher;
    return std::make_unique<SceneFileFilter>(std::move(watcher), *this);
}

bool EditorSession::takeSceneChange(const std::string& file) {
    if (file != "epicrealtimetest.xml" && file != std::filesystem::path(scenePath_).generic_string())
        return false;
    sceneTouched_ = true;
    return true;
}

void EditorSession::saveNow() {
    saveTo(scenePath_, false, false);
}

bool EditorSession::edit(const std::string& label, const std::vector<Touch>& touches,
                         const std::function<bool(SceneDocument&)>& change, const std::string& mergeKey) {
    return ui_.edit(label, touches, change, mergeKey);
}

void EditorSession::seal() {
    ui_.history().seal();
}

void EditorSession::save() {
    // As Ctrl+S: after the frame, where a question can be asked.
    requests_.save = true;
}

void EditorSession::saveTo(const std::string& path, bool overwriteChanged, bool overwriteReadOnly) {
    SceneSave save;
    // Another file than the one being edited was asked about before (Save as).
    save.expected = path == scenePath_ ? &known_ : nullptr;
    save.overwriteChanged = overwriteChanged;
    save.overwriteReadOnly = overwriteReadOnly;
    SceneFileState written;
    std::string message;
    switch (saveSceneFile(path, document_.text(), save, written, message)) {
    case SceneSaveResult::Saved:
        scenePath_ = path;
        known_ = seen_ = written;
        ui_.history().markSaved();
        ui_.history().seal();
        // The show itself always plays the scene by its own name.
        ui_.setStatus(std::filesystem::path(path).filename() == "epicrealtimetest.xml"
                          ? "saved " + path
                          : "saved " + path +
                                "; the editor goes on with it (the show plays epicrealtimetest.xml)");
        if (quitAfterSave_) engine().quitRequested = true;
        return;
    case SceneSaveResult::Failed:
        ui_.setStatus("not saved: " + message);
        break;
    case SceneSaveResult::ChangedOnDisk: {
        savingTo_ = path;
        EditorQuestion question;
        question.id = "changed";
        question.title = "Changed on disk";
        question.text =
            message + ". Saving replaces that change (what the file holds now is kept as " + path + ".bak).";
        question.choices = {
            {"Replace it (R)", SDL_SCANCODE_R}, {"Save as... (A)", SDL_SCANCODE_A}, {"Cancel (Esc)", 0}};
        ask(std::move(question));
        return;
    }
    case SceneSaveResult::ReadOnly: {
        savingTo_ = path;
        overwriteChanged_ = overwriteChanged;
        EditorQuestion question;
        question.id = "readonly";
        question.title = "Read-only file";
        question.text = message + ". Saving anyway replaces it, and it stays read-only.";
        question.choices = {
            {"Save anyway (R)", SDL_SCANCODE_R}, {"Save as... (A)", SDL_SCANCODE_A}, {"Cancel (Esc)", 0}};
        ask(std::move(question));
        return;
    }
    }
    quitAfterSave_ = false;
}

void EditorSession::askSaveAs() {
    EditorQuestion question;
    question.id = "saveas";
    question.title = "Save as";
    question.text = "The file to save the scene as, from the show's folder " +
                    std::filesystem::current_path().string() + ". The editor goes on with it.";
    question.asksForName = true;
    question.name = scenePath_;
    question.choices = {{"Save (Enter)", 0}, {"Cancel (Esc)", 0}};
    ask(std::move(question));
}

void EditorSession::saveAs(const std::string& name) {
    if (name.empty()) {
        ui_.setStatus("not saved: no file name");
        quitAfterSave_ = false;
        return;
    }
    std::error_code ec;
    if (name == scenePath_ || std::filesystem::equivalent(name, scenePath_, ec)) {
        saveNow();
        return;
    }
    if (std::filesystem::exists(name, ec)) {
        savingTo_ = name;
        EditorQuestion question;
        question.id = "exists";
        question.title = "The file exists";
        question.text =
            name + " exists. Replace it with the scene? (What it holds now is kept as " + name + ".bak.)";
        question.choices = {{"Replace it (R)", SDL_SCANCODE_R}, {"Cancel (Esc)", 0}};
        ask(std::move(question));
        return;
    }
    saveTo(name, true, false);
}

void EditorSession::loadFromDisk(const std::string& bytes, const SceneFileState& state) {
    // One step of the history: Ctrl+Z brings the editor's version back.
    ui_.history().seal();
    ui_.replaceDocument("Load " + scenePath_ + " from disk", bytes);
    ui_.history().markSaved();
    ui_.history().seal();
    ui_.selection().clear();
    known_ = state;
    pendingReload_ = true;
}

void EditorSession::watchFile() {
    // The file system's notice comes through the show's watcher; a look twice a second catches
    // what it misses (a linked scene whose target lies elsewhere, a system without notices).
    const double now = seconds();
    if (!sceneTouched_ && now < nextLook_) return;
    nextLook_ = now + 0.5;
#if defined(_WIN32)
    // The stamp has whole seconds there (editor/model/SceneFile.cpp): a notice is always looked
    // into, since a change of the same size in the same second leaves the stamp as it was.
    const bool noticed = sceneTouched_;
#else
    const bool noticed = false;
#endif
    sceneTouched_ = false;
    if (!noticed && statSceneFile(scenePath_).sameStamp(seen_)) return;
    std::string bytes, error;
    SceneFileState disk;
    if (!readSceneFile(scenePath_, bytes, disk, error)) return; // looked at again next time
    seen_ = disk;
    // Touched without a change, or this editor's own save.
    if (disk.sameContent(known_)) return;
    if (!disk.exists) {
        ui_.setStatus(scenePath_ + " was removed from the disk; saving writes it again");
        return;
    }
    if (isUtf16Text(bytes)) {
        ui_.setStatus(scenePath_ +
                      " changed on disk into UTF-16 text, which the editor does not edit; its own "
                      "version is kept");
        return;
    }
    if (!ui_.history().modified()) {
        loadFromDisk(bytes, disk);
        ui_.setStatus(scenePath_ + " changed on disk and was read again");
        return;
    }
    // Never read over unsaved changes: the user chooses.
    if (ui_.asking()) {
        seen_ = SceneFileState{}; // asked once the question on screen is answered
        return;
    }
    diskBytes_ = std::move(bytes);
    diskState_ = disk;
    EditorQuestion question;
    question.id = "disk";
    question.title = "Changed on disk";
    question.text =
        scenePath_ +
        " changed on disk while the editor holds unsaved changes. Keep the editor's version (saving "
        "replaces the file's), load the file's (Ctrl+Z brings the editor's back), or save the "
        "editor's under another name?";
    question.choices = {{"Keep mine (K)", SDL_SCANCODE_K},
                        {"Load the file's (L)", SDL_SCANCODE_L},
                        {"Save mine as... (A)", SDL_SCANCODE_A}};
    question.escapeChoice = 0;
    ask(std::move(question));
}

void EditorSession::afterFrame(double dt) {
    EngineRegistry& r = engine();
    if (inner_) inner_->afterFrame(dt);
    const EditorRequests asked = requests_;
    requests_ = EditorRequests{};
    if (!asked.answered.empty()) act(asked);
    if (asked.save && !ui_.asking()) saveNow();
    if (asked.saveAs && !ui_.asking()) askSaveAs();
    if (asked.quit) quitAsked_ = true;
    if (quitAsked_ && !ui_.asking()) {
        quitAsked_ = false;
        if (ui_.history().modified())
            askToQuit();
        else
            r.quitRequested = true;
    }
    quitAsked_ = false;
    if (asked.togglePause) transport::togglePause();
    pendingReload_ = pendingReload_ || asked.reload;
    const bool ready = r.playing && !r.loading;
    if (pendingReload_ && ready) {
        pendingReload_ = false;
        const SceneReloadResult result = reloadShowSceneBytes(
            document_.text(), asked.seek ? static_cast<float>(asked.seekTarget) : r.showTime.load());
        if (!result.problems.empty()) ui_.setStatus(result.problems.front());
        timer_.restart();
    } else if (asked.seek && ready) {
        transport::seekTo(asked.seekTarget);
        timer_.restart();
    }
    jumped_ = jumped_ || (asked.seek && ready);
    watchFile();
    // The show's "exit" event ends a show, not the editing of it, whichever way it was reached
    // (played, or passed by the replay of a seek or a reload): the show pauses there.
    if (r.exitReached.exchange(false) && !r.quitRequested && !r.clock.paused()) {
        transport::togglePause();
        ui_.setStatus("the show's exit was reached; paused at " +
                      SceneDocument::formatNumber(r.showTime.load()) + " s (Escape quits the editor)");
    }
    logStatus();
}

void EditorSession::askToQuit() {
    EditorQuestion question;
    question.id = "quit";
    question.title = "Unsaved changes";
    question.text = "The scene has changes that are not saved in " + scenePath_ + ".";
    question.choices = {{"Save and quit (S)", SDL_SCANCODE_S},
                        {"Quit without saving (Q)", SDL_SCANCODE_Q},
                        {"Cancel (Esc)", 0}};
    ask(std::move(question));
}

void EditorSession::ask(EditorQuestion question) {
    logStream << "editor: asks: " << question.title << ": " << question.text << std::endl;
    ui_.ask(question);
    asked_ = std::move(question);
}

void EditorSession::act(const EditorRequests& answer) {
    EngineRegistry& r = engine();
    if (answer.answered == asked_.id && answer.choice >= 0 &&
        answer.choice < static_cast<int>(asked_.choices.size()))
        logStream << "editor: " << asked_.title << ": "
                  << asked_.choices[static_cast<size_t>(answer.choice)].label << std::endl;
    const std::string& id = answer.answered;
    const int choice = answer.choice;
    if (id == "quit") {
        if (choice == 0) {
            // Quits once saved, also when the save has to ask something first.
            quitAfterSave_ = true;
            saveNow();
        } else if (choice == 1) {
            r.quitRequested = true;
        }
    } else if (id == "changed" || id == "readonly") {
        if (choice == 0)
            saveTo(savingTo_, id == "changed" || overwriteChanged_, id == "readonly");
        else if (choice == 1)
            askSaveAs();
        else
            quitAfterSave_ = false;
    } else if (id == "saveas") {
        if (choice == 0)
            saveAs(answer.name);
        else
            quitAfterSave_ = false;
    } else if (id == "exists") {
        if (choice == 0)
            saveTo(savingTo_, true, false);
        else
            quitAfterSave_ = false;
    } else if (id == "disk") {
        if (choice == 0) {
            known_ = diskState_;
            ui_.setStatus("kept the editor's version; saving replaces the file's");
        } else if (choice == 1) {
            loadFromDisk(diskBytes_, diskState_);
            ui_.setStatus("loaded " + scenePath_ + " from disk; Ctrl+Z brings the editor's version back");
        } else {
            askSaveAs();
        }
        diskBytes_.clear();
    }
}

void EditorSession::noteSignal(int signal) {
    // A second signal before the first was taken (the frames stand still): its own way out.
    if (signalNoted.exchange(signal) != 0) platform::endByStopRequest(signal);
}

void EditorSession::takeSignal() {
    const int signal = signalNoted.exchange(0);
    if (signal == 0) return;
    endedBySignal_ = signal;
    const std::string name = signal == platform::StopTerminate   ? "SIGTERM"
                             : signal == platform::StopInterrupt ? "SIGINT"
                             : signal == platform::StopHangUp    ? "SIGHUP"
                                                                 : "signal " + std::to_string(signal);
    // Nobody is there to answer a question: unsaved work is kept beside the scene instead.
    if (ui_.history().modified()) {
        std::string error;
        if (writeRecoveryCopy(scenePath_, document_.text(), error))
            logStream << "editor: " << name << ": the unsaved changes are kept in "
                      << recoveryPath(scenePath_) << "; " << scenePath_ << " is as it was" << std::endl;
        else
            logStream << "editor: " << name << ": the unsaved changes could not be kept: " << error
                      << std::endl;
    } else {
        logStream << "editor: " << name << ": nothing unsaved" << std::endl;
    }
    engine().quitRequested = true;
}

void EditorSession::logStatus() {
    // What the editor said on screen goes to the log too: a record of the session, and what
    // scripts that drive the editor wait for.
    if (ui_.statusCount() == loggedStatus_) return;
    loggedStatus_ = ui_.statusCount();
    logStream << "editor: " << ui_.status() << std::endl;
}
