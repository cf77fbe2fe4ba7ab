#include "render/gl/FrameReadback.h"

#include "render/gl/RendererGL.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <vector>

struct FrameReadback::Ring {
    struct Slot {
        GLuint buffer = 0;
        GLsync fence = nullptr;
        int64_t tag = 0;
    };
    std::vector<Slot> slots;
    size_t next = 0;  // the slot the next frame is copied into
    size_t count = 0; // frames queued and not yet taken
    int width = 0;
    int height = 0;

    size_t bytes() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 4; }
    size_t oldest() const { return (next + slots.size() - count) % slots.size(); }
};

FrameReadback::FrameReadback(int depth) : ring_(std::make_unique<Ring>()) {
    ring_->slots.resize(static_cast<size_t>(std::max(depth, 2)));
}

// The context may be gone by now (it takes its buffers with it): nothing is called here.
FrameReadback::~FrameReadback() = default;

int FrameReadback::pending() const {
    return static_cast<int>(ring_->count);
}

bool FrameReadback::queue(RenderInterface* renderer, int64_t tag) {
    auto* device = dynamic_cast<RendererGL*>(renderer);
    const GLuint texture = device ? device->presentedTexture() : 0;
    if (!texture) return false;
    Ring& r = *ring_;
    const int width = static_cast<int>(device->width());
    const int height = static_cast<int>(device->height());
    if (r.slots[0].buffer == 0) {
        r.width = width;
        r.height = height;
        for (Ring::Slot& slot : r.slots) {
            glCreateBuffers(1, &slot.buffer);
            // Client storage: the driver keeps it where the processor reads it fastest.
            glNamedBufferStorage(slot.buffer, static_cast<GLsizeiptr>(r.bytes()), nullptr,
                                 GL_MAP_READ_BIT | GL_CLIENT_STORAGE_BIT);
        }
        if (glGetError() != GL_NO_ERROR) {
            release();
            return false;
        }
    }
    if (width != r.width || height != r.height || r.count == r.slots.size()) return false;

    Ring::Slot& slot = r.slots[r.next];
    glBindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
    // RGBA rows are whole words at any width. The packing state is shared with every other read
    // of the context (a shot packs RGB rows of 3 x width bytes, one byte aligned), so it is put
    // back as it was.
    GLint alignment = 1;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // With a pack buffer bound the pointer is an offset into it: the call only queues the copy.
    glGetTextureImage(texture, 0, GL_RGBA, GL_UNSIGNED_BYTE, static_cast<GLsizei>(r.bytes()), nullptr);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    slot.fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    slot.tag = tag;
    if (glGetError() != GL_NO_ERROR || !slot.fence) {
        if (slot.fence) glDeleteSync(slot.fence);
        slot.fence = nullptr;
        return false;
    }
    // Sends the copy on its way now rather than with the next frame's work.
    glFlush();
    r.next = (r.next + 1) % r.slots.size();
    ++r.count;
    return true;
}

bool FrameReadback::take(const Consumer& use, bool drain) {
    Ring& r = *ring_;
    if (r.count == 0 || (!drain && r.count < r.slots.size() - 1)) return false;
    Ring::Slot& slot = r.slots[r.oldest()];
    --r.count;
    bool read = false;
    // A frame or two late the copy has normally finished; the wait is for slow devices only.
    const GLenum waited = glClientWaitSync(slot.fence, GL_SYNC_FLUSH_COMMANDS_BIT, 10'000'000'000ull);
    glDeleteSync(slot.fence);
    slot.fence = nullptr;
    if (waited == GL_ALREADY_SIGNALED || waited == GL_CONDITION_SATISFIED) {
        const void* pixels =
            glMapNamedBufferRange(slot.buffer, 0, static_cast<GLsizeiptr>(r.bytes()), GL_MAP_READ_BIT);
        if (pixels) {
            read = use(static_cast<const uint8_t*>(pixels), r.width, r.height, slot.tag);
            glUnmapNamedBuffer(slot.buffer);
        }
    }
    return read;
}

void FrameReadback::release() {
    Ring& r = *ring_;
    for (Ring::Slot& slot : r.slots) {
        if (slot.fence) glDeleteSync(slot.fence);
        if (slot.buffer) glDeleteBuffers(1, &slot.buffer);
        slot = Ring::Slot{};
    }
    r.next = r.count = 0;
}
