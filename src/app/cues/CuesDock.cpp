#include "app/cues/CuesDock.h"

#include "app/ModelAdapter.h"
#include "app/cues/CueCellText.h"
#include "app/cues/CueTable.h"
#include "app/cues/ShowCues.h"
#include "cues/CueEditing.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

enum Column {
    numberColumn,
    nameColumn,
    fadeColumn,
    followColumn,
    scheduleColumn,
    timecodeColumn,
    columnCount
};

// The text of an entry the cue could not take.
const QColor problemColor(0xd0, 0x2b, 0x2b);

// "4.2 s" under a minute, "1:05" under an hour, "2:13:05" beyond.
QString duration(double seconds) {
    if (seconds < 60.0) {
        return QCoreApplication::translate("prismeta::CuesDock", "%1 s")
            .arg(std::max(0.0, seconds), 0, 'f', 1);
    }
    const auto whole = static_cast<long long>(std::ceil(seconds));
    const QChar zero(QLatin1Char('0'));
    if (whole < 3600) {
        return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, zero);
    }
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, zero)
        .arg(whole % 60, 2, 10, zero);
}

} // namespace

CuesDock::CuesDock(ModelAdapter& adapter, ShowCues& show, QWidget* parent)
    : QDockWidget(tr("Cues"), parent), adapter_(adapter), show_(show) {
    setObjectName(QStringLiteral("cuesDock"));
    auto* body = new QWidget(this);
    // The list beside the controls when the panel is under the editor, above
    // them when it is docked at a side.
    layout_ = new QBoxLayout(QBoxLayout::TopToBottom, body);
    QBoxLayout* layout = layout_;
    // The list, with the line that says what is wrong with an entry under it.
    auto* listPane = new QWidget(body);
    auto* list = new QVBoxLayout(listPane);
    list->setContentsMargins(0, 0, 0, 0);
    table_ = new CueTable(columnCount, listPane);
    table_->setHorizontalHeaderLabels(
        {tr("#"), tr("Name"), tr("Fade"), tr("Follow"), tr("Schedule"), tr("Timecode")});
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    // The name takes what is left; fade and follow keep their titles' width
    // (room for "3600" and "86400"), the schedule room for "18:00 mon-fri".
    QHeaderView* header = table_->horizontalHeader();
    header->setMinimumSectionSize(fontMetrics().horizontalAdvance(QStringLiteral("00")));
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(nameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(numberColumn, QHeaderView::ResizeToContents);
    const int padding = fontMetrics().horizontalAdvance(QStringLiteral("MM"));
    header->resizeSection(fadeColumn, fontMetrics().horizontalAdvance(tr("Fade")) + padding);
    header->resizeSection(followColumn, fontMetrics().horizontalAdvance(tr("Follow")) + padding);
    header->resizeSection(
        scheduleColumn, fontMetrics().horizontalAdvance(QStringLiteral("00:00 mon-fri")) + padding);
    header->resizeSection(timecodeColumn,
                          fontMetrics().horizontalAdvance(QStringLiteral("00:00:00:00")) + padding);
    list->addWidget(table_);
    problem_ = new QLabel(listPane);
    problem_->setObjectName(QStringLiteral("cueEntryProblem"));
    problem_->setTextFormat(Qt::PlainText);
    QPalette problemPalette = problem_->palette();
    problemPalette.setColor(QPalette::WindowText, problemColor);
    problem_->setPalette(problemPalette);
    // Its line is kept while empty, so the panel never jumps under the
    // pointer when an entry is refused; a long line is cut, never widening
    // the panel (its tool tip has it whole).
    problem_->setFixedHeight(problem_->fontMetrics().height());
    problem_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    list->addWidget(problem_);
    layout->addWidget(listPane);
    fade_ = new QProgressBar(body);
    fade_->setObjectName(QStringLiteral("cueFadeBar"));
    fade_->setRange(0, 1000);
    fade_->setAccessibleName(tr("Fade"));
    next_ = new QProgressBar(body);
    next_->setObjectName(QStringLiteral("cueNextBar"));
    next_->setRange(0, 1000);
    next_->setAccessibleName(tr("Next follow or scheduled cue"));
    auto* controlsPane = new QWidget(body);
    // Room for the longest usual line of the bars without cutting it.
    controlsPane->setMinimumWidth(fontMetrics().horizontalAdvance(
                                      QStringLiteral("Follow to 12 'Opening scene' in 10:04:48")) +
                                  2 * fontMetrics().horizontalAdvance(QStringLiteral("MM")));
    auto* controls = new QVBoxLayout(controlsPane);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->addWidget(fade_);
    controls->addWidget(next_);
    // The incoming time while the show chases timecode.
    timecode_ = new QLabel(controlsPane);
    timecode_->setObjectName(QStringLiteral("cueTimecodeLabel"));
    timecode_->hide();
    controls->addWidget(timecode_);
    auto* buttons = new QGridLayout;
    auto* go = new QPushButton(tr("GO"), controlsPane);
    go->setObjectName(QStringLiteral("cueGoButton"));
    auto* back = new QPushButton(tr("Back"), controlsPane);
    auto* goTo = new QPushButton(tr("Go To Selected"), controlsPane);
    for (QPushButton* button : {go, back, goTo}) {
        button->setFocusPolicy(Qt::NoFocus); // Space stays GO
    }
    QFont bold = go->font();
    bold.setBold(true);
    go->setFont(bold);
    buttons->addWidget(go, 0, 0, 1, 2);
    buttons->addWidget(back, 1, 0);
    buttons->addWidget(goTo, 1, 1);
    controls->addLayout(buttons);
    controls->addStretch();
    layout->addWidget(controlsPane);
    setWidget(body);
    connect(this, &QDockWidget::dockLocationChanged, this, [this](Qt::DockWidgetArea area) {
        const bool below = area == Qt::BottomDockWidgetArea || area == Qt::TopDockWidgetArea;
        layout_->setDirection(below ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
        layout_->setStretch(0, below ? 1 : 0);
    });

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
    connect(table_, &CueTable::moveRequested, this, [this](int from, int to) {
        moveCue(adapter_.model(), static_cast<std::size_t>(from), static_cast<std::size_t>(to));
    });
    connect(&adapter_, &ModelAdapter::changed, this, [this](const ModelChanges& changes) {
        if (changes.has(ModelField::cues)) {
            rebuild();
        }
    });
    connect(&show_, &ShowCues::changed, this, &CuesDock::markLive);
    connect(&progressTimer_, &QTimer::timeout, this, &CuesDock::updateProgress);
    progressTimer_.start(100);
    rebuild();
    updateProgress();
}

QTableWidget* CuesDock::table() const {
    return table_;
}

QSize CuesDock::sizeHint() const {
    // Room for every column beside a name of a dozen letters, without a
    // horizontal scroll bar.
    QSize hint = QDockWidget::sizeHint();
    const QHeaderView* header = table_->horizontalHeader();
    int columns = fontMetrics().horizontalAdvance(QStringLiteral("\u25B6 00 Opening scene"));
    for (const int column : {fadeColumn, followColumn, scheduleColumn, timecodeColumn}) {
        columns += header->sectionSize(column);
    }
    hint.setWidth(
        std::max(hint.width(), columns + 2 * table_->frameWidth() +
                                   table_->verticalScrollBar()->sizeHint().width() +
                                   4 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin)));
    return hint;
}

void CuesDock::rebuild() {
    rebuilding_ = true;
    problem_->clear();
    problem_->setToolTip(QString());
    const std::vector<Cue>& cues = adapter_.model().cues();
    const int current = table_->currentRow();
    const int currentColumn = std::max(0, table_->currentColumn());
    const std::optional<Uuid> selected =
        current >= 0 && static_cast<std::size_t>(current) < rowIds_.size()
            ? std::optional(rowIds_[static_cast<std::size_t>(current)])
            : std::nullopt;
    rowIds_.clear();
    table_->setRowCount(static_cast<int>(cues.size()));
    for (std::size_t i = 0; i < cues.size(); ++i) {
        const Cue& cue = cues[i];
        const int row = static_cast<int>(i);
        const QString texts[columnCount] = {
            QString::number(row + 1),
            QString::fromStdString(cue.name),
            fadeText(cue.fade),
            followText(cue.follow),
            scheduleText(cue.schedule),
            cue.timecode ? QString::fromStdString(timecodeText(*cue.timecode)) : QString()};
        for (int column = 0; column < columnCount; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (column == numberColumn) {
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            }
            table_->setItem(row, column, item);
        }
        rowIds_.push_back(cue.id);
    }
    // The selection stays on its cue wherever the cue went in the list, and
    // in its column, so that the keys go on from the cell just edited.
    if (selected) {
        const auto found = std::find(rowIds_.begin(), rowIds_.end(), *selected);
        if (found != rowIds_.end()) {
            table_->setCurrentCell(static_cast<int>(found - rowIds_.begin()), currentColumn);
        } else {
            table_->clearSelection();
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
    QString problem;
    bool taken = false;
    switch (item->column()) {
    case nameColumn:
        taken = renameCue(model, index, text.toStdString());
        break;
    case fadeColumn: {
        double fade = 0.0;
        problem = parseFade(text, fade);
        if (problem.isEmpty()) {
            taken = setCueFade(model, index, fade);
        }
        break;
    }
    case followColumn: {
        std::optional<CueFollow> follow;
        problem = parseFollow(text, follow);
        if (problem.isEmpty()) {
            taken = setCueFollow(model, index, follow);
        }
        break;
    }
    case scheduleColumn: {
        std::optional<CueSchedule> schedule;
        problem = parseSchedule(text, schedule);
        if (problem.isEmpty()) {
            taken = setCueSchedule(model, index, schedule);
        }
        break;
    }
    case timecodeColumn: {
        // "" (none) or "HH:MM:SS:FF".
        const std::string trimmed = text.trimmed().toStdString();
        const std::optional<Timecode> timecode = parseTimecode(trimmed);
        taken = (trimmed.empty() || timecode) &&
                setCueTimecode(model, index, trimmed.empty() ? std::nullopt : timecode);
        break;
    }
    default:
        break;
    }
    if (!problem.isEmpty()) {
        showProblem(item, problem);
    } else if (!taken) {
        // Back to what the cue holds, once this item's signal is over.
        QTimer::singleShot(0, this, &CuesDock::rebuild);
    }
}

void CuesDock::showProblem(QTableWidgetItem* item, const QString& problem) {
    // The entry stays in its cell, marked, and what is wrong with it shows
    // under the list; the cue keeps its value until a usable one is typed.
    rebuilding_ = true;
    item->setForeground(problemColor);
    item->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    item->setToolTip(problem);
    item->setData(Qt::AccessibleDescriptionRole, problem);
    rebuilding_ = false;
    const QTableWidgetItem* header = table_->horizontalHeaderItem(item->column());
    problem_->setText(tr("Cue %1, %2: %3")
                          .arg(item->row() + 1)
                          .arg(header != nullptr ? header->text().toLower() : QString(), problem));
    problem_->setToolTip(problem_->text());
}

void CuesDock::updateProgress() {
    const CueRunner& runner = show_.runner();
    const double now = runner.showClock().now();
    const ShowState& state = runner.state();
    const auto& fade = runner.crossfade();
    if (fade && state.fade > 0.0 && now < state.goTime + state.fade) {
        const double done = fadeProgress(state.goTime, state.fade, now);
        fade_->setValue(static_cast<int>(std::lround(done * 1000)));
        fade_->setFormat(tr("Fade: %1 left").arg(duration(state.goTime + state.fade - now)));
    } else {
        fade_->setValue(0);
        fade_->setFormat(tr("No fade running"));
    }
    const QString incoming = show_.incomingTimecode();
    timecode_->setVisible(!incoming.isEmpty());
    if (timecode_->text() != incoming) {
        timecode_->setText(incoming);
    }
    updateNext();
}

void CuesDock::updateNext() {
    const CueRunner& runner = show_.runner();
    const std::vector<Cue>& cues = adapter_.model().cues();
    const std::int64_t wallNow = runner.wallClock().now();
    if (ahead_.cues != adapter_.model().sharedCues() || wallNow < ahead_.foundAt ||
        wallNow - ahead_.foundAt >= 60 || (ahead_.next && wallNow >= ahead_.next->at)) {
        ahead_.cues = adapter_.model().sharedCues();
        ahead_.foundAt = wallNow;
        ahead_.next = nextScheduledGo(cues, wallNow);
        const std::optional<ScheduledGo> last = lastScheduledGo(cues, wallNow);
        ahead_.since = last ? last->at : wallNow;
    }

    const auto name = [&cues](std::size_t index) {
        return QStringLiteral("%1 '%2'").arg(index + 1).arg(
            QString::fromStdString(cues[index].name));
    };
    const std::optional<double> followLeft = runner.followIn();
    const std::optional<std::size_t> live = runner.liveIndex();
    double scheduleLeft = -1.0;
    if (ahead_.next) {
        scheduleLeft = static_cast<double>(ahead_.next->at - wallNow);
    }
    if (followLeft && live && (scheduleLeft < 0.0 || *followLeft <= scheduleLeft)) {
        // The last cue follows back to the first.
        const std::size_t target = *live + 1 < cues.size() ? *live + 1 : 0;
        const double length = runner.followLength().value_or(0.0);
        const double done = length > 0.0 ? 1.0 - *followLeft / length : 1.0;
        next_->setValue(static_cast<int>(std::lround(std::clamp(done, 0.0, 1.0) * 1000)));
        next_->setFormat(tr("Follow to %1 in %2").arg(name(target), duration(*followLeft)));
        return;
    }
    if (ahead_.next && ahead_.next->cue < cues.size()) {
        const double span = static_cast<double>(ahead_.next->at - ahead_.since);
        const double done = span > 0.0 ? static_cast<double>(wallNow - ahead_.since) / span : 0.0;
        next_->setValue(static_cast<int>(std::lround(std::clamp(done, 0.0, 1.0) * 1000)));
        next_->setFormat(tr("%1 at %2 in %3")
                             .arg(name(ahead_.next->cue),
                                  QString::fromStdString(scheduleTimeText(
                                      cues[ahead_.next->cue].schedule->secondOfDay)),
                                  duration(scheduleLeft)));
        return;
    }
    next_->setValue(0);
    if (live && cues[*live].follow && cues[*live].follow->kind == CueFollow::Kind::videoEnd) {
        next_->setFormat(tr("Follow when the video ends"));
    } else {
        next_->setFormat(tr("No follow or schedule"));
    }
}

} // namespace prismeta
