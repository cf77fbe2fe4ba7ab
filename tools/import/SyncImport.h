// beatshow-import's tempo and tracker side:
//
//   beatshow-import --detect-tempo SONG
//       prints the scene line of the song's tempo (<tempo bpm="128" beatsPerBar="4" firstBeat="0.012" />)
//   beatshow-import PROJECT.rocket [--into DIR] [--rows-per-beat N] [--bpm BPM]
//   beatshow-import sync_NAME.track... [--into DIR] [--rows-per-beat N] [--bpm BPM]
//       prints the tracks as the scene's <automations> keys, one binding for each ENTITY:PARAMETER
//       with its .x, .y and .z tracks, rows counted at the tempo of the scene in DIR (default the
//       working directory; --bpm overrides it) and N rows a beat (default 8)
//
// Standard output carries only the snippet or the line; what happened goes to the message stream.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// False when the arguments are not a tempo or tracker import (the importer's own command line
// then reads them); otherwise the import ran and `status` is its exit status (0 done, 1 a file
// did not come in, 2 a bad command line).
bool runSyncImport(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& messages,
                   int& status);
// The lines --help adds for them.
std::string syncImportUsage();
