// Reading of API replies: what counts as a parsed reply, how every JSON
// value reads as text, integer, boolean, object, list and list of texts, and
// a status reply as both programs show it.

#include "core/api/replyreader.h"
#include "core/api/statusreply.h"

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

    void statusReplyAsBothProgramsShowIt()
    {
        QVariantMap reply;
        QVERIFY(parse(R"({"online":"1","data":{
            "s":{"name":"Arena","map":"de_dust2","players":3,"playersmax":16,"password":"0"},
            "b":{"ip":"10.0.0.5","c_port":27015},
            "p":[{"name":"Ann","score":12,"time":"1:05"},{"name":""},"not a player",{"name":"Ann","score":-1}]}})",
                      &reply));
        const StatusReply status = StatusReply::read(reply);
        QCOMPARE(status.online, 1);
        QCOMPARE(status.state(), QStringLiteral("Работает"));
        QCOMPARE(status.name, QStringLiteral("Arena"));
        QCOMPARE(status.map, QStringLiteral("de_dust2"));
        QCOMPARE(status.address(), QStringLiteral("10.0.0.5:27015"));
        QCOMPARE(status.players + '/' + status.playersMax, QStringLiteral("3/16"));
        QVERIFY(!status.password);
        // Players without a name are left out; two of one name are two.
        QCOMPARE(status.roster.size(), 2);
        QCOMPARE(status.roster.at(0).score, QStringLiteral("12"));
        QCOMPARE(status.roster.at(0).time, QStringLiteral("1:05"));
        QCOMPARE(status.roster.at(1).score, QStringLiteral("-1"));

        const StatusReply empty = StatusReply::read({});
        QCOMPARE(empty.state(), QStringLiteral("Выключен"));
        QCOMPARE(empty.address(), QStringLiteral(":"));
        QVERIFY(empty.roster.isEmpty());
    }
};

QTEST_GUILESS_MAIN(ReplyReaderTest)
#include "tst_replyreader.moc"
