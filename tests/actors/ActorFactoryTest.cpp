#include "actors/ActorFactory.h"
#include "tests/actors/ActorTestHelpers.h"

#include "actors/entity/Entity.h"

#include <algorithm>
#include <memory>
#include <set>

namespace {

class ActorFactoryTest : public RegistryTest {
protected:
    // Every event name any actor of the show subscribes to.
    static std::vector<std::string> allEvents() {
        return {"play",       "pause",   "stop",    "activate", "deactivate", "nextstage",
                "nextstage2", "destroy", "restore", "fadein",   "fadeout"};
    }

    std::set<std::string> subscriptionsOf(Triggerable* actor) const {
        std::set<std::string> names;
        for (const std::string& event : allEvents()) {
            const auto list = registry().dispatcher.subscribers(event);
            const auto n = std::count(list.begin(), list.end(), actor);
            EXPECT_LE(n, 1) << event << " subscribed twice";
            if (n) names.insert(event);
        }
        return names;
    }

    EngineRegistry& registry() const { return engine(); }
};

TEST_F(ActorFactoryTest, KnowsTheTwelveClassesInTheirOrder) {
    EXPECT_EQ(knownActorClasses(),
              (std::vector<std::string>{"ObjectPulsator", "BassBouncer", "LightFlicker", "Camera", "LineFX",
                                        "Greeter", "EpicRealtimeHelper", "SlideShow", "MapSearch", "Fader",
                                        "CubeFun", "Anouncer"}));
}

TEST_F(ActorFactoryTest, BuildsEachClassUnderItsNameWithItsSubscriptions) {
    struct Expected {
        std::string className;
        std::set<std::string> extraEvents;
        bool canvas;
    };
    const std::vector<Expected> table = {
        {"ObjectPulsator", {"destroy", "restore"}, false},
        {"BassBouncer", {}, false},
        {"LightFlicker", {}, false},
        {"Camera", {"activate"}, false},
        {"LineFX", {}, false},
        {"Greeter", {"activate", "deactivate"}, true},
        {"EpicRealtimeHelper", {"activate", "deactivate", "nextstage", "nextstage2"}, false},
        {"SlideShow", {"activate", "deactivate"}, true},
        {"MapSearch", {"activate", "deactivate"}, true},
        {"Fader", {"fadein", "fadeout"}, false},
        {"CubeFun", {"activate", "deactivate", "nextstage"}, false},
        {"Anouncer", {"activate"}, true},
    };
    for (const Expected& e : table) {
        SCOPED_TRACE(e.className);
        const size_t canvasesBefore = renderer().canvases().size();
        Actor* actor = keepAlive(std::unique_ptr<Actor>(createActor(e.className, "the " + e.className)));
        ASSERT_NE(actor, nullptr);
        EXPECT_EQ(actor->name, "the " + e.className);
        EXPECT_EQ(actor->GetClassName(), e.className);
        std::set<std::string> events = e.extraEvents;
        events.insert({"play", "pause", "stop"});
        EXPECT_EQ(subscriptionsOf(actor), events);
        EXPECT_EQ(renderer().canvases().size(), canvasesBefore + (e.canvas ? 1 : 0));
        if (e.canvas) {
            EXPECT_EQ(renderer().canvases().back(), dynamic_cast<RenderInterface::CanvasInterface*>(actor));
        }
        // The factory registers nothing itself.
        EXPECT_EQ(findActor(actor->name), nullptr);
    }
    EXPECT_EQ(renderer().lineSets().size(), 1u); // the LineFX's
}

TEST_F(ActorFactoryTest, ActorsWithoutAnEntityListTakeNothing) {
    entity_base thing("Thing");
    for (const char* className : {"Camera", "LineFX", "Greeter", "EpicRealtimeHelper", "SlideShow",
                                  "MapSearch", "Fader", "CubeFun", "Anouncer"}) {
        SCOPED_TRACE(className);
        Actor* actor = keepAlive(std::unique_ptr<Actor>(createActor(className, "a")));
        ASSERT_NE(actor, nullptr);
        EXPECT_EQ(actor->AddEntity(&thing), 0);
        EXPECT_EQ(actor->GetEntityCount(), 0);
        EXPECT_EQ(actor->GetEntity(0), nullptr);
        actor->OnBeat(0);
    }
}

TEST_F(ActorFactoryTest, NamesMustMatchWholeAndCaseSensitively) {
    for (const char* name :
         {"", "objectpulsator", "Fader ", " Fader", "Announcer", "EngineCamera", "camera", "Slideshow"})
        EXPECT_EQ(createActor(name, "x"), nullptr) << "'" << name << "'";
}

TEST_F(ActorFactoryTest, EventsReachOnlyTheirSubscribers) {
    Actor* fader = keepAlive(std::unique_ptr<Actor>(createActor("Fader", "F")));
    Actor* slides = keepAlive(std::unique_ptr<Actor>(createActor("SlideShow", "S")));
    broadcastEvent("activate"); // the fader does not listen to it
    fader->Update(0.0f);
    EXPECT_EQ(*filterParameter("fadeParam"), Vector());
    broadcastEvent("fadein"); // the slide show does not listen to it
    slides->Update(0.0f);
    fader->Update(0.0f);
    EXPECT_GT(filterParameter("fadeParam")->x, 0.0f);
    EXPECT_EQ(*filterParameter("distortParam1"), Vector());
}

} // namespace
