// Which cue the schedule puts in force, on a wall clock the test sets, in a
// time zone with summer time (Central European: UTC+1, summer UTC+2, changes
// on the last Sundays of March and October).
#include "cues/Schedule.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace prismeta {
namespace {

class CentralEuropeanTime : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        saved_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

std::int64_t utc(int year, int month, int day, int hour, int minute) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_min = minute;
    return static_cast<std::int64_t>(timegm(&when));
}

Cue scheduled(const char* name, int hour, int minute, std::uint8_t days = CueSchedule::everyDay) {
    Cue cue;
    cue.name = name;
    cue.schedule = CueSchedule{hour * 3600 + minute * 60, days};
    return cue;
}

constexpr std::uint8_t friday = 1u << 4;
constexpr std::uint8_t monday = 1u << 0;

// 2026-12-09 is a Wednesday; December is UTC+1.
TEST_F(CentralEuropeanTime, TheCueWhoseTimePassedLastIsInForce) {
    const std::vector<Cue> cues = {scheduled("Morning", 8, 0), scheduled("Afternoon", 14, 0),
                                   scheduled("Friday night", 22, 0, friday)};
    const auto at = [&cues](std::int64_t now) {
        const auto go = lastScheduledGo(cues, now);
        return go ? cues[go->cue].name : std::string("none");
    };
    EXPECT_EQ(at(utc(2026, 12, 9, 14, 0)), "Afternoon") << "rebooted at 15:00 local";
    EXPECT_EQ(at(utc(2026, 12, 9, 13, 0)), "Afternoon") << "14:00 local, to the second";
    EXPECT_EQ(at(utc(2026, 12, 9, 12, 59)), "Morning");
    EXPECT_EQ(at(utc(2026, 12, 9, 6, 0)), "Afternoon") << "07:00: yesterday's last";
    EXPECT_EQ(at(utc(2026, 12, 11, 21, 30)), "Friday night");
    EXPECT_EQ(at(utc(2026, 12, 12, 6, 30)), "Friday night") << "across midnight";
    EXPECT_EQ(lastScheduledGo(cues, utc(2026, 12, 9, 14, 0))->at, utc(2026, 12, 9, 13, 0));
}

TEST_F(CentralEuropeanTime, TheNextScheduledTimeAndItsCue) {
    const std::vector<Cue> cues = {scheduled("Morning", 8, 0), scheduled("Afternoon", 14, 0),
                                   scheduled("Also afternoon", 14, 0),
                                   scheduled("Friday night", 22, 0, friday)};
    auto next = nextScheduledGo(cues, utc(2026, 12, 9, 12, 0)); // Wednesday 13:00
    ASSERT_TRUE(next);
    EXPECT_EQ(next->cue, 2u) << "the later of two at the same moment";
    EXPECT_EQ(next->at, utc(2026, 12, 9, 13, 0));
    EXPECT_EQ(nextScheduledGo(cues, utc(2026, 12, 9, 13, 0))->at, utc(2026, 12, 10, 7, 0))
        << "strictly after now, across midnight";
    EXPECT_EQ(nextScheduledGo(cues, utc(2026, 12, 11, 14, 0))->cue, 3u);
    const std::vector<Cue> mondays = {scheduled("Monday", 9, 0, monday)};
    EXPECT_EQ(nextScheduledGo(mondays, utc(2026, 12, 7, 8, 0))->at, utc(2026, 12, 14, 8, 0))
        << "a week ahead";
    // 2026-03-29: the skipped 02:30 comes at 03:30 CEST.
    EXPECT_EQ(nextScheduledGo({scheduled("Half past two", 2, 30)}, utc(2026, 3, 29, 0, 0))->at,
              utc(2026, 3, 29, 1, 30));
    EXPECT_FALSE(nextScheduledGo({Cue{}}, utc(2026, 12, 9, 12, 0)));
}

TEST_F(CentralEuropeanTime, OnlyThePastSevenDaysCount) {
    const std::vector<Cue> cues = {scheduled("Monday", 9, 0, monday)};
    // Monday 2026-12-07 09:00 local is 08:00 UTC.
    EXPECT_TRUE(lastScheduledGo(cues, utc(2026, 12, 13, 22, 0))) << "Sunday night";
    EXPECT_TRUE(lastScheduledGo(cues, utc(2026, 12, 14, 7, 59))) << "a week later, just before";
    EXPECT_EQ(lastScheduledGo(cues, utc(2026, 12, 14, 8, 0))->at, utc(2026, 12, 14, 8, 0));
    EXPECT_FALSE(lastScheduledGo(cues, utc(2026, 12, 7, 7, 59)) &&
                 lastScheduledGo(cues, utc(2026, 12, 7, 7, 59))->at > utc(2026, 12, 7, 7, 59));
}

TEST_F(CentralEuropeanTime, SummerTimeChanges) {
    const std::vector<Cue> cues = {scheduled("Half past two", 2, 30), scheduled("Noon", 12, 0)};
    // 2026-03-29: 02:00 CET becomes 03:00 CEST. 02:30 is skipped and comes
    // as 03:30 CEST (01:30 UTC).
    const auto spring = lastScheduledGo(cues, utc(2026, 3, 29, 2, 0));
    ASSERT_TRUE(spring);
    EXPECT_EQ(spring->cue, 0u);
    EXPECT_EQ(spring->at, utc(2026, 3, 29, 1, 30));
    // Noon that day is 10:00 UTC, an hour earlier in UTC than the day before.
    EXPECT_EQ(lastScheduledGo(cues, utc(2026, 3, 29, 10, 0))->cue, 1u);
    EXPECT_EQ(lastScheduledGo(cues, utc(2026, 3, 29, 9, 59))->cue, 0u);
    // 2026-10-25: 03:00 CEST becomes 02:00 CET; 02:30 comes twice and goes
    // the first time (00:30 UTC).
    const auto autumn = lastScheduledGo(cues, utc(2026, 10, 25, 1, 15));
    ASSERT_TRUE(autumn);
    EXPECT_EQ(autumn->cue, 0u);
    EXPECT_EQ(autumn->at, utc(2026, 10, 25, 0, 30));
    EXPECT_EQ(lastScheduledGo(cues, utc(2026, 10, 25, 11, 0))->at, utc(2026, 10, 25, 11, 0));
}

TEST_F(CentralEuropeanTime, LocalDateTimesOfTheCommandLine) {
    EXPECT_EQ(parseLocalDateTime("2026-12-24T18:30"), utc(2026, 12, 24, 17, 30));
    EXPECT_EQ(parseLocalDateTime("2026-07-01T12:00:30"), utc(2026, 7, 1, 10, 0) + 30);
    for (const char* bad : {"2026-02-30T12:00", "2026-12-24", "2026-12-24T25:00", "26-12-24T18:30",
                            "2026-12-24T18:30Z", ""}) {
        EXPECT_FALSE(parseLocalDateTime(bad)) << bad;
    }
}

TEST_F(CentralEuropeanTime, ARunningShowFollowsTheWallClock) {
    ProjectModel model;
    Surface surface;
    surface.mediaKind = MediaKind::color;
    model.setSurfaces(std::vector<Surface>{surface});
    const auto look = [&surface](double opacity) {
        CueLook l;
        l.surface = surface.id;
        l.opacity = opacity;
        return l;
    };
    std::vector<Cue> cues = {scheduled("Open", 10, 0), scheduled("Show", 14, 0),
                             scheduled("Close", 22, 0)};
    cues[0].looks = {look(1.0)};
    cues[1].looks = {look(0.5)};
    cues[2].looks = {look(0.0)};
    model.setCues(cues);
    ManualShowClock showClock;
    ManualWallClock wall;
    CueRunner runner(model, showClock, wall);

    wall.seconds = utc(2026, 12, 9, 14, 0); // rebooted at 15:00 local
    EXPECT_EQ(runner.start(), 1u);
    EXPECT_EQ(model.surfaces()[0].opacity, 0.5);
    runner.tick();
    EXPECT_EQ(runner.liveIndex(), 1u) << "nothing new is due";
    runner.goTo(0); // the operator takes over
    wall.seconds = utc(2026, 12, 9, 20, 59);
    runner.tick();
    EXPECT_EQ(runner.liveIndex(), 0u);
    wall.seconds = utc(2026, 12, 9, 21, 0);
    runner.tick();
    EXPECT_EQ(runner.liveIndex(), 2u) << "22:00 local";
    EXPECT_EQ(model.surfaces()[0].opacity, 0.0);

    wall.seconds = utc(2026, 12, 9, 20, 0); // the clock is corrected backwards
    runner.tick();
    EXPECT_EQ(runner.liveIndex(), 2u) << "a correction does not replay an old cue";
    wall.seconds = utc(2026, 12, 11, 13, 30); // suspended for two days
    runner.tick();
    EXPECT_EQ(runner.liveIndex(), 1u) << "the cue in force on waking";
}

} // namespace
} // namespace prismeta
