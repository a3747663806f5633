#pragma once

namespace prismeta {

// Silences FFmpeg's own logging for the whole process. Media failures are
// silent by design (a surface shows its placeholder), and the command-line
// tool's standard error must carry only the system's log lines. Every entry
// point of the media library calls this; the tool may call it at start-up.
// Any thread; idempotent.
void silenceFFmpegLogging();

} // namespace prismeta
