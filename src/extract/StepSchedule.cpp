#include "extract/StepSchedule.h"

#include <cmath>

ExtractionRangeValue ExtractionRange(double from, double to, double duration) {
    ExtractionRangeValue range;
    range.start = (from > 0 && from <= duration) ? from : 0.0;
    if (range.start > to)
        range.end = duration;
    else
        range.end = (to <= duration) ? to : duration;
    if (std::isnan(range.end)) range.end = range.start;
    return range;
}

StepSchedule::StepSchedule(ExtractionRangeValue range, double interval)
    : m_oRange(range), m_dblInterval(interval) {}

void StepSchedule::ForEachStep(const std::function<bool(double, long long)>& step) const {
    if (!(m_oRange.end > m_oRange.start) || !(m_dblInterval > 0)) return;
    // An interval too small to move the range's end on would crawl from a small start (1e-300
    // from 0) until it stalls below the end, in more steps than any run can take: such a run
    // takes its first step only, as one whose interval cannot move its own time on does.
    const bool movesTheEnd = m_oRange.end + m_dblInterval > m_oRange.end;
    double time = m_oRange.start;
    long long counter = 1;
    do {
        if (!step(time, counter)) return;
        const double next = time + m_dblInterval;
        if (!movesTheEnd || !(next > time)) return;  // an interval too small to move on
        time = next;
        ++counter;
    } while (time < m_oRange.end);
}

long long StepSchedule::StepCount() const {
    long long count = 0;
    ForEachStep([&count](double, long long) {
        ++count;
        return true;
    });
    return count;
}
