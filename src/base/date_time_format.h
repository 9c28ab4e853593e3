// Dates and times as the user's locale writes them: a FILETIME broken into
// its calendar fields, and the Windows date and time pictures ("M/d/yyyy",
// "h:mm:ss tt") applied to it with English names. Quoted text ('at') is
// copied without its quotes, '' inside quotes is one quote, every other
// character that is not a picture letter is copied as it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrawl::base {

struct CivilTime {
  int year = 1601, month = 1, day = 1;  // month 1..12, day 1..31
  int day_of_week = 1;                  // 0 = Sunday
  int hour = 0, minute = 0, second = 0;
};

// 100-nanosecond intervals since 1601-01-01 (UTC, or local when the caller
// passes a local time) -> calendar fields.
CivilTime CivilTimeFromFileTime(uint64_t filetime);

// Date pictures: d dd ddd dddd, M MM MMM MMMM, y yy yyyy, g gg (era).
std::string FormatDatePicture(std::string_view picture, const CivilTime& time);
// Time pictures: h hh (12-hour), H HH, m mm, s ss, t tt (A/P, AM/PM).
std::string FormatTimePicture(std::string_view picture, const CivilTime& time);

}  // namespace kestrawl::base
