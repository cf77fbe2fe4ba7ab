#include "app/LaunchFile.h"

#include "app/CommandLine.h"

#include <fstream>

const char launchFileName[] = "launch.txt";

namespace {

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace

bool readLaunchFile(const std::filesystem::path& file, std::vector<std::string>& arguments,
                    std::string& error) {
    arguments.clear();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return true;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = std::string(launchFileName) + ": cannot be read";
        return false;
    }
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        const std::string where = std::string(launchFileName) + ":" + std::to_string(number) + ": ";
        line = trimmed(line);
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line = trimmed(line.substr(3)); // Notepad's mark
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("--", 0) != 0) {
            error = where + "'" + line + "' is not an option (one option a line, such as --vsync)";
            arguments.clear();
            return false;
        }
        // The option, then everything after it as its value (a value may hold blanks).
        std::vector<std::string> words;
        const size_t gap = line.find_first_of(" \t");
        words.push_back(line.substr(0, gap));
        if (gap != std::string::npos) words.push_back(trimmed(line.substr(gap)));
        ProgramOptions alone;
        std::string why;
        if (parseCommandLine(words, alone, why) != 0) {
            error = where + why;
            arguments.clear();
            return false;
        }
        if (!alone.showDirectory.empty()) {
            error = where + words[0] + " takes no value, not '" + words[1] + "'";
            arguments.clear();
            return false;
        }
        if (!playsShow(alone) || alone.verbose) {
            error = where + words[0] + " does not belong in a launch file (only options of playing the show)";
            arguments.clear();
            return false;
        }
        arguments.insert(arguments.end(), words.begin(), words.end());
    }
    return true;
}
