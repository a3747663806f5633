#include "media/FFmpegLog.h"

#include "media/FFmpeg.h"

#include <mutex>

namespace prismeta {

void silenceFFmpegLogging() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

} // namespace prismeta
