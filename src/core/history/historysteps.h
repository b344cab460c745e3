#pragma once

#include <QtGlobal>

// How a period is cut into steps for one server's history.
namespace HistorySteps {

constexpr qint64 mostSteps = 300;

// The shortest of 1, 5, 10, 15, 30 minutes, 1, 2, 3, 6, 12 hours and a day
// that cuts `periodSeconds` into at most 300 steps; a day for anything longer.
qint64 defaultStep(qint64 periodSeconds);

// The start of the step that holds `from`, steps counted from a local
// midnight with the offset `utcOffsetSeconds`, so that steps start on the
// local clock's round times.
qint64 alignedStart(qint64 from, qint64 step, int utcOffsetSeconds);

} // namespace HistorySteps
