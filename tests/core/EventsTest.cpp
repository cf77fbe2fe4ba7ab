#include "engine/base/Events.h"
#include "tests/support/TestSupport.h"

#include <algorithm>

namespace {

struct Recorder : Triggerable {
    explicit Recorder(std::vector<std::string>* journal, std::string tag)
        : journal(journal), tag(std::move(tag)) {}
    void Trigger(const std::string& name) override { journal->push_back(tag + ":" + name); }
    std::vector<std::string>* journal;
    std::string tag;
};

class EventsTest : public RegistryTest {
protected:
    std::vector<std::string> journal;
    Recorder a{&journal, "a"};
    Recorder b{&journal, "b"};

    void frameAt(float musicTime) {
        registry().musicTime = musicTime;
        fireDueEvents();
    }
};

TEST_F(EventsTest, BroadcastReachesSubscribersInOrderOnce) {
    subscribeEvent(&b, "go");
    subscribeEvent(&a, "go");
    subscribeEvent(&b, "go");
    EXPECT_EQ(subscribeEvent(nullptr, "go"), -1);
    broadcastEvent("go");
    broadcastEvent("unknown");
    EXPECT_EQ(journal, (std::vector<std::string>{"b:go", "a:go"}));
}

TEST_F(EventsTest, TheNamesSubscribedToAreListedForAllOrOne) {
    subscribeEvent(&b, "zoom");
    subscribeEvent(&a, "go");
    subscribeEvent(&b, "go");
    const std::vector<std::string> all = eventDispatcher().names();
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    EXPECT_TRUE(std::count(all.begin(), all.end(), "go") && std::count(all.begin(), all.end(), "zoom"));
    EXPECT_EQ(eventDispatcher().names(&a), std::vector<std::string>{"go"});
    EXPECT_EQ(eventDispatcher().names(&b), (std::vector<std::string>{"go", "zoom"}));
}

TEST_F(EventsTest, SendReachesOnlyASubscribedTarget) {
    subscribeEvent(&a, "go");
    sendEvent("go", &b);
    sendEvent("go", &a);
    sendEvent("other", &a);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:go"}));
}

TEST_F(EventsTest, TriggersFireOnceWhenTheMusicPassesThem) {
    subscribeEvent(&a, "one");
    subscribeEvent(&a, "two");
    registry().playing = true;
    addEventTrigger("two", 2.0f, nullptr);
    addEventTrigger("one", 1.5f, nullptr);
    frameAt(1.0f);
    EXPECT_TRUE(journal.empty());
    frameAt(1.5f);
    frameAt(1.9f);
    frameAt(3.0f);
    frameAt(4.0f);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:one", "a:two"}));
    EXPECT_TRUE(log().contains("Triggering Event: one 1.5"));
    EXPECT_TRUE(log().contains("Triggering Event: two 2"));
    EXPECT_EQ(registry().triggers.lastEventTime(), 2.0f);
}

TEST_F(EventsTest, TriggerAtTimeZeroNeverFires) {
    subscribeEvent(&a, "zero");
    registry().playing = true;
    addEventTrigger("zero", 0.0f, nullptr);
    frameAt(0.0f);
    frameAt(5.0f);
    EXPECT_TRUE(journal.empty());
}

TEST_F(EventsTest, NothingFiresBeforePlayback) {
    subscribeEvent(&a, "go");
    addEventTrigger("go", 1.0f, nullptr);
    frameAt(10.0f);
    EXPECT_TRUE(journal.empty());
    registry().playing = true;
    frameAt(10.0f);
    EXPECT_EQ(journal.size(), 1u);
}

TEST_F(EventsTest, EqualTimesFireInInsertionOrderInOneFrame) {
    subscribeEvent(&a, "x");
    subscribeEvent(&b, "y");
    subscribeEvent(&a, "z");
    registry().playing = true;
    addEventTrigger("x", 1.0f, nullptr);
    addEventTrigger("y", 1.0f, nullptr);
    addEventTrigger("z", 0.5f, nullptr);
    frameAt(1.0f);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:z", "a:x", "b:y"}));
}

TEST_F(EventsTest, TargetedTriggerReachesOnlyItsTarget) {
    subscribeEvent(&a, "go");
    subscribeEvent(&b, "go");
    registry().playing = true;
    addEventTrigger("go", 1.0f, &b);
    frameAt(2.0f);
    EXPECT_EQ(journal, (std::vector<std::string>{"b:go"}));
}

TEST_F(EventsTest, ExitStopsTheWalkAndEndsTheShow) {
    subscribeEvent(&a, "before");
    subscribeEvent(&a, "after");
    registry().playing = true;
    addEventTrigger("before", 1.0f, nullptr);
    addEventTrigger("exit", 1.0f, nullptr);
    addEventTrigger("after", 1.0f, nullptr);
    frameAt(1.0f);
    EXPECT_TRUE(registry().quitRequested);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:before"}));
    EXPECT_EQ(log().count("Triggering Event: exit"), 0);
}

TEST_F(EventsTest, TriggerAddedAtOrBeforeTheLastFiredTimeNeverFires) {
    subscribeEvent(&a, "late");
    registry().playing = true;
    addEventTrigger("late", 3.0f, nullptr);
    frameAt(3.0f);
    addEventTrigger("late", 2.0f, nullptr);
    addEventTrigger("late", 3.0f, nullptr);
    frameAt(10.0f);
    EXPECT_EQ(journal.size(), 1u);
}

// The music loops: a 20-second song read at 19.9 s and then at 0.05 s has passed its end between
// the two frames.
TEST_F(EventsTest, TheMusicStartingOverFiresWhatLayBeforeTheSongsEndFirst) {
    subscribeEvent(&a, "last");
    subscribeEvent(&a, "early");
    subscribeEvent(&a, "late");
    EventTriggerList list;
    list.addEventTrigger("early", 0.5f, nullptr);
    list.addEventTrigger("last", 19.95f, nullptr);
    list.addEventTrigger("late", 20.5f, nullptr); // after the song's end: never
    EventDispatcher& dispatcher = eventDispatcher();
    const double song = 20.0;
    list.fireDueEvents(true, 1.0f, dispatcher, song);
    list.fireDueEvents(true, 19.9f, dispatcher, song);
    list.fireDueEvents(true, 19.88f, dispatcher, song); // a clock's jitter is no loop point
    EXPECT_EQ(journal, (std::vector<std::string>{"a:early"}));
    list.fireDueEvents(true, 0.05f, dispatcher, song);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:early", "a:last"}));
    // Every later pass: nothing fires again, and what lies after the end never does.
    for (int pass = 0; pass < 3; ++pass)
        for (float t = 0.0f; t < 20.0f; t += 0.3f)
            list.fireDueEvents(true, t, dispatcher, song);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:early", "a:last"}));

    // An exit in the song's last frame ends the show at the loop point, before anything of the
    // next pass is delivered.
    EventTriggerList ending;
    ending.addEventTrigger("exit", 19.97f, nullptr);
    ending.fireDueEvents(true, 19.9f, dispatcher, song);
    const auto result = ending.fireDueEvents(true, 0.02f, dispatcher, song);
    EXPECT_TRUE(result.exitRequested);
    EXPECT_FLOAT_EQ(result.exitTime, 19.97f);

    // Without a known length nothing counts as a loop point.
    EventTriggerList unknown;
    unknown.addEventTrigger("exit", 19.97f, nullptr);
    unknown.fireDueEvents(true, 19.9f, dispatcher);
    EXPECT_FALSE(unknown.fireDueEvents(true, 0.02f, dispatcher).exitRequested);
}

TEST(EventTriggerOrder, ManyTriggersInAnyOrderEndUpAsAStableSortByTime) {
    std::vector<EventTrigger> added;
    uint32_t state = 11;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1103515245u + 12345u;
        const float time =
            i < 1000 ? static_cast<float>(i / 3) * 0.5f : static_cast<float>((state >> 16) % 300) * 0.5f;
        added.push_back({"e" + std::to_string(i), time, nullptr});
    }
    EventTriggerList list;
    for (const EventTrigger& t : added)
        EXPECT_EQ(list.addEventTrigger(t.name, t.time, t.target), 0);
    std::stable_sort(added.begin(), added.end(),
                     [](const EventTrigger& a, const EventTrigger& b) { return a.time < b.time; });
    const auto triggers = list.triggers();
    ASSERT_EQ(triggers.size(), added.size());
    for (size_t i = 0; i < added.size(); ++i)
        ASSERT_EQ(triggers[i].name, added[i].name) << "position " << i;
}

} // namespace
