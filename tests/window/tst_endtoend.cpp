// The program's window in process against the stand-in hosting service run
// as a separate process, over TLS with every certificate check on.
//
// The test starts the service itself, unless the environment names one that
// runs already (testservice.h); that one must have been started with
// --seed 7 and a start delay no shorter than this test's own (check-windows.sh
// gives 2000 ms, for Wine).

#include "app/mainwindow.h"
#include "core/api/queuedhttp.h"
#include "core/settings/settingslocation.h"
#include "demoservers.h"
#include "demosettings.h"
#include "eventwait.h"
#include "patience.h"
#include "testservice.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

namespace {

// Long enough that a status asked for right after a start still finds the
// server starting; the test then asks until it runs, so a longer delay only
// takes longer.
constexpr int StartDelayMs = 1000;

const QString HarborNight = QString::fromUtf8(DemoServers::HarborNight.name);
const QString PrivateClub = QString::fromUtf8(DemoServers::PrivateClub.name);
const QString NorthFort = QString::fromUtf8(DemoServers::NorthFort.name);

// The widgets of one window, by their object names.
struct Face
{
    explicit Face(const MainWindow &window)
        : servers(find<QComboBox>(window, "comboBox"))
        , maps(find<QComboBox>(window, "comboBox_2"))
        , console(find<QComboBox>(window, "comboBox_3"))
        , name(find<QLabel>(window, "label"))
        , state(find<QLabel>(window, "label_6"))
        , address(find<QLabel>(window, "label_7"))
        , players(find<QLabel>(window, "label_9"))
        , locked(find<QLabel>(window, "label_10"))
        , playerList(find<QTreeWidget>(window, "treeWidget"))
        , cpu(find<QProgressBar>(window, "progressBar"))
        , memory(find<QProgressBar>(window, "progressBar_2"))
        , playerSlots(find<QProgressBar>(window, "progressBar_3"))
        , disk(find<QProgressBar>(window, "progressBar_4"))
        , debugPane(find<QTextEdit>(window, "textEdit"))
        , refreshStatus(find<QPushButton>(window, "pushButton"))
        , start(find<QPushButton>(window, "pushButton_4"))
        , stop(find<QPushButton>(window, "pushButton_5"))
        , restart(find<QPushButton>(window, "pushButton_6"))
        , changeMap(find<QPushButton>(window, "pushButton_8"))
        , send(find<QPushButton>(window, "pushButton_10"))
    { }

    template<typename T> static T *find(const MainWindow &window, const char *objectName)
    {
        T *widget = window.findChild<T *>(QString::fromLatin1(objectName));
        if (!widget)
            qFatal("no widget %s", objectName);
        return widget;
    }

    QStringList mapNames() const
    {
        QStringList names;
        for (int i = 0; i < maps->count(); ++i)
            names << maps->itemText(i);
        return names;
    }

    QComboBox *servers, *maps, *console;
    QLabel *name, *state, *address, *players, *locked;
    QTreeWidget *playerList;
    QProgressBar *cpu, *memory, *playerSlots, *disk;
    QTextEdit *debugPane;
    QPushButton *refreshStatus, *start, *stop, *restart, *changeMap, *send;
};

// The figures of a "used из quota" tool tip, e.g. "3480 MB из 10240 MB".
QPair<int, int> figuresOf(const QProgressBar *bar)
{
    const QStringList parts = bar->toolTip().remove(QStringLiteral(" MB")).split(QStringLiteral(" из "));
    return parts.size() == 2 ? qMakePair(parts[0].toInt(), parts[1].toInt()) : qMakePair(-1, -1);
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir settingsFolder;
    TestService service;

    QString settingsFile() const { return settingsFolder.filePath(QStringLiteral("setting.ini")); }

    // Clicks "refresh status" and waits until the status shows `state`.
    static bool statusBecomes(const Face &face, const QString &state)
    {
        QTest::mouseClick(face.refreshStatus, Qt::LeftButton);
        return QTest::qWaitFor([&] { return face.state->text() == state; }, patienceMs);
    }

    // Asks for the status again, one query at a time, until it shows
    // `state`, as a user does who waits for a start to end.
    static bool statusComesToBe(const Face &face, const QueuedHttp &http, const QString &state)
    {
        return QTest::qWaitFor(
            [&] {
                if (face.state->text() == state)
                    return true;
                if (http.currentId() == 0 && !http.hasPendingRequests())
                    QTest::mouseClick(face.refreshStatus, Qt::LeftButton);
                return false;
            },
            patienceMs);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(settingsFolder.isValid());
        SettingsLocation::setDirectory(settingsFolder.path());
        if (!TestService::isAvailable())
            QSKIP(TestService::unavailableText());
        const QString problem = service.open({QStringLiteral("--start-delay-ms"), QString::number(StartDelayMs)});
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void init()
    {
        QFile::remove(settingsFile());
        QVERIFY(DemoSettings::write(settingsFile(), service.host(), service.certificatePath()).isEmpty());
    }

    void cleanupTestCase()
    {
        SettingsLocation::setDirectory(QString());
        // One started here ends cleanly on SIGTERM; a named one runs on.
        QCOMPARE(service.close(), QString());
    }

    void demoSettingsLoadWithEveryServersKey()
    {
        // Written again over a file the user has used: the history stays, the
        // certificate path becomes absolute.
        {
            QSettings settings(settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("Main/cmd"),
                              QStringList {QStringLiteral("status"), QStringLiteral("say hi")});
        }
        const QString relativeCertificate = QDir::current().relativeFilePath(service.certificatePath());
        QVERIFY(DemoSettings::write(settingsFile(), service.host(), relativeCertificate).isEmpty());
        {
            QSettings settings(settingsFile(), QSettings::IniFormat);
            QCOMPARE(settings.value(QStringLiteral("Main/cacert")).toString(),
                     QFileInfo(service.certificatePath()).absoluteFilePath());
            QCOMPARE(settings.value(QStringLiteral("Main/host")).toString(), service.host());
        }

        MainWindow window;
        Face face(window);
        QCOMPARE(window.height(), 557); // debug size, the raw replies show
        QCOMPARE(face.console->count(), 2);
        QCOMPARE(face.console->itemText(1), QStringLiteral("say hi"));

        // A server answers with its own name only to its own key.
        const QStringList names = {PrivateClub, HarborNight, NorthFort};
        QCOMPARE(face.servers->count(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(face.servers->itemText(i), names[i]);
            face.servers->setCurrentIndex(i);
            WAIT_COMPARE(face.name->text(), names[i]);
        }
    }

    void fullUpdateFillsEveryWidgetGroup()
    {
        MainWindow window;
        Face face(window);

        // The first server in name order runs, with a password and players on it.
        WAIT_COMPARE(face.name->text(), PrivateClub);
        QCOMPARE(face.state->text(), QStringLiteral("Работает"));
        QCOMPARE(face.state->styleSheet(), QStringLiteral("color: rgb(0, 85, 0);"));
        QCOMPARE(face.address->text(), QStringLiteral("203.0.113.37:27300"));
        QVERIFY(!face.locked->isHidden());
        const int playerCount = face.playerList->topLevelItemCount();
        QVERIFY(playerCount > 0);
        QCOMPARE(face.players->text(), QStringLiteral("Игроки: %1/10").arg(playerCount));
        for (int i = 0; i < playerCount; ++i) {
            const QTreeWidgetItem *row = face.playerList->topLevelItem(i);
            QVERIFY(!row->text(0).isEmpty());
            QVERIFY(!row->text(2).isEmpty());
        }

        WAIT_VERIFY(face.memory->toolTip().endsWith(QStringLiteral(" из 768 MB")));
        QCOMPARE(face.cpu->toolTip(), QString::number(face.cpu->value()) + QLatin1Char('%'));
        const auto memory = figuresOf(face.memory);
        QCOMPARE(face.memory->value(), memory.first * 100 / memory.second);
        const auto disk = figuresOf(face.disk);
        QCOMPARE(disk.second, 5120);
        QCOMPARE(face.disk->value(), disk.first * 100 / disk.second);
        QVERIFY(face.playerSlots->toolTip().endsWith(QStringLiteral(" из 10")));

        WAIT_COMPARE(face.mapNames(),
                     QStringList({QStringLiteral("citadel"), QStringLiteral("glass_garden"),
                                  QStringLiteral("salt_mine"), QStringLiteral("citadel_night")}));
        QCOMPARE(face.maps->currentText(), QStringLiteral("citadel"));
        QTRY_VERIFY2_WITH_TIMEOUT(face.debugPane->toPlainText().contains(QStringLiteral("\"maps\"")),
                                  qPrintable(face.debugPane->toPlainText()), patienceMs);

        // A switched-off one.
        face.servers->setCurrentIndex(face.servers->findText(HarborNight));
        WAIT_COMPARE(face.name->text(), HarborNight);
        QCOMPARE(face.state->text(), QStringLiteral("Выключен"));
        QCOMPARE(face.address->text(), QStringLiteral("203.0.113.24:27200"));
        QCOMPARE(face.players->text(), QStringLiteral("Игроки: 0/24"));
        QVERIFY(face.locked->isHidden());
        QCOMPARE(face.playerList->topLevelItemCount(), 0);
        WAIT_COMPARE(face.disk->toolTip(), QStringLiteral("6120 MB из 20480 MB"));
        QCOMPARE(face.disk->value(), 29);
        QCOMPARE(face.playerSlots->toolTip(), QStringLiteral("0 из 24"));
        WAIT_COMPARE(face.mapNames().size(), 3);
        QCOMPARE(face.maps->currentText(), QStringLiteral("harbor_night"));
    }

    void actionsChangeWhatTheNextStatusShows()
    {
        MainWindow window;
        Face face(window);
        const auto *http = window.findChild<QueuedHttp *>();
        QVERIFY(http);
        face.servers->setCurrentIndex(face.servers->findText(NorthFort));
        WAIT_COMPARE(face.name->text(), NorthFort);
        QCOMPARE(face.state->text(), QStringLiteral("Работает"));
        WAIT_COMPARE(face.maps->count(), 5);

        QTest::mouseClick(face.stop, Qt::LeftButton);
        QVERIFY(statusBecomes(face, QStringLiteral("Выключен")));
        QCOMPARE(face.players->text(), QStringLiteral("Игроки: 0/16"));
        QCOMPARE(face.playerList->topLevelItemCount(), 0);

        QTest::mouseClick(face.start, Qt::LeftButton);
        QVERIFY(statusBecomes(face, QStringLiteral("Запускается")));
        QCOMPARE(face.state->styleSheet(), QStringLiteral("color: rgb(255, 170, 0);"));
        QVERIFY(statusComesToBe(face, *http, QStringLiteral("Работает")));

        QTest::mouseClick(face.restart, Qt::LeftButton);
        QVERIFY(statusBecomes(face, QStringLiteral("Запускается")));
        QVERIFY(statusComesToBe(face, *http, QStringLiteral("Работает")));

        // Only a status that reports the new map selects it: the one before
        // the change would select the old one again.
        face.maps->setCurrentIndex(face.maps->findText(QStringLiteral("frozen_lake")));
        face.debugPane->clear();
        QTest::mouseClick(face.changeMap, Qt::LeftButton);
        QTest::mouseClick(face.refreshStatus, Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(face.debugPane->toPlainText().contains(QStringLiteral("\"online\"")),
                                  qPrintable(face.debugPane->toPlainText()), patienceMs);
        QCOMPARE(face.maps->currentText(), QStringLiteral("frozen_lake"));
    }

    void consoleAnswersReachTheDebugPane()
    {
        MainWindow window;
        Face face(window);
        face.servers->setCurrentIndex(face.servers->findText(PrivateClub));
        WAIT_COMPARE(face.name->text(), PrivateClub);

        const QString say = QStringLiteral("say Привет & до встречи");
        face.console->setEditText(say);
        QTest::mouseClick(face.send, Qt::LeftButton);
        QCOMPARE(face.console->itemText(0), say);
        QCOMPARE(face.console->currentText(), QString());
        QTRY_VERIFY2_WITH_TIMEOUT(
            face.debugPane->toPlainText().contains(QStringLiteral("Console: Привет & до встречи")),
            qPrintable(face.debugPane->toPlainText()), patienceMs);

        face.console->setEditText(QStringLiteral("status"));
        QTest::mouseClick(face.send, Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(face.debugPane->toPlainText().contains(
                                      QStringLiteral("hostname: Закрытый клуб\\naddress: 203.0.113.37:27300")),
                                  qPrintable(face.debugPane->toPlainText()), patienceMs);
    }

    void untrustedServiceShowsNothing_data()
    {
        QTest::addColumn<QString>("caCertificate");
        QTest::newRow("system authorities only") << QString();
        QTest::newRow("another certificate") << QStringLiteral(TEST_DATA_DIR "/untrusted.crt");
    }

    void untrustedServiceShowsNothing()
    {
        QFETCH(QString, caCertificate);
        {
            QSettings settings(settingsFile(), QSettings::IniFormat);
            if (caCertificate.isEmpty())
                settings.remove(QStringLiteral("Main/cacert"));
            else
                settings.setValue(QStringLiteral("Main/cacert"), caCertificate);
        }

        MainWindow window;
        Face face(window);
        auto *http = window.findChild<QueuedHttp *>();
        QVERIFY(http);
        QSignalSpy finished(http, &QueuedHttp::requestFinished);

        // The first update: socket, host and GET for each of three queries.
        WAIT_COMPARE(finished.count(), 9);
        int failedGets = 0;
        for (const QList<QVariant> &arguments : qAsConst(finished))
            failedGets += arguments.at(1).toBool() ? 1 : 0;
        QCOMPARE(failedGets, 3);

        QCOMPARE(face.name->text(), QStringLiteral("-"));
        QCOMPARE(face.state->text(), QStringLiteral("Выключен"));
        QCOMPARE(face.address->text(), QStringLiteral("0.0.0.0:00000"));
        QCOMPARE(face.players->text(), QStringLiteral("Игроков: 0/0"));
        QCOMPARE(face.maps->count(), 0);
        QCOMPARE(face.playerSlots->toolTip(), QString());
        QVERIFY(face.debugPane->toPlainText().isEmpty());
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
