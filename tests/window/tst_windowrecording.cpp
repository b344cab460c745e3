// The window records the selected server's replies in history.sqlite beside
// its settings file: status and resources replies, and status queries that
// failed as "Нет связи"; a damaged history never stops the window.

#include "app/mainwindow.h"
#include "core/crypto/machinekey.h"
#include "core/crypto/stringcipher.h"
#include "core/history/historyfile.h"
#include "core/history/historyreadings.h"
#include "core/history/historystore.h"
#include "core/settings/settingslocation.h"
#include "eventwait.h"
#include "patience.h"
#include "tlstestserver.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray runningStatus
    = R"({"online":1,"data":{"s":{"name":"Arena","map":"river_port","players":"3","playersmax":"16"},)"
      R"("b":{"ip":"10.0.0.5","c_port":"27015"},"p":[]}})";
const QByteArray resourcesReply = R"({"cpu_proc":11,"mem_proc":22,"players_proc":33,"disk_proc":44})";

// Keeps the warnings said while it lives; other messages go on as before.
// The recorder warns on its own thread, where QTest::ignoreMessage() would
// match a pattern and leave that thread per-thread data that MinGW's
// runtime ends badly.
class WarningCatcher
{
public:
    WarningCatcher()
    {
        const QMutexLocker lock(&mutex);
        caught.clear();
        previous = qInstallMessageHandler(&WarningCatcher::handle);
    }
    ~WarningCatcher() { qInstallMessageHandler(previous); }
    WarningCatcher(const WarningCatcher &) = delete;
    WarningCatcher &operator=(const WarningCatcher &) = delete;

    static QStringList warnings()
    {
        const QMutexLocker lock(&mutex);
        return caught;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type == QtWarningMsg) {
            const QMutexLocker lock(&mutex);
            caught.append(text);
        } else if (previous) {
            previous(type, context, text);
        }
    }

    static inline QMutex mutex;
    static inline QStringList caught;
    static inline QtMessageHandler previous = nullptr;
};

} // namespace

class WindowRecordingTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    std::unique_ptr<TlsTestServer> server;
    QHash<QString, TlsTestReply> replies;
    std::unique_ptr<MainWindow> window;

    QString historyPath() const { return HistoryFile::besideSettings(SettingsLocation::filePath()); }

    bool startServer(const QString &certificate)
    {
        server = std::make_unique<TlsTestServer>();
        server->setHandler(
            [this](const QByteArray &target) { return replies.value(queryKindOf(target), replyWith("{}")); });
        return server->start(QStringLiteral(TEST_DATA_DIR "/%1.crt").arg(certificate),
                             QStringLiteral(TEST_DATA_DIR "/%1.key").arg(certificate));
    }

    void openWindow()
    {
        QSettings settings(SettingsLocation::filePath(), QSettings::IniFormat);
        settings.setValue("Main/host", QStringLiteral("127.0.0.1:%1").arg(server->port()));
        settings.setValue("Main/cacert", QStringLiteral(TEST_DATA_DIR "/localhost.crt"));
        StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
        settings.setValue("Servers/Арена \"1\"", cipher.encipherText("key"));
        settings.sync();
        window = std::make_unique<MainWindow>();
    }

    // What the history holds of the server, read as valmora-ctl reads it.
    History::Figures recorded(const QString &name = QStringLiteral("Арена \"1\"")) const
    {
        HistoryStore store(historyPath());
        if (store.openForReading() != HistoryStore::Outcome::Ready)
            return {};
        HistoryReadings readings(store.database());
        QList<HistoryReadings::ServerSummary> rows;
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        if (!readings.summary({name}, now - 3600, now + 3600, &rows) || rows.isEmpty())
            return {};
        return rows.constFirst().figures;
    }

private slots:
    void init()
    {
        QVERIFY(folder.isValid());
        for (const QString &file : QDir(folder.path()).entryList(QDir::Files))
            QFile::remove(folder.filePath(file));
        SettingsLocation::setDirectory(folder.path());
        replies = {{"status", replyWith(runningStatus)},
                   {"getresources", replyWith(resourcesReply)},
                   {"getmaps", replyWith("{}")}};
    }

    void cleanup()
    {
        window.reset();
        server.reset();
    }

    void statusAndResourcesRepliesAreRecorded()
    {
        QVERIFY(startServer("localhost"));
        openWindow();
        WAIT_VERIFY(recorded().resourceCount == 1);
        WAIT_COMPARE(recorded().states.at(History::Running), 1);
        const History::Figures figures = recorded();
        QCOMPARE(figures.playersPeak(), std::optional<int>(3));
        QCOMPARE(figures.playerLimit(), std::optional<int>(16));
        QCOMPARE(figures.peak(History::Cpu), std::optional<int>(11));
        QCOMPARE(figures.peak(History::Memory), std::optional<int>(22));
        QCOMPARE(figures.peak(History::Slots), std::optional<int>(33));
        QCOMPARE(figures.peak(History::Disk), std::optional<int>(44));
        // The maps reply and the actions are not samples.
        QCOMPARE(figures.samples(), 1);
    }

    void failedStatusQueriesAreNoContact_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");

        QTest::newRow("HTTP 500") << runningStatus << 500;
        QTest::newRow("HTTP 404") << QByteArray("{}") << 404;
        QTest::newRow("not JSON") << QByteArray("<html>busy</html>") << 200;
        QTest::newRow("not an object") << QByteArray("[1]") << 200;
        QTest::newRow("error result") << QByteArray(R"({"result":"error","message":"bad key"})") << 200;
    }

    void failedStatusQueriesAreNoContact()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QVERIFY(startServer("localhost"));
        openWindow();
        WAIT_COMPARE(recorded().states.at(History::Running), 1);

        replies.insert("status", replyWith(body, status));
        window->findChild<QPushButton *>("pushButton")->click();
        WAIT_COMPARE(recorded().states.at(History::NoContact), 1);
        QCOMPARE(recorded().states.at(History::Off), 0);
    }

    void unreachableServiceIsNoContact()
    {
        // A certificate the window does not trust: nothing is shown, but the
        // history keeps that the server could not be reached.
        QVERIFY(startServer("untrusted"));
        openWindow();
        WAIT_COMPARE(recorded().states.at(History::NoContact), 1);
        QCOMPARE(recorded().resourceCount, 0);
        QCOMPARE(window->findChild<QLabel *>("label_6")->text(), QStringLiteral("Выключен"));
    }

    void damagedHistoryNeverStopsTheWindow()
    {
        QFile damaged(historyPath());
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(4096, 'x'));
        damaged.close();
        const WarningCatcher catcher;

        QVERIFY(startServer("localhost"));
        openWindow();
        WAIT_COMPARE(window->findChild<QLabel *>("label_6")->text(), QStringLiteral("Работает"));
        // Put aside, not deleted, and a new history begun.
        WAIT_COMPARE(recorded().states.at(History::Running), 1);
        const QStringList aside = QDir(folder.path()).entryList({"history.sqlite.damaged-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(QFileInfo(folder.filePath(aside.constFirst())).size(), 4096);
        // One warning says so, naming the file put aside.
        const QStringList said = WarningCatcher::warnings().filter(aside.constFirst());
        QCOMPARE(said.size(), 1);
    }
};

QTEST_MAIN(WindowRecordingTest)
#include "tst_windowrecording.moc"
