// "Did you mean ...?" for names in scene files: the known name closest to a misspelt one.
#pragma once

#include <string>
#include <vector>

// The candidate nearest to `name` when it is near enough to be a likely slip of the keyboard,
// else empty: the same letters in another case; a letter or two wrong, missing, added or swapped
// (one where either name has at most three letters, else by the longer: one up to four letters,
// two up to eight, three beyond); or a name that holds the
// other whole ("EngineCamera" for "Camera"). The nearest wins; ties go to the earlier candidate.
// `name` itself is never suggested.
std::string nearestName(const std::string& name, const std::vector<std::string>& candidates);

// "; did you mean 'x'?" (with the quotes given, 'x' or <x>) for the nearest candidate, or "".
std::string didYouMean(const std::string& name, const std::vector<std::string>& candidates,
                       const std::string& open = "'", const std::string& close = "'");
