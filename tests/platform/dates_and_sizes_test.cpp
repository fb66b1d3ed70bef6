#include "platform/errors.h"
#include "platform/file_dates.h"
#include "platform/locale_formats.h"
#include "platform/size_text.h"
#include "support/temp_tree.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>

using namespace quillmere;
using quillmere::test::TempTree;

namespace {

constexpr double kSecond = 1.0 / 86400;

// Sets TZ for one test and restores the previous zone afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char *zone)
    {
        if (const char *old = std::getenv("TZ")) {
            previous_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

// Seconds since 1970 of a UTC calendar time.
std::int64_t utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    std::tm time {};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return timegm(&time);
}

double timeOfDay(int hour, int minute, int second)
{
    return ((hour * 60 + minute) * 60 + second) * kSecond;
}

// 29 February 2020 is day 43890 after 30 December 1899.
constexpr double kLeapDay2020 = 43890;

} // namespace

TEST(SizeDisplayText, bytesKilobytesAndMegabytes)
{
    EXPECT_EQ(SizeDisplayText(QStringLiteral("512")), QStringLiteral("512 B"));
    EXPECT_EQ(SizeDisplayText(QStringLiteral("1024")), QStringLiteral("1024 B"));
    EXPECT_EQ(SizeDisplayText(QStringLiteral("1025")), QStringLiteral("1.0009765625 KB"));
    EXPECT_EQ(SizeDisplayText(QStringLiteral("1536")), QStringLiteral("1.5 KB"));
    EXPECT_EQ(SizeDisplayText(QStringLiteral("1048576")), QStringLiteral("1024 KB"));
    EXPECT_EQ(SizeDisplayText(QStringLiteral("1048577")), QStringLiteral("1.00000095367432 MB"));
    EXPECT_EQ(SizeDisplayText(QStringLiteral("3000000")), QStringLiteral("2.86102294921875 MB"));
    EXPECT_EQ(SizeDisplayText(QStringLiteral("5368709120")), QStringLiteral("5120 MB"));
}

TEST(SizeDisplayText, textThatIsNoNumberRaisesConvertError)
{
    EXPECT_THROW(SizeDisplayText(QStringLiteral("12ab")), EConvertError);
    EXPECT_THROW(SizeDisplayText(QString()), EConvertError);
}

TEST(DateValueOfFileTime, convertsToLocalTimeAtTwoSecondResolution)
{
    {
        ScopedTimeZone zone("UTC0");
        EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(2020, 2, 29, 12, 34, 57)), kLeapDay2020 + timeOfDay(12, 34, 56));
        EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(2020, 2, 29, 12, 34, 56)), kLeapDay2020 + timeOfDay(12, 34, 56));
        EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(2020, 2, 29)), kLeapDay2020);
    }
    {
        ScopedTimeZone zone("EST5");
        EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(2020, 2, 29, 12, 34, 57)), kLeapDay2020 + timeOfDay(7, 34, 56));
        // Local time lies on the day before.
        EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(2020, 3, 1, 2)), kLeapDay2020 + timeOfDay(21, 0, 0));
    }
    {
        // Summer time applies to the date converted.
        ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(2020, 7, 1, 10)), kLeapDay2020 + 123 + timeOfDay(12, 0, 0));
        EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(2020, 2, 29, 10)), kLeapDay2020 + timeOfDay(11, 0, 0));
    }
}

TEST(DateValueOfFileTime, onlyTheDosYears1980To2107HaveAValue)
{
    ScopedTimeZone utcZone("UTC0");
    EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(1980, 1, 1)), 29221);
    EXPECT_EQ(DateValueOfFileTime(utc(1979, 12, 31, 23, 59, 59)), 0);
    EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(2107, 12, 31, 23, 59, 59)), 29221 + 46750 + timeOfDay(23, 59, 58));
    EXPECT_EQ(DateValueOfFileTime(utc(2108, 1, 1)), 0);
    EXPECT_EQ(DateValueOfFileTime(0), 0);
    EXPECT_EQ(DateValueOfFileTime(-86400), 0);
    EXPECT_EQ(DateValueOfFileTime(INT64_MAX), 0);
    {
        // The range is one of local years: 1980 begins later west of Greenwich.
        ScopedTimeZone zone("EST5");
        EXPECT_EQ(DateValueOfFileTime(utc(1980, 1, 1, 4, 59, 59)), 0);
        EXPECT_DOUBLE_EQ(DateValueOfFileTime(utc(1980, 1, 1, 5)), 29221);
    }
}

TEST(FileCreationDate, birthTimeWhereKeptElseModificationTime)
{
    struct statx info {};
    info.stx_btime.tv_sec = 1000;
    info.stx_mtime.tv_sec = 2000;
    info.stx_mask = STATX_BTIME | STATX_MTIME;
    EXPECT_EQ(CreationSecondsOf(info), 1000);
    info.stx_mask = STATX_MTIME;
    EXPECT_EQ(CreationSecondsOf(info), 2000);
}

TEST(FileCreationDate, realFilesAndWhatCannotBeLookedUp)
{
    ScopedTimeZone zone("UTC0");
    TempTree tree;
    const std::int64_t before = std::time(nullptr);
    const std::string plain = tree.writeFile("a.jpg", "abc");
    const std::string odd = tree.writeFile("\xff\xfe.jpg", "abc");
    const std::int64_t after = std::time(nullptr);

    // Move the modification time far away: where the file system keeps a birth
    // time the date must not follow it.
    const timespec times[2] = {{0, UTIME_OMIT}, {utc(2001, 5, 6, 7, 8, 9), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, plain.c_str(), times, 0), 0);
    struct statx info {};
    ASSERT_EQ(statx(AT_FDCWD, plain.c_str(), 0, STATX_BTIME, &info), 0);
    if ((info.stx_mask & STATX_BTIME) != 0) {
        EXPECT_GE(FileCreationDate(plain), DateValueOfFileTime(before));
        EXPECT_LE(FileCreationDate(plain), DateValueOfFileTime(after));
    } else {
        EXPECT_DOUBLE_EQ(FileCreationDate(plain), DateValueOfFileTime(utc(2001, 5, 6, 7, 8, 8)));
    }
    EXPECT_GE(FileCreationDate(odd), DateValueOfFileTime(before));

    EXPECT_EQ(FileCreationDate(tree.path("missing.jpg")), 0);
    EXPECT_EQ(FileCreationDate(tree.makeFolder("folder.jpg")), 0);
    EXPECT_EQ(FileCreationDate(""), 0);
    // A NUL byte would cut the path to the existing file before it.
    EXPECT_EQ(FileCreationDate(plain + std::string("\0x", 2)), 0);
}

TEST(DateText, shortDateAndLongTimeOfTheLocale)
{
    // The test program runs in C.UTF-8: %x is mm/dd/yy, %X is HH:MM:SS.
    EXPECT_EQ(DateText(0), QStringLiteral("12/30/99"));
    EXPECT_EQ(DateText(kLeapDay2020), QStringLiteral("02/29/20"));
    EXPECT_EQ(DateText(kLeapDay2020 + timeOfDay(12, 34, 56)), QStringLiteral("02/29/20 12:34:56"));
    EXPECT_EQ(DateText(29221 + timeOfDay(0, 0, 2)), QStringLiteral("01/01/80 00:00:02"));
    EXPECT_EQ(DateText(29221 + 46750 + timeOfDay(23, 59, 58)), QStringLiteral("12/31/07 23:59:58"));
    // Before day 0 the whole part is the day, the fraction still the time.
    EXPECT_EQ(DateText(-1.25), QStringLiteral("12/29/99 06:00:00"));
    EXPECT_EQ(DateText(std::nan("")), QString());
    EXPECT_EQ(DateText(1e300), QString());
}

TEST(DateText, followsTheLocaleReadAtStart)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    }
    loadLocaleFormats();
    const QString date = DateText(kLeapDay2020 + timeOfDay(12, 34, 56));
    const QString size = SizeDisplayText(QStringLiteral("1536"));
    std::setlocale(LC_ALL, saved.c_str());
    loadLocaleFormats();
    EXPECT_EQ(date, QStringLiteral("29.02.2020 12:34:56"));
    EXPECT_EQ(size, QStringLiteral("1,5 KB"));
}
