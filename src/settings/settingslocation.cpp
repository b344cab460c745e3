#include "settingslocation.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString &overriddenDirectory()
{
    static QString directory;
    return directory;
}
} // namespace

QString SettingsLocation::filePath()
{
    const QString directory
        = overriddenDirectory().isEmpty() ? QCoreApplication::applicationDirPath() : overriddenDirectory();
    return directory + QDir::separator() + QStringLiteral("setting.ini");
}

void SettingsLocation::setDirectory(const QString &directory)
{
    overriddenDirectory() = directory;
}
