// Which files of the show's directory changed: shaders, the scene, meshes, bitmaps and music are
// read again when they do. The platform watches with the operating system's notifications where
// it has them; PollingFileWatcher compares modification times anywhere.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

class FileWatcher {
public:
    virtual ~FileWatcher() = default;
    // Paths relative to the watched directory ('/' separated) that changed since the last call,
    // each once, in name order.
    virtual std::vector<std::string> takeChanges() = 0;
};

// Scans the directory and its subdirectories at most once per interval and reports files whose
// modification time or size moved, and new files. Removed files are not reported (a save that
// replaces a file removes and creates it; the creation is what counts).
class PollingFileWatcher : public FileWatcher {
public:
    explicit PollingFileWatcher(std::filesystem::path directory,
                                std::chrono::milliseconds interval = std::chrono::milliseconds(250));
    std::vector<std::string> takeChanges() override;

private:
    struct Stamp {
        std::filesystem::file_time_type time;
        std::uintmax_t size = 0;
        bool operator==(const Stamp&) const = default;
    };
    std::map<std::string, Stamp> scan() const;

    std::filesystem::path directory_;
    std::chrono::milliseconds interval_;
    std::chrono::steady_clock::time_point lastScan_;
    std::map<std::string, Stamp> known_;
};
