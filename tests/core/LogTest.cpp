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

TEST(Log, ProblemsAreFiledUnderTheInnermostPlaceOfTheirThread) {
    resetProblems();
    noteProblem("nowhere");
    const std::string file = "scene.xml";
    {
        ProblemPlace scene(file, 12);
        noteProblem("in the scene");
        {
            ProblemPlace element(file, 14);
            noteProblem("in an element");
            // Another thread has places of its own.
            std::thread([] { noteProblem("elsewhere"); }).join();
        }
        noteProblem("back in the scene");
    }
    const std::vector<NotedProblem> records = problemRecords();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].line, 0u);
    EXPECT_EQ(records[0].file, "");
    EXPECT_EQ(records[1].line, 12u);
    EXPECT_EQ(records[1].file, "scene.xml");
    EXPECT_EQ(records[2].line, 14u);
    EXPECT_EQ(records[3].text, "elsewhere");
    EXPECT_EQ(records[3].line, 0u);
    EXPECT_EQ(records[4].line, 12u);
    EXPECT_EQ(problemsNoted(), (std::vector<std::string>{"nowhere", "in the scene", "in an element",
                                                         "elsewhere", "back in the scene"}));
    resetProblems();
}

TEST(Log, MutedProblemsAreKeptAsideNotRecorded) {
    resetProblems();
    LogCapture capture;
    {
        ProblemsMuted outer;
        {
            ProblemsMuted inner;
            logStream << "the log line stays" << std::endl;
            noteProblem("said better elsewhere");
            EXPECT_EQ(inner.swallowed(), std::vector<std::string>{"said better elsewhere"});
        }
        noteProblem("outer");
        EXPECT_EQ(outer.swallowed(), std::vector<std::string>{"outer"});
    }
    EXPECT_TRUE(problemsNoted().empty());
    EXPECT_TRUE(capture.contains("the log line stays"));
    noteProblem("after");
    EXPECT_EQ(problemsNoted(), std::vector<std::string>{"after"});
    resetProblems();
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
