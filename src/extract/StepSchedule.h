#pragma once
// The step times of an extraction run: from the range start by the interval, by repeated
// addition in double precision, while the time is below the range end. Plain value; any
// thread.

#include <functional>

struct ExtractionRangeValue {
    double start = 0;
    double end = 0;
};

// Start: From when it is above 0 and not beyond the duration, else 0. End: the duration when
// the start is beyond To (a To below the start means to the end), else the smaller of To and
// the duration. An unreadable (NaN) duration gives an empty range.
ExtractionRangeValue ExtractionRange(double from, double to, double duration);

class StepSchedule {
  public:
    StepSchedule(ExtractionRangeValue range, double interval);

    // Calls `step(time, counter)` for every step, counters from 1, until it answers false.
    // Stops as well when adding the interval no longer advances the time.
    void ForEachStep(const std::function<bool(double time, long long counter)>& step) const;
    long long StepCount() const;

  private:
    ExtractionRangeValue m_oRange;
    double m_dblInterval;
};
