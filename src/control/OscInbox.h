#pragma once

#include "control/OscMessage.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace prismeta {

// The bounded queue between the thread that receives OSC messages and the
// interface thread that carries them out.
//
// It holds at most `maxMessages` messages and `maxBytes` of their text. When
// a message finds it full, the oldest queued edit of the same address and
// type tags makes room (a newer value of a field supersedes an older one, so
// a fader flooding one field keeps only its latest values); failing that, the
// oldest edit of any field that has a newer edit queued behind it; failing
// that, the message is dropped. So a command sent during a flood of one field
// still gets in, and nothing is dropped that a later message would not have
// overwritten anyway unless every queued message is needed. Queries, actions
// and subscriptions are never dropped to make room. The counts of dropped
// messages are kept for the log.
//
// Waking: the first message that finds the queue idle calls `wake` (on the
// receiving thread, outside the lock); the interface thread then calls take()
// until it says nothing remains, and only then does a new message wake it
// again. So a flood costs one wake-up per batch, not one per message.
//
// push() from any thread; take() from one consumer thread. Owns the messages
// while they wait.
class OscInbox {
public:
    struct Limits {
        std::size_t maxMessages = 4096;
        std::size_t maxBytes = std::size_t{8} << 20;
    };
    struct Drops {
        std::uint64_t superseded = 0; // edits replaced by a newer one of the same field
        std::uint64_t refused = 0;    // messages that found no room
    };

    explicit OscInbox(std::function<void()> wake);
    OscInbox(Limits limits, std::function<void()> wake);
    OscInbox(const OscInbox&) = delete;
    OscInbox& operator=(const OscInbox&) = delete;

    // Queues the message; false when it was dropped for want of room.
    bool push(OscMessage message);

    // Moves up to `max` messages, oldest first, to the end of `out`. True
    // when more are waiting: the caller must come back for them (no new wake
    // is sent until the queue has been seen empty).
    bool take(std::size_t max, std::vector<OscMessage>& out);

    std::size_t size() const;
    // The most messages ever waiting at once.
    std::size_t highWater() const;
    // The drops since the last call.
    Drops takeDrops();

private:
    struct Entry {
        OscMessage message;
        std::size_t bytes = 0;
        std::string editKey; // empty for messages that are not edits
    };
    using Iterator = std::list<Entry>::iterator;

    // The queued edits of each address and type tags, oldest first.
    using Edits = std::unordered_map<std::string, std::deque<Iterator>>;

    void eraseLocked(Iterator entry);
    // Takes the oldest of a key's queued edits off its list (its entry is
    // the caller's to erase).
    void forgetOldestEditLocked(Edits::iterator same);
    // Removes the oldest queued edit of the key; false when it has none.
    bool dropOldestLocked(const std::string& key);

    const Limits limits_;
    const std::function<void()> wake_;

    mutable std::mutex mutex_;
    std::list<Entry> entries_;
    Edits edits_;
    // The keys with more than one queued edit: their older ones are redundant.
    std::unordered_set<std::string> redundant_;
    std::size_t bytes_ = 0;
    std::size_t highWater_ = 0;
    bool wakePending_ = false;
    Drops drops_;
};

} // namespace prismeta
