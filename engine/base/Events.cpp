#include "engine/base/Events.h"

#include "engine/base/Log.h"

#include <algorithm>

Triggerable::~Triggerable() {
    eventDispatcher().unsubscribeAll(this);
}

void Triggerable::Trigger(const std::string&) {}

EventDispatcher& eventDispatcher() {
    // Never destroyed: subscribers may still be reached while static objects are torn down.
    static EventDispatcher* dispatcher = new EventDispatcher;
    return *dispatcher;
}

int subscribeEvent(Triggerable* object, const std::string& name) {
    return eventDispatcher().subscribeEvent(object, name);
}

void broadcastEvent(const std::string& name) {
    eventDispatcher().broadcastEvent(name);
}

void sendEvent(const std::string& name, Triggerable* target) {
    eventDispatcher().sendEvent(name, target);
}

int EventDispatcher::subscribeEvent(Triggerable* object, const std::string& name) {
    if (!object) return -1;
    std::lock_guard lock(mutex_);
    std::vector<Triggerable*>& list = table_[name];
    if (std::find(list.begin(), list.end(), object) == list.end()) list.push_back(object);
    return 0;
}

std::vector<std::string> EventDispatcher::names(const Triggerable* of) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& [name, list] : table_) {
        if (list.empty()) continue;
        if (of && std::find(list.begin(), list.end(), of) == list.end()) continue;
        result.push_back(name);
    }
    return result;
}

std::vector<Triggerable*> EventDispatcher::subscribers(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = table_.find(name);
    return it == table_.end() ? std::vector<Triggerable*>{} : it->second;
}

void EventDispatcher::broadcastEvent(const std::string& name) {
    for (Triggerable* object : subscribers(name))
        if (object) object->Trigger(name);
}

void EventDispatcher::sendEvent(const std::string& name, Triggerable* target) {
    const std::vector<Triggerable*> list = subscribers(name);
    if (target && std::find(list.begin(), list.end(), target) != list.end()) target->Trigger(name);
}

void EventDispatcher::unsubscribeAll(const Triggerable* object) {
    std::lock_guard lock(mutex_);
    for (auto& [name, list] : table_)
        std::erase(list, object);
}

void EventDispatcher::clear() {
    std::lock_guard lock(mutex_);
    table_.clear();
}

int EventTriggerList::addEventTrigger(const std::string& name, float time, Triggerable* target) {
    std::lock_guard lock(mutex_);
    // Scenes list their events in time order, so a new trigger usually goes at the end; otherwise
    // a binary search finds the first later one. Either way loading stays linear in the events.
    auto it = list_.end();
    if (!list_.empty() && time < list_.back().time)
        it = std::upper_bound(list_.begin(), list_.end(), time,
                              [](float t, const EventTrigger& trigger) { return t < trigger.time; });
    list_.insert(it, EventTrigger{name, time, target});
    return 0;
}

EventTriggerList::FireResult EventTriggerList::fireDueEvents(bool playing, float musicTime,
                                                             EventDispatcher& dispatcher, double songLength) {
    FireResult result;
    if (!playing) return result;

    std::vector<EventTrigger> due;
    {
        std::lock_guard lock(mutex_);
        // A step back by a little is the music clock's own jitter; one by more than half the
        // song can only be its loop point.
        const bool wrapped =
            songLength > 0.0 && static_cast<double>(lastMusicTime_) - musicTime > songLength * 0.5;
        lastMusicTime_ = musicTime;
        auto collect = [&](float until) {
            float newest = lastEventTime_;
            for (const EventTrigger& t : list_) {
                if (lastEventTime_ >= t.time) continue;
                if (t.time > until) break;
                if (t.name == "exit") {
                    result.exitRequested = true;
                    result.exitTime = t.time;
                    break;
                }
                due.push_back(t);
                if (t.time > newest) newest = t.time;
            }
            lastEventTime_ = newest;
        };
        if (wrapped) collect(static_cast<float>(songLength));
        if (!result.exitRequested) collect(musicTime);
    }
    for (const EventTrigger& t : due) {
        logStream << "Triggering Event: " << t.name << " " << t.time << std::endl;
        if (t.target)
            dispatcher.sendEvent(t.name, t.target);
        else
            dispatcher.broadcastEvent(t.name);
    }
    return result;
}

void EventTriggerList::musicStartedOver() {
    std::lock_guard lock(mutex_);
    lastMusicTime_ = 0.0f;
}

float EventTriggerList::lastEventTime() const {
    std::lock_guard lock(mutex_);
    return lastEventTime_;
}

std::vector<EventTrigger> EventTriggerList::triggers() const {
    std::lock_guard lock(mutex_);
    return {list_.begin(), list_.end()};
}

void EventTriggerList::clear() {
    std::lock_guard lock(mutex_);
    list_.clear();
    lastEventTime_ = 0.0f;
    lastMusicTime_ = 0.0f;
}
