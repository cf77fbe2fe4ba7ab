#include "tests/support/ProgramRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/wait.h>

bool ProgramRun::has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool ProgramRun::hasEnding(const std::string& tail) const {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.ends_with(tail); });
}

int ProgramRun::find(const std::string& line, int from) const {
    for (size_t i = static_cast<size_t>(std::max(from, 0)); i < lines.size(); ++i)
        if (lines[i] == line) return static_cast<int>(i);
    return -1;
}

std::string shellQuoted(const std::string& text) {
    return "'" + text + "'";
}

ProgramRun runShellCommand(const std::string& command) {
    ProgramRun run;
    const auto start = std::chrono::steady_clock::now();
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    std::string output;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    const int status = ::pclose(pipe);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    size_t begin = 0;
    while (begin < output.size()) {
        size_t end = output.find('\n', begin);
        if (end == std::string::npos) end = output.size();
        run.lines.push_back(output.substr(begin, end - begin));
        begin = end + 1;
    }
    return run;
}
