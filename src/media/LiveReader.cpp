#include "media/LiveReader.h"

#include "media/FFmpeg.h"
#include "media/FFmpegLog.h"
#include "media/LiveStreamDecoder.h"
#include "media/PixelConverter.h"
#include "media/ThreadReaper.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

namespace prismeta {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> liveThreads{0};

// Row alignment of the converted pictures: what swscale's vector code likes.
constexpr int rowAlignment = 32;

// Buffers: the newest picture, one being converted, and room for windows
// that are still uploading an older one.
constexpr int pictureSlots = 4;

// Buffers made ready before the first picture: it and the one after it.
constexpr int preparedSlots = 2;

// A source that drops out again sooner than this after its last "lost" line
// is not logged again; the next line counts the drop-outs in between.
constexpr std::chrono::seconds lostLineInterval{30};

// An input that answers "try again" (a device opened without blocking) is
// asked again after this.
constexpr std::chrono::milliseconds againPause{4};

class OpenedInput final : public LiveConnection {
public:
    explicit OpenedInput(std::unique_ptr<LiveInput> input) : input_(std::move(input)) {}
    AVFormatContext& format() override { return input_->format(); }
    void beforeRead() override { input_->beforeRead(); }

private:
    std::unique_ptr<LiveInput> input_;
};

int pictureStride(const PictureSize& size) {
    return (size.width * 4 + rowAlignment - 1) / rowAlignment * rowAlignment;
}

std::size_t pictureBytes(const PictureSize& size) {
    return static_cast<std::size_t>(pictureStride(size)) * static_cast<std::size_t>(size.height) +
           PixelConverter::destinationSlack;
}

} // namespace

struct LiveReader::State {
    State(std::string sourceName, bool passiveSource, const LiveReaderOptions& readerOptions)
        : name(std::move(sourceName)), passive(passiveSource), options(readerOptions),
          pictures(pictureSlots), interrupt(&stop) {}

    const std::string name;
    const bool passive;
    const LiveReaderOptions options;
    LivePictures pictures;
    std::atomic<bool> stop{false};
    LiveInterrupt interrupt;
    std::atomic<LiveStatus::State> state{LiveStatus::State::waiting};
    std::atomic<double> fps{0.0};
    std::atomic<std::uint64_t> connections{0};
    // Pictures lost in the connections before the current one, and in it.
    std::atomic<std::uint64_t> lostBefore{0};
    std::atomic<std::uint64_t> lostNow{0};
    std::atomic<bool> portTaken{false};

    std::mutex mutex; // the log queue and the wake-up
    std::condition_variable wake;
    std::vector<std::string> logQueue;

    // The reader thread's own.
    std::optional<Clock::time_point> lastLostLine;
    bool lostLineWritten = false;
    int unloggedLosses = 0;
    bool toldNotThere = false;
    Clock::time_point rateStart{};
    int rateCount = 0;

    void run(const LiveOpener& opener);
    bool session(LiveConnection& connection);
    void deliver(AVFrame& frame, PixelConverter& converter);
    void connected(int width, int height);
    void lost();
    void queueLine(std::string line);
    // Waits for the given time; false when stopped meanwhile.
    bool pause(std::chrono::milliseconds wait);
    bool stopped() const { return stop.load(std::memory_order_relaxed); }
};

void LiveReader::State::queueLine(std::string line) {
    const std::lock_guard lock(mutex);
    logQueue.push_back(std::move(line));
}

bool LiveReader::State::pause(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, wait, [this] { return stopped(); });
}

void LiveReader::State::connected(int width, int height) {
    const LiveStatus::State was = state.exchange(LiveStatus::State::connected);
    if (was == LiveStatus::State::lost && lostLineWritten) {
        queueLine("Prismeta: live source " + name + " is back (" + std::to_string(width) + "x" +
                  std::to_string(height) + ")");
        lostLineWritten = false;
    }
}

void LiveReader::State::lost() {
    LiveStatus::State expected = LiveStatus::State::connected;
    if (!state.compare_exchange_strong(expected, LiveStatus::State::lost)) {
        return;
    }
    fps = 0.0;
    const Clock::time_point now = Clock::now();
    if (lastLostLine && now - *lastLostLine < lostLineInterval) {
        ++unloggedLosses;
        lostLineWritten = false;
        return;
    }
    std::string line = "Prismeta: live source " + name + " lost";
    if (unloggedLosses > 0) {
        line += " (it dropped out " + std::to_string(unloggedLosses) +
                " more times since the last line)";
    }
    line += "; holding its last picture, then the placeholder, until it is back";
    queueLine(std::move(line));
    lastLostLine = now;
    lostLineWritten = true;
    unloggedLosses = 0;
}

void LiveReader::State::deliver(AVFrame& frame, PixelConverter& converter) {
    const Clock::time_point now = Clock::now();
    if (rateCount == 0 || now - rateStart >= std::chrono::seconds(1)) {
        if (rateCount > 0) {
            fps = rateCount / std::chrono::duration<double>(now - rateStart).count();
        }
        rateStart = now;
        rateCount = 0;
    }
    ++rateCount;

    const int slot = pictures.acquire();
    if (slot < 0) {
        pictures.countNotShown();
        return;
    }
    const PictureSize size = fitWithin(frame.width, frame.height, options.maxDimension);
    const int stride = pictureStride(size);
    std::uint8_t* memory = pictures.storage(slot, pictureBytes(size));
    if (memory == nullptr ||
        !converter.convert(frame, AV_PIX_FMT_BGRA, size.width, size.height, memory, stride)) {
        pictures.discard(slot);
        return;
    }
    LivePicture& picture = pictures.picture(slot);
    picture.pixels = memory;
    picture.width = size.width;
    picture.height = size.height;
    picture.stride = stride;
    pictures.publish(slot);
    connected(frame.width, frame.height);
}

bool LiveReader::State::session(LiveConnection& connection) {
    AVFormatContext& format = connection.format();
    struct Sink final : LiveStreamDecoder::Sink {
        State& state;
        PixelConverter converter{PixelConverter::Quality::fast};
        int delivered = 0;
        explicit Sink(State& owner) : state(owner) {}
        void picture(AVFrame& frame) override {
            state.deliver(frame, converter);
            ++delivered;
        }
    } sink(*this);

    LiveStreamDecoder decoder(options.maxPixels, options.decoderThreads);
    ff::Packet packet = ff::makePacket();
    if (!packet) {
        return false;
    }
    const Clock::time_point start = Clock::now();
    std::optional<Clock::time_point> lastPicture;
    interrupt.setDeadline(start + options.stallTimeout);
    while (!stopped()) {
        connection.beforeRead();
        const int read = av_read_frame(&format, packet.get());
        if (read == AVERROR(EAGAIN)) {
            if (interrupt.timedOut() || !pause(againPause)) {
                break;
            }
            continue;
        }
        if (read < 0) {
            break; // the end, a broken connection, silence past the deadline
        }
        const int before = sink.delivered;
        const bool ours = decoder.feed(format, *packet, sink);
        av_packet_unref(packet.get());
        lostNow.store(decoder.lost(), std::memory_order_relaxed);
        const Clock::time_point now = Clock::now();
        if (ours || decoder.stream() < 0) {
            interrupt.setDeadline(now + options.stallTimeout);
        }
        if (sink.delivered > before) {
            lastPicture = now;
        } else if (lastPicture && now - *lastPicture > options.stallTimeout) {
            lost(); // packets, but no pictures
        }
        if (now - lastPicture.value_or(start) > options.garbageTimeout) {
            break;
        }
    }
    interrupt.clearDeadline();
    lostBefore.fetch_add(decoder.lost());
    lostNow.store(0);
    return sink.delivered > 0;
}

void LiveReader::State::run(const LiveOpener& opener) {
    silenceFFmpegLogging();
    if (options.expectedWidth > 0 && options.expectedHeight > 0 &&
        std::int64_t{options.expectedWidth} * options.expectedHeight <= options.maxPixels) {
        pictures.prepare(pictureBytes(fitWithin(options.expectedWidth, options.expectedHeight,
                                                options.maxDimension)),
                         preparedSlots);
    }
    std::chrono::milliseconds retry = options.firstRetry;
    while (!stopped()) {
        if (passive) {
            interrupt.clearDeadline();
        } else {
            interrupt.setDeadline(Clock::now() + options.openTimeout);
        }
        std::string error;
        std::unique_ptr<LiveConnection> connection = opener(interrupt, error);
        interrupt.clearDeadline();
        if (stopped()) {
            break;
        }
        bool delivered = false;
        portTaken = !connection && error == livePortTaken;
        if (connection) {
            connections.fetch_add(1);
            delivered = session(*connection);
            connection.reset();
        } else if (!toldNotThere && state.load() == LiveStatus::State::waiting) {
            toldNotThere = true;
            queueLine(portTaken ? "Prismeta: live source " + name + " cannot listen: " + error +
                                      "; trying again"
                                : "Prismeta: live source " + name + " is not there yet (" + error +
                                      "); trying again");
        }
        lost();
        if (stopped()) {
            break;
        }
        if (delivered) {
            retry = options.firstRetry;
        }
        if (!pause(retry)) {
            break;
        }
        if (!delivered) {
            retry = std::min(retry * 2, options.lastRetry);
        }
    }
}

LiveReader::LiveReader(const std::string& source, const LiveOptions& options,
                       const LiveReaderOptions& readerOptions)
    : name_(displayedLiveSource(source)) {
    LiveOpenPlan plan = planLiveOpen(source, options);
    LiveReaderOptions opened = readerOptions;
    if (options.width && options.height) {
        opened.expectedWidth = *options.width;
        opened.expectedHeight = *options.height;
    }
    state_ = std::make_shared<State>(name_, plan.passive, opened);
    start([plan = std::move(plan)](LiveInterrupt& interrupt,
                                   std::string& error) -> std::unique_ptr<LiveConnection> {
        std::unique_ptr<LiveInput> input = openLiveInput(plan, interrupt, &error);
        if (!input) {
            return nullptr;
        }
        return std::make_unique<OpenedInput>(std::move(input));
    });
}

LiveReader::LiveReader(std::string name, bool passive, LiveOpener opener,
                       const LiveReaderOptions& readerOptions)
    : name_(std::move(name)), state_(std::make_shared<State>(name_, passive, readerOptions)) {
    start(std::move(opener));
}

void LiveReader::start(LiveOpener opener) {
    liveThreads.fetch_add(1);
    try {
        thread_ = std::thread([state = state_.get(), opener = std::move(opener)] {
            state->run(opener);
            liveThreads.fetch_sub(1);
        });
    } catch (const std::system_error&) {
        liveThreads.fetch_sub(1);
    }
}

LiveReader::~LiveReader() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->stop = true;
    }
    state_->wake.notify_all();
    ThreadReaper::instance().retire(std::move(thread_), std::move(state_));
}

LivePictures& LiveReader::pictures() {
    return state_->pictures;
}

LiveStatus LiveReader::status() const {
    LiveStatus status;
    status.state = state_->state.load();
    status.lost = state_->lostBefore.load() + state_->lostNow.load();
    status.notShown = state_->pictures.notShown();
    status.portTaken = state_->portTaken.load();
    const auto newest = state_->pictures.newestAt();
    const auto age = newest ? Clock::now() - *newest : Clock::duration::max();
    if (newest) {
        status.pictureAge = std::chrono::duration<double>(age).count();
    }
    if (status.state == LiveStatus::State::connected && age > state_->options.stallTimeout) {
        status.state = LiveStatus::State::lost;
    }
    if (status.state == LiveStatus::State::connected) {
        status.fps = state_->fps.load();
    }
    return status;
}

std::vector<std::string> LiveReader::takeLogLines() {
    std::vector<std::string> lines;
    const std::lock_guard lock(state_->mutex);
    lines.swap(state_->logQueue);
    return lines;
}

std::uint64_t LiveReader::connections() const {
    return state_->connections.load();
}

int LiveReader::liveReaderThreads() {
    ThreadReaper::instance().waitIdle();
    return liveThreads.load();
}

} // namespace prismeta
