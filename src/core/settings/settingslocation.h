#pragma once

#include <QString>

// Where setting.ini lives. The file is chosen once at start and used for
// every load and save of the run:
// 1. the file named on the command line;
// 2. otherwise setting.ini beside the executable, if it exists there (a
//    portable copy, and every file made before installed copies existed);
// 3. otherwise beside the executable, if this user can create files there;
// 4. otherwise setting.ini in the window's folder in the user's
//    configuration folder (~/.config/valmora-panel/ on Linux,
//    %LOCALAPPDATA%\valmora-panel on Windows), whichever program asks.
namespace SettingsLocation {

// The file in use; decided by rules 2 to 4 on first use unless set before.
QString filePath();
// Fixes the file for the rest of the run (rule 1).
void setFilePath(const QString &path);
// setting.ini in the given folder; an empty folder means the rules again.
void setDirectory(const QString &directory);

// The file that rules 2 to 4 choose now.
QString defaultFilePath();

} // namespace SettingsLocation
