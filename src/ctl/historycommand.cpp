#include "historycommand.h"

#include "core/history/historychart.h"
#include "core/history/historyfile.h"
#include "core/history/historyreadings.h"
#include "core/history/historysteps.h"
#include "core/history/historystore.h"
#include "core/settings/settingslocation.h"
#include "ctl/console.h"
#include "ctl/exitcode.h"
#include "ctl/historysvg.h"
#include "ctl/historytext.h"
#include "ctl/serverstore.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>

namespace {

const QSizeF chartSize(1000, 560);

int fail(int exitCode, const QString &message)
{
    Console::printError(message);
    return exitCode;
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *problem)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *problem = file.errorString();
    return false;
}

// The period takes in the current second, which a watch may be recording.
qint64 endOf(const HistoryText::Period &period)
{
    return period.to + 1;
}

} // namespace

int runHistory(const CtlRequest &request, const ServerStore &store)
{
    const HistoryRequest &wanted = request.history;
    const QString path = HistoryFile::besideSettings(SettingsLocation::filePath());
    HistoryStore history(path);
    const HistoryStore::Outcome opened = history.openForReading();
    if (opened != HistoryStore::Outcome::Ready && opened != HistoryStore::Outcome::Missing)
        return fail(ExitStore,
                    QStringLiteral("история %1 не читается (%2); файл оставлен как есть")
                        .arg(QDir::toNativeSeparators(path), history.problem()));
    HistoryReadings readings(opened == HistoryStore::Outcome::Ready ? history.database() : QSqlDatabase());
    const auto unreadable = [&] {
        return fail(ExitStore,
                    QStringLiteral("история %1 не читается (%2); файл оставлен как есть")
                        .arg(QDir::toNativeSeparators(path), readings.problem()));
    };

    QStringList stored;
    for (const ServerStore::Server &server : store.servers())
        stored << server.name;
    HistoryText::Period period;
    period.now = QDateTime::currentSecsSinceEpoch();
    period.to = period.now;

    if (wanted.server.isEmpty()) {
        period.from = period.to - wanted.sinceSeconds;
        period.step = wanted.sinceSeconds;
        QList<HistoryReadings::ServerSummary> rows;
        if (!readings.summary(stored, period.from, endOf(period), &rows))
            return unreadable();
        if (request.json)
            Console::printBytes(HistoryText::summaryJson(rows, period));
        else if (wanted.csv)
            Console::print(HistoryText::summaryCsv(rows));
        else
            Console::print(HistoryText::summaryTable(rows, period));
        return ExitDone;
    }

    bool known = false;
    if (!readings.knows(wanted.server, &known))
        return unreadable();
    if (!known && !stored.contains(wanted.server))
        return fail(ExitStore, QStringLiteral("нет сервера «%1» ни в настройках, ни в истории").arg(wanted.server));
    period.step = wanted.stepSeconds > 0 ? wanted.stepSeconds : HistorySteps::defaultStep(wanted.sinceSeconds);
    const int offset = QDateTime::fromSecsSinceEpoch(period.to - wanted.sinceSeconds).offsetFromUtc();
    period.from = HistorySteps::alignedStart(period.to - wanted.sinceSeconds, period.step, offset);
    QList<HistoryReadings::Step> steps;
    if (!readings.steps(wanted.server, period.from, endOf(period), period.step, &steps))
        return unreadable();

    if (!wanted.svgFile.isEmpty()) {
        const HistoryChart chart = HistoryChart::layout(wanted.server, steps, period.step, chartSize);
        QString problem;
        if (!writeFile(wanted.svgFile, HistorySvg::document(chart).toUtf8(), &problem))
            return fail(
                ExitStore,
                QStringLiteral("не удалось записать %1: %2").arg(QDir::toNativeSeparators(wanted.svgFile), problem));
    }
    if (request.json)
        Console::printBytes(HistoryText::stepsJson(wanted.server, steps, period));
    else if (wanted.csv)
        Console::print(HistoryText::stepsCsv(steps));
    else
        Console::print(HistoryText::stepsTable(wanted.server, steps, period));
    return ExitDone;
}
