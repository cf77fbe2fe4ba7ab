#include "editor/EditorSession.h"

#include "actors/EngineCamera.h"
#include "editor/model/Picking.h"
#include "editor/model/SceneFile.h"
#include "engine/EngineRegistry.h"
#include "engine/base/FrameTimer.h"
#include "engine/base/Log.h"
#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/Transport.h"
#include "platform/VorbisDecoder.h"

#include <SDL.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include <chrono>
#include <cmath>
#include <filesystem>

namespace {

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long long fileStamp(const std::string& path) {
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec) return 0;
    const auto size = std::filesystem::file_size(path, ec);
    return static_cast<long long>(time.time_since_epoch().count()) + (ec ? 0 : static_cast<long long>(size));
}

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
    SDL_SetEventFilter(nullptr, nullptr);
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
    guiReady_ = false;
}

bool EditorSession::open(std::string& error) {
    if (!document_.load(scenePath_)) {
        error = "cannot read " + scenePath_ + " in " + std::filesystem::current_path().string();
        return false;
    }
    fileStamp_ = fileStamp(scenePath_);
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
    ImGui_ImplSDL2_ProcessEvent(event);
    const ImGuiIO& io = ImGui::GetIO();
    switch (event->type) {
    case SDL_MOUSEMOTION:
        mouseSeen_ = true;
        mouseX_ = static_cast<float>(event->motion.x);
        mouseY_ = static_cast<float>(event->motion.y);
        return false;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
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
        if (io.WantCaptureKeyboard || io.WantTextInput) return false;
        if ((event->key.keysym.mod & KMOD_CTRL) || editorKey(event->key.keysym.scancode)) return false;
        if (event->type == SDL_KEYDOWN && event->key.keysym.scancode == SDL_SCANCODE_ESCAPE &&
            ui_.history().modified() && seconds() > quitArmedUntil_) {
            // Unsaved edits are not thrown away by one key: a second Escape soon after quits.
            quitArmedUntil_ = seconds() + 3.0;
            ui_.setStatus("unsaved changes: Ctrl+S saves them, Escape again quits without saving");
            return false;
        }
        if (event->type == SDL_KEYDOWN && event->key.keysym.scancode == SDL_SCANCODE_ESCAPE) userQuit_ = true;
        return true;
    }
    case SDL_QUIT:
    case SDL_WINDOWEVENT:
        if ((event->type == SDL_QUIT || event->window.event == SDL_WINDOWEVENT_CLOSE) &&
            ui_.history().modified() && seconds() > quitArmedUntil_) {
            quitArmedUntil_ = seconds() + 3.0;
            ui_.setStatus("unsaved changes: Ctrl+S saves them, close again to quit without saving");
            return false;
        }
        if (event->type == SDL_QUIT || event->window.event == SDL_WINDOWEVENT_CLOSE) userQuit_ = true;
        return true;
    default:
        return true;
    }
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
    if (r.window) {
        frame.width = static_cast<float>(r.window->width);
        frame.height = static_cast<float>(r.window->height);
    }
    const EditorRequests asked = ui_.draw(frame);
    requests_.seek = requests_.seek || asked.seek;
    if (asked.seek) requests_.seekTarget = asked.seekTarget;
    requests_.reload = requests_.reload || asked.reload;
    requests_.save = requests_.save || asked.save;
    requests_.togglePause = requests_.togglePause != asked.togglePause;
    requests_.quit = requests_.quit || asked.quit;
    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
}

void EditorSession::save() {
    std::string error;
    if (!saveSceneFile(scenePath_, document_.text(), error)) {
        ui_.setStatus("not saved: " + error);
        logStream << "editor: not saved: " << error << std::endl;
        return;
    }
    ui_.history().markSaved();
    ui_.history().seal();
    fileStamp_ = fileStamp(scenePath_);
    ui_.setStatus("saved " + scenePath_);
    logStream << "editor: saved " << scenePath_ << std::endl;
}

void EditorSession::watchFile() {
    if (++framesSinceStat_ < 30) return;
    framesSinceStat_ = 0;
    const long long stamp = fileStamp(scenePath_);
    if (stamp == fileStamp_ || stamp == 0) return;
    fileStamp_ = stamp;
    // Changed by someone else: read again unless that would throw edits away.
    if (ui_.history().modified()) {
        ui_.setStatus("the scene file changed on disk; Ctrl+S would overwrite that change");
        return;
    }
    if (document_.load(scenePath_)) {
        ui_.history().clear();
        ui_.selection().clear();
        ui_.setStatus("the scene file changed on disk and was read again");
    }
}

void EditorSession::afterFrame(double dt) {
    EngineRegistry& r = engine();
    // The show's "exit" event ends a show, not the editing of it: the music stops there.
    if (r.quitRequested && !userQuit_ && guiReady_) {
        r.quitRequested = false;
        if (!r.clock.paused()) transport::togglePause();
        ui_.setStatus("the show exits here; paused (Escape quits the editor)");
        logStream << "editor: the show's exit at " << r.musicTime.load() << " s; paused" << std::endl;
    }
    if (inner_) inner_->afterFrame(dt);
    const EditorRequests asked = requests_;
    requests_ = EditorRequests{};
    if (asked.save) save();
    if (asked.quit) {
        if (!ui_.history().modified() || seconds() < quitArmedUntil_) {
            r.quitRequested = true;
        } else {
            quitArmedUntil_ = seconds() + 3.0;
            ui_.setStatus("unsaved changes: Ctrl+S saves them, Quit again quits without saving");
        }
    }
    if (asked.togglePause) transport::togglePause();
    pendingReload_ = pendingReload_ || asked.reload;
    const bool ready = r.playing && !r.loading;
    if (pendingReload_ && ready) {
        pendingReload_ = false;
        const SceneReloadResult result = reloadShowSceneBytes(
            document_.text(), asked.seek ? static_cast<float>(asked.seekTarget) : r.musicTime.load());
        if (!result.problems.empty()) ui_.setStatus(result.problems.front());
        timer_.restart();
    } else if (asked.seek && ready) {
        transport::seekTo(asked.seekTarget);
        timer_.restart();
    }
    watchFile();
}
