#pragma once

#include <QString>

// The settings file lives beside the executable. Tests point it at a
// folder of their own instead.
namespace SettingsLocation {
QString filePath();
void setDirectory(const QString &directory); // empty: beside the executable again
} // namespace SettingsLocation
