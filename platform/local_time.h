// The local wall-clock time, as GetLocalTime gives it.
#pragma once

namespace platform {

struct LocalTime {
  int year, month, day, hour, minute, second;
};

LocalTime CurrentLocalTime();

}  // namespace platform
