// Reading presented frames back from the OpenGL renderer without stalling it.
//
// `queue` asks the device to copy the presented picture into the next of a small ring of pixel
// buffer objects and returns at once; `take` hands out the oldest copy once enough newer frames
// are queued behind it (by then the device has long finished it, so mapping it does not wait
// for the frame being drawn). Pictures come out as RGBA rows, top row first, upright as the
// screen shows them (the alpha byte is the back buffer's and means nothing).
//
// Every call belongs on the thread that renders, while the renderer's context is alive:
// `release` (or taking the last frame with `drain`) must happen before the renderer shuts down.
// The header holds no GL types, so the program's front end can use it as it is.
#pragma once

#include "render/RenderInterface.h"

#include <cstdint>
#include <functional>
#include <memory>

class FrameReadback {
public:
    // `depth`: buffers in the ring (at least 2); a frame is handed out `depth - 1` frames late.
    explicit FrameReadback(int depth = 3);
    // Calls no GL: release first while the context lives.
    ~FrameReadback();
    FrameReadback(const FrameReadback&) = delete;
    FrameReadback& operator=(const FrameReadback&) = delete;

    // Starts the copy of the renderer's presented frame, labelled `tag`. False when the renderer
    // is no OpenGL renderer, is not initialised, or changed size since the first frame, or when
    // the ring is full (take one first).
    bool queue(RenderInterface* renderer, int64_t tag);

    using Consumer = std::function<bool(const uint8_t* rgba, int width, int height, int64_t tag)>;
    // Hands the oldest queued frame to `use` while it is mapped, then frees its buffer. Without
    // `drain` only a frame with `depth - 1` newer ones behind it is handed out. False when no
    // frame was due, when it could not be read, or when `use` returned false.
    bool take(const Consumer& use, bool drain = false);

    int pending() const;
    // Deletes the GL objects; queued frames are dropped.
    void release();

private:
    struct Ring;
    std::unique_ptr<Ring> ring_;
};
