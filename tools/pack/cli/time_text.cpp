#include "pack/cli/time_text.hpp"

#include <chrono>

#include <fmt/xchar.h>

#include "sys/file/file_time.hpp"

namespace aerolith::pack {

std::wstring isoTime(std::uint64_t fileTime) {
  using namespace std::chrono;
  const sys::UnixTime time = sys::unixFromFileTime(fileTime);
  const sys_seconds point{seconds(time.seconds)};
  const sys_days day = floor<days>(point);
  const year_month_day date(day);
  const hh_mm_ss clock(point - day);
  return fmt::format(L"{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:07}Z", static_cast<int>(date.year()),
                     static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                     clock.hours().count(), clock.minutes().count(), clock.seconds().count(),
                     time.nanoseconds / 100);
}

}  // namespace aerolith::pack
