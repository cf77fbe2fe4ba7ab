// The files a Rocket sync editor and a Rocket player read: a release track file per track and the
// editor's project file.
//
// A track file ("PREFIX_NAME.track", the name with the bytes a file name cannot hold, <>:"/\|?*,
// written as "-" and two hex digits, so that no name reaches outside the folder) holds, little-endian as the
// players read it on every machine they run on: an i32 key count, then per key an i32 row, an f32 value and a
// u8 key type. A project file is XML: <sync rows="N"><tracks><track name="NAME"><key row="R" value="V"
// interpolation="T" /></track></tracks></sync>; reading takes those and ignores whatever else
// an editor writes there (colours, folding, bookmarks).
//
// Decoding reads only the bytes handed in and refuses, with a message, a file that ends inside a
// key, says more keys than it holds, holds a key type beyond ramp or a value that is not a number.
#pragma once

#include "scene/sync/SyncTracks.h"

#include <string>
#include <vector>

struct NamedTrack {
    std::string name;
    TrackKeys keys;
};

std::string encodeTrackFile(const TrackKeys& keys);
bool decodeTrackFile(const std::string& bytes, TrackKeys& keys, std::string& error);

// "sync_Cam1-3APosition.x.track" for the prefix "sync" and the track "Cam1:Position.x"; and back
// (false for a file name that is not one of the prefix's).
std::string trackFileName(const std::string& prefix, const std::string& track);
bool trackOfFileName(const std::string& prefix, const std::string& fileName, std::string& track);

std::string encodeRocketProject(const std::vector<NamedTrack>& tracks, uint32_t rows);
bool decodeRocketProject(const std::string& bytes, std::vector<NamedTrack>& tracks, std::string& error);
