// When of_run is called next, and how long the run loop waits for it.
//
// The period of_run returns counts from the start of one call to the start of the next,
// and a call never starts a whole millisecond before one period after the previous call
// started.  Within that rule the schedule keeps time: each call is due on a grid (the
// first call's start plus the periods since), and lateness never adds up:
//
// - A wait ends later than asked for, by a few tenths of a millisecond under Wine, more on
//   some machines and more than a timer tick on Windows.  The schedule measures how late
//   its waits end and asks each wait for that much less.
// - What is left, a call that starts late or early, is taken back by the next wait, which
//   aims at the grid again; the rule is kept by never asking for a wait that could end
//   before the earliest moment it allows (waits never end early).
//
// A call that took its whole period or longer is followed by the next at once, and a
// call more than a period late (the machine stalled) is not caught up with: either starts
// the grid anew from that call, as does the first call after a pause.
//
// Pure: the run loop hands it the clock's readings, in milliseconds with fractions.
#pragma once

#include <windows.h>

class RunSchedule {
public:
    // A call of of_run begins at start.
    void CallBegins(double start);
    // It returned period (not 0) at end.  True when the next call is to be waited for;
    // false when it follows at once (this call took its whole period or longer).
    bool CallReturned(unsigned long period, double end);
    // No call is due on the grid any more (the service is paused): the next call starts a
    // new one.
    void Forget() { onGrid_ = false; }

    // The whole milliseconds to wait from now for the next call.
    DWORD WaitMs(double now) const;
    // A wait asked for asked ms began at begin and timed out at end.
    void WaitTimedOut(DWORD asked, double begin, double end);

    // How late a wait ends, as the schedule expects it now.
    double ExpectedOvershootMs() const { return overshoot_; }

private:
    bool onGrid_ = false;  // the last call was due on the grid
    double start_ = 0;     // the last call's start
    double due_ = 0;       // when the last call, then the next one, is due
    double earliest_ = 0;  // the earliest start the rule allows the next call
    double overshoot_ = 0;
};
