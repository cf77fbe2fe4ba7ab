// What the tempo and sync options add to a run: the link to a sync editor polled between frames
// (--sync), a log line for every beat the actors get (--log-beats), and the export of the show's
// tracks as Rocket files (--export-tracks).
#pragma once

#include "app/SyncOptions.h"
#include "engine/loop/MainLoop.h"

#include <memory>
#include <string>
#include <vector>

class FrameTimer;
class SharedDocument;
struct ProgramOptions;

// The observers the options ask for, each wrapping the one before it (`inner` first); the last
// is the run's observer. Empty when the options ask for none. False with a message when the link
// cannot start (a host without an address). With `editor` (--edit), the link works on the
// editor's document.
bool makeSyncObservers(const SyncOptions& options, FrameTimer& timer, FrameObserver* inner,
                       std::vector<std::unique_ptr<FrameObserver>>& observers, std::string& error,
                       SharedDocument* editor = nullptr);

// `beatshow --export-tracks DIR` in the show's directory: every binding's three tracks at the
// scene's tempo, as DIR/sync_NAME.track files and DIR/sync.rocket. 0, or 1 with a message.
int exportShowTracks(const SyncOptions& options, std::string& message);

// --start and --until in bars count at the scene's tempo: reads it when they need it (or the
// link does). False with a message when a beat does not exist in the scene's bars.
bool applySceneTempo(ProgramOptions& options, std::string& error);
