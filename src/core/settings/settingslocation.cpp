#include "settingslocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

const QString fileName = QStringLiteral("setting.ini");
// The window's folder name, for every program that shares its file.
const QString folderName = QStringLiteral("valmora-panel");

QString &chosenPath()
{
    static QString path;
    return path;
}

// In the system's own spelling (backslashes on Windows), as --help shows it.
QString fileIn(const QString &directory)
{
    return QDir::toNativeSeparators(QDir(directory).filePath(fileName));
}

// Asked by trying: on Windows the file attributes that QFileInfo reads say
// nothing of a folder's permissions (Program Files is closed by those), and
// elsewhere this also covers read-only file systems and access lists.
bool canCreateFilesIn(const QString &folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".setting-probe-XXXXXX")));
    return probe.open();
}

} // namespace

QString SettingsLocation::defaultFilePath()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    QString besideProgram = fileIn(programFolder);
    if (QFileInfo::exists(besideProgram) || canCreateFilesIn(programFolder))
        return besideProgram;
    // Named here rather than taken from the running program's name, which
    // differs between the window and the command-line tool.
    const QString configFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return fileIn(QDir(configFolder).filePath(folderName));
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
