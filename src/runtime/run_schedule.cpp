#include "runtime/run_schedule.h"

#include <cmath>

namespace {

// No wait is asked to end before one period less a millisecond after the previous call
// started.  A wait ends after the moment asked for, never on it, so the next call starts
// after that: never a whole millisecond early.  (With whole milliseconds to wait, asking
// to end a little later than that would keep the schedule from taking lateness back.)
const double kEarliestMs = 1.0;

// Each wait's lateness counts for this share of the expectation, so that one wait that
// ended late on a busy machine moves it little; and counts at most this much.
const double kOvershootWeight = 1.0 / 8;
const double kOvershootCapMs = 5.0;

}  // namespace

void RunSchedule::CallBegins(double start) {
    // On the grid the period counts from when the call was due, however early or late it
    // came; off it, or more than a period late, from its real start.
    if (!onGrid_) due_ = start;
    start_ = start;
}

bool RunSchedule::CallReturned(unsigned long period, double end) {
    const double length = static_cast<double>(period);
    if (end - start_ >= length || start_ - due_ >= length) {
        // The next call follows at once (or the schedule fell a period behind): a new grid
        // from the next call's start.
        onGrid_ = end - start_ < length;
        due_ = start_ + length;
        earliest_ = start_ + length - kEarliestMs;
        return onGrid_;
    }
    onGrid_ = true;
    due_ += length;
    earliest_ = start_ + length - kEarliestMs;
    return true;
}

DWORD RunSchedule::WaitMs(double now) const {
    // Aim so that the wait, with its usual lateness, ends when the call is due; never
    // before the earliest start the rule allows.
    double wait = std::floor(due_ - overshoot_ - now + 0.5);
    if (now + wait < earliest_) wait = std::ceil(earliest_ - now);
    return wait > 0 ? static_cast<DWORD>(wait) : 0;
}

void RunSchedule::WaitTimedOut(DWORD asked, double begin, double end) {
    if (asked == 0) return;  // no wait at all: nothing learned
    double late = end - begin - static_cast<double>(asked);
    if (late < 0) late = 0;
    if (late > kOvershootCapMs) late = kOvershootCapMs;
    overshoot_ += (late - overshoot_) * kOvershootWeight;
}
