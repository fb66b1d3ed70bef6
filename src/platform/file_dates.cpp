#include "platform/file_dates.h"

#include "platform/locale_formats.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cwchar>
#include <fcntl.h>
#include <string>
#include <vector>

namespace quillmere {

namespace {

// Days from 1 January 1970 to the given day of the proleptic Gregorian
// calendar (Howard Hinnant's days_from_civil).
constexpr std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// The inverse of daysFromCivil.
constexpr CivilDate civilFromDays(std::int64_t days)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

// Day 0 of date-time values.
constexpr std::int64_t kEpochDays = daysFromCivil(1899, 12, 30);
static_assert(daysFromCivil(1980, 1, 1) - kEpochDays == 29221);

// The range of dates the calendar texts can show: 1 January 1 up to
// 31 December 9999.
constexpr double kFirstDay = static_cast<double>(daysFromCivil(1, 1, 1) - kEpochDays);
constexpr double kDayAfterLast = static_cast<double>(daysFromCivil(10000, 1, 1) - kEpochDays);

constexpr int kMillisecondsPerDay = 86400000;

QString formatTime(const std::tm &time, const QString &format)
{
    if (format.isEmpty()) {
        return {};
    }
    const std::wstring wideFormat = format.toStdWString();
    // A zero result means "did not fit" (the formats never yield empty text).
    for (std::size_t size = 128; size <= 8192; size *= 4) {
        std::vector<wchar_t> buffer(size);
        const std::size_t written = std::wcsftime(buffer.data(), buffer.size(), wideFormat.c_str(), &time);
        if (written > 0) {
            return QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(written));
        }
    }
    return {};
}

} // namespace

double DateValueOfFileTime(std::int64_t unixSeconds)
{
    const auto seconds = static_cast<std::time_t>(unixSeconds);
    std::tm local {};
    if (localtime_r(&seconds, &local) == nullptr) {
        return 0;
    }
    const std::int64_t year = static_cast<std::int64_t>(local.tm_year) + 1900;
    if (year < 1980 || year > 2107) {
        return 0;
    }
    // DOS times store seconds halved.
    const int second = std::min(local.tm_sec, 59) / 2 * 2;
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(local.tm_mon + 1),
                                            static_cast<unsigned>(local.tm_mday))
        - kEpochDays;
    const int milliseconds = ((local.tm_hour * 60 + local.tm_min) * 60 + second) * 1000;
    return static_cast<double>(days) + static_cast<double>(milliseconds) / kMillisecondsPerDay;
}

std::int64_t CreationSecondsOf(const struct statx &info)
{
    if ((info.stx_mask & STATX_BTIME) != 0) {
        return info.stx_btime.tv_sec;
    }
    return info.stx_mtime.tv_sec;
}

double FileCreationDate(const std::string &path)
{
    // A path with a NUL byte cannot name a file; looking up its first part
    // would describe some other file.
    if (path.find('\0') != std::string::npos) {
        return 0;
    }
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_MTIME | STATX_BTIME, &info) != 0) {
        return 0;
    }
    if ((info.stx_mask & STATX_TYPE) == 0 || S_ISDIR(info.stx_mode)) {
        return 0;
    }
    return DateValueOfFileTime(CreationSecondsOf(info));
}

QString DateText(double value)
{
    if (!std::isfinite(value) || value <= kFirstDay - 1 || value >= kDayAfterLast) {
        return {};
    }
    // Before day 0 the whole part still counts the day and the fraction the
    // time of day, so -1.25 is 29 December 1899, 06:00.
    const double whole = std::trunc(value);
    const double fraction = std::fabs(value - whole);
    const long long milliseconds
        = std::min<long long>(std::llround(fraction * kMillisecondsPerDay), kMillisecondsPerDay - 1);
    const auto days = static_cast<std::int64_t>(whole);
    const CivilDate date = civilFromDays(days + kEpochDays);

    std::tm time {};
    time.tm_year = static_cast<int>(date.year - 1900);
    time.tm_mon = static_cast<int>(date.month) - 1;
    time.tm_mday = static_cast<int>(date.day);
    time.tm_yday = static_cast<int>(days + kEpochDays - daysFromCivil(date.year, 1, 1));
    // Day 0 was a Saturday.
    time.tm_wday = static_cast<int>(((days + 6) % 7 + 7) % 7);
    time.tm_hour = static_cast<int>(milliseconds / 3600000);
    time.tm_min = static_cast<int>(milliseconds / 60000 % 60);
    time.tm_sec = static_cast<int>(milliseconds / 1000 % 60);
    time.tm_isdst = 0;
    time.tm_zone = "";

    const LocaleFormats &formats = localeFormats();
    QString text = formatTime(time, formats.shortDateFormat);
    if (fraction != 0) {
        text += QLatin1Char(' ');
        text += formatTime(time, formats.longTimeFormat);
    }
    return text;
}

} // namespace quillmere
