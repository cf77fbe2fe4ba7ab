#include "editor/model/SceneFile.h"

#include "editor/model/SceneDocument.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#endif

namespace {

#if defined(_WIN32)
// Binary, so that the scene's line ends stay as they are; not handed to child processes.
int openForWriting(const std::string& path) {
    return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
}
int flushToDisk(int fd) {
    return ::_commit(fd);
}
#else
int openForWriting(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}
int flushToDisk(int fd) {
    return ::fsync(fd);
}
#endif

// Writes the bytes to a new file and flushes them to the disk before it counts as written.
bool writeWholeFile(const std::string& path, const std::string& text, std::string& error) {
    const int fd = openForWriting(path);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(path.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (flushToDisk(fd) != 0 || ::close(fd) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool writeAtomically(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".part" + std::to_string(::getpid());
    if (!writeWholeFile(temporary, text, error)) return false;
    // std::filesystem's rename replaces the file on Windows too, where std::rename refuses.
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        error = "cannot replace " + path + ": " + ec.message();
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

bool saveSceneFile(const std::string& path, const std::string& text, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) {
        // The previous file, complete, before the new one takes its name: the scene file itself
        // never goes missing, not even for a moment a watcher could see.
        std::string previous;
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            char block[65536];
            size_t got;
            while ((got = std::fread(block, 1, sizeof block, f)) > 0)
                previous.append(block, got);
            const bool failed = std::ferror(f);
            std::fclose(f);
            if (failed) {
                error = "cannot read " + path + " to keep it as " + path + ".bak";
                return false;
            }
        }
        if (!writeAtomically(path + ".bak", previous, error)) return false;
    } else if (std::filesystem::exists(path, ec)) {
        error = path + " is not a regular file; not written";
        return false;
    }
    return writeAtomically(path, text, error);
}

int resaveShow(const std::string& directory, std::string& message) {
    const std::string path = (std::filesystem::path(directory) / "epicrealtimetest.xml").string();
    SceneDocument document;
    if (!document.load(path)) {
        message = "cannot read " + path;
        return 1;
    }
    if (!document.xml().root) {
        message = path + " holds no scene to save";
        return 1;
    }
    std::string error;
    if (!saveSceneFile(path, document.text(), error)) {
        message = error;
        return 1;
    }
    message = "saved " + path + " (the previous file is " + path + ".bak)";
    return 0;
}
