#pragma once

#include <QColor>
#include <QString>

// The core's colours, "rgb(r, g, b)", as a painter takes them; invalid for
// anything else, such as the empty colour of "no data".
QColor chartColour(const QString &rgb);
