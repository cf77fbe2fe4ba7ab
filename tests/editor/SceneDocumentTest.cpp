// The editor's scene document: saving keeps every byte the author wrote, edits are written in
// the file's style and read back by the loader as meant, and the running show follows them.
#include "editor/model/SceneDocument.h"
#include "actors/ActorFactory.h"
#include "app/NewShow.h"
#include "editor/model/EditHistory.h"
#include "editor/model/LiveScene.h"
#include "editor/model/SceneFile.h"
#include "scene/loader/SceneLoader.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

std::string readSceneBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every scene file the project ships or tests with, and the one `--new` writes.
std::vector<fs::path> allScenes(const ScratchDirectory& scratch) {
    std::vector<fs::path> scenes = {fs::path(BEATSHOW_SOURCE_DIR) / "show" / "epicrealtimetest.xml"};
    // The bad-input corpus is not a scene anyone edits: its test is below.
    const fs::path corpus = fs::path(BEATSHOW_SOURCE_DIR) / "tests" / "data" / "bad";
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(BEATSHOW_SOURCE_DIR) / "tests"))
        if (entry.path().extension() == ".xml" && entry.path().string().rfind(corpus.string(), 0) != 0)
            scenes.push_back(entry.path());
    std::vector<std::string> written;
    std::string error;
    if (writeNewShow((scratch.path() / "new").string(), written, error))
        scenes.push_back(scratch.path() / "new" / "epicrealtimetest.xml");
    return scenes;
}

class LoadedScene : public RegistryTest {
protected:
    // The registry as a fresh load of these bytes leaves it.
    std::string loadedRegistry(const std::string& bytes) {
        resetEngineRegistry();
        wireRegistry();
        loadSceneFromBytes(bytes, "epicrealtimetest.xml", &createActor);
        return registryText();
    }
    void wireRegistry() {
        // resetEngineRegistry forgets the renderer and window the fixture set up.
        TearDown();
        SetUp();
        registerShowAssetKinds();
    }
    // The test scene with every list, its meshes and bitmaps written beside it.
    std::string fullScene() {
        assembleTestScene("full", testDataDirectory(), scratch_.path());
        return readSceneBytes(scratch_.path() / "epicrealtimetest.xml");
    }
    ScratchDirectory scratch_;
    WorkingDirectory inScratch_{scratch_.path()};
};

} // namespace

TEST(SceneDocumentSave, EveryKnownSceneSavesByteForByteWithTheOldFileKept) {
    ScratchDirectory scratch;
    const std::vector<fs::path> scenes = allScenes(scratch);
    ASSERT_GE(scenes.size(), 6u);
    for (const fs::path& scene : scenes) {
        SCOPED_TRACE(scene.string());
        const std::string original = readSceneBytes(scene);
        const fs::path copy = scratch.path() / "save" / "epicrealtimetest.xml";
        fs::create_directories(copy.parent_path());
        scratch.write("save/epicrealtimetest.xml", original);
        std::string message;
        ASSERT_EQ(resaveShow(copy.parent_path().string(), message), 0) << message;
        EXPECT_EQ(readSceneBytes(copy), original);
        EXPECT_EQ(readSceneBytes(copy.string() + ".bak"), original);
        // Nothing half-written is left beside it.
        for (const auto& entry : fs::directory_iterator(copy.parent_path()))
            EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();

        // An edit saved: the file says it, and every byte outside the edited element is the
        // author's. Taken back and saved again: the file as it was.
        SceneDocument doc;
        doc.loadText(original);
        EditHistory history(doc);
        std::string entity;
        for (const char* section : {"objects", "lights", "actors"})
            for (const auto& c : childrenOf(doc.section(section)))
                if (entity.empty() && SceneDocument::validName(c->name)) entity = c->name;
        const Vector wanted{1.5f, -2.25f, 3.0f};
        ASSERT_TRUE(history.run("edit", {}, [&](SceneDocument& d) {
            return entity.empty() ? d.addEvent({"fadein", 1.5f, ""})
                                  : d.setVector(entity, "Position", wanted);
        }));
        std::string error;
        ASSERT_TRUE(saveSceneFile(copy.string(), doc.text(), error)) << error;
        const std::string saved = readSceneBytes(copy);
        size_t same = 0;
        while (same < std::min(saved.size(), original.size()) && saved[same] == original[same])
            ++same;
        size_t sameEnd = 0;
        while (sameEnd < std::min(saved.size(), original.size()) - same &&
               saved[saved.size() - 1 - sameEnd] == original[original.size() - 1 - sameEnd])
            ++sameEnd;
        EXPECT_LT(original.size() - same - sameEnd, 60u) << "the save changed more than the edited element";
        EXPECT_LT(saved.size() - same - sameEnd, 90u) << "the save changed more than the edited element";
        SceneDocument reread;
        reread.loadText(saved);
        if (entity.empty()) {
            ASSERT_FALSE(reread.events().empty());
            EXPECT_EQ(reread.events().front().time, 1.5f);
        } else {
            Vector read;
            ASSERT_TRUE(reread.vector(entity, "Position", read));
            EXPECT_EQ(read, wanted);
        }
        history.undo();
        ASSERT_TRUE(saveSceneFile(copy.string(), doc.text(), error)) << error;
        EXPECT_EQ(readSceneBytes(copy), original);
        EXPECT_EQ(readSceneBytes(copy.string() + ".bak"), saved);
    }
}

TEST(SceneDocumentSave, ABrokenSceneIsSavedAsItIsOrLeftAlone) {
    ScratchDirectory scratch;
    size_t scenes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(BEATSHOW_SOURCE_DIR) / "tests" /
                                                              "data" / "bad" / "scene")) {
        SCOPED_TRACE(entry.path().string());
        const std::string original = readSceneBytes(entry.path());
        scratch.write("save/epicrealtimetest.xml", original);
        std::string message;
        const int status = resaveShow((scratch.path() / "save").string(), message);
        EXPECT_TRUE(status == 0 || !message.empty());
        EXPECT_EQ(readSceneBytes(scratch.path() / "save" / "epicrealtimetest.xml"), original);
        ++scenes;
    }
    EXPECT_GE(scenes, 30u);
}

TEST(SceneDocumentSave, AFileThatCannotBeReplacedIsLeftAsItWasAndSaysWhy) {
    ScratchDirectory scratch;
    fs::create_directories(scratch.path() / "epicrealtimetest.xml");
    std::string error;
    EXPECT_FALSE(saveSceneFile((scratch.path() / "epicrealtimetest.xml").string(), "<base />", error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    std::string message;
    EXPECT_EQ(resaveShow((scratch.path() / "nowhere").string(), message), 1);
    EXPECT_NE(message.find("cannot read"), std::string::npos);
}

TEST(SceneDocumentEdits, AChangedValueRewritesOnlyItsOwnBytes) {
    SceneDocument doc;
    doc.loadText("<base>\n  <scene>\n    <!-- keep me /-->\n    <objects>\n      <box>\n"
                 "        <Position x='1.0' y=\"2\"  z=\"3\" />\n        <Extra foo=\"bar\" />\n"
                 "      </box>\n    </objects>\n  </scene>\n</base>\n");
    ASSERT_TRUE(doc.setVector("box", "Position", {1.0f, 2.5f, 3.0f}));
    // "1.0" reads as the value wanted and keeps its spelling; the quote and spacing stay.
    EXPECT_NE(doc.text().find("<Position x='1.0' y=\"2.5\"  z=\"3\" />"), std::string::npos) << doc.text();
    EXPECT_NE(doc.text().find("<!-- keep me /-->"), std::string::npos);
    EXPECT_NE(doc.text().find("<Extra foo=\"bar\" />"), std::string::npos);
    // A missing element is added below the entity's others, in their indentation.
    ASSERT_TRUE(doc.setVector("box", "Scale", {0.5f, 0.5f, 0.5f}));
    EXPECT_NE(
        doc.text().find(
            "        <Extra foo=\"bar\" />\n        <Scale x=\"0.5\" y=\"0.5\" z=\"0.5\" />\n      </box>"),
        std::string::npos)
        << doc.text();
    EXPECT_FALSE(doc.setVector("nobody", "Position", {}));
    EXPECT_FALSE(doc.setVector("box", "Bad Name", {}));
}

TEST(SceneDocumentEdits, KeysGoInTimeOrderAndBindingsAreMadeOnTheFirstKey) {
    SceneDocument doc;
    doc.loadText("<base>\r\n  <scene>\r\n    <objects>\r\n      <box />\r\n    </objects>\r\n  "
                 "</scene>\r\n</base>\r\n");
    ASSERT_TRUE(doc.addKey("box", "Position", {2.0f, {1, 2, 3}}));
    ASSERT_TRUE(doc.addKey("box", "Position", {1.0f, {4, 5, 6}}));
    ASSERT_TRUE(doc.addKey("box", "Position", {3.0f, {7, 8, 9}}));
    ASSERT_TRUE(doc.addKey("box", "Position", {2.0f, {0, 0, 0}}));
    const std::vector<DocumentKey> keys = doc.keys("box", "Position");
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].time, 1.0f);
    EXPECT_EQ(keys[1].value.x, 1.0f); // the older of two keys at 2 s comes first
    EXPECT_EQ(keys[2].value.x, 0.0f);
    EXPECT_EQ(keys[3].time, 3.0f);
    // The new section follows the file's line ends and indentation.
    EXPECT_NE(doc.text().find("\r\n    <automations>\r\n      <box::Position>\r\n        <key v0=\"1\" "
                              "v1=\"4\" v2=\"5\" v3=\"6\" />\r\n"),
              std::string::npos)
        << doc.text();
    EXPECT_EQ(doc.text().find("\n\n"), std::string::npos);
    // A key moved past its neighbour takes its new place; removing one takes its line.
    ASSERT_TRUE(doc.setKey("box", "Position", 0, {2.5f, {4, 5, 6}}));
    EXPECT_EQ(doc.keys("box", "Position")[2].time, 2.5f);
    ASSERT_TRUE(doc.removeKey("box", "Position", 2));
    EXPECT_EQ(doc.keys("box", "Position").size(), 3u);
    EXPECT_EQ(doc.text().find("v1=\"4\""), std::string::npos);
    EXPECT_FALSE(doc.removeKey("box", "Position", 3));
}

TEST(SceneDocumentEdits, EventsAreAddedMovedRenamedRetargetedAndRemoved) {
    SceneDocument doc;
    doc.loadText("<base>\n  <scene>\n    <eventtrigger>\n      <fadein eventTime=\"1\" />\n"
                 "      <exit eventTime=\"9\" />\n    </eventtrigger>\n  </scene>\n</base>\n");
    ASSERT_TRUE(doc.addEvent({"activate", 4.0f, "cam"}));
    std::vector<DocumentEvent> events = doc.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].name, "activate");
    EXPECT_EQ(events[1].target, "cam");
    ASSERT_TRUE(doc.setEvent(1, {"deactivate", 4.5f, "other"}));
    EXPECT_NE(doc.text().find("      <deactivate eventTime=\"4.5\" target=\"other\" />\n"), std::string::npos)
        << doc.text();
    ASSERT_TRUE(doc.setEvent(1, {"deactivate", 4.5f, ""}));
    EXPECT_EQ(doc.events()[1].target, "");
    EXPECT_EQ(doc.text().find("target"), std::string::npos);
    ASSERT_TRUE(doc.removeEvent(0));
    EXPECT_EQ(doc.events().front().name, "deactivate");
    EXPECT_FALSE(doc.addEvent({"two words", 1.0f, ""}));
    EXPECT_FALSE(doc.addEvent({"x", std::numeric_limits<float>::quiet_NaN(), ""}));
    EXPECT_FALSE(doc.setEvent(5, {"x", 1.0f, ""}));
}

TEST(SceneDocumentEdits, AnEmptyShowGetsObjectsLightsAndActorsInItsSections) {
    SceneDocument doc;
    doc.loadText("<base>\n  <scene>\n  </scene>\n</base>\n");
    ASSERT_TRUE(doc.addObject("cube", "eckig", "metal4", {0, 0, 5}, {0.01f, 0.01f, 0.01f}));
    ASSERT_TRUE(doc.addLight("lamp", {1, 1, 1}, {0, 2, 3}, 8.0f));
    ASSERT_TRUE(doc.addActor("cam", "Camera"));
    EXPECT_FALSE(doc.addObject("cube", "eckig", "metal4", {}, {}));
    const std::string& t = doc.text();
    EXPECT_LT(t.find("<meshes>"), t.find("<materials>"));
    EXPECT_LT(t.find("<materials>"), t.find("<objects>"));
    EXPECT_LT(t.find("<objects>"), t.find("<lights>"));
    EXPECT_LT(t.find("<lights>"), t.find("<actors>"));
    EXPECT_NE(t.find("      <cube>\n        <Position x=\"0\" y=\"0\" z=\"5\" />\n"), std::string::npos) << t;
    EXPECT_NE(t.find("<Mesh MeshName=\"eckig\" />"), std::string::npos);
    EXPECT_NE(t.find("<cam classname=\"Camera\" />"), std::string::npos);
    ASSERT_TRUE(doc.addKey("cam", "Position", {0.0f, {1, 2, 3}}));
    ASSERT_TRUE(doc.removeEntity("cam"));
    EXPECT_EQ(t.find("cam"), std::string::npos) << t;
}

TEST(EditHistoryTest, UndoAndRedoGiveBackEachStateByteForByte) {
    SceneDocument doc;
    const std::string original =
        readSceneBytes(fs::path(BEATSHOW_SOURCE_DIR) / "show" / "epicrealtimetest.xml");
    doc.loadText(original);
    EditHistory history(doc);
    std::vector<std::string> states = {doc.text()};
    ASSERT_TRUE(history.run("move", {{Touch::Value, "ball1", "Position"}}, [](SceneDocument& d) {
        return d.setVector("ball1", "Position", {1, 2, 3});
    }));
    states.push_back(doc.text());
    ASSERT_TRUE(history.run("key", {{Touch::Path, "neon", "Position"}}, [](SceneDocument& d) {
        return d.addKey("neon", "Position", {50.0f, {0, 0, 60}});
    }));
    states.push_back(doc.text());
    ASSERT_TRUE(history.run("event", {Touch{}}, [](SceneDocument& d) { return d.removeEvent(3); }));
    states.push_back(doc.text());
    // An edit that refuses, or changes nothing, is no step.
    EXPECT_FALSE(history.run("nothing", {}, [](SceneDocument& d) {
        return d.setVector("ball1", "Position", {1, 2, 3});
    }));
    EXPECT_FALSE(history.run("refused", {}, [](SceneDocument& d) {
        d.addKey("neon", "Position", {51.0f, {}});
        return false;
    }));
    // Nor is one whose splices undo each other.
    EXPECT_FALSE(history.run("there and back", {}, [](SceneDocument& d) {
        return d.setVector("ball1", "Position", {4, 5, 6}) && d.addKey("neon", "Position", {51.0f, {}}) &&
               d.setVector("ball1", "Position", {1, 2, 3}) && d.removeKey("neon", "Position", 3);
    }));
    EXPECT_EQ(doc.text(), states.back());
    EXPECT_EQ(history.commands().size(), 3u);
    EXPECT_TRUE(history.modified());

    for (size_t i = states.size() - 1; i > 0; --i) {
        history.undo();
        EXPECT_EQ(doc.text(), states[i - 1]);
    }
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.modified());
    EXPECT_EQ(history.redo(), (std::vector<Touch>{{Touch::Value, "ball1", "Position"}}));
    EXPECT_EQ(doc.text(), states[1]);
    // A new step after an undo drops the steps that were undone.
    ASSERT_TRUE(history.run("other", {}, [](SceneDocument& d) {
        return d.setVector("ball2", "Position", {0, 0, 0});
    }));
    EXPECT_FALSE(history.canRedo());
    history.undo();
    history.undo();
    EXPECT_EQ(doc.text(), original);
}

TEST(EditHistoryTest, ADragIsOneStepAndASaveEndsIt) {
    SceneDocument doc;
    doc.loadText("<base>\n  <scene>\n    <objects>\n      <box />\n    </objects>\n  </scene>\n</base>\n");
    const std::string original = doc.text();
    EditHistory history(doc);
    for (int i = 1; i <= 5; ++i)
        history.run(
            "drag", {{Touch::Value, "box", "Position"}},
            [i](SceneDocument& d) {
                return d.setVector("box", "Position", {float(i), 0, 0});
            },
            "drag:box");
    EXPECT_EQ(history.commands().size(), 1u);
    history.markSaved();
    EXPECT_FALSE(history.modified());
    history.run(
        "drag", {},
        [](SceneDocument& d) {
            return d.setVector("box", "Position", {9, 0, 0});
        },
        "drag:box");
    EXPECT_EQ(history.commands().size(), 2u);
    EXPECT_TRUE(history.modified());
    history.undo();
    EXPECT_FALSE(history.modified());
    history.undo();
    EXPECT_EQ(doc.text(), original);
}

TEST_F(LoadedScene, EditsFollowedLiveEqualALoadOfTheSavedFile) {
    const std::string original = fullScene();
    const std::string before = loadedRegistry(original);
    ASSERT_NE(before.find("object crate mesh=cube material=stone"), std::string::npos) << before;
    SceneDocument doc;
    doc.loadText(original);
    // Load, save, load: the same registry.
    EXPECT_EQ(loadedRegistry(doc.text()), before);
    EditHistory history(doc);
    ASSERT_TRUE(history.run("move", {{Touch::Value, "crate", "Position"}}, [](SceneDocument& d) {
        return d.setVector("crate", "Position", {1.25f, -0.5f, 61});
    }));
    ASSERT_TRUE(history.run("colour", {{Touch::Value, "lamp", "Color"}}, [](SceneDocument& d) {
        return d.setVector("lamp", "Color", {0.2f, 0.4f, 0.8f});
    }));
    ASSERT_TRUE(history.run("keys", {{Touch::Path, "Cam1", "Position"}}, [](SceneDocument& d) {
        return d.addKey("Cam1", "Position", {3.0f, {1, 2, 60}}) && d.removeKey("Cam1", "Position", 0) &&
               d.setKey("Cam1", "Position", 1, {2.5f, {-3, 2.25f, 57}});
    }));
    EXPECT_NE(doc.text().find("<pathpoint v0=\"3\" v1=\"1\" v2=\"2\" v3=\"60\" />"), std::string::npos)
        << doc.text();
    for (const EditCommand& command : history.commands())
        ASSERT_TRUE(applyTouches(doc, command.touches));
    const std::string live = registryText();
    EXPECT_NE(live, before);
    EXPECT_NE(live.find("object crate mesh=cube material=stone Position=(1.25,-0.5,61)"), std::string::npos)
        << live;
    EXPECT_NE(live.find("automation Cam1::Position [0 0 1 -5] [2.5 -3 2.25 57] [3 1 2 60]"),
              std::string::npos)
        << live;
    EXPECT_EQ(loadedRegistry(doc.text()), live);

    // Undone live, the show is the one loaded at first.
    loadedRegistry(doc.text());
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(applyTouches(doc, history.undo()));
    EXPECT_EQ(doc.text(), original);
    EXPECT_EQ(registryText(), before);
}

TEST_F(LoadedScene, WhatTheRegistryCannotTakeLiveAsksForALoad) {
    SceneDocument doc;
    doc.loadText(fullScene());
    loadedRegistry(doc.text());
    EXPECT_FALSE(applyTouches(doc, {Touch{}}));
    // A binding the show does not have yet.
    ASSERT_TRUE(doc.addKey("crate", "Scale", {1.0f, {1, 1, 1}}));
    EXPECT_FALSE(applyTouches(doc, {{Touch::Path, "crate", "Scale"}}));
    EXPECT_FALSE(applyTouches(doc, {{Touch::Value, "ghost", "Position"}}));
    // Events and new objects reach the show through a load of the document.
    ASSERT_TRUE(doc.addEvent({"exit", 12.0f, ""}));
    ASSERT_TRUE(doc.addObject("extra", "plate", "wood", {1, 2, 3}, {0.5f, 0.5f, 0.5f}));
    const std::string loaded = loadedRegistry(doc.text());
    EXPECT_NE(loaded.find("event exit 12 *"), std::string::npos) << loaded;
    EXPECT_NE(loaded.find("object extra mesh=plate material=wood"), std::string::npos) << loaded;
}

TEST(SceneDocumentEdits, AnEmptyElementOpensForItsFirstChildAndUnsortedKeysKeepTheirPlaces) {
    SceneDocument doc;
    doc.loadText("<base>\n  <scene>\n    <objects>\n      <box />\n    </objects>\n    <automations>\n"
                 "      <box::Position>\n        <pathpoint v0=\"4\" v1=\"0\" v2=\"0\" v3=\"0\" />\n"
                 "        <pathpoint v0=\"0\" v1=\"1\" v2=\"1\" v3=\"1\" />\n      </box::Position>\n"
                 "    </automations>\n  </scene>\n</base>\n");
    ASSERT_TRUE(doc.setVector("box", "Position", {1, 2, 3}));
    EXPECT_NE(doc.text().find("      <box>\n        <Position x=\"1\" y=\"2\" z=\"3\" />\n      </box>\n"),
              std::string::npos)
        << doc.text();
    // The file's keys are out of order; a new one goes after the last key not later than it and
    // takes the element name the path uses.
    ASSERT_TRUE(doc.addKey("box", "Position", {2.0f, {5, 5, 5}}));
    const std::vector<DocumentKey> keys = doc.keys("box", "Position");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].time, 4.0f);
    EXPECT_EQ(keys[1].time, 0.0f);
    EXPECT_EQ(keys[2].time, 2.0f);
    EXPECT_NE(doc.text().find("<pathpoint v0=\"2\" v1=\"5\" v2=\"5\" v3=\"5\" />"), std::string::npos);
    // A key given a new value or way on at its own time stays where the file has it, out of order
    // or not: only its own attributes change.
    const std::string before = doc.text();
    ASSERT_TRUE(doc.setKey("box", "Position", 1, {0.0f, {1, 1, 1}, Interpolation::Step}));
    EXPECT_EQ(doc.keys("box", "Position")[1].interpolation, Interpolation::Step);
    std::string expected = before;
    const std::string second = "<pathpoint v0=\"0\" v1=\"1\" v2=\"1\" v3=\"1\"";
    expected.insert(expected.find(second) + second.size(), " interpolation=\"step\"");
    EXPECT_EQ(doc.text(), expected);
    ASSERT_TRUE(doc.setKey("box", "Position", 1, {0.0f, {1, 1, 1}}));
    EXPECT_EQ(doc.text(), before);
    // A key before every other goes in front of them, on a line of its own.
    SceneDocument early;
    early.loadText(doc.text());
    ASSERT_TRUE(early.addEvent({"first", 0.5f, ""}));
    EXPECT_NE(early.text().find("  <eventtrigger>\n      <first eventTime=\"0.5\" />\n    </eventtrigger>"),
              std::string::npos)
        << early.text();
    ASSERT_TRUE(early.addEvent({"zero", 0.25f, ""}));
    EXPECT_EQ(early.events().front().name, "zero");
    // Taking the object out takes its bindings too.
    ASSERT_TRUE(doc.removeEntity("box"));
    EXPECT_EQ(doc.binding("box", "Position"), nullptr);
    EXPECT_EQ(doc.text().find("box"), std::string::npos) << doc.text();
}

TEST(SceneDocumentEdits, NumbersReadBackAsTheFloatsTheyStandFor) {
    for (float v : {0.0f, -0.0f, 1.0f, -3.5f, 0.1f, 1.0e-5f, 123456.789f, 3.14159274f, -60.19f}) {
        const std::string text = SceneDocument::formatNumber(v);
        EXPECT_EQ(attributeFloat(text), v == 0.0f ? 0.0f : v) << text;
        EXPECT_EQ(text.find('e') == std::string::npos || std::fabs(v) < 1e-4f, true) << text;
    }
    EXPECT_EQ(SceneDocument::formatNumber(-0.0f), "0");
    EXPECT_EQ(SceneDocument::formatNumber(0.5f), "0.5");
    EXPECT_FALSE(SceneDocument::validName(""));
    EXPECT_FALSE(SceneDocument::validName("<!--"));
    EXPECT_FALSE(SceneDocument::validName("a b"));
    EXPECT_TRUE(SceneDocument::validName("Cam1::Position"));
}

TEST(SceneDocumentSave, ASecondSaveKeepsTheFirstAsTheBackupAndANewFileHasNone) {
    ScratchDirectory scratch;
    const fs::path file = scratch.path() / "epicrealtimetest.xml";
    std::string error;
    ASSERT_TRUE(saveSceneFile(file.string(), "<base>one</base>", error)) << error;
    EXPECT_FALSE(fs::exists(file.string() + ".bak"));
    ASSERT_TRUE(saveSceneFile(file.string(), "<base>two</base>", error)) << error;
    ASSERT_TRUE(saveSceneFile(file.string(), "<base>three</base>", error)) << error;
    EXPECT_EQ(readSceneBytes(file), "<base>three</base>");
    EXPECT_EQ(readSceneBytes(file.string() + ".bak"), "<base>two</base>");
}

TEST(EditHistoryTest, ASaveAmongUndoneStepsCannotBeReachedAgain) {
    SceneDocument doc;
    doc.loadText("<base>\n  <scene>\n    <objects>\n      <box />\n    </objects>\n  </scene>\n</base>\n");
    EditHistory history(doc);
    auto move = [&](float x) {
        return history.run("move", {}, [x](SceneDocument& d) {
            return d.setVector("box", "Position", {x, 0, 0});
        });
    };
    ASSERT_TRUE(move(1));
    ASSERT_TRUE(move(2));
    history.markSaved();
    history.undo();
    EXPECT_TRUE(history.modified());
    // A new step replaces the saved one: no undo or redo gives the saved file back.
    ASSERT_TRUE(move(3));
    EXPECT_TRUE(history.modified());
    history.undo();
    EXPECT_TRUE(history.modified());
    history.redo();
    EXPECT_TRUE(history.modified());
    EXPECT_FALSE(history.canRedo());
}

TEST_F(LoadedScene, EveryTestSceneLoadsTheSameRegistryAfterASave) {
    for (const char* scene : {"full", "broken", "actors"}) {
        SCOPED_TRACE(scene);
        const fs::path dir = scratch_.path() / scene;
        assembleTestScene(scene, testDataDirectory(), dir);
        WorkingDirectory inScene(dir);
        const std::string original = readSceneBytes(dir / "epicrealtimetest.xml");
        const std::string before = loadedRegistry(original);
        std::string message;
        ASSERT_EQ(resaveShow(dir.string(), message), 0) << message;
        EXPECT_EQ(readSceneBytes(dir / "epicrealtimetest.xml"), original);
        EXPECT_EQ(loadedRegistry(readSceneBytes(dir / "epicrealtimetest.xml")), before);

        // Edited (a value, and a key of a path the show has), followed live and saved: a load of
        // the saved file is the show as edited.
        SceneDocument doc;
        doc.loadText(original);
        EditHistory history(doc);
        std::string entity, path;
        for (const char* section : {"objects", "lights", "actors"})
            for (const auto& c : childrenOf(doc.section(section)))
                if (entity.empty() && findSceneEntity(c->name)) entity = c->name;
        for (const auto& b : childrenOf(doc.section("automations"))) {
            const size_t split = b->name.find("::");
            entity_base* bound =
                split == std::string::npos ? nullptr : findSceneEntity(b->name.substr(0, split));
            if (path.empty() && bound && findAutomation(bound, b->name.substr(split + 2))) path = b->name;
        }
        ASSERT_FALSE(entity.empty());
        ASSERT_TRUE(history.run("move", {{Touch::Value, entity, "Position"}}, [&](SceneDocument& d) {
            return d.setVector(entity, "Position", {2.5f, 0.5f, 1.25f});
        }));
        if (!path.empty()) {
            const std::string owner = path.substr(0, path.find("::")),
                              parameter = path.substr(path.find("::") + 2);
            ASSERT_TRUE(history.run("key", {{Touch::Path, owner, parameter}}, [&](SceneDocument& d) {
                return d.addKey(owner, parameter, {1.0f, {7, 8, 9}});
            }));
        }
        for (const EditCommand& command : history.commands())
            ASSERT_TRUE(applyTouches(doc, command.touches));
        const std::string live = registryText();
        EXPECT_NE(live.find("Position=(2.5,0.5,1.25)"), std::string::npos) << live;
        EXPECT_TRUE(path.empty() || live.find(" [1 7 8 9]") != std::string::npos) << live;
        std::string error;
        ASSERT_TRUE(saveSceneFile((dir / "epicrealtimetest.xml").string(), doc.text(), error)) << error;
        EXPECT_EQ(loadedRegistry(readSceneBytes(dir / "epicrealtimetest.xml")), live);
    }
}

TEST_F(LoadedScene, DeletingAnActorTakesTheEventsAimedAtItInTheSameStep) {
    const std::string original = fullScene();
    SceneDocument doc;
    doc.loadText(original);
    EditHistory history(doc);
    ASSERT_TRUE(
        history.run("Delete Cam1", {Touch{}}, [](SceneDocument& d) { return d.removeEntity("Cam1"); }));
    // The events for every subscriber stay; those aimed at Cam1 would reach every actor now.
    std::vector<std::string> left;
    for (const DocumentEvent& e : doc.events())
        left.push_back(e.name + "@" + e.target);
    EXPECT_EQ(left, (std::vector<std::string>{"nextstage@", "exit@"}));
    const std::string loaded = loadedRegistry(doc.text());
    EXPECT_EQ(loaded.find("event activate"), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find("event fadein"), std::string::npos) << loaded;
    EXPECT_NE(loaded.find("event exit 30 *"), std::string::npos) << loaded;
    EXPECT_EQ(history.commands().size(), 1u);
    history.undo();
    EXPECT_EQ(doc.text(), original);
    // An object of the same name as an event's target is no actor: nothing else goes with it.
    SceneDocument other;
    other.loadText(
        "<base>\n  <scene>\n    <objects>\n      <box />\n    </objects>\n    <actors>\n"
        "      <cam classname=\"Camera\" />\n    </actors>\n    <eventtrigger>\n"
        "      <activate eventTime=\"1\" target=\"cam\" />\n    </eventtrigger>\n  </scene>\n</base>\n");
    ASSERT_TRUE(other.removeEntity("box"));
    EXPECT_EQ(other.events().size(), 1u);
}

namespace {

// The tree as text, every element with what the reader gave it: where it stands (line, bytes),
// its name, its attributes and whether it was altered.
std::string treeText(const XMLDocument& xml) {
    std::string out;
    std::vector<std::pair<const XMLTag*, int>> pending;
    if (xml.root) pending.push_back({xml.root.get(), 0});
    while (!pending.empty()) {
        const auto [tag, depth] = pending.back();
        pending.pop_back();
        out += std::string(static_cast<size_t>(depth), ' ') + tag->name + " " + std::to_string(tag->line) +
               " " + std::to_string(tag->sourceBegin) + " " + std::to_string(tag->startTagEnd) + " " +
               std::to_string(tag->sourceEnd) + (tag->altered ? " altered" : "");
        for (const auto& [key, value] : tag->attributes)
            out += " " + key + "=" + value;
        out += "\n";
        const auto& children = childrenOf(tag);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.push_back({it->get(), depth + 1});
    }
    return out;
}

// What the document says of its text, against a fresh read of the same text: the tree and every
// path's keys.
void expectAsReadAfresh(const SceneDocument& doc) {
    SceneDocument fresh;
    fresh.loadText(doc.text());
    ASSERT_EQ(treeText(doc.xml()), treeText(fresh.xml()));
    for (const auto& b : childrenOf(fresh.section("automations"))) {
        const size_t split = b->name.find("::");
        if (split == std::string::npos) continue;
        const std::string entity = b->name.substr(0, split), parameter = b->name.substr(split + 2);
        const std::vector<DocumentKey> mine = doc.keys(entity, parameter),
                                       theirs = fresh.keys(entity, parameter);
        ASSERT_EQ(mine.size(), theirs.size()) << b->name;
        for (size_t i = 0; i < mine.size(); ++i) {
            ASSERT_EQ(mine[i].time, theirs[i].time) << b->name << " " << i;
            ASSERT_EQ(mine[i].value, theirs[i].value) << b->name << " " << i;
        }
    }
}

} // namespace

TEST(SceneDocumentEdits, ARandomWalkOfEditsUndoAndRedoKeepsTreeKeysAndBytesExact) {
    // Seeded: the same walk every run (200 steps a scene). Edits are read in place; each step the document
    // must say what a fresh read of its text says, and undo and redo give back every byte.
    for (const char* file : {"show/epicrealtimetest.xml", "tests/fuzz/seeds/scene/small.xml"}) {
        SCOPED_TRACE(file);
        SceneDocument doc;
        const std::string original = readSceneBytes(fs::path(BEATSHOW_SOURCE_DIR) / file);
        doc.loadText(original);
        EditHistory history(doc);
        std::mt19937 random(12345);
        auto pick = [&](size_t n) { return static_cast<size_t>(random() % std::max<size_t>(n, 1)); };
        auto number = [&] { return static_cast<float>(static_cast<int>(random() % 2000) - 1000) / 64.0f; };
        auto names = [&](const char* section) {
            std::vector<std::string> out;
            for (const auto& c : childrenOf(doc.section(section)))
                if (SceneDocument::validName(c->name)) out.push_back(c->name);
            return out;
        };
        int made = 0;
        for (int step = 0; step < 200; ++step) {
            SCOPED_TRACE(step);
            std::vector<std::string> entities = names("objects");
            for (const char* s : {"lights", "actors"})
                for (const std::string& n : names(s))
                    entities.push_back(n);
            std::vector<std::string> bindings = names("automations");
            const std::string entity =
                entities.empty() ? std::string("nobody") : entities[pick(entities.size())];
            const std::string bound =
                bindings.empty() ? entity + "::Position" : bindings[pick(bindings.size())];
            const std::string boundEntity = bound.substr(0, bound.find("::"));
            const std::string parameter = bound.substr(bound.find("::") + 2);
            const size_t keyCount = doc.keys(boundEntity, parameter).size();
            const size_t eventCount = doc.events().size();
            const char* vectors[] = {"Position", "Rotation", "Scale", "Color"};
            switch (random() % 15) {
            case 0:
            case 1:
                history.run("vector", {}, [&](SceneDocument& d) {
                    return d.setVector(entity, vectors[pick(4)], {number(), number(), number()});
                });
                break;
            case 2:
            case 3:
                history.run("key", {}, [&](SceneDocument& d) {
                    return d.addKey(boundEntity, parameter,
                                    {std::fabs(number()), {number(), number(), number()}});
                });
                break;
            case 4:
                history.run("set key", {}, [&](SceneDocument& d) {
                    return d.setKey(boundEntity, parameter, pick(keyCount),
                                    {std::fabs(number()), {number(), number(), number()}});
                });
                break;
            case 5:
                history.run("remove key", {}, [&](SceneDocument& d) {
                    return d.removeKey(boundEntity, parameter, pick(keyCount));
                });
                break;
            case 14: {
                const size_t first = pick(keyCount);
                history.run("replace keys", {}, [&](SceneDocument& d) {
                    std::vector<DocumentKey> keys(1 + pick(2), DocumentKey{std::fabs(number()), {1, 2, 3}});
                    return d.replaceKeys(boundEntity, parameter, first, first + 1 + pick(keyCount - first),
                                         keys);
                });
                break;
            }
            case 6:
                history.run("event", {}, [&](SceneDocument& d) {
                    return d.addEvent({random() % 2 ? "activate" : "fadein", std::fabs(number()),
                                       random() % 2 ? entity : std::string()});
                });
                break;
            case 7:
                history.run("set event", {}, [&](SceneDocument& d) {
                    return d.setEvent(pick(eventCount),
                                      {random() % 2 ? "nextstage" : "deactivate", std::fabs(number()),
                                       random() % 2 ? entity : std::string()});
                });
                break;
            case 8:
                history.run("remove event", {},
                            [&](SceneDocument& d) { return d.removeEvent(pick(eventCount)); });
                break;
            case 9: {
                const std::string name = "walk" + std::to_string(made++);
                history.run("add", {}, [&](SceneDocument& d) {
                    switch (random() % 3) {
                    case 0:
                        return d.addObject(name, "sphere", "metal4", {number(), 0, number()}, {1, 1, 1});
                    case 1:
                        return d.addLight(name, {1, 1, 1}, {number(), 2, number()}, 5.0f);
                    default:
                        return d.addActor(name, "Camera") && d.addKey(name, "Position", {1.0f, {1, 2, 3}});
                    }
                });
                break;
            }
            case 10:
                history.run("delete", {}, [&](SceneDocument& d) { return d.removeEntity(entity); });
                break;
            case 11:
            case 12:
                history.undo();
                break;
            default:
                history.redo();
                break;
            }
            expectAsReadAfresh(doc);
            if (HasFatalFailure()) return;
        }
        const std::string last = doc.text();
        while (history.canUndo())
            history.undo();
        EXPECT_EQ(doc.text(), original);
        expectAsReadAfresh(doc);
        while (history.canRedo())
            history.redo();
        EXPECT_EQ(doc.text(), last);
        expectAsReadAfresh(doc);
    }
}

TEST(SceneDocumentEdits, RawSplicesThatBreakTheElementsReadAsAFreshReadOfTheFileDoes) {
    // Any bytes anywhere: an end tag taken out, a tag left open, a comment or declaration that
    // runs on. The document's tree must always be the one the reader makes of the whole text.
    const std::string original =
        readSceneBytes(fs::path(BEATSHOW_SOURCE_DIR) / "tests/fuzz/seeds/scene/small.xml");
    const char* pieces[] = {"<",    ">",   "/",    "<a>",       "</a>", "<b />",
                            " x=1", "\n",  "<!--", "/-->",      "<?",   "\t",
                            "<c/>", "=\"", "'",    "<d e='>'>", "</",   "<key v0=\"1\" />"};
    // Whole elements and white space, which are read in place.
    const char* whole[] = {"<b />",   "<key v0=\"1\" />", "\n  ",       " ",
                           "<a></a>", "<a>\n<b /></a>",   "<!-- c /-->"};
    std::mt19937 random(777);
    for (int walk = 0; walk < 4; ++walk) {
        const bool broken = walk % 2 == 0;
        SCOPED_TRACE(walk);
        SceneDocument doc;
        doc.loadText(original);
        doc.beginRecording();
        for (int step = 0; step < 150; ++step) {
            SCOPED_TRACE(step);
            size_t at = random() % (doc.text().size() + 1);
            // Whole elements go between tags (right after a ">").
            if (!broken)
                at = doc.text().find('>', at) == std::string::npos ? at : doc.text().find('>', at) + 1;
            const size_t length = broken && random() % 3 == 0 ? random() % 12 : 0;
            std::string inserted;
            for (size_t n = random() % 3; n > 0; --n)
                inserted +=
                    broken ? pieces[random() % std::size(pieces)] : whole[random() % std::size(whole)];
            doc.splice(at, length, inserted);
            expectAsReadAfresh(doc);
            if (HasFatalFailure()) return;
        }
        const std::vector<Splice> splices = doc.endRecording();
        const std::string last = doc.text();
        doc.revert(splices);
        EXPECT_EQ(doc.text(), original);
        expectAsReadAfresh(doc);
        doc.replay(splices);
        EXPECT_EQ(doc.text(), last);
        expectAsReadAfresh(doc);
    }
}
