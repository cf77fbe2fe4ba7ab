// The child process on Windows (CreateProcess, pipes the child's C runtime opens as descriptors
// 3, 4, ...), with the same cases as on Linux; the child is pipe_child.exe, built beside this test.
#include "app/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string pattern(size_t size, char seed) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(seed + i % 251);
    return text;
}

class Scratch {
public:
    Scratch() {
        path_ = fs::temp_directory_path() / ("beatshow-child-" + std::to_string(GetCurrentProcessId()) + "-" +
                                             std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const char* name) const { return (path_ / name).string(); }

private:
    fs::path path_;
    static inline int counter_ = 0;
};

TEST(ChildProcessWindows, ProgramsAreFoundBesideTheProgramAndOnThePath) {
    // pipe_child.exe lies beside this test: found without its .exe, as Windows finds programs.
    const std::string child = findProgram("pipe_child");
    EXPECT_TRUE(child.ends_with("pipe_child.exe")) << child;
    EXPECT_EQ(findProgram(child), child);
    const std::string cmd = findProgram("cmd");
    EXPECT_FALSE(cmd.empty()) << "cmd.exe is on Wine's PATH";
    EXPECT_EQ(findProgram("no-such-program-for-beatshow"), "");
    EXPECT_EQ(findProgram(""), "");

    ChildProcess missing;
    std::string error;
    EXPECT_FALSE(missing.start({"no-such-program-for-beatshow"}, 1, error));
    EXPECT_NE(error.find("no-such-program-for-beatshow"), std::string::npos) << error;
    EXPECT_FALSE(missing.running());
    EXPECT_EQ(missing.wait(), -1);
}

TEST(ChildProcessWindows, InputsArriveWholeAndInOrderAndTheOutputIsKept) {
    Scratch dir;
    const std::string a = dir.file("a"), b = dir.file("b");
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start({"pipe_child", "both", a, b}, 2, error)) << error;
    EXPECT_TRUE(child.running());
    const std::string big = pattern(3 << 20, 'a'); // more than the pipe holds
    const std::string small = pattern(5000, 'x');
    child.queue(1, small.data(), 1000);
    ASSERT_TRUE(child.write(0, big.data(), big.size()));
    child.queue(1, small.data() + 1000, small.size() - 1000);
    EXPECT_EQ(child.wait(), 0);
    EXPECT_FALSE(child.running());
    EXPECT_EQ(fileText(a), big);
    EXPECT_EQ(fileText(b), small);
    EXPECT_EQ(child.output(), "read both\noops\n");
}

TEST(ChildProcessWindows, AChildThatWantsTheQueuedInputFirstDoesNotStallTheWrite) {
    Scratch dir;
    const std::string a = dir.file("a"), b = dir.file("b");
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start({"pipe_child", "second-first", a, b}, 2, error)) << error;
    const std::string big = pattern(3 << 20, 'k');
    const std::string small = pattern(1500, 'q');
    child.queue(1, small.data(), small.size());
    ASSERT_TRUE(child.write(0, big.data(), big.size()));
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(fileText(a), big);
    EXPECT_EQ(fileText(b), small);
}

TEST(ChildProcessWindows, AChildThatQuitsEarlyFailsTheWritesAndReportsItsStatus) {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start({"pipe_child", "exit", "3"}, 2, error)) << error;
    const std::string big = pattern(4 << 20, 'z');
    EXPECT_FALSE(child.write(0, big.data(), big.size()));
    EXPECT_FALSE(child.write(0, "x", 1)) << "the input stays closed";
    child.queue(1, big.data(), big.size());
    EXPECT_EQ(child.wait(), 3);
    EXPECT_EQ(child.output(), "cannot go on\n");

    ChildProcess stuck;
    ASSERT_TRUE(stuck.start({"pipe_child", "sleep"}, 1, error)) << error;
    const DWORD before = GetTickCount();
    stuck.kill();
    EXPECT_FALSE(stuck.running());
    EXPECT_LT(GetTickCount() - before, 10000u) << "killed, not waited for";
}

TEST(ChildProcessWindows, ArgumentsArriveAsTheyWereGiven) {
    // Blanks, quotes and backslashes survive the command line Windows passes as one string.
    const std::vector<std::string> arguments = {
        "plain", "two words", "", "say \"hi\"", "C:\\folder\\", "back\\\\slash\\\" quote", "tab\there"};
    std::vector<std::string> command = {"pipe_child", "args"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start(command, 0, error)) << error;
    ASSERT_EQ(child.wait(), 0);
    std::string expected;
    for (const std::string& a : arguments)
        expected += a + "\n";
    EXPECT_EQ(child.output(), expected);
}

} // namespace
