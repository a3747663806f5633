#include "app/cues/ShowCues.h"

#include "app/ModelAdapter.h"
#include "cues/CueEditing.h"
#include "render/ShowVideos.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace prismeta {

namespace {
ShowCues* activeShow = nullptr;
constexpr int tickMilliseconds = 100;
} // namespace

ShowCues::ShowCues(ModelAdapter& adapter, QObject* parent)
    : QObject(parent), adapter_(adapter), runner_(adapter.model(), showClock_, wallClock_) {
    activeShow = this;
    runner_.setListener([this] { emit changed(); });
    auto videos = std::make_shared<ShowVideos>();
    videos->setLocations(adapter_.mediaLocations());
    connect(&adapter_, &ModelAdapter::mediaLocationsChanged, this,
            [this, videos] { videos->setLocations(adapter_.mediaLocations()); });
    videos_ = videos;
    runner_.setVideos(videos_);
    connect(&ticker_, &QTimer::timeout, this, [this] { runner_.tick(); });
    ticker_.start(tickMilliseconds);

    // Text fields take Space and B for themselves (they accept the shortcut
    // override of printable keys), so typing never fires these.
    go_ = new QAction(tr("GO"), this);
    go_->setShortcut(QKeySequence(Qt::Key_Space));
    go_->setShortcutContext(Qt::ApplicationShortcut);
    connect(go_, &QAction::triggered, this, [this] { runner_.go(); });
    back_ = new QAction(tr("Back"), this);
    connect(back_, &QAction::triggered, this, [this] { runner_.back(); });
    record_ = new QAction(tr("Record Cue"), this);
    connect(record_, &QAction::triggered, this, [this] {
        const std::size_t count = adapter_.model().cues().size();
        runner_.recorded(recordCue(adapter_.model(), runner_.liveIndex(),
                                   tr("Cue %1").arg(count + 1).toStdString()));
    });
    update_ = new QAction(tr("Update Cue"), this);
    connect(update_, &QAction::triggered, this, [this] {
        if (const auto live = runner_.liveIndex()) {
            updateCue(adapter_.model(), *live);
        }
    });
    delete_ = new QAction(tr("Delete Cue"), this);
    connect(delete_, &QAction::triggered, this, [this] {
        if (const auto live = runner_.liveIndex()) {
            deleteCue(adapter_.model(), *live);
        }
    });
    blackout_ = new QAction(tr("Blackout"), this);
    blackout_->setCheckable(true);
    blackout_->setShortcut(QKeySequence(Qt::Key_B));
    blackout_->setShortcutContext(Qt::ApplicationShortcut);
    connect(blackout_, &QAction::triggered, this, [this] { toggleBlackout(); });
    connect(this, &ShowCues::changed, this,
            [this] { blackout_->setChecked(runner_.state().blackout.on); });
    // Output windows in front of the editor reach them too.
    for (QAction* action : {back_, record_, update_, delete_}) {
        action->setShortcutContext(Qt::ApplicationShortcut);
    }
}

ShowCues::~ShowCues() {
    if (activeShow == this) {
        activeShow = nullptr;
    }
}

ShowCues* ShowCues::active() {
    return activeShow;
}

bool ShowCues::start(std::optional<std::string_view> selector) {
    std::optional<std::size_t> cue;
    if (selector) {
        cue = findCue(adapter_.model().cues(), *selector);
        if (!cue) {
            return false;
        }
    }
    runner_.start(cue);
    return true;
}

bool ShowCues::animating(double now) const {
    const auto& fade = runner_.crossfade();
    const Blackout& blackout = runner_.state().blackout;
    return (fade && fade->end() > now) || blackout.start + blackout.length > now;
}

void ShowCues::toggleBlackout() {
    runner_.setBlackout(!runner_.state().blackout.on);
}

void ShowCues::addShortcutsTo(QWidget& window) const {
    window.addActions({go_, back_, blackout_});
}

void ShowCues::buildMenu(QMenuBar* menuBar) const {
    QMenu* show = menuBar->addMenu(tr("S&how"));
    show->addAction(go_);
    show->addAction(back_);
    show->addSeparator();
    show->addAction(record_);
    show->addAction(update_);
    show->addAction(delete_);
    show->addSeparator();
    show->addAction(blackout_);
}

} // namespace prismeta
