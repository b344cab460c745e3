#pragma once

#include "core/history/historychart.h"

#include <QString>

// One server's chart as an SVG document that a browser opens; every text
// escaped as XML requires.
namespace HistorySvg {

QString document(const HistoryChart &chart);

// Text for an SVG element or attribute: &, <, >, " and ' escaped.
QString escaped(const QString &text);

} // namespace HistorySvg
