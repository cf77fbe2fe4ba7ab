#include "editor/model/SceneFile.h"

#include "editor/model/SceneDocument.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <io.h>
#endif

namespace {

std::string folderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

#if defined(_WIN32)
// Windows, through its C runtime: the files are opened in binary (the scene's line ends stay as
// they are) and are not handed to child processes. What a replaced file keeps is its read-only
// flag, the only permission the runtime knows; it has no owner to give away. The folder's entry
// is not synced (the runtime cannot open a folder; NTFS journals its entries itself).
int openToRead(const std::string& path) {
    return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int openToWrite(const std::string& path) {
    return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
}

int flushToDisk(int fd) {
    return ::_commit(fd);
}

void syncFolder(const std::string&) {}

// Whole seconds: the runtime knows no finer time (EditorSession looks into every notice).
int64_t modifiedNs(const struct stat& info) {
    return static_cast<int64_t>(info.st_mtime) * 1000000000;
}

struct Keep {
    bool readOnly = false;
};

std::optional<Keep> keepOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return Keep{(info.st_mode & _S_IWRITE) == 0};
}

void makeWritable(const std::string& path, bool writable) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_write, writable ? fs::perm_options::add : fs::perm_options::remove,
                    ec);
}

bool keepOnOpenFile(int, const std::optional<Keep>&) {
    return true; // the read-only flag goes on after the rename: a read-only file cannot be replaced
}

// Windows does not replace a read-only file: its flag comes off first, and goes on the new file.
bool replaceFile(const std::string& from, const std::string& to, const std::optional<Keep>& keep,
                 std::error_code& ec) {
    struct stat info {};
    if (::stat(to.c_str(), &info) == 0 && (info.st_mode & _S_IWRITE) == 0) makeWritable(to, true);
    std::filesystem::rename(from, to, ec);
    if (ec) return false;
    if (keep && keep->readOnly) makeWritable(to, false);
    return true;
}

bool isReadOnly(const std::string&, const struct stat& info) {
    return (info.st_mode & _S_IWRITE) == 0;
}

// Windows' own links are not followed: a linked scene is replaced by a file of its own (making a
// link there takes an administrator or developer mode, and the runtime cannot read one).
bool linkTarget(const std::string&, std::string&, std::string&) {
    return true;
}

Keep privateCopy(Keep keep) {
    keep.readOnly = false;
    return keep;
}
#else
int openToRead(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

int openToWrite(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int flushToDisk(int fd) {
    return ::fsync(fd);
}

// The folder's entry for a renamed file reaches the disk only when the folder itself is synced.
// A file system that cannot sync a folder (EINVAL) keeps its entries its own way.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

int64_t modifiedNs(const struct stat& info) {
    return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

// What a replaced file keeps: its permission bits and its owner.
struct Keep {
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
};

std::optional<Keep> keepOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return Keep{static_cast<mode_t>(info.st_mode & 07777), info.st_uid, info.st_gid};
}

// Set on the open descriptor, so a read-only mode does not stop the writing that follows. The
// owner is kept where this user may give the file away (root); elsewhere it is ours.
bool keepOnOpenFile(int fd, const std::optional<Keep>& keep) {
    if (!keep) return true;
    if (::fchmod(fd, keep->mode) != 0) return false;
    if (keep->owner != ::geteuid() || keep->group != ::getegid())
        if (::fchown(fd, keep->owner, keep->group) != 0) {
            // Not allowed: the file is the saving user's, as any new file of theirs would be.
        }
    return true;
}

bool replaceFile(const std::string& from, const std::string& to, const std::optional<Keep>&,
                 std::error_code& ec) {
    std::filesystem::rename(from, to, ec);
    return !ec;
}

bool isReadOnly(const std::string& path, const struct stat& info) {
    // Root may write anything; a file without any write bit was still made read-only on purpose.
    return ::access(path.c_str(), W_OK) != 0 || (info.st_mode & 0222) == 0;
}

// A linked scene is saved where the link leads: the link stays, its target gets the bytes.
// False with a message when the link leads nowhere.
bool linkTarget(const std::string& path, std::string& target, std::string& message) {
    namespace fs = std::filesystem;
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return true;
    std::error_code ec;
    const fs::path resolved = fs::canonical(path, ec);
    if (ec) {
        message = path + " is a link to " + fs::read_symlink(path, ec).string() +
                  ", which does not exist; not written";
        return false;
    }
    target = resolved.string();
    return true;
}

// Unsaved work is as private as the scene it belongs to, and its owner can always read it.
Keep privateCopy(Keep keep) {
    keep.mode |= S_IRUSR | S_IWUSR;
    return keep;
}
#endif

// Writes the bytes to a new file and flushes them to the disk before it counts as written.
bool writeWholeFile(const std::string& path, const std::string& text, const std::optional<Keep>& keep,
                    std::string& error) {
    const int fd = openToWrite(path);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    auto fail = [&](const char* what) {
        error = std::string("cannot ") + what + " " + path + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    };
    if (!keepOnOpenFile(fd, keep)) return fail("set the permissions of");
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("write");
        done += static_cast<size_t>(n);
    }
    if (flushToDisk(fd) != 0) return fail("write");
    if (::close(fd) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool writeAtomically(const std::string& path, const std::string& text, const std::optional<Keep>& keep,
                     std::string& error) {
    const std::string temporary = path + ".part" + std::to_string(::getpid());
    if (!writeWholeFile(temporary, text, keep, error)) return false;
    // std::filesystem's rename replaces the file on Windows too, where std::rename refuses.
    std::error_code ec;
    if (!replaceFile(temporary, path, keep, ec)) {
        error = "cannot replace " + path + ": " + ec.message();
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolder(folderOf(path));
    return true;
}

} // namespace

uint64_t sceneTextHash(const std::string& bytes) {
    // FNV-1a: enough to tell a file from its edited self, not a defence against anyone.
    uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

SceneFileState statSceneFile(const std::string& path) {
    SceneFileState state;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return state;
    state.exists = true;
    state.size = static_cast<uint64_t>(info.st_size);
    state.modifiedNs = modifiedNs(info);
    return state;
}

bool readSceneFile(const std::string& path, std::string& bytes, SceneFileState& state, std::string& error) {
    bytes.clear();
    state = SceneFileState{};
    const int fd = openToRead(path);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        ::close(fd);
        return false;
    }
    char block[65536];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.append(block, static_cast<size_t>(n));
    }
    ::close(fd);
    state.exists = true;
    state.size = bytes.size();
    state.modifiedNs = modifiedNs(info);
    state.hash = sceneTextHash(bytes);
    return true;
}

SceneSaveResult saveSceneFile(const std::string& path, const std::string& text, const SceneSave& save,
                              SceneFileState& written, std::string& message) {
    namespace fs = std::filesystem;
    std::string target = path;
    if (!linkTarget(path, target, message)) return SceneSaveResult::Failed;
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        message = path + " is not a regular file; not written";
        return SceneSaveResult::Failed;
    }
    // The bytes on disk now are both what the check compares and what the backup keeps.
    std::string previous;
    SceneFileState now;
    if (!readSceneFile(target, previous, now, message)) return SceneSaveResult::Failed;
    if (save.expected && !save.overwriteChanged && !now.sameContent(*save.expected)) {
        message = path + (now.exists ? " changed on disk since the editor read or saved it"
                                     : " was removed from the disk since the editor read or saved it");
        return SceneSaveResult::ChangedOnDisk;
    }
    if (now.exists && !save.overwriteReadOnly && isReadOnly(target, info)) {
        message = path + " is read-only";
        return SceneSaveResult::ReadOnly;
    }
    const std::optional<Keep> keep = keepOf(target);
    // The previous file, complete, before the new one takes its name: the scene file itself
    // never goes missing, not even for a moment a watcher could see.
    if (now.exists && !writeAtomically(path + ".bak", previous, keep, message))
        return SceneSaveResult::Failed;
    if (!writeAtomically(target, text, keep, message)) return SceneSaveResult::Failed;
    written = statSceneFile(target);
    written.hash = sceneTextHash(text);
    written.size = text.size();
    return SceneSaveResult::Saved;
}

bool saveSceneFile(const std::string& path, const std::string& text, std::string& error) {
    SceneFileState written;
    SceneSave save;
    save.overwriteReadOnly = true;
    return saveSceneFile(path, text, save, written, error) == SceneSaveResult::Saved;
}

std::string recoveryPath(const std::string& path) {
    return path + ".recover";
}

bool writeRecoveryCopy(const std::string& path, const std::string& text, std::string& error) {
    // Unsaved work is as private as the scene it belongs to.
    std::optional<Keep> keep = keepOf(path);
    if (keep) keep = privateCopy(*keep);
    return writeAtomically(recoveryPath(path), text, keep, error);
}

bool isUtf16Text(const std::string& bytes) {
    if (bytes.size() >= 2) {
        const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) return true;
    }
    // Without a mark: the zero half of every ASCII character in the first line.
    const size_t head = std::min<size_t>(bytes.size(), 256);
    return std::memchr(bytes.data(), 0, head) != nullptr;
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
    SceneFileState written;
    switch (saveSceneFile(path, document.text(), SceneSave{}, written, error)) {
    case SceneSaveResult::Saved:
        message = "saved " + path + " (the previous file is " + path + ".bak)";
        return 0;
    case SceneSaveResult::ReadOnly:
        message = error + "; not saved";
        return 1;
    default:
        message = error;
        return 1;
    }
}
