// setting.ini as both programs read it, without a window: the machine key,
// a file written on another system, the API endpoint entries, and the
// access list that keeps the file to its user on Windows.

#include "core/api/apiendpoint.h"
#include "core/crypto/machinecipher.h"
#include "core/crypto/machinekey.h"
#include "core/settings/settingsfile.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_WIN
#include "core/settings/windowsfileaccess.h"
#include "core/settings/windowsuser.h"

#include <windows.h>

#include <sddl.h>
#endif

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

    // Parsing put off: a missing file or one that names no certificate is
    // told at once, text that holds none after all when it is parsed.
    void trustedCertificatesParsedLater_data()
    {
        QTest::addColumn<QByteArray>("text"); // empty: no such file
        QTest::addColumn<bool>("toldAtOnce");
        QTest::addColumn<bool>("toldWhenParsed");
        QTest::addColumn<int>("certificates");

        QFile certificate(QStringLiteral(TEST_DATA_DIR "/localhost.crt"));
        QVERIFY(certificate.open(QIODevice::ReadOnly));
        QFile key(QStringLiteral(TEST_DATA_DIR "/localhost.key"));
        QVERIFY(key.open(QIODevice::ReadOnly));
        QTest::newRow("certificate") << certificate.readAll() << false << false << 1;
        QTest::newRow("no such file") << QByteArray() << true << false << 0;
        QTest::newRow("a key") << key.readAll() << true << false << 0;
        QTest::newRow("broken certificate") << QByteArray("-----BEGIN CERTIFICATE-----\nnot base64 DER\n"
                                                          "-----END CERTIFICATE-----\n")
                                            << false << true << 0;
    }

    void trustedCertificatesParsedLater()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, toldAtOnce);
        QFETCH(bool, toldWhenParsed);
        QFETCH(int, certificates);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("ca.pem"));
        if (!text.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        QSettings settings(folder.filePath(QStringLiteral("setting.ini")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("cacert"), path);

        ApiEndpoint endpoint;
        const QStringList problems = endpoint.configure(settings, ApiEndpoint::CertificateParsing::Later);
        QCOMPARE(problems.size(), toldAtOnce ? 1 : 0);
        QVERIFY(endpoint.caCertificates.isEmpty());
        const QString problem = endpoint.parsePendingCaCertificates();
        QCOMPARE(!problem.isEmpty(), toldWhenParsed);
        if (toldWhenParsed) // worded as configure() words it
            QVERIFY(problem.startsWith(QStringLiteral("Не удалось прочитать сертификаты «%1»").arg(path)));
        QCOMPARE(endpoint.caCertificates.size(), certificates);
        QVERIFY(endpoint.parsePendingCaCertificates().isEmpty()); // taken in once
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

    // The access list setting.ini gets on Windows, read back as Windows
    // reads it: full access for the user, the system and the
    // administrators, nothing else, nothing inherited.
    void windowsAccessListKeepsTheFileToItsUser()
    {
#ifndef Q_OS_WIN
        QSKIP("Windows only: Unix systems keep the file to its user by its mode");
#else
        const QString user = WindowsUser::current();
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        QVERIFY(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            reinterpret_cast<LPCWSTR>(WindowsFileAccess::userOnlySddl(user).utf16()), SDDL_REVISION_1, &descriptor,
            nullptr));
        const auto freeDescriptor = qScopeGuard([descriptor] { LocalFree(descriptor); });
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        QVERIFY(GetSecurityDescriptorControl(descriptor, &control, &revision));
        QVERIFY(control & SE_DACL_PROTECTED);
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL acl = nullptr;
        QVERIFY(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) && present && acl);

        const QStringList expected = {user, QStringLiteral("S-1-5-18"), QStringLiteral("S-1-5-32-544")};
        QCOMPARE(int(acl->AceCount), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            void *entry = nullptr;
            QVERIFY(GetAce(acl, DWORD(i), &entry));
            const auto *allowed = static_cast<const ACCESS_ALLOWED_ACE *>(entry);
            QCOMPARE(allowed->Header.AceType, BYTE(ACCESS_ALLOWED_ACE_TYPE));
            QCOMPARE(allowed->Header.AceFlags, BYTE(0)); // neither inherited nor passed on
            QCOMPARE(allowed->Mask, DWORD(FILE_ALL_ACCESS));
            QVERIFY2(WindowsUser::sameAccount(expected.at(i),
                                              [&] {
                                                  LPWSTR text = nullptr;
                                                  ConvertSidToStringSidW(PSID(&allowed->SidStart), &text);
                                                  const QString sid = QString::fromWCharArray(text);
                                                  LocalFree(text);
                                                  return sid;
                                              }()),
                     qPrintable(expected.at(i)));
        }
#endif
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "tst_settingsfile.moc"
