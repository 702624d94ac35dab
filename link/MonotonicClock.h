#pragma once

#include <QtGlobal>

// Milliseconds of a clock that never steps with the wall clock, the same
// for every thread, so times taken on one thread compare with another's.
namespace MonotonicClock {

qint64 nowMs();

} // namespace MonotonicClock
