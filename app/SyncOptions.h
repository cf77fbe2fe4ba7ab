// The options of the show's tempo and of the link to a sync tracker:
//
//   --sync [HOST:]PORT        link to a Rocket sync editor (default 127.0.0.1:1338)
//   --sync-rows-per-beat N    the tracker's rows a beat of the show's tempo (default 8)
//   --export-tracks DIR       write the show's tracks as Rocket track files and a project, and end
//   --bpm BPM                 with --new: the new show's tempo and its song's (default 141)
//   --log-beats               a log line for every frame in which the actors get OnBeat
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ProgramOptions;

struct SyncOptions {
    bool enabled = false; // --sync
    std::string host = "127.0.0.1";
    uint16_t port = 1338;
    int rowsPerBeat = 8;
    std::string exportDirectory; // --export-tracks
    double newShowBpm = 141.0;
    bool bpmGiven = false;
    bool logBeats = false;
};

constexpr int MaxRowsPerBeat = 256;

// 1 when arguments[i] is one of the options above (i then points at its last word), 0 when it
// is none of them, -1 with a message for a bad value.
int parseSyncOption(const std::vector<std::string>& arguments, size_t& i, SyncOptions& sync,
                    std::string& error);
// 0, or -1 with a message for options that do not go together.
int checkSyncOptions(const ProgramOptions& options, std::string& error);
// The lines `beatshow --help` gives these options.
std::string syncUsageText();

// "HOST:PORT", "PORT" or "[IPv6]:PORT"; false for anything else.
bool parseSyncAddress(const std::string& text, std::string& host, uint16_t& port);
