// What the window leaves until it is on screen: the TLS side is set up right
// after the first paint, and the queries queued before it wait for it.

#include "app/afterfirstpaint.h"
#include "app/mainwindow.h"
#include "core/api/queuedhttp.h"
#include "core/crypto/machinekey.h"
#include "core/crypto/stringcipher.h"
#include "core/settings/settingslocation.h"
#include "patience.h"

#include <QSettings>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Counts the paint events a widget gets.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject * /*watched*/, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class StartupOrderTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;

private slots:
    void init()
    {
        QVERIFY(folder.isValid());
        QFile::remove(folder.filePath(QStringLiteral("setting.ini")));
        SettingsLocation::setDirectory(folder.path());
    }

    void callComesOnceAfterTheFirstPaint_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("hiddenAtOnce");
        QTest::addColumn<bool>("minimised");
        QTest::addColumn<bool>("paintFirst");

        QTest::newRow("shown") << true << false << false << true;
        QTest::newRow("never shown") << false << false << false << false;
        QTest::newRow("hidden before it painted") << true << true << false << false;
        QTest::newRow("shown minimised") << true << false << true << false;
    }

    void callComesOnceAfterTheFirstPaint()
    {
        QFETCH(bool, shown);
        QFETCH(bool, hiddenAtOnce);
        QFETCH(bool, minimised);
        QFETCH(bool, paintFirst);

        QWidget window;
        window.resize(200, 100);
        PaintCounter counter(&window);
        int calls = 0;
        int paintsAtCall = -1;
        new AfterFirstPaint(&window, [&] {
            ++calls;
            paintsAtCall = counter.paints;
        });
        if (minimised)
            window.showMinimized();
        else if (shown)
            window.show();
        if (hiddenAtOnce)
            window.hide();
        QCOMPARE(calls, 0); // never from inside the building of the window

        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, patienceMs);
        if (paintFirst)
            QVERIFY(paintsAtCall > 0);
        // Later paints call nothing more.
        window.show();
        window.update();
        QTRY_VERIFY_WITH_TIMEOUT(counter.paints > qMax(paintsAtCall, 0), patienceMs);
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
    }

    // The first full update is queued as the window is built, and goes out
    // once the socket with the API's TLS settings exists, after the paint.
    void firstQueriesWaitForTheTlsSetUp()
    {
        if (machineKeyFromAddress(firstHardwareAddress()) == 0)
            QSKIP("no network hardware address here, so no API key can be stored");
        {
            QSettings settings(SettingsLocation::filePath(), QSettings::IniFormat);
            settings.setValue("Main/host", QStringLiteral("127.0.0.1:1")); // refused at once
            settings.setValue("Main/cacert", QStringLiteral(TEST_DATA_DIR "/localhost.crt"));
            StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
            settings.setValue("Servers/S0", cipher.encipherText("key"));
        }
        MainWindow window;
        PaintCounter counter(&window);
        auto *http = window.findChild<QueuedHttp *>();
        QVERIFY(http);
        bool socketAtFirstStart = false;
        int paintsAtFirstStart = -1;
        QSignalSpy finished(http, &QueuedHttp::requestFinished);
        connect(http, &QueuedHttp::requestStarted, this, [&] {
            if (paintsAtFirstStart < 0) {
                socketAtFirstStart = window.findChild<QSslSocket *>() != nullptr;
                paintsAtFirstStart = counter.paints;
            }
        });
        QVERIFY(http->hasPendingRequests());
        QVERIFY(!window.findChild<QSslSocket *>());
        window.show();

        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 9, patienceMs);
        QVERIFY(socketAtFirstStart);
        QVERIFY(paintsAtFirstStart > 0);
    }
};

QTEST_MAIN(StartupOrderTest)
#include "tst_startuporder.moc"
