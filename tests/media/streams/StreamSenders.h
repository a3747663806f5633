#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace prismeta::testing {

// A free port on 127.0.0.1 for UDP (and the one after it, for RTP's RTCP,
// when pair is set), or for TCP: bound and released, so free for a moment.
int freeUdpPort(bool pair = false);
int freeTcpPort();

// What a test sender shows: one of FFmpeg's generated pictures (lavfi), at a
// size and rate, coded as H.264 by x264 with no frame delay.
struct SenderPicture {
    std::string pattern = "color=c=red";
    int width = 160;
    int height = 120;
    int fps = 25;
};

// FFmpeg's ffmpeg program sending a picture to the loopback in real time:
// "-f <format> <url>" and any further output arguments. With restart set, a
// sender that ends (an SRT caller with no one listening yet) is started again
// until stop. Killed and reaped when stopped or destroyed.
class StreamSender {
public:
    StreamSender(const SenderPicture& picture, std::vector<std::string> output,
                 bool restart = false);
    ~StreamSender();
    StreamSender(const StreamSender&) = delete;
    StreamSender& operator=(const StreamSender&) = delete;

    void stop();
    // How many times ffmpeg was started.
    int starts() const { return starts_.load(); }

private:
    void watch(std::vector<std::string> argv, bool restart);

    std::mutex mutex_;
    pid_t pid_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> starts_{0};
    std::thread watcher_;
};

// An SDP file for an RTP stream sent by ffmpeg to a free port pair, written
// by ffmpeg itself, in a folder of its own.
class RtpSender {
public:
    explicit RtpSender(const SenderPicture& picture);
    ~RtpSender();
    // Waits (10 s at most) for ffmpeg to have written the SDP file.
    bool ready() const;
    const std::filesystem::path& sdpFile() const { return sdp_; }
    int port() const { return port_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path sdp_;
    int port_;
    std::unique_ptr<StreamSender> sender_;
};

// A small RTSP server for one stream: ffmpeg sends RTP to it, and it serves
// that to RTSP clients over UDP (OPTIONS, DESCRIBE with ffmpeg's SDP,
// SETUP, PLAY, TEARDOWN), relaying each RTP packet to the client's port.
// ffmpeg's own RTSP mode only receives pushed streams, so the test serves
// one itself.
class RtspRelay {
public:
    explicit RtspRelay(const SenderPicture& picture);
    ~RtspRelay();
    std::string url() const;
    // Clients that got as far as PLAY.
    int plays() const { return plays_.load(); }

private:
    void serve();
    bool answer(int client, const std::string& request);

    RtpSender rtp_;
    int listener_ = -1;
    int rtpSocket_ = -1;
    int rtcpSocket_ = -1;
    int port_ = 0;
    int clientRtpPort_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> plays_{0};
    bool playing_ = false;
    std::thread server_;
};

} // namespace prismeta::testing
