// The server list and setting.ini as the window keeps them: loading,
// saving, names that must survive a round trip, and keys that must survive
// another machine.

#include "app/mainwindow.h"
#include "core/crypto/machinekey.h"
#include "core/crypto/stringcipher.h"
#include "core/settings/settingslocation.h"
#include "filemode.h"
#include "messageboxcatcher.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#ifdef Q_OS_WIN
#include "core/settings/windowsfileaccess.h"
#endif

class SettingsTest : public QObject
{
    Q_OBJECT

private:
    QScopedPointer<QTemporaryDir> folder;

    static StringCipher hereCipher() { return StringCipher(quint64(machineKeyFromAddress(firstHardwareAddress()))); }
    static StringCipher elsewhereCipher()
    {
        return StringCipher(quint64(machineKeyFromAddress(firstHardwareAddress())) + 1);
    }

    static QString path() { return SettingsLocation::filePath(); }

    static void store(const QMap<QString, QString> &values)
    {
        QSettings settings(path(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }

    // Server name -> stored record, as the file holds them now.
    static QMap<QString, QString> storedServers()
    {
        QSettings settings(path(), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("Servers"));
        QMap<QString, QString> records;
        const QStringList names = settings.childKeys();
        for (const QString &name : names)
            records.insert(name, settings.value(name).toString());
        return records;
    }

    static QString storedKey(const QString &name)
    {
        const QString record = storedServers().value(name);
        return hereCipher().decipherText(record);
    }

    static QStringList items(const QComboBox *box)
    {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    }

    static QComboBox *selector(const MainWindow &window)
    {
        return window.findChild<QComboBox *>(QStringLiteral("comboBox"));
    }

    static QComboBox *history(const MainWindow &window)
    {
        return window.findChild<QComboBox *>(QStringLiteral("comboBox_3"));
    }

private slots:
    void init()
    {
        folder.reset(new QTemporaryDir);
        QVERIFY(folder->isValid());
        SettingsLocation::setDirectory(folder->path());
    }

    void startsEmptyWithoutFileAndWritesOne()
    {
        {
            MainWindow window;
            QCOMPARE(selector(window)->count(), 0);
            QCOMPARE(history(window)->count(), 0);
            QCOMPARE(window.size(), QSize(608, 432));
            QVERIFY(!QFile::exists(path()));
        }
        QVERIFY(QFile::exists(path()));
    }

    void debugSwitch_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("height");
        QTest::newRow("true") << "true" << 557;
        QTest::newRow("1") << "1" << 557;
        QTest::newRow("yes") << "yes" << 557;
        QTest::newRow("FALSE") << "FALSE" << 432;
        QTest::newRow("0") << "0" << 432;
        QTest::newRow("empty") << "" << 432;
    }

    void debugSwitch()
    {
        QFETCH(QString, value);
        QFETCH(int, height);
        store({{QStringLiteral("Main/debug"), value}});
        {
            MainWindow window;
            QCOMPARE(window.height(), height);
            QCOMPARE(window.maximumHeight(), height);
        }
        // The save never writes the switch.
        QSettings settings(path(), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("Main/debug")).toString(), value);
    }

    void historyIsAppendedInFullAndWrittenBack()
    {
        QStringList commands;
        for (int i = 1; i <= 12; ++i)
            commands << QStringLiteral("say %1").arg(i);
        commands << QString() << QStringLiteral("say 1");
        store({});
        {
            QSettings settings(path(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("Main/cmd"), commands);
        }
        {
            MainWindow window;
            QCOMPARE(items(history(window)), commands);
            history(window)->removeItem(0);
        }
        QSettings settings(path(), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("Main/cmd")).toStringList(), commands.mid(1));
    }

    void serversAreListedByCodeUnitsAndSurviveARestart()
    {
        QStringList names = {
            QStringLiteral("beta"),    QStringLiteral("Beta"),       QStringLiteral("alpha server"),
            QStringLiteral("a=b"),     QStringLiteral("semi;colon"), QStringLiteral("#hash"),
            QStringLiteral("100%"),    QStringLiteral("\"quoted\""), QStringLiteral("'single'"),
            QStringLiteral("Сервер"),  QStringLiteral("ёлка"),       QStringLiteral(" padded "),
            QStringLiteral("[group]"), QStringLiteral("tab\there"),  QStringLiteral("\xF0\x9F\x8E\xAE pad"),
        };
#ifdef Q_OS_WIN
        // QSettings reads the keys of an INI file without regard to letter
        // case on Windows: names that differ only in case are one server there.
        names.removeOne(QStringLiteral("Beta"));
#endif
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end()); // QString orders by UTF-16 code units
        {
            MainWindow window;
            for (const QString &name : names)
                window.addServer(name, QStringLiteral("key of ") + name);
            QCOMPARE(items(selector(window)), sorted);
            QCOMPARE(selector(window)->currentIndex(), 0);
            // Each addition is saved at once.
            QCOMPARE(storedServers().keys(), sorted);
        }
        MainWindow again;
        QCOMPARE(items(selector(again)), sorted);
        for (const QString &name : names)
            QCOMPARE(storedKey(name), QStringLiteral("key of ") + name);
    }

    void repeatedNameReplacesItsKey()
    {
        MainWindow window;
        window.addServer(QStringLiteral("b"), QStringLiteral("one"));
        window.addServer(QStringLiteral("a"), QStringLiteral("two"));
        selector(window)->setCurrentIndex(1);
        window.addServer(QStringLiteral("b"), QStringLiteral("three"));
        QCOMPARE(items(selector(window)), QStringList({"a", "b"}));
        QCOMPARE(selector(window)->currentIndex(), 0);
        QCOMPARE(storedKey(QStringLiteral("b")), QStringLiteral("three"));
    }

    void refusedNamesStoreNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("slash") << QStringLiteral("eu/1");
        QTest::newRow("backslash") << QStringLiteral("eu\\1");
    }

    void refusedNamesStoreNothing()
    {
        QFETCH(QString, name);
        MainWindow window;
        window.addServer(QStringLiteral("kept"), QStringLiteral("k"));
        const QMap<QString, QString> before = storedServers();
        MessageBoxCatcher messages;
        window.addServer(name, QStringLiteral("key"));
        QCOMPARE(messages.texts.size(), 1);
        QCOMPARE(items(selector(window)), QStringList {QStringLiteral("kept")});
        QCOMPARE(storedServers(), before);
    }

    void deletedServersStayDeleted()
    {
        store({{QStringLiteral("Servers/one"), hereCipher().encipherText(QStringLiteral("k1"))},
               {QStringLiteral("Servers/two"), hereCipher().encipherText(QStringLiteral("k2"))},
               {QStringLiteral("Servers/three"), hereCipher().encipherText(QStringLiteral("k3"))}});
        {
            MainWindow window;
            QCOMPARE(items(selector(window)), QStringList({"one", "three", "two"}));
            selector(window)->setCurrentIndex(1);
            window.findChild<QPushButton *>(QStringLiteral("pushButton_3"))->click();
            QCOMPARE(items(selector(window)), QStringList({"one", "two"}));
            QCOMPARE(selector(window)->currentIndex(), 0);
            // Gone from the file at once, not only at the end of the run.
            QCOMPARE(storedServers().keys(), QStringList({"one", "two"}));
        }
        MainWindow again;
        QCOMPARE(items(selector(again)), QStringList({"one", "two"}));
        QCOMPARE(storedKey(QStringLiteral("two")), QStringLiteral("k2"));
    }

    // Another program (the command-line tool, another copy of the window)
    // writes the same file while the window runs.
    void recordsOfOtherWritersSurviveTheWindowsSaves()
    {
        store({{QStringLiteral("Servers/one"), hereCipher().encipherText(QStringLiteral("k1"))},
               {QStringLiteral("Servers/two"), hereCipher().encipherText(QStringLiteral("k2"))}});
        auto outsiderLine = [] {
            QFile file(path());
            file.open(QIODevice::ReadOnly);
            const QList<QByteArray> lines = file.readAll().split('\n');
            for (const QByteArray &line : lines) {
                if (line.startsWith("outsider="))
                    return line;
            }
            return QByteArray();
        };

        MainWindow window;
        store({{QStringLiteral("Servers/outsider"), hereCipher().encipherText(QStringLiteral("outside key"))}});
        const QByteArray written = outsiderLine();
        QVERIFY(!written.isEmpty());

        window.addServer(QStringLiteral("three"), QStringLiteral("k3"));
        QCOMPARE(outsiderLine(), written);
        QCOMPARE(items(selector(window)), QStringList({"one", "outsider", "three", "two"}));

        selector(window)->setCurrentIndex(0);
        window.findChild<QPushButton *>(QStringLiteral("pushButton_3"))->click();
        QCOMPARE(outsiderLine(), written);
        QCOMPARE(storedServers().keys(), QStringList({"outsider", "three", "two"}));
        QCOMPARE(storedKey(QStringLiteral("outsider")), QStringLiteral("outside key"));

        // A server the other program removes is not brought back by the
        // window's next save.
        QSettings(path(), QSettings::IniFormat).remove(QStringLiteral("Servers/two"));
        window.addServer(QStringLiteral("four"), QStringLiteral("k4"));
        QCOMPARE(storedServers().keys(), QStringList({"four", "outsider", "three"}));
        QCOMPARE(items(selector(window)), QStringList({"four", "outsider", "three"}));
    }

    void deletingWithEmptySelectorChangesNothing()
    {
        MainWindow window;
        window.findChild<QPushButton *>(QStringLiteral("pushButton_3"))->click();
        QCOMPARE(selector(window)->count(), 0);
    }

    void anotherMachinesKeysSurviveARun()
    {
        // Another key passes the 16-bit checksum once in 65536 records; take
        // one that does not.
        QString foreign;
        do
            foreign = elsewhereCipher().encipherText(QStringLiteral("foreign key"));
        while (!hereCipher().decipherText(foreign).isEmpty());
        const QString handWritten = QStringLiteral("plain-api-key");
        store({{QStringLiteral("Servers/foreign"), foreign},
               {QStringLiteral("Servers/hand"), handWritten},
               {QStringLiteral("Servers/readded"), foreign},
               {QStringLiteral("Servers/local"), hereCipher().encipherText(QStringLiteral("mine"))}});
        {
            QTest::ignoreMessage(QtWarningMsg, "Invalid version or not a cyphertext. ");
            MainWindow window;
            QCOMPARE(items(selector(window)), QStringList({"foreign", "hand", "local", "readded"}));
            window.addServer(QStringLiteral("readded"), QStringLiteral("fresh"));
        }
        const QMap<QString, QString> records = storedServers();
        QCOMPARE(records.value(QStringLiteral("foreign")), foreign);
        QCOMPARE(records.value(QStringLiteral("hand")), handWritten);
        QCOMPARE(storedKey(QStringLiteral("readded")), QStringLiteral("fresh"));
        QCOMPARE(storedKey(QStringLiteral("local")), QStringLiteral("mine"));
    }

    void keysInSubgroupsAreLeftAlone()
    {
        store({{QStringLiteral("Servers/eu/1"), QStringLiteral("nested")},
               {QStringLiteral("Servers/top"), hereCipher().encipherText(QStringLiteral("t"))}});
        {
            MainWindow window;
            QCOMPARE(items(selector(window)), QStringList {QStringLiteral("top")});
        }
        QSettings settings(path(), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("Servers/eu/1")).toString(), QStringLiteral("nested"));
    }

    void badApiEntriesAreReported()
    {
        const QString missing = folder->filePath(QStringLiteral("missing.pem"));
        store({{QStringLiteral("Main/host"), QStringLiteral("api.example:99999")},
               {QStringLiteral("Main/cacert"), missing}});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("api.example:99999")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(missing)));
        MainWindow window;
        // The last problem stays in the status bar; both went to the log.
        QVERIFY(window.statusBar()->currentMessage().contains(missing));
    }

    void savedFileAndItsNewFolderAreOwnerOnly()
    {
        const QString newFolder = folder->filePath(QStringLiteral("new/folder"));
        SettingsLocation::setDirectory(newFolder);
        {
            MainWindow window;
            window.addServer(QStringLiteral("a"), QStringLiteral("k"));
#ifdef Q_OS_UNIX
            QCOMPARE(fileMode(path()), 0600);
            QCOMPARE(fileMode(newFolder), 0700);
#endif
        }
        QCOMPARE(storedKey(QStringLiteral("a")), QStringLiteral("k"));
#ifdef Q_OS_UNIX
        QCOMPARE(fileMode(path()), 0600);
#else
        QSKIP("the file and its new folder were written and read back; Unix file modes do not exist here");
#endif
    }

    void fileOthersCouldReadIsNarrowedAtTheFirstSave()
    {
#ifndef Q_OS_UNIX
        QSKIP("Unix file modes do not exist here");
#else
        store({{QStringLiteral("Servers/kept"), hereCipher().encipherText(QStringLiteral("secret"))}});
        QVERIFY(
            QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        {
            MainWindow window;
            QCOMPARE(fileMode(path()), 0644); // loading changes nothing
        }
        QCOMPARE(fileMode(path()), 0600);
        QCOMPARE(storedKey(QStringLiteral("kept")), QStringLiteral("secret"));
#endif
    }

    // On Windows the start and every save set the file's access list; the
    // user must still read and write it. (Wine keeps no access list: it maps
    // one onto the Unix mode and reads one back made from that.)
    void fileStaysTheUsersAcrossStartsAndSaves()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^Cannot keep the settings file")));
        store({{QStringLiteral("Servers/kept"), hereCipher().encipherText(QStringLiteral("secret"))}});
        const auto readableAndWritable = [] {
            QFile file(path());
            return file.open(QIODevice::ReadWrite);
        };
        {
            MainWindow window; // a start
            QVERIFY(readableAndWritable());
            window.addServer(QStringLiteral("added"), QStringLiteral("key"));
            QVERIFY(readableAndWritable());
        }
        QVERIFY(readableAndWritable());
        MainWindow again;
        QCOMPARE(items(selector(again)), QStringList({"added", "kept"}));
        QCOMPARE(storedKey(QStringLiteral("kept")), QStringLiteral("secret"));
#ifdef Q_OS_WIN
        QCOMPARE(WindowsFileAccess::restrictToCurrentUser(path()), QString());
        QVERIFY(!WindowsFileAccess::restrictToCurrentUser(folder->filePath(QStringLiteral("missing.ini"))).isEmpty());
#endif
    }

    void keysOfAnotherInterfaceAreRecoveredAndStoredUnderTheMachineKey()
    {
        // An address that stands after the machine's own ones, with a key of
        // its own; and a key of no interface here at all.
        const QString otherAddress = QStringLiteral("02:00:00:12:34:56");
        const quint64 hereKey = machineKeyFromAddress(firstHardwareAddress());
        const quint64 otherKey = machineKeyFromAddress(otherAddress);
        QVERIFY(otherKey != hereKey);
        setAddedHardwareAddresses({otherAddress});

        StringCipher other(otherKey);
        StringCipher nowhere(otherKey + 1);
        // Another key passes the 16-bit checksum once in 65536 records; take
        // one that only its own key opens.
        auto checkedRecord = [&](StringCipher &cipher, const QString &plain) {
            QString record;
            do
                record = cipher.encipherText(plain);
            while (!hereCipher().decipherText(record).isEmpty()
                   || (&cipher != &other && !other.decipherText(record).isEmpty()));
            return record;
        };
        const QString moved = checkedRecord(other, QStringLiteral("moved key"));
        const QString lost = checkedRecord(nowhere, QStringLiteral("lost key"));
        // A record without an integrity check opens under any key; it must not
        // be taken for one of the other interface.
        StringCipher unchecked(otherKey);
        unchecked.setIntegrityPolicy(StringCipher::IntegrityNone);
        const QString uncheckedRecord = unchecked.encipherText(QStringLiteral("unchecked key"));
        store({{QStringLiteral("Servers/moved"), moved},
               {QStringLiteral("Servers/lost"), lost},
               {QStringLiteral("Servers/unchecked"), uncheckedRecord}});

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("серверов: 1\\b")));
        {
            MainWindow window;
            QCOMPARE(items(selector(window)), QStringList({"lost", "moved", "unchecked"}));
            QVERIFY(window.statusBar()->currentMessage().contains(QStringLiteral("серверов: 1")));
        }
        setAddedHardwareAddresses({});

        const QMap<QString, QString> records = storedServers();
        QCOMPARE(storedKey(QStringLiteral("moved")), QStringLiteral("moved key"));
        QCOMPARE(records.value(QStringLiteral("lost")), lost);
        QVERIFY(storedKey(QStringLiteral("unchecked")) != QStringLiteral("unchecked key"));
    }

    void failedSaveIsReported()
    {
        // A folder where the file should be: nothing can be written there.
        QVERIFY(QDir(folder->path()).mkdir(QStringLiteral("setting.ini")));
        MessageBoxCatcher messages;
        {
            MainWindow window;
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot write the settings file")));
            window.addServer(QStringLiteral("x"), QStringLiteral("y"));
            QCOMPARE(messages.texts.size(), 1);
            QVERIFY(messages.texts.first().contains(path()));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot write the settings file")));
        }
        QCOMPARE(messages.texts.size(), 2);
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
