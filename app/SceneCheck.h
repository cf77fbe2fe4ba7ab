// `beatshow --check [DIR]`: loads the show's scene from DIR the way the show would, without a
// window, a GPU or an audio device, and says whether anything in it is broken.
//
// The check uses the real loader and registry: the asset kinds are registered as at start-up,
// a recording renderer stands in for the device (it keeps what it is handed and draws nothing)
// on a 1920 x 1080 window that exists only as a size, and the music backend only checks that a
// song file exists and starts like an Ogg file. The log is printed as usual, followed by a
// summary of the problems the load noted.
#pragma once

#include <string>

// Changes the working directory to `directory` and loads the show's scene from it. Returns the
// process exit status: 0 when no problem was noted, 1 otherwise (a missing scene file and a
// directory that cannot be entered are problems too).
int runSceneCheck(const std::string& directory);
