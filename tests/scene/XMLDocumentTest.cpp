#include "scene/XMLDocument.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

class XMLReading : public ::testing::Test {
protected:
    void SetUp() override { resetProblems(); }

    XMLDocument& parse(const std::string& text) {
        EXPECT_EQ(document.loadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), "t.xml"),
                  0);
        return document;
    }
    // The names of the children of the tag, in order.
    static std::vector<std::string> childNames(const XMLTag* tag) {
        std::vector<std::string> names;
        for (const auto& child : childrenOf(tag))
            names.push_back(child->name);
        return names;
    }

    XMLDocument document;
    LogCapture log;
};

TEST_F(XMLReading, BuildsTheTreeOfElementsWithTheirAttributesInFileOrder) {
    parse("<?xml version=\"1.0\"?>\n<base>\n  <scene kind=\"demo\">\n    <lights><lamp a=1 b=2 a=3 "
          "/></lights>\n"
          "    <objects></objects>\n  </scene>\n</base>\n");
    ASSERT_NE(document.root, nullptr);
    EXPECT_EQ(document.root->name, "base");
    EXPECT_EQ(childNames(document.root.get()), std::vector<std::string>{"scene"});
    const XMLTag* scene = document.findTag("base::scene");
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->attributes, (Attributes{{"kind", "demo"}}));
    EXPECT_EQ(childNames(scene), (std::vector<std::string>{"lights", "objects"}));
    const XMLTag* lamp = document.findTag("base::scene::lights::lamp");
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->attributes, (Attributes{{"a", "1"}, {"b", "2"}, {"a", "3"}}));
    // Every element read is extended, with or without children.
    EXPECT_EQ(lamp->isExtended, 1);
    EXPECT_TRUE(childrenOf(lamp).empty());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(XMLReading, QuotesAreDroppedWhicheverKindOrNone) {
    for (const char* text : {"<a x = '-1.5e3' y=2>", "<a x = \"-1.5e3\" y=\"2\">", "<a x = -1.5e3 y=2>"}) {
        parse(text);
        ASSERT_NE(document.root, nullptr) << text;
        EXPECT_EQ(document.root->name, "a");
        EXPECT_EQ(document.root->attributes, (Attributes{{"x", "-1.5e3"}, {"y", "2"}})) << text;
    }
}

TEST_F(XMLReading, SlashRightAfterTheNameClosesTheOpenElement) {
    // <b/> closes a (the names are not compared); <c x=1/> is an empty element of base.
    parse("<base><a><b/><c x=1/><d /></base>");
    ASSERT_NE(document.root, nullptr);
    EXPECT_EQ(childNames(document.root.get()), (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_TRUE(childrenOf(document.findTag("base::a")).empty());
    EXPECT_EQ(document.findTag("base::c")->attributes, (Attributes{{"x", "1"}}));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(XMLReading, NamesAndValuesKeepOnlyNameBytes) {
    // A value ends at a space: "a b" is the value a and an attribute name starting with b, which
    // runs into the next name because it has no "=". Other bytes vanish, bytes from 128 too. An
    // empty value is still being read at the next space, so it takes in the next attribute.
    parse("<e v='a b' w=1 u=x!y\xC3\xA9z empty='' k:e.y_-9=ok>");
    ASSERT_NE(document.root, nullptr);
    EXPECT_EQ(document.root->attributes,
              (Attributes{{"v", "a"}, {"bw", "1"}, {"u", "xyz"}, {"empty", "k:e.y_-9ok"}}));
}

TEST_F(XMLReading, AnAttributeWithAnEmptyValueIsDropped) {
    parse("<e v=\"\">");
    ASSERT_NE(document.root, nullptr);
    EXPECT_TRUE(document.root->attributes.empty());
}

TEST_F(XMLReading, ATabJoinsTheElementNameAndTheFirstAttribute) {
    parse("<base><lamp\tx=1 y=2 /></base>");
    EXPECT_EQ(childNames(document.root.get()), (std::vector<std::string>{"lampx1"}));
    EXPECT_EQ(document.findTag("base::lampx1")->attributes, (Attributes{{"y", "2"}}));
}

TEST_F(XMLReading, ACommentOpensAnElementThatTakesTheFollowingElements) {
    parse("<base><!-- note --><a x=1 /></base><b />");
    EXPECT_EQ(childNames(document.findTag("base::--")), std::vector<std::string>{"a"});
    // </base> closed the comment, so base is still open and takes b.
    EXPECT_EQ(childNames(document.root.get()), (std::vector<std::string>{"--", "b"}));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(XMLReading, DeclarationsAndTagsWithAQuestionMarkInTheNameAreSkipped) {
    parse("<?xml version='1.0'?><base><ab?cd e=1><f /></base>");
    EXPECT_EQ(document.root->name, "base");
    EXPECT_EQ(childNames(document.root.get()), std::vector<std::string>{"f"});
}

TEST_F(XMLReading, LoadReplacesTheTree) {
    parse("<first><a /></first>");
    parse("<second />");
    EXPECT_EQ(document.root->name, "second");
    EXPECT_EQ(document.findTag("first::a"), nullptr);
}

TEST_F(XMLReading, FindTagWalksSegmentsFromTheRoot) {
    parse("<base><scene><lights /></scene><scene><objects /></scene></base>");
    const XMLTag* lights = document.findTag("base::scene::lights");
    ASSERT_NE(lights, nullptr);
    EXPECT_EQ(lights->name, "lights");
    EXPECT_EQ(document.findTag("base::scene::"), document.findTag("base::scene"));
    EXPECT_EQ(document.findTag("base"), document.root.get());
    EXPECT_EQ(document.findTag("Base::scene::lights"), nullptr);
    // Only the first child of a name is followed.
    EXPECT_EQ(document.findTag("base::scene::objects"), nullptr);
    EXPECT_EQ(document.findTag("base::scene::lights::x"), nullptr);
    EXPECT_EQ(document.findTag(""), nullptr);
    EXPECT_EQ(XMLDocument{}.findTag("base"), nullptr);
}

TEST_F(XMLReading, FindTagDoesNotDescendIntoPlainTags) {
    XMLDocument built;
    auto root = std::make_unique<XMLTagExtended>("base");
    root->addChild(std::make_unique<XMLTag>("leaf"));
    built.root = std::move(root);
    ASSERT_NE(built.findTag("base::leaf"), nullptr);
    EXPECT_EQ(built.findTag("base::leaf::below"), nullptr);
    EXPECT_TRUE(childrenOf(built.findTag("base::leaf")).empty());
}

TEST(XMLConversions, TagToVectorReadsExactlyXYZ) {
    XMLTag tag("v");
    tag.addAttribute("X", "9");
    tag.addAttribute("y", "2.5xyz");
    tag.addAttribute("x", "1e2");
    tag.addAttribute("w", "7");
    tag.addAttribute("y", "-0.5");
    const Vector v = tagToVector(&tag);
    EXPECT_FLOAT_EQ(v.x, 100.0f);
    EXPECT_FLOAT_EQ(v.y, -0.5f); // a later duplicate wins
    EXPECT_FLOAT_EQ(v.z, 0.0f);  // missing
    XMLTag words("w");
    words.addAttribute("x", "abc");
    words.addAttribute("z", "  3.25");
    EXPECT_FLOAT_EQ(tagToVector(&words).x, 0.0f);
    EXPECT_FLOAT_EQ(tagToVector(&words).z, 3.25f);
    EXPECT_FLOAT_EQ(tagToVector(nullptr).y, 0.0f);
}

TEST(XMLConversions, TagToFloatsTakesAttributesByPosition) {
    XMLTag tag("p");
    for (const char* value : {"1", "2", "3", "4", "5", "6"})
        tag.addAttribute(std::string("n") + value, value);
    float out[4] = {};
    EXPECT_EQ(tagToFloats(&tag, out, 4), 0);
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{1, 2, 3, 4}));

    XMLTag shorter("p");
    shorter.addAttribute("t", "0.5");
    float kept[3] = {7, 8, 9};
    EXPECT_EQ(tagToFloats(&shorter, kept, 3), 0);
    EXPECT_EQ(std::vector<float>(kept, kept + 3), (std::vector<float>{0.5f, 8, 9}));
    EXPECT_EQ(tagToFloats(nullptr, kept, 3), -1);
    EXPECT_EQ(tagToFloats(&tag, nullptr, 3), -1);
}

// ---- content the reader cannot place: one line each, the rest still reads ----

TEST_F(XMLReading, AStrayEndTagIsReportedAndIgnored) {
    parse("<base><a /></base>\n</extra><more />");
    EXPECT_EQ(childNames(document.root.get()), std::vector<std::string>{"a"});
    EXPECT_TRUE(log.contains("t.xml: line 2: end tag </extra> closes nothing; ignored"));
    // <more /> is a second top-level element, reported on its own.
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(problemsNoted().size(), 2u);
}

TEST_F(XMLReading, ASecondTopLevelElementIsIgnoredWithItsContent) {
    parse("<base><a /></base>\n\n<other><b><c /></b></other><base><d /></base>");
    EXPECT_EQ(childNames(document.root.get()), std::vector<std::string>{"a"});
    EXPECT_EQ(document.findTag("base::d"), nullptr);
    EXPECT_EQ(
        log.lines(),
        (std::vector<std::string>{
            "t.xml: line 3: element <other> comes after the root element <base> was closed; it is ignored "
            "with its content",
            "t.xml: line 3: element <base> comes after the root element <base> was closed; it is ignored "
            "with its content"}));
}

TEST_F(XMLReading, AFileCutOffInsideATagKeepsWhatCameBefore) {
    parse("<base>\n<a x=1 />\n<b y=2");
    EXPECT_EQ(childNames(document.root.get()), std::vector<std::string>{"a"});
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{
                  "t.xml: the file ends inside the tag that starts on line 3; that tag is ignored"});
    parse("<base><?xml");
    EXPECT_EQ(log.count("t.xml: the file ends inside the tag"), 2);
}

TEST_F(XMLReading, AnEmptyFileHasNoRoot) {
    parse("");
    EXPECT_EQ(document.root, nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"t.xml: the file is empty"});
    parse("just some text, no tags");
    EXPECT_EQ(document.root, nullptr);
    EXPECT_TRUE(log.contains("t.xml: no XML element found"));
    EXPECT_EQ(problemsNoted().size(), 2u);
}

TEST_F(XMLReading, AFileSavedAsUtf16ReadsAsItsText) {
    // A byte-order mark, then every character followed by a zero byte.
    const std::string text = "<base>\n <scene>\n  <lights>\n   <lamp a='1' b=\"x\" />\n  </lights>\n"
                             " </scene>\n</base>\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    parse(utf16);
    const XMLTag* lamp = document.findTag("base::scene::lights::lamp");
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->attributes, (Attributes{{"a", "1"}, {"b", "x"}}));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(problemsNoted().empty());
}

TEST_F(XMLReading, NamesRunTogetherByATabOrLineBreakAreNotedAsRead) {
    parse("<base>\n<Position\tx=1 y=2 />\n<Scale x=1\ny=2 z=3 />\n<Rotation\n x=1 />\n"
          "<!-- a comment\n   over two lines /-->\n</base>");
    // The tree is read as always: the tab joins, the space after a line break separates.
    ASSERT_EQ(childNames(document.root.get()),
              (std::vector<std::string>{"Positionx1", "Scale", "Rotation", "--"}));
    EXPECT_EQ(document.findTag("base::Scale")->attributes, (Attributes{{"x", "1y2"}, {"z", "3"}}));
    EXPECT_TRUE(log.lines().empty()) << "the show's log stays as it was";
    EXPECT_EQ(problemsNoted(),
              (std::vector<std::string>{
                  "a tab or line break inside the tag runs two names into "
                  "one, read as <Positionx1 y=2>; only a space separates names and values",
                  "a tab or line break inside the tag runs two names into "
                  "one, read as <Scale x=1y2 z=3>; only a space separates names and values"}));
    const std::vector<NotedProblem> records = problemRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].file, "t.xml");
    EXPECT_EQ(records[0].line, 2u);
    EXPECT_EQ(records[1].line, 3u);
}

TEST_F(XMLReading, ElementsLeftOpenAtTheEndAreNoted) {
    parse("<base>\n<scene>\n<lights>");
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(problemsNoted(), std::vector<std::string>{
                                   "3 elements are still open at the end of the file, from <base> (line 1) "
                                   "to <lights> (line 3); end tags are missing, so what follows each missing "
                                   "one was read too deep"});
    EXPECT_EQ(problemRecords().front().line, 1u);
    resetProblems();
    parse("<base>\n<scene>\n<!-- closed /-->\n</scene>\n</base>\n");
    EXPECT_TRUE(problemsNoted().empty());
}

TEST_F(XMLReading, ACommentWithoutItsSlashIsNotedWithWhatItTookIn) {
    // It stays open, takes in the lights, and the end tag meant for <scene> closes it instead.
    parse("<base>\n<scene>\n<!-- lights follow -->\n<lights><lamp /></lights>\n</scene>\n</base>\n");
    EXPECT_TRUE(log.lines().empty()) << "the show's log stays as it was";
    EXPECT_EQ(document.findTag("base::scene::lights"), nullptr);
    EXPECT_NE(document.findTag("base::scene::--::lights"), nullptr);
    const std::vector<NotedProblem> records = problemRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].line, 3u);
    EXPECT_EQ(records[0].text,
              "a comment must end with \"/-->\" in a scene file (<!-- like this /-->): this one "
              "stays open and takes in <lights> (line 4), which the loader never sees, until "
              "</scene> on line 5 closes it in place of <scene>, so what follows is read one "
              "level too deep");
    EXPECT_EQ(records[1].line, 1u);
    EXPECT_EQ(records[1].text,
              "<base> is still open at the end of the file; an end tag is missing inside it, so "
              "what follows the missing one was read one level too deep");

    // One left open to the end says so.
    resetProblems();
    parse("<base>\n<!-- a -->\n<x />\n<y />\n<z />\n<w />");
    ASSERT_FALSE(problemRecords().empty());
    EXPECT_EQ(problemRecords().front().line, 2u);
    EXPECT_EQ(
        problemRecords().front().text,
        "a comment must end with \"/-->\" in a scene file (<!-- like this /-->): this one stays open to the "
        "end of the file and takes in <x> (line 3), <y> (line 4), <z> (line 5) and 1 more, which the loader "
        "never sees");
    // Any slash closes a comment, as it does any tag.
    resetProblems();
    parse("<base>\n<!-- see docs/scene.md -->\n</base>\n");
    EXPECT_TRUE(problemsNoted().empty());
}

// ---- where each element stands in its source ----

TEST_F(XMLReading, EachElementKnowsItsLineAndItsBytes) {
    const std::string text =
        "<?xml version=\"1.0\"?>\n<base>\n  <scene kind=\"demo\">\n    <lamp a=1 />\n"
        "    <objects>\n      <crate>\n      </crate>\n    </objects>\n  </scene>\n</base>\n";
    parse(text);
    auto bytes = [&](const XMLTag* tag) {
        return text.substr(tag->sourceBegin, tag->sourceEnd - tag->sourceBegin);
    };
    auto startTag = [&](const XMLTag* tag) {
        return text.substr(tag->sourceBegin, tag->startTagEnd - tag->sourceBegin);
    };
    const XMLTag* scene = document.findTag("base::scene");
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(document.root->line, 2u);
    EXPECT_EQ(scene->line, 3u);
    EXPECT_EQ(startTag(scene), "<scene kind=\"demo\">");
    EXPECT_TRUE(bytes(scene).starts_with("<scene kind=\"demo\">\n    <lamp a=1 />"));
    EXPECT_TRUE(bytes(scene).ends_with("</objects>\n  </scene>"));
    const XMLTag* lamp = document.findTag("base::scene::lamp");
    EXPECT_EQ(lamp->line, 4u);
    EXPECT_EQ(bytes(lamp), "<lamp a=1 />") << "an empty element is its start tag";
    EXPECT_EQ(lamp->startTagEnd, lamp->sourceEnd);
    const XMLTag* crate = document.findTag("base::scene::objects::crate");
    EXPECT_EQ(crate->line, 6u);
    EXPECT_EQ(bytes(crate), "<crate>\n      </crate>");
    EXPECT_EQ(bytes(document.root.get()),
              text.substr(text.find("<base>"), text.rfind('>') + 1 - text.find("<base>")));
    EXPECT_EQ(document.lineAt(crate->sourceBegin), 6u);
    EXPECT_EQ(document.source, text);

    // The ranges are what a tool splices a changed element in with: the rest reads as before.
    std::string changed = text;
    changed.replace(lamp->sourceBegin, lamp->sourceEnd - lamp->sourceBegin, "<lamp a=2 b=3 />");
    parse(changed);
    EXPECT_EQ(document.findTag("base::scene::lamp")->attributes, (Attributes{{"a", "2"}, {"b", "3"}}));
    EXPECT_NE(document.findTag("base::scene::objects::crate"), nullptr);

    // One never closed runs to the end of the source.
    parse("<base>\n<open>\n<x />");
    EXPECT_EQ(document.findTag("base::open")->sourceEnd, 19u);
}

TEST_F(XMLReading, ATagWhoseWordsLostBytesIsMarkedAltered) {
    struct Case {
        const char* tag;
        bool altered;
    };
    const Case cases[] = {
        {"<a x=\"1\" y='2' z=3 />", false},
        {"<a x = '-1.5e3' y=2>", false},
        {"<a x=1/>", false},
        {"<a x=\"1\"/>", false},
        {"<Position\n  x=\"1\"\n  y=\"2\" />", false},   // line breaks followed by spaces separate
        {"<line text=\"live from the party\" />", true}, // a space ends a value
        {"<my object />", true},                         // a name without a value is dropped
        {"<a b c=1 />", true},                           // two names run into one
        {"<a x=\"a,b\" />", true},                       // a comma is no name byte
        {"<song file=\"audio/x.ogg\" />", true},         // nor is a slash inside a value
        {"<a x=\"1\"y=\"2\" />", true},                  // the second value runs on
        {"<a x=\"\" />", true},                          // an empty value drops the attribute
        {"<caf\xC3\xA9 />", true},                       // bytes beyond ASCII vanish from names
    };
    for (const Case& c : cases) {
        parse(std::string("<base>") + c.tag + "</base>");
        ASSERT_EQ(childrenOf(document.root.get()).size(), 1u) << c.tag;
        EXPECT_EQ(childrenOf(document.root.get()).front()->altered, c.altered) << c.tag;
    }
    parse("<!-- any words, here: fine /-->");
    EXPECT_FALSE(document.root->altered);
}

TEST_F(XMLReading, AStartTagCanBeReadAsItsSourceWritesIt) {
    parse("<base><line text=\"live from the party!\" hold='2.5' bare=x/y flag at=\"a &amp; b &lt;3\" "
          "/></base>");
    const XMLTag* line = document.findTag("base::line");
    ASSERT_NE(line, nullptr);
    WrittenTag written;
    ASSERT_TRUE(writtenStartTag(document, line, written));
    EXPECT_EQ(written.name, "line");
    ASSERT_EQ(written.attributes.size(), 5u);
    EXPECT_EQ(written.attributes[0].name, "text");
    EXPECT_EQ(written.attributes[0].value, "live from the party!");
    EXPECT_EQ(written.attributes[1].value, "2.5");
    EXPECT_EQ(written.attributes[2].value, "x/y");
    EXPECT_EQ(written.attributes[3].name, "flag");
    EXPECT_FALSE(written.attributes[3].valued);
    EXPECT_EQ(written.attributes[4].value, "a & b <3");
    EXPECT_TRUE(readTagText(line).starts_with("<line text=live ")) << readTagText(line);
    EXPECT_EQ(writtenTagText(document, line, 20), "<line text=\"live fro...");

    XMLTag made("made");
    EXPECT_FALSE(writtenStartTag(document, &made, written)) << "an element made in code has no source";
}

TEST_F(XMLReading, BinaryGarbageNeverReadsOutOfBounds) {
    std::mt19937 random(1234);
    std::string alphabet = "<>/=?! \t\n'\"ab:";
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 200, '\0');
        for (char& c : bytes)
            c = (random() % 4 == 0) ? static_cast<char>(random() % 255 + 1)
                                    : alphabet[random() % alphabet.size()];
        XMLDocument garbage;
        EXPECT_EQ(garbage.loadFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "g"),
                  0);
        garbage.findTag("base::scene::meshes");
    }
    XMLDocument none;
    EXPECT_EQ(none.loadFromBytes(nullptr, 10, "null"), 0);
    EXPECT_EQ(none.root, nullptr);
}

TEST_F(XMLReading, DeepNestingIsReadAndReleasedWithoutRecursion) {
    std::string deep;
    for (int i = 0; i < 300000; ++i)
        deep += "<a>";
    parse(deep);
    const XMLTag* tag = document.root.get();
    int depth = 0;
    while (!childrenOf(tag).empty()) {
        tag = childrenOf(tag).front().get();
        ++depth;
    }
    EXPECT_EQ(depth, 299999);
    document.root.reset();
}

TEST(XMLFiles, LoadReadsAFileAndFailsSilentlyWithoutOne) {
    ScratchDirectory dir;
    dir.write("scene.xml", std::string("<base><scene /></base>"));
    LogCapture log;
    XMLDocument document;
    EXPECT_EQ(document.load((dir.path() / "scene.xml").string()), 0);
    EXPECT_NE(document.findTag("base::scene"), nullptr);
    EXPECT_EQ(document.load((dir.path() / "missing.xml").string()), -1);
    EXPECT_TRUE(log.lines().empty());
}

TEST(XMLFiles, APathThatIsNotARegularFileIsRefusedAtOnce) {
    ScratchDirectory dir;
    const std::string fifo = (dir.path() / "fifo.xml").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    LogCapture log;
    XMLDocument document;
    // Opening a FIFO for reading waits for a writer. Should the reader try, a writer that comes
    // and goes after a while ends its wait, so that the test fails instead of hanging.
    std::atomic<bool> done{false};
    int result = 0;
    std::thread reader([&] {
        result = document.load(fifo);
        done = true;
    });
    for (int i = 0; i < 300 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool refusedAtOnce = done;
    while (!done) {
        const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) close(writer);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reader.join();
    EXPECT_TRUE(refusedAtOnce);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(document.load(dir.path().string()), -1);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               fifo + ": not a regular file (a device, FIFO or socket); not read",
                               dir.path().string() + ": not a regular file (a directory); not read"}));
}

} // namespace
