// Writing the scene file so that nothing of anybody's is lost:
// - through a temporary file beside it that takes the file's name only when it is complete and
//   on the disk (the file and its folder are synced), with the file as it was on disk just before
//   this save kept as NAME.bak;
// - the file stays what it was: a symbolic link is saved through (its target gets the new bytes,
//   the link stays a link), the permission bits and, where allowed, the owner are kept;
// - a file that changed on disk since the editor read or wrote it, and a read-only file, are
//   only written when the caller says the user agreed.
// It does not lock the file: a change made between the check and the rename (a few
// milliseconds) is not seen.
// On Windows, which the editor reaches through the C runtime only, less is kept: a link is
// replaced by a file of its own rather than saved through, the read-only flag is the permission
// kept and there is no owner to keep, the folder is not synced, and the stamp has whole seconds.
#pragma once

#include <cstdint>
#include <string>

// A scene file as it stands on disk. Its content's hash says whether it changed; the stamp
// (modification time and size) says cheaply whether it may have.
struct SceneFileState {
    bool exists = false;
    uint64_t hash = 0;
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    bool sameContent(const SceneFileState& other) const {
        return exists == other.exists && (!exists || (hash == other.hash && size == other.size));
    }
    bool sameStamp(const SceneFileState& other) const {
        return exists == other.exists && size == other.size && modifiedNs == other.modifiedNs;
    }
};

// The stamp only (no read): `hash` stays 0.
SceneFileState statSceneFile(const std::string& path);
// The file's bytes and its state; false with a message when it exists but cannot be read (a
// missing file is read as absent: true, `exists` false, no bytes).
bool readSceneFile(const std::string& path, std::string& bytes, SceneFileState& state, std::string& error);
uint64_t sceneTextHash(const std::string& bytes);

struct SceneSave {
    // What the file held when the editor last read or wrote it (null: not checked).
    const SceneFileState* expected = nullptr;
    bool overwriteChanged = false;  // the user agreed to replace a file changed since
    bool overwriteReadOnly = false; // the user agreed to replace a read-only file
};

enum class SceneSaveResult {
    Saved,
    Failed,        // nothing written; the message says why
    ChangedOnDisk, // not written: the file is not what `expected` says
    ReadOnly,      // not written: the file has no write permission
};

// Writes `text` as the scene file at `path`. On Saved, `written` is the file's new state; on
// anything else the scene file is as it was and `message` is one line saying why.
SceneSaveResult saveSceneFile(const std::string& path, const std::string& text, const SceneSave& save,
                              SceneFileState& written, std::string& message);
// The same without a check for changes made meanwhile; false with a message when not saved.
bool saveSceneFile(const std::string& path, const std::string& text, std::string& error);

// Unsaved work kept beside the scene as NAME.recover (the scene file itself is not touched);
// false with a message when it could not be written.
bool writeRecoveryCopy(const std::string& path, const std::string& text, std::string& error);
std::string recoveryPath(const std::string& path);

// Whether the bytes are UTF-16 text (a byte-order mark, or zero bytes beside the characters of
// the first line). The editor's splices write single bytes, so it edits only 8-bit text.
bool isUtf16Text(const std::string& bytes);

// `beatshow --resave DIR`: reads the show's scene and writes it back as the editor saves it.
// 0 when saved, 1 with a message when not (a read-only scene is not replaced).
int resaveShow(const std::string& directory, std::string& message);
