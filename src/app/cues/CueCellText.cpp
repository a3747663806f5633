#include "app/cues/CueCellText.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <vector>

namespace prismeta {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("prismeta::CuesDock", text);
}

QString seconds(double value) {
    return QString::number(value, 'g', 6);
}

// A weekday's position from Monday; -1 when the text names none.
int weekdayOf(const QString& text) {
    const auto found = std::find(std::begin(weekdayNames), std::end(weekdayNames),
                                 text.trimmed().toLower().toStdString());
    return found == std::end(weekdayNames) ? -1
                                           : static_cast<int>(found - std::begin(weekdayNames));
}

// Two digits, or -1.
int twoDigits(const QString& text) {
    if (text.size() != 2 || !text[0].isDigit() || !text[1].isDigit()) {
        return -1;
    }
    return text.toInt();
}

// The time of day of "HH:MM" or "HH:MM:SS", or what is wrong with it.
QString parseTime(const QString& text, int& secondOfDay) {
    const QStringList parts = text.split(QLatin1Char(':'));
    std::vector<int> values;
    for (const QString& part : parts) {
        values.push_back(twoDigits(part));
    }
    if ((parts.size() != 2 && parts.size() != 3) ||
        std::any_of(values.begin(), values.end(), [](int value) { return value < 0; })) {
        return tr("%1 is not a time: write it as HH:MM or HH:MM:SS on the 24-hour clock, "
                  "such as 18:30")
            .arg(text);
    }
    QStringList wrong;
    if (values[0] > 23) {
        wrong << tr("the hour must be 00 to 23");
    }
    if (values[1] > 59) {
        wrong << tr("the minute must be 00 to 59");
    }
    if (values.size() == 3 && values[2] > 59) {
        wrong << tr("the second must be 00 to 59");
    }
    if (!wrong.isEmpty()) {
        return tr("%1 is not a time of day: %2").arg(text, wrong.join(tr(" and ")));
    }
    secondOfDay = values[0] * 3600 + values[1] * 60 + (values.size() == 3 ? values[2] : 0);
    return {};
}

} // namespace

QString fadeText(double value) {
    return seconds(value);
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
        // Runs of three days or more as a range: "mon-fri,sun".
        QStringList days;
        for (int day = 0; day < 7;) {
            if (!schedule->onWeekday(day)) {
                ++day;
                continue;
            }
            int last = day;
            while (last + 1 < 7 && schedule->onWeekday(last + 1)) {
                ++last;
            }
            const QString first = QString::fromLatin1(weekdayNames[day]);
            if (last - day >= 2) {
                days << first + QLatin1Char('-') + QString::fromLatin1(weekdayNames[last]);
            } else {
                for (int each = day; each <= last; ++each) {
                    days << QString::fromLatin1(weekdayNames[each]);
                }
            }
            day = last + 1;
        }
        text += QLatin1Char(' ') + days.join(QLatin1Char(','));
    }
    return text;
}

QString parseFade(const QString& text, double& fade) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return tr("%1 is not a fade: give it in seconds, 0 for a cut").arg(text.trimmed());
    }
    fade = value;
    return {};
}

QString parseFollow(const QString& text, std::optional<CueFollow>& follow) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        follow.reset();
        return {};
    }
    if (trimmed == QLatin1String("end")) {
        follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
        return {};
    }
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0.0) {
        return tr("%1 is not a follow: give seconds after the GO, \"end\" to follow when the "
                  "cue's video ends, or nothing")
            .arg(trimmed);
    }
    follow = CueFollow{CueFollow::Kind::seconds, value};
    return {};
}

QString parseSchedule(const QString& text, std::optional<CueSchedule>& out) {
    const QStringList parts = text.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        out.reset();
        return {};
    }
    if (parts.size() > 2) {
        return tr("%1 is not a schedule: give a time and then days, such as 18:30 mon-fri,sun")
            .arg(text.trimmed());
    }
    CueSchedule schedule{0, CueSchedule::everyDay};
    if (QString problem = parseTime(parts[0], schedule.secondOfDay); !problem.isEmpty()) {
        return problem;
    }
    if (parts.size() == 2) {
        schedule.days = 0;
        for (const QString& days : parts[1].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList ends = days.split(QLatin1Char('-'));
            const int first = weekdayOf(ends.front());
            const int last = weekdayOf(ends.back());
            if (ends.size() > 2 || first < 0 || last < 0) {
                return tr("%1 is not a day: use mon, tue, wed, thu, fri, sat and sun, and ranges "
                          "such as mon-fri")
                    .arg(days);
            }
            for (int day = first;; day = (day + 1) % 7) {
                schedule.days |= static_cast<std::uint8_t>(1u << day);
                if (day == last) {
                    break;
                }
            }
        }
        if (schedule.days == 0) {
            return tr("%1 names no day: use mon, tue, wed, thu, fri, sat and sun").arg(parts[1]);
        }
    }
    out = schedule;
    return {};
}

} // namespace prismeta
