#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <sys/stat.h>

namespace quillmere {

// Date-time values count days since 30 December 1899; the fraction is the
// time of day. The value 0 stands for "no date known".

// The file time (seconds since 1970, UTC) in local time at the two-second
// resolution of DOS file times: an odd second becomes the even second below.
// Times whose local year lies outside 1980..2107 cannot be written that way
// and give 0.
double DateValueOfFileTime(std::int64_t unixSeconds);

// Which time stands for a file's creation: its birth time where the file
// system keeps one, else its last modification.
std::int64_t CreationSecondsOf(const struct statx &info);

// The creation date of the file at exactly this path (symbolic links are not
// followed), or 0 when it cannot be looked up, is a folder, or lies outside
// the DOS date range.
double FileCreationDate(const std::string &path);

// The locale's short date of the value, then a blank and its long time; the
// time is left out when the value has no fraction (midnight). Values outside
// the years 1 to 9999, and values that are not numbers, give an empty text.
QString DateText(double value);

} // namespace quillmere
