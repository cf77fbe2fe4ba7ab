#include "engine/base/Viewport.h"

#include "engine/base/SystemWindow.h"

int translateKey(int key, bool shiftDown) {
    if (key == VirtualKey::Backspace || key == VirtualKey::Escape || key == VirtualKey::Space) return key;
    if (key >= '0' && key <= '9') return key;
    if (key == VirtualKey::F1 || key == VirtualKey::F2) return key;
    if (key == VirtualKey::Insert || key == VirtualKey::Separator || key == VirtualKey::Subtract) return '-';
    if (key >= 'A' && key <= 'Z') return shiftDown ? key : key + 32;
    if (key == VirtualKey::Period) return '.';
    return 0;
}

void Viewport::handleMessage(const WindowMessage& message) {
    switch (message.type) {
    case WindowMessage::KeyDown: {
        if (message.key == VirtualKey::Escape) running = 0;
        if (message.key == VirtualKey::Shift) {
            shiftDown = true;
            break;
        }
        const int c = translateKey(message.key, shiftDown);
        if (c != 0) typed.push_back(static_cast<char>(c));
        if (message.key >= 0 && message.key < 256) keyDown[message.key] = 1;
        pressed.push_back(message.key);
        if (pressed.size() > MaxPressed) pressed.pop_front();
        break;
    }
    case WindowMessage::KeyUp:
        if (message.key == VirtualKey::Shift)
            shiftDown = false;
        else if (message.key >= 0 && message.key < 256)
            keyDown[message.key] = 0;
        break;
    case WindowMessage::MouseMove:
        mouseX = static_cast<int16_t>(message.param & 0xFFFF);
        mouseY = static_cast<int16_t>((message.param >> 16) & 0xFFFF);
        break;
    case WindowMessage::LeftButtonDown:
        if (!leftDown) leftDown = mouseEvent = true;
        break;
    case WindowMessage::LeftButtonUp:
        if (leftDown) {
            leftDown = false;
            mouseEvent = true;
        }
        break;
    case WindowMessage::RightButtonDown:
        if (!rightDown) rightDown = mouseEvent = true;
        break;
    case WindowMessage::RightButtonUp:
        if (rightDown) {
            rightDown = false;
            mouseEvent = true;
        }
        break;
    case WindowMessage::Close:
        closeRequested = true;
        break;
    case WindowMessage::None:
        break;
    }
}

int Viewport::pumpOneMessage() {
    WindowMessage message;
    // Mouse motion does not count as the frame's message: only the latest position matters, and
    // a key behind a flood of motion must still act on the next frame. (The cap only bounds a
    // window that hands motion over event by event.)
    for (int motion = 0; motion < 4096 && system && system->pollMessage(message); ++motion) {
        handleMessage(message);
        if (message.type != WindowMessage::MouseMove) break;
    }
    return 0;
}
