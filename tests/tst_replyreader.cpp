// Reading of API replies: what counts as a parsed reply, and how every JSON
// value reads as text, integer, boolean, object, list and list of texts.

#include "playeritem.h"
#include "replyreader.h"

#include <QtTest>

using namespace ReplyReader;

class ReplyReaderTest : public QObject
{
    Q_OBJECT

private:
    // The value of "v" in a one-member object, as the parser hands it on.
    static QVariant value(const QByteArray &json)
    {
        QVariantMap reply;
        if (!parse("{\"v\":" + json + "}", &reply))
            qFatal("test value does not parse: %s", json.constData());
        return reply.value(QStringLiteral("v"));
    }

private slots:
    void parseAcceptsAnyJsonDocument_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<int>("members");
        QTest::newRow("object") << QByteArray("{\"a\":1,\"b\":[2]}") << true << 2;
        QTest::newRow("object with spaces") << QByteArray("  \n{ }\r\n ") << true << 0;
        QTest::newRow("array") << QByteArray("[]") << true << 0;
        QTest::newRow("number") << QByteArray("42") << true << 0;
        QTest::newRow("string") << QByteArray("\"x\"") << true << 0;
        QTest::newRow("null") << QByteArray("null") << true << 0;
        QTest::newRow("empty") << QByteArray() << false << 0;
        QTest::newRow("html") << QByteArray("<html><body>502 Bad Gateway</body></html>") << false << 0;
        QTest::newRow("truncated") << QByteArray("{\"online\":1,\"data\":{") << false << 0;
        QTest::newRow("two values") << QByteArray("1,2") << false << 0;
        QTest::newRow("two arrays") << QByteArray("[1],[2]") << false << 0;
        QTest::newRow("array breaking out") << QByteArray("1],[2") << false << 0;
        QTest::newRow("trailing garbage") << QByteArray("{} x") << false << 0;
        QTest::newRow("zero byte") << QByteArray("{}\0{}", 5) << false << 0;
    }

    void parseAcceptsAnyJsonDocument()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, parsed);
        QFETCH(int, members);
        QVariantMap reply {{QStringLiteral("stale"), 1}};
        QCOMPARE(parse(body, &reply), parsed);
        QCOMPARE(reply.size(), members);
    }

    void conversionTable_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("asText");
        QTest::addColumn<int>("asInteger");
        QTest::addColumn<bool>("asBoolean");
        QTest::addColumn<QStringList>("asTextList");

        QTest::newRow("string") << QByteArray("\"sand_keep2\"") << "sand_keep2" << 0 << true
                                << QStringList {"sand_keep2"};
        QTest::newRow("string of digits")
            << QByteArray("\"27015\"") << "27015" << 27015 << true << QStringList {"27015"};
        QTest::newRow("negative digits") << QByteArray("\"-3\"") << "-3" << -3 << true << QStringList {"-3"};
        QTest::newRow("empty string") << QByteArray("\"\"") << "" << 0 << false << QStringList {""};
        QTest::newRow("string 0") << QByteArray("\"0\"") << "0" << 0 << false << QStringList {"0"};
        QTest::newRow("string FaLsE") << QByteArray("\"FaLsE\"") << "FaLsE" << 0 << false << QStringList {"FaLsE"};
        QTest::newRow("string no") << QByteArray("\"no\"") << "no" << 0 << true << QStringList {"no"};
        QTest::newRow("string 12abc") << QByteArray("\"12abc\"") << "12abc" << 0 << true << QStringList {"12abc"};
        QTest::newRow("integer") << QByteArray("27015") << "27015" << 27015 << true << QStringList();
        QTest::newRow("zero") << QByteArray("0") << "0" << 0 << false << QStringList();
        QTest::newRow("negative") << QByteArray("-1") << "-1" << -1 << true << QStringList();
        QTest::newRow("fraction") << QByteArray("2.75") << "2.75" << 2 << true << QStringList();
        QTest::newRow("huge") << QByteArray("9007199254740993") << "9007199254740993" << INT_MAX << true
                              << QStringList();
        QTest::newRow("true") << QByteArray("true") << "true" << 1 << true << QStringList();
        QTest::newRow("false") << QByteArray("false") << "false" << 0 << false << QStringList();
        QTest::newRow("null") << QByteArray("null") << "" << 0 << false << QStringList();
        QTest::newRow("object") << QByteArray("{\"a\":1}") << "" << 0 << false << QStringList();
        QTest::newRow("array") << QByteArray("[\"a\",1,true,null,{}]") << "" << 0 << false
                               << QStringList {"a", "1", "true", "", ""};
    }

    void conversionTable()
    {
        QFETCH(QByteArray, json);
        const QVariant v = value(json);
        QTEST(text(v), "asText");
        QTEST(integer(v), "asInteger");
        QTEST(boolean(v), "asBoolean");
        QTEST(textList(v), "asTextList");
        QCOMPARE(object(v).isEmpty(), !json.startsWith('{') || json == "{}");
        QCOMPARE(list(v).isEmpty(), !json.startsWith('['));
    }

    void missingValuesReadEmpty()
    {
        const QVariant missing = QVariantMap().value(QStringLiteral("nothing"));
        QCOMPARE(text(missing), QString());
        QCOMPARE(integer(missing), 0);
        QCOMPARE(boolean(missing), false);
        QVERIFY(object(missing).isEmpty());
        QVERIFY(textList(missing).isEmpty());
    }

    void nestedPaths()
    {
        QVariantMap reply;
        QVERIFY(parse(R"({"data":{"s":{"name":"Arena"},"b":"not an object"}})", &reply));
        QCOMPARE(text(at(reply, {"data", "s", "name"})), QStringLiteral("Arena"));
        QCOMPARE(text(at(reply, {"data", "b", "ip"})), QString());
        QCOMPARE(text(at(reply, {"missing", "s", "name"})), QString());
        QCOMPARE(text(at(reply, {"data", "s", "name", "deeper"})), QString());
    }

    void playersSortNumbersAsNumbers_data()
    {
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("higher");
        QTest::newRow("scores") << "9"
                                << "10";
        QTest::newRow("negative scores") << "-12"
                                         << "3";
        QTest::newRow("fractions") << "2.5"
                                   << "10";
        QTest::newRow("times") << "9:30"
                               << "10:05";
        QTest::newRow("hours") << "59:59"
                               << "1:00:00";
        QTest::newRow("leading zeros") << "07:00"
                                       << "12:00";
        QTest::newRow("names ignore case") << "alice"
                                           << "Bob";
        QTest::newRow("names with numbers") << "player2"
                                            << "player10";
        QTest::newRow("prefix first") << "Ann"
                                      << "Anna";
        QTest::newRow("numbers before texts") << "999"
                                              << "2x";
        QTest::newRow("exponent is a number") << "1e3"
                                              << "2x";
    }

    void playersSortNumbersAsNumbers()
    {
        QFETCH(QString, lower);
        QFETCH(QString, higher);
        QVERIFY(PlayerItem::compareTexts(lower, higher) < 0);
        QVERIFY(PlayerItem::compareTexts(higher, lower) > 0);
        QCOMPARE(PlayerItem::compareTexts(lower, lower), 0);
    }
};

QTEST_GUILESS_MAIN(ReplyReaderTest)
#include "tst_replyreader.moc"
