// Windows: ReadDirectoryChangesW on the show's folder and everything below it, read without
// waiting at each takeChanges. Windows says when a file is written, not when its writer is done
// with it, so a file counts as changed once it has been quiet for a moment: a save in progress
// is not read half-written.
#include "platform/FileWatchingWin.h"

#include <windows.h>

#include <chrono>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace platform {

namespace {

constexpr auto Quiet = std::chrono::milliseconds(150);

class DirectoryChangesWatcher : public FileWatcher {
public:
    DirectoryChangesWatcher(HANDLE directory, HANDLE event, fs::path root)
        : directory_(directory), event_(event), root_(std::move(root)) {
        overlapped_.hEvent = event_;
        listen();
    }
    ~DirectoryChangesWatcher() override {
        CancelIoEx(directory_, &overlapped_);
        DWORD ignored = 0;
        GetOverlappedResult(directory_, &overlapped_, &ignored, TRUE);
        CloseHandle(directory_);
        CloseHandle(event_);
    }
    DirectoryChangesWatcher(const DirectoryChangesWatcher&) = delete;
    DirectoryChangesWatcher& operator=(const DirectoryChangesWatcher&) = delete;

    std::vector<std::string> takeChanges() override {
        const auto now = std::chrono::steady_clock::now();
        DWORD bytes = 0;
        while (listening_ && GetOverlappedResult(directory_, &overlapped_, &bytes, FALSE)) {
            if (bytes == 0) {
                // More changed than the buffer held: every file counts as changed.
                rescan(now);
            } else {
                read(bytes, now);
            }
            listen();
        }
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
    void listen() {
        listening_ = ReadDirectoryChangesW(directory_, buffer_, sizeof buffer_, TRUE,
                                           FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                               FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE,
                                           nullptr, &overlapped_, nullptr) != 0;
    }

    void read(DWORD bytes, std::chrono::steady_clock::time_point now) {
        for (DWORD at = 0; at < bytes;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + at);
            const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (info->Action != FILE_ACTION_REMOVED && info->Action != FILE_ACTION_RENAMED_OLD_NAME) note(name, now);
            if (info->NextEntryOffset == 0) break;
            at += info->NextEntryOffset;
        }
    }

    void note(const std::wstring& name, std::chrono::steady_clock::time_point now) {
        const fs::path path = root_ / name;
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            // A folder moved in brings its files along without an event for each.
            for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
                if (it->is_regular_file(ec)) pending_[relative(it->path())] = now;
            return;
        }
        if (fs::exists(path, ec)) pending_[relative(path)] = now;
    }

    void rescan(std::chrono::steady_clock::time_point now) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec)) pending_[relative(it->path())] = now;
    }

    std::string relative(const fs::path& path) const {
        std::error_code ec;
        const std::u8string text = fs::relative(path, root_, ec).generic_u8string();
        return std::string(reinterpret_cast<const char*>(text.data()), text.size());
    }

    HANDLE directory_;
    HANDLE event_;
    fs::path root_;
    OVERLAPPED overlapped_{};
    bool listening_ = false;
    alignas(DWORD) BYTE buffer_[64 * 1024];
    std::map<std::string, std::chrono::steady_clock::time_point> pending_; // by path, last change
};

} // namespace

std::unique_ptr<FileWatcher> makeDirectoryChangesWatcher(const fs::path& directory) {
    std::error_code ec;
    const fs::path root = fs::absolute(directory, ec);
    const HANDLE handle =
        CreateFileW(root.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        CloseHandle(handle);
        return nullptr;
    }
    return std::make_unique<DirectoryChangesWatcher>(handle, event, root);
}

} // namespace platform
