// The reference of the actor classes (`beatshow --classes`, and the check's "did you mean")
// against the actors themselves: it must list exactly what each class reads and answers.
#include "actors/ActorClasses.h"
#include "actors/ActorFactory.h"
#include "tests/actors/ActorTestHelpers.h"

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>

namespace {

class ActorClassesTest : public RegistryTest {};

std::set<std::string> withoutCommonEvents(std::set<std::string> events) {
    for (const char* common : {"play", "pause", "stop"})
        events.erase(common);
    return events;
}

TEST_F(ActorClassesTest, ListsEveryClassTheFactoryBuildsInItsOrder) {
    std::vector<std::string> listed;
    for (const ActorClassInfo& info : actorClassReference())
        listed.push_back(info.className);
    EXPECT_EQ(listed, knownActorClasses());
    EXPECT_EQ(findActorClassInfo("Anouncer")->className, "Anouncer");
    EXPECT_EQ(findActorClassInfo("anouncer"), nullptr);
}

TEST_F(ActorClassesTest, SaysWhatEachActorReadsAndAnswers) {
    // All kept to the end: the dispatcher knows them by address.
    std::vector<std::unique_ptr<Actor>> actors;
    for (const ActorClassInfo& info : actorClassReference()) {
        SCOPED_TRACE(info.className);
        actors.emplace_back(createActor(info.className, "probe"));
        Actor* actor = actors.back().get();
        ASSERT_NE(actor, nullptr);

        // The parameters listed are the actor's; a parameter of its own beyond the three every
        // entity has is listed.
        std::set<std::string> listedParameters;
        for (const auto& parameter : info.parameters) {
            EXPECT_NE(actor->getParameter(parameter.name), nullptr) << parameter.name;
            EXPECT_FALSE(parameter.meaning.empty());
            listedParameters.insert(parameter.name);
        }
        for (const auto& [name, parameter] : actor->parameters()) {
            if (name != "Position" && name != "Rotation" && name != "Scale") {
                EXPECT_TRUE(listedParameters.count(name)) << name << " is not in the reference";
            }
        }

        // The events listed are the ones it subscribed to, besides those every actor gets.
        std::set<std::string> listedEvents;
        for (const auto& event : info.events)
            listedEvents.insert(event.name);
        const std::vector<std::string> subscribed = eventDispatcher().names(actor);
        EXPECT_EQ(withoutCommonEvents(listedEvents),
                  withoutCommonEvents(std::set<std::string>(subscribed.begin(), subscribed.end())));
        for (const std::string& event : listedEvents)
            EXPECT_TRUE(std::count(subscribed.begin(), subscribed.end(), event)) << event;

        // An element it lists is its own (taken, or refused for lack of its attributes); a class
        // that lists none takes none.
        std::string why;
        bool ownElements = false;
        for (const auto& element : info.elements) {
            if (element.name == "child") continue;
            ownElements = true;
            EXPECT_NE(actor->TakeElement({element.name, {}}, why), Actor::ElementResult::NotMine)
                << element.name;
        }
        if (!ownElements) {
            EXPECT_EQ(actor->TakeElement({"line", {{"text", "x"}}}, why), Actor::ElementResult::NotMine);
        }
        EXPECT_FALSE(info.draws.empty());
        EXPECT_FALSE(info.timings.empty());
    }
}

TEST_F(ActorClassesTest, TheTextNamesEveryClassWithItsParametersEventsAndTimings) {
    const std::string text = actorClassReferenceText();
    for (const ActorClassInfo& info : actorClassReference())
        EXPECT_NE(text.find("\n" + info.className + "\n  " + info.summary.substr(0, info.summary.find(' '))),
                  std::string::npos)
            << info.className;
    // Lines fit a terminal.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 100u) << line;
    EXPECT_NE(text.find("  parameter  Params (default 1 0 0): "), std::string::npos);
    EXPECT_NE(text.find("  event      fadein: towards the full picture"), std::string::npos);
    EXPECT_NE(text.find("  element    <line text=\"WORDS\" hold=\"SECONDS\" />"), std::string::npos);
    EXPECT_NE(text.find("  timing     each line fades in for 0.5 s, holds 1.85 s"), std::string::npos);
}

} // namespace
