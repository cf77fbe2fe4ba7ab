// launch.txt: the options a show starts with, in a file beside its scene (what `make release`
// writes: a party's full screen and vsync). One option a line, with its value after it; blank
// lines and lines that begin with '#' say nothing. They count as if typed before the command
// line's own options, so that the command line wins.
//
// Only options of a run that plays the show belong there: a show folder, --check, --new, --edit,
// --resave, --classes and --help are refused with the line they are on.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

extern const char launchFileName[]; // "launch.txt"

// The file's options as command-line arguments (each option, then its value when it has one).
// False with "launch.txt:LINE: why" when a line is not an option this program takes there; a
// missing file is no options and true.
bool readLaunchFile(const std::filesystem::path& file, std::vector<std::string>& arguments,
                    std::string& error);
