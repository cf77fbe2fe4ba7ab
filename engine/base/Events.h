// Run-time events: plain names delivered to Triggerable objects.
//
// EventDispatcher maps a name to its subscribers in subscription order; EventTriggerList holds
// the scene's timed events sorted by music time and fires each once when the music passes it.
//
// Both are filled by the loader thread while the main thread fires events, so each guards its
// own lists. Delivery (Triggerable::Trigger) always happens outside the locks: a subscriber may
// subscribe, broadcast or add triggers from inside Trigger without deadlocking.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

// Anything that receives events: entities, actors, test probes.
class Triggerable {
public:
    // Leaves every subscription of the process-wide dispatcher: a scene that is reset destroys
    // its entities, and no event may reach them afterwards.
    virtual ~Triggerable();
    Triggerable() = default;
    Triggerable(const Triggerable&) = delete;
    Triggerable& operator=(const Triggerable&) = delete;
    // Called for every event name the object subscribed to.
    virtual void Trigger(const std::string& name);
};

class EventDispatcher {
public:
    // -1 for a null object; an object already subscribed to the name is not added again.
    int subscribeEvent(Triggerable* object, const std::string& name);
    // Trigger(name) on every subscriber of the name, in subscription order; unknown names do nothing.
    void broadcastEvent(const std::string& name);
    // Trigger(name) on target only when it subscribed to the name.
    void sendEvent(const std::string& name, Triggerable* target);
    // Subscribers of a name in order (empty for an unknown name).
    std::vector<Triggerable*> subscribers(const std::string& name) const;
    // Removes the object from every name it subscribed to.
    void unsubscribeAll(const Triggerable* object);
    // The names with at least one subscriber (`of` given: that one), in byte-wise order.
    std::vector<std::string> names(const Triggerable* of = nullptr) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<Triggerable*>> table_;
};

struct EventTrigger {
    std::string name;
    float time = 0.0f;             // seconds of music time
    Triggerable* target = nullptr; // null: every subscriber of the name
};

class EventTriggerList {
public:
    // Inserts before the first trigger with a greater time, so equal times keep insertion order.
    // Appending in time order takes constant time, an earlier time a binary search.
    int addEventTrigger(const std::string& name, float time, Triggerable* target);

    struct FireResult {
        bool exitRequested = false;
        float exitTime = 0.0f; // the "exit" trigger's time, when one came due
    };
    // The per-frame step: fires every trigger with lastEventTime < time <= musicTime in list
    // order through the dispatcher, logging "Triggering Event: <name> <time>". An "exit" trigger
    // stops the walk and is reported instead of delivered. Does nothing unless playing.
    //
    // With the song's length (seconds; 0 when unknown), a music time that went back by more than
    // half of it since the last step is the music starting over: the triggers up to the song's
    // end come due first, as if that step had reached it, so a trigger (an "exit") in the last
    // frame's worth of the song is not stepped over. A trigger after the song's end never fires.
    FireResult fireDueEvents(bool playing, float musicTime, EventDispatcher& dispatcher,
                             double songLength = 0.0);

    // The music was started from its beginning (a scene's playback starting): the next step's
    // earlier time is no loop point.
    void musicStartedOver();

    float lastEventTime() const;
    std::vector<EventTrigger> triggers() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<EventTrigger> list_; // sorted by time
    float lastEventTime_ = 0.0f;
    float lastMusicTime_ = 0.0f; // the music time of the last step while playing
};

// The process-wide dispatcher. It lives here rather than in the registry so that entities, which
// subscribe when they are built, sit below the registry that lists them.
EventDispatcher& eventDispatcher();

// The process-wide dispatcher's operations.
int subscribeEvent(Triggerable* object, const std::string& name);
void broadcastEvent(const std::string& name);
void sendEvent(const std::string& name, Triggerable* target);
