// Actors that show a fixed list of text lines one after another in the middle of the screen,
// each fading in, holding and fading out in amber:
//
// - Anouncer carries a short announcement of the show and sets the distortion filter when it
//   starts ("activate").
// - Greeter carries the credits and the greetings; "deactivate" stops it early.
//
// Both draw through the renderer's canvas list, which they join when they are built; they draw
// nothing while inactive. Their built-in lines are centred on an assumed advance of 28 pixels per
// character.
//
// A scene gives either actor words of its own with <line text="..." /> elements (optionally
// hold="SECONDS", how long the line stays at full strength; the class's hold otherwise): they
// replace the built-in lines, in file order, and are centred on their measured width. Without
// such elements an actor keeps its built-in lines and timing exactly.
//
// The composition is made for a 1920 x 1080 screen. At any other window height the letters,
// their advance and the centring scale with the height (the window's centre stays the anchor), so
// a small window shows the full-size picture smaller instead of cutting lines off.
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

    // The window height the composition is made for.
    static constexpr unsigned DesignHeight = 1080;

    bool active = false;
    float timer = 0.0f; // seconds in the current phase
    uint32_t colour = 0xFFFFFFFF;
    std::vector<std::string> lines;
    int lineIndex = 0;
    int phase = FadingIn;
    // Lines from the scene: centred on their measured width, each with its hold in seconds
    // (negative: the class's). Empty holds while the built-in lines are in use.
    bool ownLines = false;
    std::vector<float> holdSeconds;

    void start();
    // One frame: either a phase change or the timer advancing by the frame time, never both.
    void update(float frameTime, const Timing& timing);
    // The current line at the centre of the window, in large font.
    void draw(CanvasContext* context) const;
    // A <line> element from the scene: the first replaces the built-in lines, later ones add to them.
    Actor::ElementResult takeLine(const ActorElement& element, std::string& why);
};

// Text from a scene file as the overlay fonts draw it (Windows-1252): UTF-8 letters that the code
// page has are converted, others become "?"; text that is not UTF-8 is taken as it is.
std::string overlayText(const std::string& text);

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
    ElementResult TakeElement(const ActorElement& element, std::string& why) override;

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
    ElementResult TakeElement(const ActorElement& element, std::string& why) override;

    const TextSequence& sequence() const { return sequence_; }

private:
    TextSequence sequence_;
};
