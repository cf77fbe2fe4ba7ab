// The show directory's watcher on Windows (FileWatchingWin.cpp): the system's change
// notifications for the folder and everything below it.
#pragma once

#include "engine/base/FileWatcher.h"

#include <filesystem>
#include <memory>

namespace platform {

// Null when the folder cannot be watched (the caller falls back to scanning it).
std::unique_ptr<FileWatcher> makeDirectoryChangesWatcher(const std::filesystem::path& directory);

} // namespace platform
