#include "engine/base/FileWatcher.h"

namespace fs = std::filesystem;

PollingFileWatcher::PollingFileWatcher(fs::path directory, std::chrono::milliseconds interval)
    : directory_(std::move(directory)), interval_(interval), lastScan_(std::chrono::steady_clock::now()),
      known_(scan()) {}

std::map<std::string, PollingFileWatcher::Stamp> PollingFileWatcher::scan() const {
    std::map<std::string, Stamp> files;
    std::error_code ec;
    // A show's directory is shallow; links are not followed, so a loop of links cannot stall it.
    for (fs::recursive_directory_iterator it(directory_, ec), end; !ec && it != end; it.increment(ec)) {
        if (it.depth() > 4) it.disable_recursion_pending();
        std::error_code fileError;
        if (!it->is_regular_file(fileError)) continue;
        Stamp stamp{it->last_write_time(fileError), it->file_size(fileError)};
        if (fileError) continue;
        files[fs::relative(it->path(), directory_, fileError).generic_string()] = stamp;
    }
    return files;
}

std::vector<std::string> PollingFileWatcher::takeChanges() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastScan_ < interval_) return {};
    lastScan_ = now;
    std::map<std::string, Stamp> files = scan();
    std::vector<std::string> changed;
    for (const auto& [name, stamp] : files) {
        auto it = known_.find(name);
        if (it == known_.end() || !(it->second == stamp)) changed.push_back(name);
    }
    known_ = std::move(files);
    return changed;
}
