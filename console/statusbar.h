// statusbar.h - the status bar's clock, replaceable so that tests can move time forward.
#pragma once

#include <cstdint>

namespace kav::console {

// Returns the current calendar time in whole seconds.
using Clock = std::int64_t (*)();

// Makes the status bar read clock (null: the system's calendar clock) and returns the previous
// one.
Clock set_status_bar_clock(Clock clock);

}  // namespace kav::console
