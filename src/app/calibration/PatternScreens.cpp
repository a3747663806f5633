#include "app/calibration/PatternScreens.h"

#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include <condition_variable>
#include <cstring>
#include <mutex>

namespace prismeta {

// Black over the whole window, and a pattern drawn one image pixel to one
// device pixel from the top-left corner.
class PatternCover : public QWidget {
public:
    explicit PatternCover(OutputWindow* window) : QWidget(window), window_(window) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setCursor(Qt::BlankCursor);
        setGeometry(window->rect());
        window->installEventFilter(this);
        if (window->view() != nullptr) {
            viewWasVisible_ = window->view()->isVisible();
            window->view()->hide(); // nothing drawn under the patterns
        }
        show();
        raise();
    }
    ~PatternCover() override {
        if (window_ && window_->view() != nullptr && viewWasVisible_) {
            window_->view()->show();
        }
    }

    void setPattern(const QImage& pattern) {
        pattern_ = pattern;
        raise();
        // Painted and handed to the window system now, not on the next turn.
        repaint();
    }
    const QImage& pattern() const { return pattern_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Resize) {
            setGeometry(window_->rect());
        }
        return false;
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (!pattern_.isNull()) {
            QImage image = pattern_;
            image.setDevicePixelRatio(devicePixelRatioF());
            painter.drawImage(QPointF(0, 0), image);
        }
    }

private:
    QPointer<OutputWindow> window_;
    QImage pattern_;
    bool viewWasVisible_ = false;
};

struct PatternScreens::Handoff {
    std::mutex mutex;
    std::condition_variable answered;
    bool closed = false;
    std::uint64_t asked = 0;
    std::uint64_t done = 0;
    bool shown = false;
};

PatternScreens::PatternScreens(std::vector<QPointer<OutputWindow>> windows,
                               std::vector<QPointer<OutputWindow>> others,
                               std::chrono::milliseconds delay, QObject* parent)
    : QObject(parent), windows_(std::move(windows)), delay_(delay),
      handoff_(std::make_shared<Handoff>()) {
    for (const QPointer<OutputWindow>& window : windows_) {
        sizes_.push_back(window ? rasterSize(*window) : QSize());
        covers_.push_back(window ? new PatternCover(window) : nullptr);
    }
    for (const QPointer<OutputWindow>& window : others) {
        if (window) {
            covers_.push_back(new PatternCover(window));
        }
    }
}

PatternScreens::~PatternScreens() {
    close();
    for (const QPointer<PatternCover>& cover : covers_) {
        delete cover.data();
    }
}

QSize PatternScreens::rasterSize(const OutputWindow& window) {
    const qreal ratio = window.devicePixelRatioF();
    return {qRound(window.width() * ratio), qRound(window.height() * ratio)};
}

void PatternScreens::close() {
    std::lock_guard lock(handoff_->mutex);
    handoff_->closed = true;
    handoff_->answered.notify_all();
}

QImage PatternScreens::shownOn(std::size_t k) const {
    return k < covers_.size() && covers_[k] ? covers_[k]->pattern() : QImage();
}

calibration::PatternShower PatternScreens::shower() {
    const std::shared_ptr<Handoff> handoff = handoff_;
    PatternScreens* const self = this;
    return [handoff, self](std::size_t output, const calibration::GreyImage* pattern,
                           const std::atomic<bool>& cancel) {
        // Made here, on the run's thread: the interface thread only paints it.
        QImage image;
        if (pattern != nullptr) {
            image = QImage(pattern->width, pattern->height, QImage::Format_Grayscale8);
            for (int y = 0; y < pattern->height; ++y) {
                std::memcpy(image.scanLine(y),
                            pattern->pixels.data() + static_cast<std::size_t>(y) * pattern->width,
                            static_cast<std::size_t>(pattern->width));
            }
        }
        std::unique_lock lock(handoff->mutex);
        if (handoff->closed) {
            return false;
        }
        const std::uint64_t ticket = ++handoff->asked;
        // Posted under the lock, before close(): the screens still exist
        // now, and a call left pending when they go goes with them.
        QMetaObject::invokeMethod(
            self, [self, output, image, ticket] { self->present(output, image, ticket); },
            Qt::QueuedConnection);
        while (handoff->done < ticket) {
            if (handoff->closed || cancel.load()) {
                return false;
            }
            handoff->answered.wait_for(lock, std::chrono::milliseconds(20));
        }
        return handoff->shown;
    };
}

void PatternScreens::present(std::size_t output, const QImage& pattern, std::uint64_t ticket) {
    if (!pattern.isNull()) {
        const bool usable = output < windows_.size() && windows_[output] && covers_[output] &&
                            rasterSize(*windows_[output]) == sizes_[output] &&
                            pattern.size() == sizes_[output];
        if (!usable) {
            answer(ticket, false);
            return;
        }
    }
    for (std::size_t k = 0; k < covers_.size(); ++k) {
        if (covers_[k]) {
            covers_[k]->setPattern(k == output && !pattern.isNull() ? pattern : QImage());
        }
    }
    QTimer::singleShot(delay_, this, [this, ticket] { answer(ticket, true); });
}

void PatternScreens::answer(std::uint64_t ticket, bool shown) {
    std::lock_guard lock(handoff_->mutex);
    handoff_->done = ticket;
    handoff_->shown = shown;
    handoff_->answered.notify_all();
}

} // namespace prismeta
