#include "serverstore.h"

#include "core/crypto/machinecipher.h"
#include "core/settings/settingsfile.h"

#include <QFileInfo>
#include <QSettings>

ServerStore::ServerStore(const QString &path)
    : path(path)
{ }

QString ServerStore::read()
{
    if (!QFileInfo::exists(path))
        return QString();
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError || !QFileInfo(path).isReadable())
        return QStringLiteral("не удалось прочитать файл настроек %1").arg(path);

    settings.beginGroup(SettingsFile::mainGroup);
    problems = api.configure(settings);
    // The tool's lines go on after "valmora-ctl: ".
    for (QString &problem : problems)
        problem[0] = problem.at(0).toLower();
    settings.endGroup();

    settings.beginGroup(SettingsFile::serversGroup);
    records = SettingsFile::records(settings);
    return QString();
}

QList<ServerStore::Server> ServerStore::servers() const
{
    MachineCipher cipher;
    QList<Server> found;
    for (auto it = records.cbegin(); it != records.cend(); ++it)
        found.append({it.key(), cipher.decipher(it.value()).outcome != MachineCipher::Unreadable});
    return found;
}

QString ServerStore::key(const QString &name, QString *apiKey) const
{
    if (!records.contains(name))
        return noSuchServer(name);
    MachineCipher cipher;
    const MachineCipher::Key key = cipher.decipher(records.value(name));
    if (key.outcome == MachineCipher::Unreadable)
        return unreadableKey(name);
    *apiKey = key.text;
    return QString();
}

QString ServerStore::noSuchServer(const QString &name)
{
    return QStringLiteral("нет сервера «%1»").arg(name);
}

QString ServerStore::unreadableKey(const QString &name)
{
    return QStringLiteral("ключ API сервера «%1» не читается на этом компьютере; добавьте его заново: "
                          "valmora-ctl add \"%1\"")
        .arg(name);
}

QString ServerStore::add(const QString &name, const QString &apiKey, bool *replaced, QString *privacyProblem)
{
    MachineCipher cipher;
    const QString record = cipher.encipher(apiKey);
    *replaced = false;
    const SettingsFile::Outcome outcome = SettingsFile::update(path, [&](QSettings &settings, bool) {
        // A file that could not be read is left as it is.
        if (settings.status() != QSettings::NoError)
            return;
        settings.beginGroup(SettingsFile::serversGroup);
        *replaced = SettingsFile::records(settings).contains(name);
        settings.setValue(name, record);
        settings.endGroup();
    });
    *privacyProblem = outcome.privacyProblem;
    if (!outcome.written())
        return QStringLiteral("не удалось записать файл настроек %1: %2").arg(path, outcome.failure);
    return QString();
}

QString ServerStore::remove(const QString &name, bool *found, QString *privacyProblem)
{
    *found = false;
    // Nothing to remove from a file that is not there; none is made for it.
    if (!QFileInfo::exists(path))
        return QString();
    const SettingsFile::Outcome outcome = SettingsFile::update(path, [&](QSettings &settings, bool) {
        if (settings.status() != QSettings::NoError)
            return;
        settings.beginGroup(SettingsFile::serversGroup);
        *found = SettingsFile::records(settings).contains(name);
        if (*found)
            settings.remove(name);
        settings.endGroup();
    });
    *privacyProblem = outcome.privacyProblem;
    if (!outcome.written())
        return QStringLiteral("не удалось записать файл настроек %1: %2").arg(path, outcome.failure);
    return QString();
}
