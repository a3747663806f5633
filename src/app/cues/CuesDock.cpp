#include "app/cues/CuesDock.h"

#include "app/ModelAdapter.h"
#include "app/cues/ShowCues.h"
#include "cues/CueEditing.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

enum Column { numberColumn, nameColumn, fadeColumn, followColumn, scheduleColumn, columnCount };

QString seconds(double value) {
    return QString::number(value, 'g', 6);
}

QString followText(const std::optional<CueFollow>& follow) {
    if (!follow) {
        return {};
    }
    return follow->kind == CueFollow::Kind::videoEnd ? QStringLiteral("end")
                                                     : seconds(follow->seconds);
}

QString scheduleText(const std::optional<CueSchedule>& schedule) {
    if (!schedule) {
        return {};
    }
    QString text = QString::fromStdString(scheduleTimeText(schedule->secondOfDay));
    if (schedule->days != CueSchedule::everyDay) {
        QStringList days;
        for (int day = 0; day < 7; ++day) {
            if (schedule->onWeekday(day)) {
                days << QString::fromLatin1(weekdayNames[day]);
            }
        }
        text += QLatin1Char(' ') + days.join(QLatin1Char(','));
    }
    return text;
}

// "" (none), "end" or seconds into follow; false when it is none of these.
bool parseFollow(const QString& text, std::optional<CueFollow>& follow) {
    const QString trimmed = text.trimmed();
    follow.reset();
    if (trimmed.isEmpty()) {
        return true;
    }
    if (trimmed == QLatin1String("end")) {
        follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
        return true;
    }
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0.0) {
        return false;
    }
    follow = CueFollow{CueFollow::Kind::seconds, value};
    return true;
}

// "" (none) or "HH:MM[:SS] [mon,tue,...]" into out; false when it is neither.
bool parseSchedule(const QString& text, std::optional<CueSchedule>& out) {
    const QStringList parts = text.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    out.reset();
    if (parts.isEmpty()) {
        return true;
    }
    if (parts.size() > 2) {
        return false;
    }
    const std::optional<int> time = parseScheduleTime(parts[0].toStdString());
    if (!time) {
        return false;
    }
    CueSchedule schedule{*time, CueSchedule::everyDay};
    if (parts.size() == 2) {
        schedule.days = 0;
        for (const QString& day : parts[1].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const auto found = std::find(std::begin(weekdayNames), std::end(weekdayNames),
                                         day.trimmed().toLower().toStdString());
            if (found == std::end(weekdayNames)) {
                return false;
            }
            schedule.days |= static_cast<std::uint8_t>(1u << (found - std::begin(weekdayNames)));
        }
    }
    out = schedule;
    return true;
}

} // namespace

CuesDock::CuesDock(ModelAdapter& adapter, ShowCues& show, QWidget* parent)
    : QDockWidget(tr("Cues"), parent), adapter_(adapter), show_(show) {
    setObjectName(QStringLiteral("cuesDock"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    table_ = new QTableWidget(0, columnCount, body);
    table_->setHorizontalHeaderLabels(
        {tr("#"), tr("Name"), tr("Fade"), tr("Follow"), tr("Schedule")});
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setSectionResizeMode(nameColumn, QHeaderView::Stretch);
    layout->addWidget(table_);
    fade_ = new QProgressBar(body);
    fade_->setRange(0, 1000);
    fade_->setTextVisible(false);
    layout->addWidget(fade_);
    auto* buttons = new QHBoxLayout;
    auto* go = new QPushButton(tr("GO"), body);
    auto* back = new QPushButton(tr("Back"), body);
    auto* goTo = new QPushButton(tr("Go To Selected"), body);
    for (QPushButton* button : {go, back, goTo}) {
        button->setFocusPolicy(Qt::NoFocus); // Space stays GO
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    setWidget(body);

    connect(go, &QPushButton::clicked, this, [this] { show_.runner().go(); });
    connect(back, &QPushButton::clicked, this, [this] { show_.runner().back(); });
    connect(goTo, &QPushButton::clicked, this, [this] {
        if (const int row = table_->currentRow(); row >= 0) {
            show_.runner().goTo(static_cast<std::size_t>(row));
        }
    });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column == numberColumn) {
            show_.runner().goTo(static_cast<std::size_t>(row));
        }
    });
    connect(table_, &QTableWidget::itemChanged, this, &CuesDock::onEdited);
    connect(&adapter_, &ModelAdapter::changed, this, [this](const ModelChanges& changes) {
        if (changes.has(ModelField::cues)) {
            rebuild();
        }
    });
    connect(&show_, &ShowCues::changed, this, &CuesDock::markLive);
    connect(&progressTimer_, &QTimer::timeout, this, &CuesDock::updateProgress);
    progressTimer_.start(100);
    rebuild();
}

void CuesDock::rebuild() {
    rebuilding_ = true;
    const std::vector<Cue>& cues = adapter_.model().cues();
    table_->setRowCount(static_cast<int>(cues.size()));
    for (std::size_t i = 0; i < cues.size(); ++i) {
        const Cue& cue = cues[i];
        const int row = static_cast<int>(i);
        const QString texts[columnCount] = {QString::number(row + 1),
                                            QString::fromStdString(cue.name), seconds(cue.fade),
                                            followText(cue.follow), scheduleText(cue.schedule)};
        for (int column = 0; column < columnCount; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (column == numberColumn) {
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            }
            table_->setItem(row, column, item);
        }
    }
    rebuilding_ = false;
    markLive();
    // The panel comes up when a project gains cues; once closed it stays closed.
    if (!cues.empty() && !hadCues_) {
        show();
    }
    hadCues_ = !cues.empty();
}

void CuesDock::markLive() {
    rebuilding_ = true;
    const std::optional<std::size_t> live = show_.runner().liveIndex();
    const std::optional<std::size_t> next = show_.runner().nextIndex();
    for (int row = 0; row < table_->rowCount(); ++row) {
        const auto index = static_cast<std::size_t>(row);
        if (QTableWidgetItem* number = table_->item(row, numberColumn)) {
            number->setText((live == index   ? QStringLiteral("\u25B6 ")
                             : next == index ? QStringLiteral("\u203A ")
                                             : QString()) +
                            QString::number(row + 1));
        }
        for (int column = 0; column < columnCount; ++column) {
            if (QTableWidgetItem* item = table_->item(row, column)) {
                QFont font = item->font();
                font.setBold(live == index);
                item->setFont(font);
            }
        }
    }
    rebuilding_ = false;
}

void CuesDock::onEdited(QTableWidgetItem* item) {
    if (rebuilding_) {
        return;
    }
    const auto index = static_cast<std::size_t>(item->row());
    ProjectModel& model = adapter_.model();
    const QString text = item->text();
    bool taken = false;
    switch (item->column()) {
    case nameColumn:
        taken = renameCue(model, index, text.toStdString());
        break;
    case fadeColumn: {
        bool ok = false;
        const double fade = text.trimmed().toDouble(&ok);
        taken = ok && setCueFade(model, index, fade);
        break;
    }
    case followColumn: {
        std::optional<CueFollow> follow;
        taken = parseFollow(text, follow) && setCueFollow(model, index, follow);
        break;
    }
    case scheduleColumn: {
        std::optional<CueSchedule> schedule;
        taken = parseSchedule(text, schedule) && setCueSchedule(model, index, schedule);
        break;
    }
    default:
        break;
    }
    if (!taken) {
        // Back to what the cue holds, once this item's signal is over.
        QTimer::singleShot(0, this, &CuesDock::rebuild);
    }
}

void CuesDock::updateProgress() {
    const auto& fade = show_.runner().crossfade();
    const ShowState& state = show_.runner().state();
    const double now = SteadyShowClock().now();
    double done = 1.0;
    if (fade && state.fade > 0.0) {
        done = fadeProgress(state.goTime, state.fade, now);
    }
    fade_->setValue(static_cast<int>(std::lround(done * 1000)));
}

} // namespace prismeta
