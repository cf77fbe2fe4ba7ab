// Windows: ReadDirectoryChangesW on the show's folder and on each folder below it (one watch a
// folder, as on Linux: a watch of a whole tree misses changes in its subfolders under Wine), read
// without waiting at each takeChanges. Windows says when a file is written, not when its writer
// is done with it, so a file counts as changed once it has been quiet for a moment: a save in
// progress is not read half-written.
#include "platform/FileWatchingWin.h"

#include <windows.h>

#include <chrono>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace platform {

namespace {

constexpr auto Quiet = std::chrono::milliseconds(150);
using Clock = std::chrono::steady_clock;

// One folder's notifications, asked for again each time they have been read.
struct FolderWatch {
    HANDLE folder = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED overlapped{};
    bool listening = false;
    alignas(DWORD) BYTE buffer[16 * 1024];

    ~FolderWatch() {
        if (listening) {
            CancelIoEx(folder, &overlapped);
            DWORD ignored = 0;
            GetOverlappedResult(folder, &overlapped, &ignored, TRUE);
        }
        if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
        if (event) CloseHandle(event);
    }

    bool open(const fs::path& path) {
        folder = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (folder == INVALID_HANDLE_VALUE || !event) return false;
        overlapped.hEvent = event;
        listen();
        return listening;
    }

    void listen() {
        listening = ReadDirectoryChangesW(folder, buffer, sizeof buffer, FALSE,
                                          FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                              FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE,
                                          nullptr, &overlapped, nullptr) != 0;
    }
};

class DirectoryChangesWatcher : public FileWatcher {
public:
    explicit DirectoryChangesWatcher(fs::path root) : root_(std::move(root)) {}
    DirectoryChangesWatcher(const DirectoryChangesWatcher&) = delete;
    DirectoryChangesWatcher& operator=(const DirectoryChangesWatcher&) = delete;

    // False when the show's folder itself cannot be watched.
    bool start() {
        addTree(root_, Clock::now(), false);
        return watches_.count(root_) > 0;
    }

    std::vector<std::string> takeChanges() override {
        const auto now = Clock::now();
        // New folders get their watches after the loop, which must not see the map change.
        std::vector<fs::path> newFolders;
        for (auto& [folder, watch] : watches_) {
            DWORD bytes = 0;
            while (watch->listening &&
                   GetOverlappedResult(watch->folder, &watch->overlapped, &bytes, FALSE)) {
                if (bytes == 0)
                    rescan(folder, now); // more changed than the buffer held
                else
                    read(*watch, folder, bytes, now, newFolders);
                watch->listen();
            }
        }
        for (const fs::path& folder : newFolders)
            addTree(folder, now, true);
        std::set<std::string> ready;
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (now - it->second >= Quiet) {
                ready.insert(it->first);
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
        return {ready.begin(), ready.end()};
    }

private:
    // Watches `top` and the folders below it (five levels, as on Linux); `noteFiles`: a folder
    // that came in brings its files along without an event for each.
    void addTree(const fs::path& top, Clock::time_point now, bool noteFiles) {
        addFolder(top);
        std::error_code ec;
        for (fs::recursive_directory_iterator it(top, ec), end; !ec && it != end; it.increment(ec)) {
            if (it.depth() > 4) it.disable_recursion_pending();
            std::error_code entryError;
            if (it->is_directory(entryError))
                addFolder(it->path());
            else if (noteFiles && it->is_regular_file(entryError))
                pending_[relative(it->path())] = now;
        }
    }

    void addFolder(const fs::path& folder) {
        if (watches_.count(folder)) return;
        auto watch = std::make_unique<FolderWatch>();
        if (watch->open(folder)) watches_[folder] = std::move(watch);
    }

    void read(const FolderWatch& watch, const fs::path& folder, DWORD bytes, Clock::time_point now,
              std::vector<fs::path>& newFolders) {
        for (DWORD at = 0; at < bytes;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(watch.buffer + at);
            const fs::path path =
                folder / std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
            std::error_code ec;
            if (info->Action != FILE_ACTION_REMOVED && info->Action != FILE_ACTION_RENAMED_OLD_NAME) {
                if (fs::is_directory(path, ec)) {
                    if (info->Action == FILE_ACTION_ADDED || info->Action == FILE_ACTION_RENAMED_NEW_NAME)
                        newFolders.push_back(path);
                } else if (fs::exists(path, ec)) {
                    pending_[relative(path)] = now;
                }
            }
            if (info->NextEntryOffset == 0) break;
            at += info->NextEntryOffset;
        }
    }

    void rescan(const fs::path& folder, Clock::time_point now) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec))
            if (entry.is_regular_file(ec)) pending_[relative(entry.path())] = now;
    }

    std::string relative(const fs::path& path) const {
        std::error_code ec;
        const std::u8string text = fs::relative(path, root_, ec).generic_u8string();
        return std::string(reinterpret_cast<const char*>(text.data()), text.size());
    }

    fs::path root_;
    std::map<fs::path, std::unique_ptr<FolderWatch>> watches_;
    std::map<std::string, Clock::time_point> pending_; // by path: its last change
};

} // namespace

std::unique_ptr<FileWatcher> makeDirectoryChangesWatcher(const fs::path& directory) {
    std::error_code ec;
    auto watcher = std::make_unique<DirectoryChangesWatcher>(fs::absolute(directory, ec));
    if (!watcher->start()) return nullptr;
    return watcher;
}

} // namespace platform
