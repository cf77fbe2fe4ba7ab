// The debug display over a running show (F1, --hud): music time, bar and beat, frames per
// second, the frame's CPU time and each pass's GPU time, the last events fired and the next one
// due, and whether the show is paused, looping, sped up or slowed down, or was just reloaded.
// Drawn by the renderer after the filter chain, with what a reload could not take under it.
#pragma once

#include "render/RenderInterface.h"

#include <string>
#include <vector>

namespace hud {

// After each frame: its duration (what the frame timer said) and the CPU time the frame's
// steps took, both in milliseconds.
void noteFrame(double frameMs, double cpuMs);

// The lines for the state the show is in now (empty when the display is off and nothing went
// wrong), handed to the renderer before the frame is drawn; pass timing follows the display.
void update();

// The display's lines for the state the show is in now (tests read them).
std::vector<ScreenLine> lines();

// "bar 57.3": the bar and beat (from 1) of a music time at the show's tempo.
std::string barAndBeat(double seconds);

} // namespace hud
