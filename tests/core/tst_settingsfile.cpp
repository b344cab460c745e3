// setting.ini as both programs read it, without a window: the machine key,
// a file written on another system, and the API endpoint entries.

#include "core/api/apiendpoint.h"
#include "core/crypto/machinecipher.h"
#include "core/crypto/machinekey.h"
#include "core/settings/settingsfile.h"

#include <QSettings>
#include <QtTest>

class SettingsFileTest : public QObject
{
    Q_OBJECT

private slots:
    void machineKeyFromHardwareAddress()
    {
        QCOMPARE(machineKeyFromAddress(QStringLiteral("52:54:00:12:34:56")), 1406861320u);
        QCOMPARE(machineKeyFromAddress(QStringLiteral("00:1A:2B:3C:4D:5E")), 4166305778u);
        // Letters become zeros, so addresses differing only in letters agree.
        QCOMPARE(machineKeyFromAddress(QStringLiteral("00:1F:2C:3D:4E:5A")),
                 machineKeyFromAddress(QStringLiteral("00:1A:2B:3C:4D:5E")));
        QCOMPARE(machineKeyFromAddress(QString()), 0u);
        QCOMPARE(machineKeyFromAddress(QStringLiteral("99999999999999999999")), 0u); // beyond 64 bits
        QCOMPARE(machineKeyFromAddress(QStringLiteral("18446744073709551615")), 0xFFFFFFFFu);
        QCOMPARE(machineKeyFromAddress(QStringLiteral("4294967296")), 0u);
        QCOMPARE(machineKeyFromAddress(QStringLiteral("4294967297")), 1u);
    }

    // The file and its records are the same on every system: one written on
    // Linux under a known hardware address reads the same here.
    void fileWrittenOnLinuxReadsTheSame()
    {
        QSettings settings(QStringLiteral(TEST_DATA_DIR "/written-on-linux.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("Main/cmd")).toStringList(), QStringList({"status", "say привет, мир"}));
        settings.beginGroup(QStringLiteral("Servers"));
        const QMap<QString, QString> records = SettingsFile::records(settings);
        QCOMPARE(records.keys(), QStringList({"Arena 2", "Ночная гавань"}));
        MachineCipher cipher(QStringLiteral("00:1A:2B:3C:4D:5E"));
        QCOMPARE(cipher.decipher(records.value(QStringLiteral("Ночная гавань"))).text, QStringLiteral("ключ-API+/=&1"));
        QCOMPARE(cipher.decipher(records.value(QStringLiteral("Arena 2"))).text, QStringLiteral("k2"));
    }

    void apiHostEntries_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("name") << "api.example"
                              << "api.example" << 443 << true;
        QTest::newRow("name and port") << "127.0.0.1:8443"
                                       << "127.0.0.1" << 8443 << true;
        QTest::newRow("IPv6 and port") << "[::1]:9000"
                                       << "::1" << 9000 << true;
        QTest::newRow("port zero") << "api.example:0"
                                   << "" << 0 << false;
        QTest::newRow("port too big") << "api.example:65536"
                                      << "" << 0 << false;
        QTest::newRow("empty port") << "api.example:"
                                    << "" << 0 << false;
        QTest::newRow("path") << "api.example/x"
                              << "" << 0 << false;
        QTest::newRow("no name") << ":443"
                                 << "" << 0 << false;
        QTest::newRow("open bracket") << "[::1"
                                      << "" << 0 << false;
    }

    void apiHostEntries()
    {
        QFETCH(QString, entry);
        ApiEndpoint endpoint;
        const bool accepted = endpoint.setHostEntry(entry).isEmpty();
        QTEST(accepted, "accepted");
        if (accepted) {
            QTEST(endpoint.host, "host");
            QTEST(int(endpoint.port), "port");
        } else {
            QCOMPARE(endpoint.host, ApiEndpoint::defaultHost());
            QCOMPARE(endpoint.port, ApiEndpoint::defaultPort);
        }
    }

    void trustedCertificatesAreRead()
    {
        ApiEndpoint endpoint;
        QVERIFY(endpoint.loadCaCertificates(QStringLiteral(TEST_DATA_DIR "/localhost.crt")).isEmpty());
        QCOMPARE(endpoint.caCertificates.size(), 1);
        // A file without certificates (a key) is refused, the list kept.
        QVERIFY(!endpoint.loadCaCertificates(QStringLiteral(TEST_DATA_DIR "/localhost.key")).isEmpty());
        QCOMPARE(endpoint.caCertificates.size(), 1);
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "tst_settingsfile.moc"
