#include "commonoptions.h"

#include "core/program/version.h"
#include "core/settings/settingslocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace {

const QString settingsName = QStringLiteral("settings");
// Stands for the file in use while the help is wrapped into lines.
const QString fileInUsePlaceholder = QStringLiteral("FILE-IN-USE");

} // namespace

void CommonOptions::identify(const char *programName)
{
    QCoreApplication::setApplicationName(QString::fromLatin1(programName));
    QCoreApplication::setApplicationVersion(QStringLiteral(VALMORA_VERSION));
}

void CommonOptions::add(QCommandLineParser &parser, const QString &settingsDescription)
{
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        QCommandLineOption(settingsName, settingsDescription + fileInUsePlaceholder, QStringLiteral("FILE")));
}

CommonOptions::Request CommonOptions::request(const QCommandLineParser &parser)
{
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        return Request::Help;
    if (parser.isSet(QStringLiteral("version")))
        return Request::Version;
    return Request::Run;
}

CommonOptions::Settings CommonOptions::settingsFile(const QCommandLineParser &parser, QString *file)
{
    if (!parser.isSet(settingsName))
        return Settings::NotGiven;
    const QString given = parser.value(settingsName);
    if (given.isEmpty())
        return Settings::Empty;
    *file = QFileInfo(given).absoluteFilePath();
    return Settings::Given;
}

QString CommonOptions::helpText(const QCommandLineParser &parser, const QString &fileInUse)
{
    return parser.helpText().replace(fileInUsePlaceholder,
                                     fileInUse.isEmpty() ? SettingsLocation::defaultFilePath() : fileInUse);
}

QString CommonOptions::versionLine()
{
    return QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion()
        + QLatin1Char('\n');
}
