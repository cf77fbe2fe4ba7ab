// The editor's saving on Windows: the scene is replaced through a temporary file (Windows will
// not rename over a file with the C library's rename), byte for byte whatever its line ends, with
// the previous file as NAME.bak; a changed or read-only file is only replaced when the user
// agrees, and a read-only one stays read-only.
#include "editor/model/SceneFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

struct Folder {
    Folder() {
        path = fs::temp_directory_path() / ("beatshow-save-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(path, ec))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path / name, std::ios::binary) << bytes;
    }
    fs::path path;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool writable(const fs::path& path) {
    return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
}

TEST(SceneFileWindows, ReplacesTheSceneByteForByteKeepingThePreviousAsBak) {
    Folder show;
    show.write("epicrealtimetest.xml", "<base>\r\none</base>\n");
    const std::string path = (show.path / "epicrealtimetest.xml").string();
    std::string bytes, message;
    SceneFileState known;
    ASSERT_TRUE(readSceneFile(path, bytes, known, message)) << message;
    EXPECT_EQ(bytes, "<base>\r\none</base>\n"); // no line end translated on the way in

    SceneSave save;
    save.expected = &known;
    SceneFileState written;
    ASSERT_EQ(saveSceneFile(path, "<base>\ntwo\r\n</base>", save, written, message), SceneSaveResult::Saved)
        << message;
    EXPECT_EQ(readFile(path), "<base>\ntwo\r\n</base>");
    EXPECT_EQ(readFile(path + ".bak"), "<base>\r\none</base>\n");
    // Again: both the scene and its backup are replaced.
    known = written;
    ASSERT_EQ(saveSceneFile(path, "<base>three</base>", save, written, message), SceneSaveResult::Saved)
        << message;
    EXPECT_EQ(readFile(path), "<base>three</base>");
    EXPECT_EQ(readFile(path + ".bak"), "<base>\ntwo\r\n</base>");
    for (const auto& entry : fs::directory_iterator(show.path))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();

    // What the save says it wrote is what the disk holds: the editor's own save is no change.
    SceneFileState now;
    ASSERT_TRUE(readSceneFile(path, bytes, now, message)) << message;
    EXPECT_TRUE(written.sameContent(now));
    EXPECT_TRUE(written.sameStamp(now));

    // Someone else's change of the same size is not replaced unless the user agrees.
    known = written;
    show.write("epicrealtimetest.xml", "<base>yours</base>");
    EXPECT_EQ(saveSceneFile(path, "<base>again</base>", save, written, message),
              SceneSaveResult::ChangedOnDisk);
    EXPECT_EQ(readFile(path), "<base>yours</base>");
    save.overwriteChanged = true;
    ASSERT_EQ(saveSceneFile(path, "<base>again</base>", save, written, message), SceneSaveResult::Saved);
    EXPECT_EQ(readFile(path), "<base>again</base>");
    EXPECT_EQ(readFile(path + ".bak"), "<base>yours</base>");
}

TEST(SceneFileWindows, AReadOnlySceneIsOnlyReplacedWhenTheUserAgreesAndStaysReadOnly) {
    Folder show;
    show.write("epicrealtimetest.xml", "<base><scene></scene></base>");
    const fs::path path = show.path / "epicrealtimetest.xml";
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::remove);
    ASSERT_FALSE(writable(path));

    std::string message;
    SceneFileState written;
    EXPECT_EQ(saveSceneFile(path.string(), "<base>new</base>", SceneSave{}, written, message),
              SceneSaveResult::ReadOnly);
    EXPECT_EQ(message, path.string() + " is read-only");
    EXPECT_EQ(resaveShow(show.path.string(), message), 1);
    EXPECT_EQ(readFile(path), "<base><scene></scene></base>");

    SceneSave agreed;
    agreed.overwriteReadOnly = true;
    for (const char* text : {"<base>new</base>", "<base>newer</base>"}) {
        ASSERT_EQ(saveSceneFile(path.string(), text, agreed, written, message), SceneSaveResult::Saved)
            << message;
        EXPECT_EQ(readFile(path), text);
        EXPECT_FALSE(writable(path));
    }

    // Unsaved work kept beside it can be written again later, however the scene is.
    ASSERT_TRUE(writeRecoveryCopy(path.string(), "<base>unsaved</base>", message)) << message;
    ASSERT_TRUE(writeRecoveryCopy(path.string(), "<base>unsaved 2</base>", message)) << message;
    EXPECT_EQ(readFile(path.string() + ".recover"), "<base>unsaved 2</base>");
    EXPECT_TRUE(writable(path.string() + ".recover"));
    EXPECT_EQ(readFile(path), "<base>newer</base>");
}

} // namespace
