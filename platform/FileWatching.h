// The show directory's watcher: the kernel's notifications where the system has them (inotify on
// Linux, ReadDirectoryChangesW on Windows), otherwise a scan of modification times a few times a
// second.
#pragma once

#include "engine/base/FileWatcher.h"

#include <filesystem>
#include <memory>

namespace platform {

std::unique_ptr<FileWatcher> makeFileWatcher(const std::filesystem::path& directory);

} // namespace platform
