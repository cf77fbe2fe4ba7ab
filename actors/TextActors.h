// Actors that show a fixed list of text lines one after another in the middle of the screen,
// each fading in, holding and fading out in amber:
//
// - Anouncer carries a short announcement of the show and sets the distortion filter when it
//   starts ("activate").
// - Greeter carries the credits and the greetings; "deactivate" stops it early.
//
// Both draw through the renderer's canvas list, which they join when they are built; they draw
// nothing while inactive. Lines are centred on an assumed advance of 28 pixels per character.
#pragma once

#include "actors/entity/Entity.h"
#include "render/RenderInterface.h"

#include <cstdint>
#include <string>
#include <vector>

// The fading state shared by both text actors; each actor owns one.
struct TextSequence {
    struct Timing {
        float fadeRate;   // per second
        float fadeInEnd;  // seconds in phase 0
        float holdEnd;    // seconds in phase 1
        float fadeOutEnd; // seconds in phase 2
    };
    enum Phase : int { FadingIn = 0, Holding = 1, FadingOut = 2 };

    bool active = false;
    float timer = 0.0f; // seconds in the current phase
    uint32_t colour = 0xFFFFFFFF;
    std::vector<std::string> lines;
    int lineIndex = 0;
    int phase = FadingIn;

    void start();
    // One frame: either a phase change or the timer advancing by the frame time, never both.
    void update(float frameTime, const Timing& timing);
    // The current line at the centre of the window, in large font.
    void draw(CanvasContext* context) const;
};

class Anouncer : public Actor, public RenderInterface::CanvasInterface {
public:
    static constexpr TextSequence::Timing Timing{2.5f, 0.5f, 1.85f, 0.5f};

    explicit Anouncer(std::string name);
    ~Anouncer() override;

    void Trigger(const std::string& name) override;
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "Anouncer"; }
    void Update(float frameTime) override;
    void draw(CanvasContext* context) override;

    const TextSequence& sequence() const { return sequence_; }

private:
    TextSequence sequence_;
};

class Greeter : public Actor, public RenderInterface::CanvasInterface {
public:
    static constexpr TextSequence::Timing Timing{2.0f, 0.4f, 1.6f, 0.4f};

    explicit Greeter(std::string name);
    ~Greeter() override;

    void Trigger(const std::string& name) override;
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "Greeter"; }
    void Update(float frameTime) override;
    void draw(CanvasContext* context) override;

    const TextSequence& sequence() const { return sequence_; }

private:
    TextSequence sequence_;
};
