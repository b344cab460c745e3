// valmora-ctl watch records the history, and valmora-ctl history reads it
// back, as a user runs them: watch against the stand-in service over TLS for
// a few rounds, then history as JSON, CSV and SVG. Also: a damaged history
// is reported and left as it is, and watch --no-history writes nothing.
//
// Like tst_watch, the stand-in service is started here unless
// VALMORA_TEST_SERVICE and VALMORA_TEST_SERVICE_CA name one that runs.

#include "core/crypto/machinecipher.h"
#include "core/crypto/machinekey.h"
#include "core/crypto/stringcipher.h"
#include "core/history/historystore.h"
#include "demoservers.h"
#include "demosettings.h"
#include "filemode.h"
#include "machinekeycheck.h"
#include "patience.h"
#include "testservice.h"
#include "watchend.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString NorthFort = QString::fromUtf8(DemoServers::NorthFort.name);
// The running server once more, under a name that CSV, JSON and XML must keep.
const QString Odd = QStringLiteral("Клуб \"Ночь\", <зал> & 'бар' 🎮");

QByteArray contents(const QString &file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

qint64 statusSamples(const QString &file)
{
    HistoryStore store(file);
    if (store.openForReading() != HistoryStore::Outcome::Ready)
        return 0;
    QSqlQuery query(store.database());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM status")) || !query.next())
        return 0;
    return query.value(0).toLongLong();
}

} // namespace

class HistoryEndToEndTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    TestService service;

    QString path(const QString &name) const { return folder.filePath(name); }

    Run ctl(const QString &settings, const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(CTL_EXECUTABLE), QStringList {QStringLiteral("--settings"), settings} + arguments);
        Run run;
        if (!process.waitForFinished(patienceMs))
            return run;
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    bool writeSettings(const QString &file)
    {
        if (!DemoSettings::write(file, service.host(), service.certificatePath()).isEmpty())
            return false;
        QSettings settings(file, QSettings::IniFormat);
        StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
        settings.setValue(QStringLiteral("Servers/") + Odd,
                          cipher.encipherText(QString::fromLatin1(DemoServers::NorthFort.apiKey)));
        settings.sync();
        return settings.status() == QSettings::NoError;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        if (!TestService::isAvailable())
            QSKIP(TestService::unavailableText());
        if (!hasMachineKey())
            QSKIP("no network hardware address, so no machine key for the settings file");
        const QString problem = service.open();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void cleanupTestCase()
    {
        // One started here ends cleanly on SIGTERM; a named one runs on.
        QCOMPARE(service.close(), QString());
    }

    void watchRecordsAndHistoryReadsBack()
    {
        QVERIFY(QDir().mkpath(path(QStringLiteral("watched"))));
        const QString settings = path(QStringLiteral("watched/setting.ini"));
        const QString history = path(QStringLiteral("watched/history.sqlite"));
        QVERIFY(writeSettings(settings));

        QProcess watch;
        watch.start(QStringLiteral(CTL_EXECUTABLE),
                    {QStringLiteral("--settings"), settings, QStringLiteral("watch"), QStringLiteral("--interval"),
                     QStringLiteral("5")});
        QVERIFY2(watch.waitForStarted(patienceMs), qPrintable(watch.errorString()));
        // Two rounds of four servers.
        QTRY_VERIFY_WITH_TIMEOUT(statusSamples(history) >= 8, 3 * patienceMs);

        // The file and its -wal are the user's alone, and hold no API key.
        for (const char *suffix : {"", "-wal"}) {
            const QString part = history + QLatin1String(suffix);
#ifdef Q_OS_UNIX
            QCOMPARE(fileMode(part), 0600);
#endif
            const QByteArray bytes = contents(part);
            QVERIFY(!bytes.isEmpty());
            for (const DemoServers::Entry &server : DemoServers::All)
                QVERIFY2(!bytes.contains(server.apiKey), suffix);
        }
        QVERIFY(endWatch(watch));
        QVERIFY2(!watch.readAllStandardError().contains("истори"), "no warning about the history");
        const qint64 recorded = statusSamples(history);

        const Run json = ctl(settings, {QStringLiteral("--json"), QStringLiteral("history")});
        QCOMPARE(json.exitCode, 0);
        const QJsonObject summary = QJsonDocument::fromJson(json.out).object();
        const QJsonArray servers = summary.value(QStringLiteral("servers")).toArray();
        QCOMPARE(servers.size(), 4);
        qint64 samples = 0;
        QJsonObject north;
        QJsonObject odd;
        for (const auto &server : servers) {
            samples += server[QStringLiteral("samples")].toInteger();
            QVERIFY(server[QStringLiteral("stored")].toBool());
            if (server[QStringLiteral("name")].toString() == NorthFort)
                north = server.toObject();
            if (server[QStringLiteral("name")].toString() == Odd)
                odd = server.toObject();
        }
        QVERIFY2(samples == recorded, json.out.constData());
        QVERIFY2(!odd.isEmpty(), json.out.constData());
        QCOMPARE(north[QStringLiteral("last")][QStringLiteral("state")].toString(), QStringLiteral("Работает"));
        QCOMPARE(north[QStringLiteral("states")][QStringLiteral("Работает")].toDouble(), 1.0);
        QVERIFY(north[QStringLiteral("cpu_max")].isDouble());
        QVERIFY(north[QStringLiteral("players_limit")].isDouble());
        QCOMPARE(summary.value(QStringLiteral("step")).toInt(), 86400);

        const Run csv = ctl(settings, {QStringLiteral("history"), QStringLiteral("--csv")});
        QCOMPARE(csv.exitCode, 0);
        const QStringList lines = QString::fromUtf8(csv.out).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines.constFirst().startsWith(QStringLiteral("name,stored,last_time,last_state,samples,")));
        QString quoted = Odd;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        QVERIFY2(csv.out.contains((QLatin1Char('"') + quoted + QStringLiteral("\",true,")).toUtf8()), csv.out);

        const QString svgFile = path(QStringLiteral("odd.svg"));
        const Run steps = ctl(settings,
                              {QStringLiteral("--json"), QStringLiteral("history"), QStringLiteral("--since"),
                               QStringLiteral("1h"), QStringLiteral("--svg"), svgFile, Odd});
        QCOMPARE(steps.exitCode, 0);
        const QJsonObject document = QJsonDocument::fromJson(steps.out).object();
        QCOMPARE(document.value(QStringLiteral("server")).toString(), Odd);
        QCOMPARE(document.value(QStringLiteral("step")).toInt(), 60);
        const QJsonArray list = document.value(QStringLiteral("steps")).toArray();
        QVERIFY(list.size() >= 60 && list.size() <= 61);
        qint64 inSteps = 0;
        for (const auto &step : list) {
            inSteps += step[QStringLiteral("samples")].toInteger();
            if (step[QStringLiteral("samples")].toInteger() == 0)
                QVERIFY(step[QStringLiteral("players_avg")].isNull() && step[QStringLiteral("states")].isNull());
        }
        QCOMPARE(inSteps, odd[QStringLiteral("samples")].toInteger());
        QXmlStreamReader svg(contents(svgFile));
        QString title;
        while (!svg.atEnd()) {
            if (svg.readNext() == QXmlStreamReader::StartElement && svg.name() == QLatin1String("title"))
                title = svg.readElementText();
        }
        QVERIFY2(!svg.hasError(), qPrintable(svg.errorString()));
        QVERIFY2(title.contains(Odd), qPrintable(title));

        const Run unknown = ctl(settings, {QStringLiteral("history"), QStringLiteral("Нет такого")});
        QCOMPARE(unknown.exitCode, 4);
        const Run svgOfAll = ctl(settings, {QStringLiteral("history"), QStringLiteral("--svg"), svgFile});
        QCOMPARE(svgOfAll.exitCode, 2);
    }

    void damagedHistoryIsReportedAndLeft()
    {
        QVERIFY(QDir().mkpath(path(QStringLiteral("damaged"))));
        const QString settings = path(QStringLiteral("damaged/setting.ini"));
        const QString history = path(QStringLiteral("damaged/history.sqlite"));
        QFile file(history);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a database, but a note\n");
        file.close();
        const Run run = ctl(settings, {QStringLiteral("history")});
        QCOMPARE(run.exitCode, 4);
        QVERIFY2(run.err.contains(QDir::toNativeSeparators(history)), qPrintable(run.err));
        QCOMPARE(contents(history), QByteArray("not a database, but a note\n"));
        QCOMPARE(QDir(path(QStringLiteral("damaged"))).entryList(QDir::Files).size(), 1);
    }

    void noHistoryRecordsNothing()
    {
        QVERIFY(QDir().mkpath(path(QStringLiteral("quiet"))));
        const QString settings = path(QStringLiteral("quiet/setting.ini"));
        QVERIFY(writeSettings(settings));
        QProcess watch;
        watch.start(QStringLiteral(CTL_EXECUTABLE),
                    {QStringLiteral("--settings"), settings, QStringLiteral("watch"), QStringLiteral("--no-history")});
        QVERIFY(watch.waitForStarted(patienceMs));
        // The first round has reported every server.
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += watch.readAllStandardOutput()).count('\n') >= 4, patienceMs);
        QVERIFY(endWatch(watch));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("quiet/history.sqlite"))));
    }
};

QTEST_GUILESS_MAIN(HistoryEndToEndTest)
#include "tst_history.moc"
