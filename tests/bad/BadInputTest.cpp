// The bad-input corpus: each file of tests/data/bad/ takes the place of one file of a show made by
// `beatshow --new`, and `beatshow --check` must print the line cases.txt gives for it, then its
// summary, without crashing or hanging. Cases marked "play" are also played for a moment offline:
// the player must reach the end of the run and exit 0.
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

struct BadInput {
    std::string file;     // under tests/data/bad/
    std::string putAs;    // the show's file it replaces
    std::string expected; // a line of the check's output, whole
    bool play = false;
};

void PrintTo(const BadInput& bad, std::ostream* out) {
    *out << bad.file;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// "FILE | PUT AS | LINE [| play]", one case a line; # starts a comment.
std::vector<BadInput> readCases() {
    std::vector<BadInput> cases;
    std::ifstream in(std::string(BEATSHOW_BAD_DIR) + "/cases.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        size_t from = 0;
        for (size_t bar; (bar = line.find(" | ", from)) != std::string::npos; from = bar + 3)
            fields.push_back(trimmed(line.substr(from, bar - from)));
        fields.push_back(trimmed(line.substr(from)));
        if (fields.size() < 3) continue;
        cases.push_back({fields[0], fields[1], fields[2], fields.size() > 3 && fields[3] == "play"});
    }
    return cases;
}

std::string caseName(const ::testing::TestParamInfo<BadInput>& info) {
    std::string name;
    for (char c : info.param.file)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

class BadInputTest : public ::testing::TestWithParam<BadInput> {};

TEST(BadInputCorpus, EveryFileHasACaseAndThereAreEnough) {
    const std::vector<BadInput> cases = readCases();
    EXPECT_GE(cases.size(), 60u);
    std::set<std::string> listed;
    for (const BadInput& c : cases)
        listed.insert(c.file);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(BEATSHOW_BAD_DIR)) {
        if (!entry.is_regular_file() || entry.path().filename() == "cases.txt") continue;
        const std::string relative = std::filesystem::relative(entry.path(), BEATSHOW_BAD_DIR).string();
        EXPECT_TRUE(listed.count(relative)) << relative << " has no line in cases.txt";
    }
}

TEST_P(BadInputTest, GivesItsLineAndTheShowGoesOn) {
    const BadInput& bad = GetParam();
    ScratchDirectory scratch;
    const std::string show = (scratch.path() / "show").string();
    const std::string program = shellQuoted(BEATSHOW_PROGRAM);
    const std::filesystem::path made = BEATSHOW_NEW_SHOW; // ctest's, made once for every case
    if (std::filesystem::exists(made / "epicrealtimetest.xml"))
        std::filesystem::copy(made, show, std::filesystem::copy_options::recursive);
    else
        ASSERT_EQ(runShellCommand(program + " --new " + shellQuoted(show)).status, 0);
    std::filesystem::copy_file(std::string(BEATSHOW_BAD_DIR) + "/" + bad.file, show + "/" + bad.putAs,
                               std::filesystem::copy_options::overwrite_existing);

    const ProgramRun check =
        runShellCommand("cd " + shellQuoted(scratch.path().string()) + " && " + program + " --check show");
    std::string output;
    for (const std::string& line : check.lines)
        output += "  " + line + "\n";
    // A shader's compiler log comes indented under its file's line; a show that loads says so in
    // its summary, which names the scene by its path.
    const bool clean = bad.expected == "loads without problems";
    const bool found = std::any_of(check.lines.begin(), check.lines.end(), [&](const std::string& line) {
        return clean ? line.ends_with("epicrealtimetest.xml loads without problems")
                     : trimmed(line) == bad.expected;
    });
    EXPECT_TRUE(found) << "expected: " << bad.expected << "\noutput:\n" << output;
    ASSERT_FALSE(check.lines.empty());
    EXPECT_EQ(check.lines.back().rfind("check: ", 0), 0u) << output;
    EXPECT_EQ(check.status, clean ? 0 : 1) << output;

    if (!bad.play) return;
    const ProgramRun play = runShellCommand(program + " " + shellQuoted(show) +
                                            " --windowed --offline 10 --until 0.5 --size 64x36");
    // Without its shaders the player cannot draw at all: it says so and ends with status 1. Any
    // other bad file leaves the show playing to the end of the run.
    const bool shader = bad.putAs.ends_with(".psh") || bad.putAs.ends_with(".vsh");
    EXPECT_EQ(play.status, shader ? 1 : 0) << bad.file << " stopped the player";
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInputTest, ::testing::ValuesIn(readCases()), caseName);

} // namespace
