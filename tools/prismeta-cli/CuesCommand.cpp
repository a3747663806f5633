// prismeta-cli cues: the project's cues, one line each, tab-separated:
// number (from 1), id, name, fade, follow, schedule ("-" where none).
#include "CliCommand.h"

#include "core/ProjectModel.h"

#include <charconv>
#include <cstdio>
#include <string>

namespace prismeta::cli {

namespace {

std::string seconds(double value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return (ec == std::errc() ? std::string(text, end) : std::string("?")) + "s";
}

std::string followText(const std::optional<CueFollow>& follow) {
    if (!follow) {
        return "-";
    }
    return follow->kind == CueFollow::Kind::videoEnd ? "end" : seconds(follow->seconds);
}

std::string scheduleText(const std::optional<CueSchedule>& schedule) {
    if (!schedule) {
        return "-";
    }
    std::string text = scheduleTimeText(schedule->secondOfDay);
    if (schedule->days != CueSchedule::everyDay) {
        text += ' ';
        bool first = true;
        for (int day = 0; day < 7; ++day) {
            if (schedule->onWeekday(day)) {
                text += first ? "" : ",";
                text += weekdayNames[day];
                first = false;
            }
        }
    }
    return text;
}

} // namespace

int runCues(std::span<const std::string_view> args) {
    if (args.size() != 1 || args[0].empty() || args[0].front() == '-') {
        printUsage(true);
        return exitUsage;
    }
    ProjectModel model;
    if (!model.load(std::string(args[0]))) {
        return exitFailure; // the load line is already on standard error
    }
    const std::vector<Cue>& cues = model.cues();
    for (std::size_t i = 0; i < cues.size(); ++i) {
        const Cue& cue = cues[i];
        std::printf("%zu\t%s\t%s\t%s\t%s\t%s\n", i + 1, cue.id.text().c_str(), cue.name.c_str(),
                    seconds(cue.fade).c_str(), followText(cue.follow).c_str(),
                    scheduleText(cue.schedule).c_str());
    }
    return exitOk;
}

} // namespace prismeta::cli
