#include "base/date_time_format.h"

#include <chrono>

namespace kestrawl::base {

namespace {

constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",
                                       "May",     "June",     "July",      "August",
                                       "September", "October", "November", "December"};

std::string TwoDigits(int v) {
  std::string s = std::to_string(v % 100);
  return s.size() < 2 ? "0" + s : s;
}

std::string Number(int v, size_t width) { return width >= 2 ? TwoDigits(v) : std::to_string(v); }

// Walks a picture: quoted runs are copied, runs of one letter go to `field`
// (letter, run length), which returns false for letters it does not know.
template <typename Field>
std::string Format(std::string_view picture, Field field) {
  std::string out;
  size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    if (c == '\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out.push_back('\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out.push_back(picture[i++]);
      }
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    std::string text;
    if (field(c, run, &text)) {
      out += text;
    } else {
      out.append(picture.substr(i, run));
    }
    i += run;
  }
  return out;
}

}  // namespace

CivilTime CivilTimeFromFileTime(uint64_t filetime) {
  using namespace std::chrono;
  // Days and seconds since 1601-01-01, which was a Monday.
  const uint64_t total_seconds = filetime / 10000000ull;
  const int64_t days = static_cast<int64_t>(total_seconds / 86400);
  const int64_t secs = static_cast<int64_t>(total_seconds % 86400);
  const sys_days day_point = sys_days(year{1601} / January / 1) + std::chrono::days(days);
  const year_month_day ymd(day_point);
  CivilTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.day_of_week = static_cast<int>(weekday(day_point).c_encoding());
  t.hour = static_cast<int>(secs / 3600);
  t.minute = static_cast<int>(secs / 60 % 60);
  t.second = static_cast<int>(secs % 60);
  return t;
}

std::string FormatDatePicture(std::string_view picture, const CivilTime& t) {
  return Format(picture, [&](char c, size_t run, std::string* out) {
    switch (c) {
      case 'd':
        if (run <= 2) *out = Number(t.day, run);
        else if (run == 3) *out = std::string(kDayNames[t.day_of_week % 7]).substr(0, 3);
        else *out = kDayNames[t.day_of_week % 7];
        return true;
      case 'M':
        if (run <= 2) *out = Number(t.month, run);
        else if (run == 3) *out = std::string(kMonthNames[(t.month + 11) % 12]).substr(0, 3);
        else *out = kMonthNames[(t.month + 11) % 12];
        return true;
      case 'y':
        if (run == 1) *out = std::to_string(t.year % 100);
        else if (run == 2) *out = TwoDigits(t.year);
        else *out = std::to_string(t.year);
        return true;
      case 'g':
        *out = "A.D.";
        return true;
      default:
        return false;
    }
  });
}

std::string FormatTimePicture(std::string_view picture, const CivilTime& t) {
  return Format(picture, [&](char c, size_t run, std::string* out) {
    switch (c) {
      case 'h': {
        const int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
        *out = Number(h12, run);
        return true;
      }
      case 'H':
        *out = Number(t.hour, run);
        return true;
      case 'm':
        *out = Number(t.minute, run);
        return true;
      case 's':
        *out = Number(t.second, run);
        return true;
      case 't':
        *out = t.hour < 12 ? "AM" : "PM";
        if (run == 1) out->resize(1);
        return true;
      default:
        return false;
    }
  });
}

}  // namespace kestrawl::base
