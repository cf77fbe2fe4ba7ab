// Running a command line in a shell from a test: its output lines, exit status and duration.
#pragma once

#include <string>
#include <vector>

struct ProgramRun {
    int status = -1; // the exit status; -1 when the command could not run or was killed
    std::vector<std::string> lines;
    double seconds = 0;

    bool has(const std::string& line) const;
    bool hasEnding(const std::string& tail) const;
    // Index of the first line equal to `line` at or after `from`, or -1.
    int find(const std::string& line, int from = 0) const;
};

// The text in single quotes, for a shell command line.
std::string shellQuoted(const std::string& text);

// Runs `command` with sh, standard error joined to standard output.
ProgramRun runShellCommand(const std::string& command);
