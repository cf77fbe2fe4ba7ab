// The default show as it is assembled in the build tree: it checks clean, and it plays from the
// first frame to its "exit" event headless, firing every scripted event in order and showing
// pictures that are neither blank nor alike.
#include "render/gl/PngFile.h"
#include "scene/XMLDocument.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace fs = std::filesystem;

namespace {

ProgramRun runWholeShow(const std::string& arguments) {
    return runShellCommand("cd " + shellQuoted(BEATSHOW_SHOW_BUILD_DIR) +
                           " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 900 " +
                           shellQuoted(BEATSHOW_PROGRAM) + " " + arguments);
}

// The scene's timed events as the log writes them when they fire, in firing order (by time,
// equal times in file order); "exit" ends the show instead of being written.
std::vector<std::string> scriptedEvents() {
    XMLDocument document;
    EXPECT_EQ(document.load((fs::path(BEATSHOW_SHOW_BUILD_DIR) / "epicrealtimetest.xml").string()), 0);
    struct Event {
        float time;
        std::string name;
    };
    std::vector<Event> events;
    for (const auto& child : childrenOf(document.findTag("base::scene::eventtrigger")))
        for (const auto& [name, value] : child->attributes)
            if (name == "eventTime")
                events.push_back({static_cast<float>(std::atof(value.c_str())), child->name});
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.time < b.time; });
    std::vector<std::string> lines;
    for (const Event& e : events) {
        if (e.name == "exit") break;
        std::ostringstream line;
        line << "Triggering Event: " << e.name << " " << e.time;
        lines.push_back(line.str());
    }
    return lines;
}

double luminanceSpread(const std::vector<uint8_t>& rgb) {
    double sum = 0, squares = 0;
    const size_t n = rgb.size() / 3;
    for (size_t i = 0; i < n; ++i) {
        const double y = 0.3 * rgb[3 * i] + 0.59 * rgb[3 * i + 1] + 0.11 * rgb[3 * i + 2];
        sum += y;
        squares += y * y;
    }
    const double mean = sum / static_cast<double>(n);
    return std::sqrt(std::max(0.0, squares / static_cast<double>(n) - mean * mean));
}

double meanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
    return sum / static_cast<double>(a.size());
}

TEST(WholeShow, ChecksWithoutProblems) {
    const ProgramRun check = runWholeShow("--check");
    EXPECT_EQ(check.status, 0) << ::testing::PrintToString(check.lines);
}

TEST(WholeShow, PlaysToItsExitEventWithEveryEventInOrder) {
    ScratchDirectory shots;
    // One shot in each part: announcement, cube flight, map search, tunnel, explosion, line
    // figure, title card, greetings.
    const std::vector<std::string> times = {"3", "35", "58", "72", "88", "100", "110", "120"};
    std::string list;
    for (const std::string& t : times)
        list += (list.empty() ? "" : ",") + t;
    // Two steps a second fire every event that ten do, at a fifth of the frames.
    const ProgramRun run = runWholeShow("--windowed --size 192x108 --offline 2 --shots " + list +
                                        " --shot-dir " + shellQuoted(shots.path()));
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);

    std::vector<std::string> fired;
    for (const std::string& line : run.lines)
        if (line.rfind("Triggering Event: ", 0) == 0) fired.push_back(line);
    const std::vector<std::string> expected = scriptedEvents();
    ASSERT_GE(expected.size(), 15u);
    EXPECT_EQ(fired, expected);
    // Nothing limited the run but the scene's own exit: it shut down in order after the last event.
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(), "ri dtor");

    std::vector<std::vector<uint8_t>> pictures;
    for (const auto& entry : fs::directory_iterator(shots.path())) {
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        ASSERT_TRUE(readPng(entry.path().string(), rgb, w, h)) << entry.path();
        EXPECT_EQ(w, 192);
        EXPECT_EQ(h, 108);
        EXPECT_GT(luminanceSpread(rgb), 8.0) << entry.path() << " is blank";
        pictures.push_back(std::move(rgb));
    }
    ASSERT_EQ(pictures.size(), times.size());
    for (size_t i = 0; i < pictures.size(); ++i)
        for (size_t j = i + 1; j < pictures.size(); ++j)
            EXPECT_GT(meanDifference(pictures[i], pictures[j]), 4.0)
                << "shots " << i << " and " << j << " alike";
}

} // namespace
