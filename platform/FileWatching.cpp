#include "platform/FileWatching.h"

#if defined(__linux__)
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <map>
#include <set>
#elif defined(_WIN32)
#include "platform/FileWatchingWin.h"
#endif

namespace fs = std::filesystem;

namespace platform {

#if defined(__linux__)
namespace {

// One watch per directory (the show's and its subdirectories); a file counts as changed when a
// writer closes it or a save renames it into place, not at every write of a save in progress.
// A directory that appears is watched from then on, and the files it already holds count as
// changed: they were written before its watch existed.
class InotifyWatcher : public FileWatcher {
public:
    explicit InotifyWatcher(int fd, fs::path directory) : fd_(fd), directory_(std::move(directory)) {
        addTree(directory_);
    }
    ~InotifyWatcher() override { close(fd_); }
    InotifyWatcher(const InotifyWatcher&) = delete;
    InotifyWatcher& operator=(const InotifyWatcher&) = delete;

    std::vector<std::string> takeChanges() override {
        std::set<std::string> changed;
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) break; // EAGAIN: nothing more waiting
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                auto dir = directories_.find(event->wd);
                if (dir == directories_.end() || event->len == 0) continue;
                const fs::path path = dir->second / event->name;
                if (event->mask & IN_ISDIR) {
                    if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
                        addTree(path);
                        // What was written into it before its watch was added (a folder copied
                        // or unpacked in one go) made no event: it is reported as found.
                        std::error_code ec;
                        for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end;
                             it.increment(ec)) {
                            if (it.depth() > 4) it.disable_recursion_pending();
                            std::error_code fileError;
                            if (it->is_regular_file(fileError))
                                changed.insert(
                                    fs::relative(it->path(), directory_, fileError).generic_string());
                        }
                    }
                    continue;
                }
                if (event->mask & IN_CREATE) continue; // an empty new file: its close says when it is whole
                std::error_code ec;
                changed.insert(fs::relative(path, directory_, ec).generic_string());
            }
        }
        return {changed.begin(), changed.end()};
    }

private:
    void addTree(const fs::path& root) {
        addDirectory(root);
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
            if (it.depth() > 4) it.disable_recursion_pending();
            std::error_code dirError;
            if (it->is_directory(dirError) && !it->is_symlink(dirError)) addDirectory(it->path());
        }
    }
    void addDirectory(const fs::path& path) {
        const int wd = inotify_add_watch(fd_, path.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE);
        if (wd >= 0) directories_[wd] = path;
    }

    int fd_;
    fs::path directory_;
    std::map<int, fs::path> directories_;
};

} // namespace
#endif

std::unique_ptr<FileWatcher> makeFileWatcher(const fs::path& directory) {
#if defined(__linux__)
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0) return std::make_unique<InotifyWatcher>(fd, directory);
#elif defined(_WIN32)
    if (auto watcher = makeDirectoryChangesWatcher(directory)) return watcher;
#endif
    return std::make_unique<PollingFileWatcher>(directory);
}

} // namespace platform
