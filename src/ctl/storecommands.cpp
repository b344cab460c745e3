#include "storecommands.h"

#include "core/settings/settingsfile.h"
#include "ctl/console.h"
#include "ctl/ctlcommandline.h"
#include "ctl/exitcode.h"
#include "ctl/secretinput.h"
#include "ctl/serverstore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

void warnAboutPrivacy(const QString &problem)
{
    if (!problem.isEmpty())
        Console::printError(QStringLiteral("файл настроек может быть доступен другим пользователям: %1").arg(problem));
}

} // namespace

int StoreCommands::list(const CtlRequest &request, ServerStore &store)
{
    const QList<ServerStore::Server> servers = store.servers();
    if (request.json) {
        QJsonArray array;
        for (const ServerStore::Server &server : servers)
            array.append(QJsonObject {{QStringLiteral("name"), server.name}, {QStringLiteral("key"), server.keyRead}});
        Console::printBytes(QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n');
        return ExitDone;
    }
    QString lines;
    for (const ServerStore::Server &server : servers)
        lines += server.name + (server.keyRead ? QString() : QStringLiteral("\t(ключ API не читается)")) + '\n';
    Console::print(lines);
    return ExitDone;
}

int StoreCommands::add(const CtlRequest &request, ServerStore &store)
{
    const QString &name = request.arguments.constFirst();
    const QString apiKey = readSecretLine(QStringLiteral("Ключ API сервера «%1»: ").arg(name));
    if (apiKey.isEmpty())
        return Console::fail(ExitUsage,
                             QStringLiteral("ключ API не получен: его ждут первой строкой стандартного ввода"));
    bool replaced = false;
    QString privacyProblem;
    const QString failure = store.add(name, apiKey, &replaced, &privacyProblem);
    if (!failure.isEmpty())
        return Console::fail(ExitStore, failure);
    warnAboutPrivacy(privacyProblem);
    if (!request.json)
        Console::print(replaced ? QStringLiteral("Ключ сервера «%1» заменён.\n").arg(name)
                                : QStringLiteral("Сервер «%1» добавлен.\n").arg(name));
    return ExitDone;
}

int StoreCommands::remove(const CtlRequest &request, ServerStore &store)
{
    const QString &name = request.arguments.constFirst();
    bool found = false;
    QString privacyProblem;
    const QString failure = store.remove(name, &found, &privacyProblem);
    if (!failure.isEmpty())
        return Console::fail(ExitStore, failure);
    warnAboutPrivacy(privacyProblem);
    if (!found)
        return Console::fail(ExitStore, ServerStore::noSuchServer(name));
    if (!request.json)
        Console::print(QStringLiteral("Сервер «%1» удалён.\n").arg(name));
    return ExitDone;
}

QString StoreCommands::checkName(const QStringList &arguments, CtlRequest * /*request*/)
{
    const QString &name = arguments.constFirst();
    if (SettingsFile::isStorableName(name))
        return QString();
    return name.isEmpty() ? QStringLiteral("название сервера не может быть пустым")
                          : QStringLiteral("название сервера не может содержать символы «/» и «\\»");
}
