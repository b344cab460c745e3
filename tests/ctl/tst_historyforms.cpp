// The forms valmora-ctl history prints, in process: names with quotes,
// commas, line breaks, Cyrillic and emoji come out exactly in CSV, JSON and
// SVG, and a step without data is empty in each.

#include "core/history/historychart.h"
#include "ctl/historycommandline.h"
#include "ctl/historysvg.h"
#include "ctl/historytext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

constexpr qint64 Now = 1740830400;

const QString Odd = QStringLiteral("Клуб \"Ночь\", <зал> & 'бар' 🎮\nвторой ряд");

HistoryReadings::Step stepWith(qint64 start, int players)
{
    HistoryReadings::Step step;
    step.start = start;
    step.figures.states.at(History::Running) = 1;
    step.figures.playersSum = players;
    step.figures.playersCount = 1;
    step.figures.playersMax = players;
    step.figures.limit = 10;
    return step;
}

// The fields of one CSV record (RFC 4180), for the test's own reading.
QStringList csvRecord(const QString &text, int *at)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (; *at < text.size(); ++*at) {
        const QChar c = text.at(*at);
        if (quoted) {
            if (c == u'"' && *at + 1 < text.size() && text.at(*at + 1) == u'"') {
                field += c;
                ++*at;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else if (c == u'\r' && *at + 1 < text.size() && text.at(*at + 1) == u'\n') {
            *at += 2;
            break;
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

} // namespace

class HistoryFormsTest : public QObject
{
    Q_OBJECT

private slots:
    void csvField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << QStringLiteral("Северный форт") << QStringLiteral("Северный форт");
        QTest::newRow("comma") << QStringLiteral("a,b") << QStringLiteral("\"a,b\"");
        QTest::newRow("quote") << QStringLiteral("a\"b") << QStringLiteral("\"a\"\"b\"");
        QTest::newRow("line break") << QStringLiteral("a\nb") << QStringLiteral("\"a\nb\"");
        QTest::newRow("space at an end") << QStringLiteral(" a") << QStringLiteral("\" a\"");
        QTest::newRow("emoji") << QStringLiteral("🎮") << QStringLiteral("🎮");
    }

    void csvField()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(HistoryText::csvField(text), field);
    }

    void oddNamesComeBackExactly()
    {
        const QString longName = QString(300, QChar(0x416)) + QStringLiteral("😀");
        HistoryReadings::ServerSummary odd {Odd, false, HistoryReadings::Last {Now - 60, History::NoContact}, {}};
        odd.figures.states.at(History::NoContact) = 3;
        const HistoryReadings::ServerSummary none {longName, true, std::nullopt, {}};
        const QList<HistoryReadings::ServerSummary> rows {odd, none};
        const HistoryText::Period period {Now - 86400, Now, 86400, Now};

        int at = 0;
        const QString csv = HistoryText::summaryCsv(rows);
        const QStringList head = csvRecord(csv, &at);
        const QStringList first = csvRecord(csv, &at);
        const QStringList second = csvRecord(csv, &at);
        QCOMPARE(first.size(), head.size());
        QCOMPARE(first.at(0), Odd);
        QCOMPARE(first.at(head.indexOf(QStringLiteral("Нет связи"))), QStringLiteral("1.0000"));
        QCOMPARE(first.at(head.indexOf(QStringLiteral("players_avg"))), QString());
        QCOMPARE(second.at(0), longName);
        QCOMPARE(at, csv.size());

        const QJsonArray servers = QJsonDocument::fromJson(HistoryText::summaryJson(rows, period))
                                       .object()
                                       .value(QStringLiteral("servers"))
                                       .toArray();
        QCOMPARE(servers.size(), 2);
        QCOMPARE(servers.at(0)[QStringLiteral("name")].toString(), Odd);
        QCOMPARE(servers.at(0)[QStringLiteral("last")][QStringLiteral("state")].toString(),
                 QStringLiteral("Нет связи"));
        QVERIFY(servers.at(0)[QStringLiteral("players_avg")].isNull());
        QCOMPARE(servers.at(1)[QStringLiteral("name")].toString(), longName);
        QVERIFY(servers.at(1)[QStringLiteral("last")].isNull());
        QVERIFY(servers.at(1)[QStringLiteral("states")].isNull());
        QVERIFY(HistoryText::summaryTable(rows, period).contains(longName));
    }

    void svgIsWellFormedWithTheNameExact()
    {
        const QList<HistoryReadings::Step> steps {stepWith(Now, 2), HistoryReadings::Step {Now + 3600, {}},
                                                  stepWith(Now + 7200, 4)};
        const QString svg = HistorySvg::document(HistoryChart::layout(Odd, steps, 3600, QSizeF(800, 400)));
        QXmlStreamReader xml(svg);
        QString title;
        int polylines = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("title"))
                title = xml.readElementText();
            else if (xml.isStartElement() && xml.name() == QLatin1String("polyline"))
                ++polylines;
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(title, QStringLiteral("История сервера «%1»").arg(Odd));
        // The gap breaks each of the three player lines in two.
        QCOMPARE(polylines, 6);
    }

    void durations_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("90m") << QStringLiteral("90m") << qint64(5400);
        QTest::newRow("24h") << QStringLiteral("24h") << qint64(86400);
        QTest::newRow("30d") << QStringLiteral("30d") << qint64(30 * 86400);
        QTest::newRow("no unit") << QStringLiteral("30") << qint64(0);
        QTest::newRow("seconds") << QStringLiteral("30s") << qint64(0);
        QTest::newRow("fraction") << QStringLiteral("1.5h") << qint64(0);
        QTest::newRow("negative") << QStringLiteral("-1d") << qint64(0);
        QTest::newRow("capital") << QStringLiteral("1D") << qint64(0);
    }

    void durations()
    {
        QFETCH(QString, text);
        QFETCH(qint64, seconds);
        QCOMPARE(historyDuration(text), seconds);
    }

    void mistakes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("json");
        QTest::addColumn<bool>("wrong");
        QTest::newRow("all servers") << QStringList() << false << false;
        QTest::newRow("one, plotted") << QStringList {"--svg", "a.svg", "x"} << false << false;
        QTest::newRow("plot of all") << QStringList {"--svg", "a.svg"} << false << true;
        QTest::newRow("bad since") << QStringList {"--since", "week"} << false << true;
        QTest::newRow("zero step") << QStringList {"--step", "0m", "x"} << false << true;
        QTest::newRow("past a year and more") << QStringList {"--since", "401d"} << false << true;
        QTest::newRow("csv and json") << QStringList {"--csv"} << true << true;
        QTest::newRow("two servers") << QStringList {"a", "b"} << false << true;
    }

    void mistakes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, json);
        QFETCH(bool, wrong);
        HistoryRequest request;
        QCOMPARE(!readHistoryArguments(arguments, json, &request).isEmpty(), wrong);
    }
};

QTEST_GUILESS_MAIN(HistoryFormsTest)
#include "tst_historyforms.moc"
