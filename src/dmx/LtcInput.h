#pragma once

#include "core/Result.h"
#include "dmx/TimecodeRate.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace prismeta {

// LTC read from an audio input on a thread of its own: an ALSA capture
// device ("default", "hw:1,0"), or, for tests and recorded tracks, a WAV
// file (played at its own pace, as a track would be) or a named pipe
// carrying a WAV stream (read as it comes). Each accepted code (LtcDecoder)
// is kept with the time its frame began; `wake` is called on the reading
// thread after each one.
//
// Made and destroyed on one thread; take() from any. The destructor stops
// the thread.
class LtcInput {
public:
    // Where the input is and what it is; fails when it cannot be opened or is
    // not audio this reads.
    static Result<std::unique_ptr<LtcInput>> start(const std::string& input,
                                                   std::function<void()> wake);
    ~LtcInput();
    LtcInput(const LtcInput&) = delete;
    LtcInput& operator=(const LtcInput&) = delete;

    // The newest code since the last call.
    std::optional<TimecodeReading> take();
    // Codes decoded but refused by the checks, so far.
    std::uint64_t rejected() const { return rejected_.load(); }
    // Whether the input ended (a file played out, a pipe closed).
    bool ended() const { return ended_.load(); }

private:
    struct Source;
    explicit LtcInput(std::unique_ptr<Source> source, std::function<void()> wake);
    void run();

    std::unique_ptr<Source> source_;
    std::function<void()> wake_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ended_{false};
    std::atomic<std::uint64_t> rejected_{0};
    int stopEvent_ = -1;
    std::mutex mutex_;
    std::optional<TimecodeReading> latest_;
    std::thread thread_;
};

} // namespace prismeta
