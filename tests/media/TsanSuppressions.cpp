// FFmpeg's libraries are not built with ThreadSanitizer: the reference counts
// and frame-thread hand-offs inside them use atomics it cannot see, so buffers
// freed on our decoding thread after a codec thread made them look like
// races. Mesa's software driver (llvmpipe, in the renderer's tests) is in the
// same position with its rasterizer threads. Reports with their code in a
// stack are hidden; the media library's own hand-offs (frame pool, leases,
// clocks) stay checked. libsrt (SRT live sources, through libavformat) takes
// its own locks in its own threads in orders ThreadSanitizer cannot prove
// safe (a listener's socket, receive queue and socket table): its potential
// deadlocks and races are libsrt's, with no frame of ours between the locks.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:libavutil.so\n"
           "race:libavcodec.so\n"
           "race:swrast_dri.so\n"
           "race:libsrt-gnutls.so\n"
           "deadlock:libsrt-gnutls.so\n";
}
#endif
