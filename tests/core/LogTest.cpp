#include "engine/base/Log.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Log, LinesAreHandedOverWholeAtTheirEnd) {
    LogCapture capture;
    logStream << "part one, ";
    EXPECT_TRUE(capture.lines().empty());
    logStream << "part two " << 42 << std::endl;
    logStream << "second\n";
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"part one, part two 42", "second"}));
}

TEST(Log, FloatsUseSixSignificantDigits) {
    LogCapture capture;
    logStream << 1.5f << " " << 2.0f << " " << 3.14159265f << " " << 1234567.0f << std::endl;
    EXPECT_EQ(capture.lines().front(), "1.5 2 3.14159 1.23457e+06");
}

TEST(Log, TwoThreadsNeverInterleaveWithinALine) {
    LogCapture capture;
    auto writer = [](char tag) {
        for (int i = 0; i < 500; ++i)
            logStream << tag << tag << tag << " " << i << std::endl;
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1000u);
    for (const std::string& line : lines)
        EXPECT_TRUE(line.rfind("aaa ", 0) == 0 || line.rfind("bbb ", 0) == 0) << line;
}

TEST(Log, ProblemsAreCountedSeparately) {
    resetProblems();
    noteProblem("first");
    noteProblem("second");
    EXPECT_EQ(problemsNoted(), (std::vector<std::string>{"first", "second"}));
    resetProblems();
    EXPECT_TRUE(problemsNoted().empty());
}

} // namespace
