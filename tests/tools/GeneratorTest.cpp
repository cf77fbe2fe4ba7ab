// The generator programs as the build runs them: the files they write, the same bytes on every
// run, and clear failures.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct Finished {
    int status = -1;
    std::string output;
};

// Runs a command line through the shell, with its standard error folded into the output.
Finished run(const std::string& command) {
    Finished r;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

std::vector<uint8_t> bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> filesUnder(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).generic_string());
    return files;
}

// The files the build declares as the asset generator's outputs.
std::set<std::string> declaredAssetFiles() {
    std::set<std::string> files;
    std::stringstream list(BEATSHOW_SHOW_FILES);
    std::string item;
    while (std::getline(list, item, ','))
        files.insert(item);
    return files;
}

TEST(Generators, AssetsAreExactlyTheDeclaredFilesAndTheSameOnEveryRun) {
    ScratchDirectory first, second;
    const std::string tool = std::string(BEATSHOW_ASSETS_TOOL) + " ";
    const std::string fonts = " --fonts '" BEATSHOW_FONT_DIR "'";
    const Finished a = run(tool + quoted(first.path()) + fonts);
    ASSERT_EQ(a.status, 0) << a.output;
    const Finished b = run(tool + quoted(second.path()) + fonts);
    ASSERT_EQ(b.status, 0) << b.output;

    const std::set<std::string> files = filesUnder(first.path());
    EXPECT_EQ(files, declaredAssetFiles());
    EXPECT_EQ(filesUnder(second.path()), files);
    for (const std::string& f : files) {
        EXPECT_EQ(bytesOf(first.path() / f), bytesOf(second.path() / f)) << f << " differs between runs";
        EXPECT_NE(a.output.find(f), std::string::npos) << f << " is not listed in the output";
    }
}

TEST(Generators, SoundtrackWritesTheSameBytesToEveryPathAndOnEveryRun) {
    ScratchDirectory dir;
    const std::string tool = std::string(BEATSHOW_SOUNDTRACK_TOOL) + " ";
    const Finished a =
        run(tool + quoted(dir.path() / "a.ogg") + " " + quoted(dir.path() / "audio/b.ogg") + " --bars 2");
    ASSERT_EQ(a.status, 0) << a.output;
    const Finished c = run(tool + quoted(dir.path() / "c.ogg") + " --bars 2");
    ASSERT_EQ(c.status, 0) << c.output;
    const std::vector<uint8_t> bytes = bytesOf(dir.path() / "a.ogg");
    EXPECT_GT(bytes.size(), 1000u);
    EXPECT_EQ(bytesOf(dir.path() / "audio/b.ogg"), bytes);
    EXPECT_EQ(bytesOf(dir.path() / "c.ogg"), bytes);
    EXPECT_NE(a.output.find("141 BPM"), std::string::npos) << a.output;
    // No temporary file is left behind.
    EXPECT_EQ(filesUnder(dir.path()), (std::set<std::string>{"a.ogg", "audio/b.ogg", "c.ogg"}));
}

TEST(Generators, RefuseBadArgumentsAndMissingFonts) {
    ScratchDirectory dir;
    EXPECT_EQ(run(std::string(BEATSHOW_ASSETS_TOOL)).status, 2);
    const Finished usage = run(std::string(BEATSHOW_SOUNDTRACK_TOOL));
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.output.find("usage: beatshow-soundtrack"), std::string::npos) << usage.output;
    EXPECT_EQ(run(std::string(BEATSHOW_SOUNDTRACK_TOOL) + " x.ogg --bars nine").status, 2);
    EXPECT_EQ(run(std::string(BEATSHOW_SOUNDTRACK_TOOL) + " x.ogg --from 500").status, 2);

    const Finished noFonts =
        run(std::string(BEATSHOW_ASSETS_TOOL) + " " + quoted(dir.path()) + " --fonts /nonexistent");
    EXPECT_EQ(noFonts.status, 1);
    EXPECT_NE(noFonts.output.find("fonts-dejavu-core"), std::string::npos) << noFonts.output;
    EXPECT_TRUE(filesUnder(dir.path()).empty());
}

} // namespace
