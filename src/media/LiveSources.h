#pragma once

#include "core/LiveSource.h"
#include "media/LiveReader.h"

#include <memory>
#include <optional>
#include <string>

namespace prismeta {

// The live sources open in the process: every window showing one source
// (the same path and options) shares one reader, and so one connection and
// one decoder. A reader lives while anyone holds it; the registry only
// finds it. Any thread.
class LiveSources {
public:
    // The reader of the source, opened now when no one holds it yet
    // (readerOptions apply only then).
    static std::shared_ptr<LiveReader> acquire(const std::string& source,
                                               const LiveOptions& options,
                                               const LiveReaderOptions& readerOptions = {});
    // How the source is doing; none when no one has it open.
    static std::optional<LiveStatus> status(const std::string& source, const LiveOptions& options);
    // Readers open now (for tests).
    static int openReaders();

    // How long a window keeps showing a source's last picture after it
    // stopped coming, before the placeholder; 2 seconds unless the
    // preference says otherwise.
    static void setHoldSeconds(double seconds);
    static double holdSeconds();
    static constexpr double defaultHoldSeconds = 2.0;
    static constexpr double maxHoldSeconds = 60.0;
};

} // namespace prismeta
