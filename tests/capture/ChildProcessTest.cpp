// The child process a capture feeds: its pipes, its end, its messages, its process group.
#include "app/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace {

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string pattern(size_t size, char seed) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(seed + i % 251);
    return text;
}

TEST(ChildProcess, ProgramsAreFoundOnThePath) {
    const std::string sh = findProgram("sh");
    EXPECT_TRUE(sh.ends_with("/sh")) << sh;
    EXPECT_EQ(findProgram(sh), sh);
    EXPECT_EQ(findProgram("no-such-program-for-beatshow"), "");
    EXPECT_EQ(findProgram(""), "");
    ScratchDirectory dir;
    const auto plain = dir.path() / "plain";
    std::ofstream(plain) << "#!/bin/sh\n";
    std::filesystem::permissions(plain,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(findProgram(plain.string()), "") << "not executable";
    EXPECT_EQ(findProgram(dir.path().string()), "") << "a folder";

    ChildProcess child;
    std::string error;
    EXPECT_FALSE(child.start({"no-such-program-for-beatshow"}, 1, error));
    EXPECT_NE(error.find("no-such-program-for-beatshow"), std::string::npos) << error;
    EXPECT_FALSE(child.running());
    EXPECT_EQ(child.wait(), -1);
}

TEST(ChildProcess, InputsArriveWholeAndInOrderAndTheOutputIsKept) {
    ScratchDirectory dir;
    const std::string a = (dir.path() / "a").string(), b = (dir.path() / "b").string();
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start(
        {"sh", "-c", "cat <&3 > '" + a + "'; cat <&4 > '" + b + "'; echo read both; echo oops >&2"}, 2,
        error))
        << error;
    EXPECT_TRUE(child.running());
    const std::string big = pattern(3 << 20, 'a'); // more than any pipe holds
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

TEST(ChildProcess, AChildThatWantsTheQueuedInputFirstDoesNotStallTheWrite) {
    // The child reads 1000 bytes of its second input before it reads the first at all: a write
    // that waited on the first input alone would wait for ever.
    ScratchDirectory dir;
    const std::string a = (dir.path() / "a").string(), b = (dir.path() / "b").string();
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start({"sh", "-c",
                             "dd bs=1000 count=1 iflag=fullblock status=none <&4 > '" + b + "'; cat <&3 > '" +
                                 a + "'; cat <&4 >> '" + b + "'"},
                            2, error))
        << error;
    const std::string big = pattern(3 << 20, 'k');
    const std::string small = pattern(1500, 'q');
    child.queue(1, small.data(), small.size());
    ASSERT_TRUE(child.write(0, big.data(), big.size()));
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(fileText(a), big);
    EXPECT_EQ(fileText(b), small);
}

TEST(ChildProcess, AChildThatQuitsEarlyFailsTheWritesAndReportsItsStatus) {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start({"sh", "-c", "echo cannot go on >&2; exit 3"}, 2, error)) << error;
    const std::string big = pattern(4 << 20, 'z');
    // No SIGPIPE ends this process: the write says false.
    EXPECT_FALSE(child.write(0, big.data(), big.size()));
    EXPECT_FALSE(child.write(0, "x", 1)) << "the input stays closed";
    child.queue(1, big.data(), big.size());
    EXPECT_EQ(child.wait(), 3);
    EXPECT_EQ(child.output(), "cannot go on\n");

    ChildProcess killed;
    ASSERT_TRUE(killed.start({"sh", "-c", "kill -TERM $$"}, 0, error)) << error;
    EXPECT_EQ(killed.wait(), 128 + 15);

    ChildProcess stuck;
    ASSERT_TRUE(stuck.start({"sh", "-c", "sleep 30"}, 1, error)) << error;
    stuck.kill();
    EXPECT_FALSE(stuck.running());
}

TEST(ChildProcess, TheChildLeadsAProcessGroupOfItsOwn) {
    // A Ctrl+C at the terminal goes to the terminal's process group: the encoder must not get it.
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start(
        {"sh", "-c", "read -r pid comm state ppid pgrp rest < /proc/$$/stat; echo $pid $pgrp"}, 0, error))
        << error;
    ASSERT_EQ(child.wait(), 0);
    std::istringstream words(child.output());
    long pid = 0, group = 0;
    words >> pid >> group;
    EXPECT_GT(pid, 0);
    EXPECT_EQ(group, pid);
    EXPECT_NE(group, static_cast<long>(::getpgrp()));
}

} // namespace
