#pragma once

namespace prismeta {

// The host clock that video playback follows, in seconds. Monotonic; its
// origin is arbitrary, so only differences mean anything. Any thread.
double hostSeconds();

} // namespace prismeta
