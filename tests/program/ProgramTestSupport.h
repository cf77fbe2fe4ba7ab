// Scripted pieces for driving the program without a display: a music backend whose position the
// test sets, a system window whose messages the test queues, and an actor that records calls.
#pragma once

#include "actors/entity/Entity.h"
#include "engine/base/MusicPlayer.h"
#include "engine/base/SystemWindow.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class ScriptedMusic : public AudioBackend {
public:
    uint32_t createStream(const std::string& path, bool) override {
        opened.push_back(path);
        return exists ? 1 : 0;
    }
    bool play(uint32_t stream) override {
        ++plays;
        return stream == 1;
    }
    double position(uint32_t) override { return positionSeconds.load(); }
    int lastError() override { return 2; }

    bool exists = true;
    std::atomic<double> positionSeconds{0.0};
    std::atomic<int> plays{0};
    std::vector<std::string> opened;
};

class ScriptedWindow : public SystemWindow {
public:
    bool pollMessage(WindowMessage& message) override {
        std::lock_guard lock(mutex);
        if (queue.empty()) return false;
        message = queue.front();
        queue.pop_front();
        return true;
    }
    bool makeContextCurrent() override { return true; }
    void swapBuffers() override {}
    int drawableWidth() const override { return 1920; }
    int drawableHeight() const override { return 1080; }
    void showWindow() override {}
    void setCursorVisible(bool visible) override { cursorVisible = visible; }
    void getCursorPosition(int& x, int& y) override { x = y = 0; }
    void moveCursor(int x, int y) override { moves.push_back({x, y}); }

    void push(WindowMessage m) {
        std::lock_guard lock(mutex);
        queue.push_back(m);
    }

    std::mutex mutex;
    std::deque<WindowMessage> queue;
    bool cursorVisible = true;
    std::vector<std::pair<int, int>> moves;
};

// Records Update's frame times and OnBeat calls; journal lines look like "update 16.5" and "beat".
class JournalActor : public Actor {
public:
    JournalActor(std::string name, std::vector<std::string>* journal)
        : Actor(std::move(name)), journal_(journal) {}
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "JournalActor"; }
    void Update(float frameTime) override {
        updates.push_back(frameTime);
        if (journal_) journal_->push_back(name + " update");
    }
    void OnBeat(uint32_t) override {
        ++beats;
        if (journal_) journal_->push_back(name + " beat");
    }
    void Trigger(const std::string& event) override {
        if (journal_) journal_->push_back(name + " " + event);
    }
    std::vector<float> updates;
    int beats = 0;

private:
    std::vector<std::string>* journal_;
};
