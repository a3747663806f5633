#pragma once

#include "cluster/ClusterMessages.h"
#include "cluster/CueTiming.h"
#include "core/SurfaceList.h"

#include <map>
#include <string>
#include <utility>

namespace prismeta {

// Every video's start on the show clock, between the leader's playback clock
// and the followers' (media/PlaybackClock.h): a video's picture at show time
// t is the picture t - start into it, so machines that share the starts show
// the same picture.
//
// The leader's side: the started playbacks of the surfaces' current media
// (the playback clock's host time put on the show clock), into the message.
// Allocates; call it when a GO happened, or a few times a second. A start
// within a millisecond of the one the message holds keeps that one.
void putVideoStarts(ShowStateMessage& message, const SurfaceList& surfaces, ClockReading now);

// The follower's side: each start the leader sent, new or changed, handed to
// this machine's playback clock in its own host time (kept for renderers
// that join later). A start without its media signature is skipped.
// Interface thread.
class FollowedVideoStarts {
public:
    void apply(const ShowStateMessage& message, ClockReading now);

private:
    // What was handed over last, per surface: the signature and the start.
    std::map<Uuid, std::pair<std::string, std::int64_t>> applied_;
};

} // namespace prismeta
