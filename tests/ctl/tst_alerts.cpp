// What a watch reports and how an alert is worded: the state tracker fed
// readings in turn, and the line, the JSON line, the webhook's body and the
// command's environment of a report.

#include "ctl/alerttext.h"
#include "ctl/statetracker.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QString Running = QStringLiteral("Работает");
const QString Off = QStringLiteral("Выключен");
const QString NoContact = QStringLiteral("Нет связи");

// A step of a server's readings: "Работает 3/16" (state, players), "-" for a
// query that failed, "forget" for the server gone from the watch.
ServerReading readingOf(const QString &step)
{
    ServerReading reading;
    if (step == QLatin1String("-")) {
        reading.state = NoContact;
        return reading;
    }
    const QStringList parts = step.split(QLatin1Char(' '));
    reading.reached = true;
    reading.state = parts.at(0);
    reading.players = parts.value(1, QStringLiteral("0/0")).section(QLatin1Char('/'), 0, 0).toInt();
    reading.playersMax = parts.value(1, QStringLiteral("0/0")).section(QLatin1Char('/'), 1, 1).toInt();
    return reading;
}

// A report as the tests name it: "Работает" for a first one, "Работает>Выключен" for an alert.
QString named(const StateChange &change)
{
    return change.isAlert() ? change.from + QLatin1Char('>') + change.now.state : change.now.state;
}

StateChange change(const QString &from, const ServerReading &now)
{
    StateChange made;
    made.time = QDateTime(QDate(2026, 12, 8), QTime(17, 30, 5), Qt::OffsetFromUTC, 3 * 3600);
    made.server = QStringLiteral("Северный форт");
    made.from = from;
    made.now = now;
    return made;
}

ServerReading reached(const QString &state, int players, int playersMax, const QString &map)
{
    ServerReading reading;
    reading.reached = true;
    reading.state = state;
    reading.players = players;
    reading.playersMax = playersMax;
    reading.map = map;
    return reading;
}

ServerReading unreached()
{
    ServerReading reading;
    reading.state = NoContact;
    return reading;
}

} // namespace

Q_DECLARE_METATYPE(StateChange)

class AlertsTest : public QObject
{
    Q_OBJECT

private slots:
    void trackerReportsChanges_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("reports");
        QTest::newRow("the first reading") << QStringList {"Работает 3/16"} << QStringList {"Работает"};
        QTest::newRow("the same state again")
            << QStringList {"Работает 3/16", "Работает 3/16"} << QStringList {"Работает"};
        QTest::newRow("players come and go: no alert")
            << QStringList {"Работает 3/16", "Работает 9/16", "Работает 0/16"} << QStringList {"Работает"};
        QTest::newRow("a stop and a start")
            << QStringList {"Работает 3/16", "Выключен 0/16", "Запускается 0/16", "Работает 0/16"}
            << QStringList {"Работает", "Работает>Выключен", "Выключен>Запускается", "Запускается>Работает"};
        QTest::newRow("one failure: nothing") << QStringList {"Работает", "-", "Работает"} << QStringList {"Работает"};
        QTest::newRow("one failure, then another state")
            << QStringList {"Работает", "-", "Выключен"} << QStringList {"Работает", "Работает>Выключен"};
        QTest::newRow("two failures in a row")
            << QStringList {"Работает", "-", "-"} << QStringList {"Работает", "Работает>Нет связи"};
        QTest::newRow("a long outage is said once")
            << QStringList {"Выключен", "-", "-", "-", "-"} << QStringList {"Выключен", "Выключен>Нет связи"};
        QTest::newRow("back after an outage") << QStringList {"Работает", "-", "-", "Выключен"}
                                              << QStringList {"Работает", "Работает>Нет связи", "Нет связи>Выключен"};
        QTest::newRow("failures apart do not add up")
            << QStringList {"Работает", "-", "Работает", "-", "Работает"} << QStringList {"Работает"};
        QTest::newRow("a first failure: nothing yet") << QStringList {"-"} << QStringList();
        QTest::newRow("unreached from the start")
            << QStringList {"-", "-", "-", "Работает"} << QStringList {"Нет связи", "Нет связи>Работает"};
        QTest::newRow("gone and back: a first report again")
            << QStringList {"Работает", "forget", "Выключен"} << QStringList {"Работает", "Выключен"};
        QTest::newRow("gone while failing: the count starts afresh")
            << QStringList {"Работает", "-", "forget", "-", "Работает"} << QStringList {"Работает", "Работает"};
    }

    void trackerReportsChanges()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, reports);
        const QString server = QStringLiteral("Северный форт");
        const QString other = QStringLiteral("Ночная гавань");
        StateTracker tracker;
        QStringList made;
        for (const QString &step : steps) {
            // Another server's readings, between each of this one's, change nothing of it.
            tracker.take(other, readingOf(QStringLiteral("-")));
            if (step == QLatin1String("forget")) {
                tracker.forget(server);
                QVERIFY(!tracker.hasReported(server));
                continue;
            }
            const std::optional<StateChange> report = tracker.take(server, readingOf(step));
            if (!report)
                continue;
            QCOMPARE(report->server, server);
            QCOMPARE(report->now.state, readingOf(step).state);
            made << named(*report);
            QVERIFY(tracker.hasReported(server));
        }
        QCOMPARE(made, reports);
    }

    void alertTexts_data()
    {
        QTest::addColumn<StateChange>("change");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("jsonLine");
        QTest::addColumn<QByteArray>("webhookBody");
        QTest::addColumn<QStringList>("environment");
        const QString time = QStringLiteral("2026-12-08T17:30:05+03:00");

        QTest::newRow("a first report")
            << change(QString(), reached(Running, 3, 16, QStringLiteral("frozen_lake")))
            << time + QStringLiteral("\tСеверный форт\tРаботает\t3/16\n")
            << QByteArray("{\"map\":\"frozen_lake\",\"players\":3,\"players_max\":16,\"server\":\"Северный форт\","
                          "\"state\":\"Работает\",\"time\":\"2026-12-08T17:30:05+03:00\"}"
                          "\n")
            << QByteArray() << QStringList();
        QTest::newRow("a first report, not reached")
            << change(QString(), unreached()) << time + QStringLiteral("\tСеверный форт\tНет связи\t-/-\n")
            << QByteArray("{\"map\":null,\"players\":null,\"players_max\":null,\"server\":\"Северный форт\","
                          "\"state\":\"Нет связи\",\"time\":\"2026-12-08T17:30:05+03:00\"}"
                          "\n")
            << QByteArray() << QStringList();
        QTest::newRow("an alert")
            << change(Running, reached(Off, 0, 16, QStringLiteral("frozen_lake")))
            << time + QStringLiteral("\tСеверный форт\tРаботает\tВыключен\t0/16\n")
            << QByteArray("{\"from\":\"Работает\",\"map\":\"frozen_lake\",\"players\":0,\"players_max\":16,"
                          "\"server\":\"Северный форт\",\"time\":\"2026-12-08T17:30:05+03:00\",\"to\":\"Выключен\"}"
                          "\n")
            << QByteArray("{\"content\":\"«Северный форт»: Работает → Выключен, игроков 0/16\","
                          "\"from\":\"Работает\",\"map\":\"frozen_lake\",\"players\":0,\"players_max\":16,"
                          "\"server\":\"Северный форт\",\"text\":\"«Северный форт»: Работает → Выключен, "
                          "игроков 0/16\",\"time\":\"2026-12-08T17:30:05+03:00\",\"to\":\"Выключен\"}")
            << QStringList {"Северный форт", "Работает", "Выключен", "0", "16", "frozen_lake", time};
        QTest::newRow("an alert, not reached")
            << change(Running, unreached()) << time + QStringLiteral("\tСеверный форт\tРаботает\tНет связи\t-/-\n")
            << QByteArray("{\"from\":\"Работает\",\"map\":null,\"players\":null,\"players_max\":null,"
                          "\"server\":\"Северный форт\",\"time\":\"2026-12-08T17:30:05+03:00\",\"to\":\"Нет связи\"}"
                          "\n")
            << QByteArray("{\"content\":\"«Северный форт»: Работает → Нет связи\",\"from\":\"Работает\","
                          "\"map\":null,\"players\":null,\"players_max\":null,\"server\":\"Северный форт\","
                          "\"text\":\"«Северный форт»: Работает → Нет связи\","
                          "\"time\":\"2026-12-08T17:30:05+03:00\",\"to\":\"Нет связи\"}")
            << QStringList {"Северный форт", "Работает", "Нет связи", "", "", "", time};
    }

    void alertTexts()
    {
        QFETCH(StateChange, change);
        QFETCH(QString, line);
        QFETCH(QByteArray, jsonLine);
        QFETCH(QByteArray, webhookBody);
        QFETCH(QStringList, environment);
        QCOMPARE(AlertText::line(change), line);
        QCOMPARE(AlertText::jsonLine(change), jsonLine);
        if (!change.isAlert())
            return;
        QCOMPARE(AlertText::webhookBody(change), webhookBody);
        const QStringList names {"VALMORA_SERVER",      "VALMORA_FROM", "VALMORA_TO",  "VALMORA_PLAYERS",
                                 "VALMORA_PLAYERS_MAX", "VALMORA_MAP",  "VALMORA_TIME"};
        QStringList givenNames;
        QStringList values;
        for (const auto &[name, value] : AlertText::environment(change)) {
            givenNames << name;
            values << value;
        }
        QCOMPARE(givenNames, names);
        QCOMPARE(values, environment);
    }

    // Local time with its offset from UTC always written out.
    void timesCarryTheirOffset_data()
    {
        QTest::addColumn<int>("offsetSeconds");
        QTest::addColumn<QString>("written");
        QTest::newRow("east") << 3 * 3600 << "2026-12-08T17:30:05+03:00";
        QTest::newRow("UTC") << 0 << "2026-12-08T17:30:05+00:00";
        QTest::newRow("west, half an hour") << -(3 * 3600 + 1800) << "2026-12-08T17:30:05-03:30";
        QTest::newRow("quarter hours") << 5 * 3600 + 2700 << "2026-12-08T17:30:05+05:45";
    }

    void timesCarryTheirOffset()
    {
        QFETCH(int, offsetSeconds);
        QFETCH(QString, written);
        QCOMPARE(AlertText::isoTime(QDateTime(QDate(2026, 12, 8), QTime(17, 30, 5), Qt::OffsetFromUTC, offsetSeconds)),
                 written);
    }
};

QTEST_GUILESS_MAIN(AlertsTest)
#include "tst_alerts.moc"
