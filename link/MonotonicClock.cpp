#include "link/MonotonicClock.h"

#include <chrono>

qint64 MonotonicClock::nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
