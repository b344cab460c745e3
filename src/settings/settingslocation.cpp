#include "settingslocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString fileName = QStringLiteral("setting.ini");

QString &chosenPath()
{
    static QString path;
    return path;
}

QString fileIn(const QString &directory)
{
    return directory + QDir::separator() + fileName;
}

} // namespace

QString SettingsLocation::defaultFilePath()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    QString besideProgram = fileIn(programFolder);
    // isWritable() asks the system whether this user may write there, which
    // also covers read-only file systems.
    if (QFileInfo::exists(besideProgram) || QFileInfo(programFolder).isWritable())
        return besideProgram;
    return fileIn(QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)));
}

QString SettingsLocation::filePath()
{
    if (chosenPath().isEmpty())
        chosenPath() = defaultFilePath();
    return chosenPath();
}

void SettingsLocation::setFilePath(const QString &path)
{
    chosenPath() = path;
}

void SettingsLocation::setDirectory(const QString &directory)
{
    chosenPath() = directory.isEmpty() ? QString() : fileIn(directory);
}
