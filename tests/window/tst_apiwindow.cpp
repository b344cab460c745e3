// The main window as a client of the hosting API: what it sends, in which
// order, and what it makes of every kind of reply, against a TLS responder
// on loopback.

#include "api/playeritem.h"
#include "app/mainwindow.h"
#include "core/api/queuedhttp.h"
#include "core/crypto/machinekey.h"
#include "core/crypto/stringcipher.h"
#include "core/settings/filewatch.h"
#include "core/settings/settingslocation.h"
#include "eventwait.h"
#include "machinekeycheck.h"
#include "patience.h"
#include "tlstestserver.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QByteArray baselineStatus
    = R"({"online":1,"data":{"s":{"name":"Arena","map":"river_port","players":"2","playersmax":"16","password":true},)"
      R"("b":{"ip":"10.0.0.5","c_port":"27015"},"p":[{"name":"Ann","score":"5","time":"1:00"}]}})";
const QByteArray baselineResources
    = R"({"cpu_proc":11,"mem_proc":22,"players_proc":33,"disk_proc":44,"mem_used":"1","mem_quota":"2",)"
      R"("players":"3","players_max":"4","disk_used":"5","disk_quota":"6"})";
const QByteArray baselineMaps = R"({"maps":["sand_keep","river_port"]})";

// The button that sends each kind of query.
const QHash<QString, const char *> buttonFor = {
    {"status", "pushButton"},    {"start", "pushButton_4"},        {"stop", "pushButton_5"},
    {"restart", "pushButton_6"}, {"getresources", "pushButton_7"}, {"changelevel", "pushButton_8"},
    {"getmaps", "pushButton_9"}, {"consolecmd", "pushButton_10"},
};

QStringList texts(const QAbstractItemModel *model, int column = 0)
{
    QStringList result;
    for (int row = 0; row < model->rowCount(); ++row)
        result << model->index(row, column).data().toString();
    return result;
}

} // namespace

class ApiWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    std::unique_ptr<TlsTestServer> server;
    QHash<QString, TlsTestReply> replies; // by query kind; read when a request arrives
    std::unique_ptr<MainWindow> window;

    bool startServer(const QString &certificate)
    {
        server = std::make_unique<TlsTestServer>();
        server->setHandler(
            [this](const QByteArray &target) { return replies.value(queryKindOf(target), replyWith("{}")); });
        return server->start(QStringLiteral(TEST_DATA_DIR "/%1.crt").arg(certificate),
                             QStringLiteral(TEST_DATA_DIR "/%1.key").arg(certificate));
    }

    void createWindow(const QStringList &keys = {"key"}, const QStringList &history = {})
    {
        QSettings settings(SettingsLocation::filePath(), QSettings::IniFormat);
        settings.setValue("Main/host", QStringLiteral("127.0.0.1:%1").arg(server->port()));
        settings.setValue("Main/cacert", QStringLiteral(TEST_DATA_DIR "/localhost.crt"));
        if (!history.isEmpty())
            settings.setValue("Main/cmd", history);
        StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
        for (int i = 0; i < keys.size(); ++i) // servers "S0", "S1", ... in this order
            settings.setValue(QStringLiteral("Servers/S%1").arg(i), cipher.encipherText(keys.at(i)));
        settings.sync();
        window = std::make_unique<MainWindow>();
    }

    // Opens the window and lets its first full update finish.
    bool openWindow(const QStringList &keys = {"key"}, const QStringList &history = {})
    {
        createWindow(keys, history);
        return settle();
    }

    QueuedHttp *client() const { return window->findChild<QueuedHttp *>(); }

    // Waits until every queued operation has finished and been handled.
    bool settle()
    {
        return waitUntil([this] { return client()->currentId() == 0 && !client()->hasPendingRequests(); });
    }

    bool ask(const QString &kind, const TlsTestReply &answer)
    {
        replies.insert(kind, answer);
        child<QPushButton>(buttonFor.value(kind))->click();
        return settle();
    }

    template<typename T> T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    QString text(const char *label) const { return child<QLabel>(label)->text(); }
    QString pane() const { return child<QTextEdit>("textEdit")->toPlainText(); }
    QComboBox *mapList() const { return child<QComboBox>("comboBox_2"); }
    QTreeWidget *players() const { return child<QTreeWidget>("treeWidget"); }
    QStringList playerColumn(int column) const { return texts(players()->model(), column); }

    QProgressBar *gauge(int index) const
    {
        static const char *const names[] = {"progressBar", "progressBar_2", "progressBar_3", "progressBar_4"};
        return child<QProgressBar>(names[index]);
    }

    // Everything a reply can change on screen, except the raw pane.
    QStringList snapshot() const
    {
        QStringList state
            = {text("label"),   text("label_6"), child<QLabel>("label_6")->styleSheet(),
               text("label_7"), text("label_9"), child<QLabel>("label_10")->isHidden() ? "lock hidden" : "lock shown"};
        for (int column = 0; column < 3; ++column)
            state << playerColumn(column);
        state << texts(mapList()->model()) << QString::number(mapList()->currentIndex());
        for (int i = 0; i < 4; ++i)
            state << QString::number(gauge(i)->value()) << gauge(i)->toolTip();
        return state;
    }

private slots:
    void init()
    {
        QVERIFY(folder.isValid());
        QFile::remove(folder.filePath("setting.ini"));
        SettingsLocation::setDirectory(folder.path());
        replies = {{"status", replyWith(baselineStatus)},
                   {"getresources", replyWith(baselineResources)},
                   {"getmaps", replyWith(baselineMaps)}};
        QVERIFY(startServer("localhost"));
    }

    void cleanup()
    {
        window.reset();
        server.reset();
    }

    void requestTargets_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("input"); // the map listed, or the command typed
        QTest::addColumn<QString>("target");

        QTest::newRow("reserved in key") << "a+b/c=d"
                                         << "status"
                                         << ""
                                         << "token=a%2Bb%2Fc%3Dd&query=status";
        QTest::newRow("Cyrillic key") << "ключ а"
                                      << "start"
                                      << ""
                                      << "token=%D0%BA%D0%BB%D1%8E%D1%87%20%D0%B0&query=start";
        QTest::newRow("empty key") << ""
                                   << "stop"
                                   << ""
                                   << "token=&query=stop";
        QTest::newRow("unreserved in key") << "Zz09-._~!*"
                                           << "restart"
                                           << ""
                                           << "token=Zz09-._~%21%2A&query=restart";
        QTest::newRow("resources") << "k"
                                   << "getresources"
                                   << ""
                                   << "token=k&query=getresources";
        QTest::newRow("maps") << "k"
                              << "getmaps"
                              << ""
                              << "token=k&query=getmaps";
        QTest::newRow("map change") << "k"
                                    << "changelevel"
                                    << "карта 2"
                                    << "token=k&query=changelevel&map=%D0%BA%D0%B0%D1%80%D1%82%D0%B0%202";
        QTest::newRow("no map listed") << "k"
                                       << "changelevel"
                                       << ""
                                       << "token=k&query=changelevel&map=";
        QTest::newRow("command") << "k"
                                 << "consolecmd"
                                 << "say hello"
                                 << "token=k&query=consolecmd&cmd=say%20hello";
        QTest::newRow("command with separators") << "k"
                                                 << "consolecmd"
                                                 << "a&b=c+d"
                                                 << "token=k&query=consolecmd&cmd=a%26b%3Dc%2Bd";
        QTest::newRow("empty command") << "k"
                                       << "consolecmd"
                                       << ""
                                       << "token=k&query=consolecmd&cmd=";
    }

    void requestTargets()
    {
        QFETCH(QString, key);
        QFETCH(QString, kind);
        QFETCH(QString, input);
        QFETCH(QString, target);
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");

        const QByteArray listed = input.isEmpty() ? "[]" : "[\"" + input.toUtf8() + "\"]";
        replies.insert("getmaps", replyWith(R"({"maps":)" + listed + '}'));
        QVERIFY(openWindow({key}));
        QCOMPARE(server->targets().size(), 3);

        child<QComboBox>("comboBox_3")->setEditText(input);
        child<QPushButton>(buttonFor.value(kind))->click();
        QVERIFY(settle());
        QCOMPARE(server->targets().mid(3), QList<QByteArray> {"/api.php?" + target.toLatin1()});
    }

    void nothingIsSentWithoutASelectedServer()
    {
        QVERIFY(openWindow({}));
        QSignalSpy started(client(), &QueuedHttp::requestStarted);
        child<QComboBox>("comboBox_3")->setEditText("status");
        for (const char *button : buttonFor)
            child<QPushButton>(button)->click();
        window->fullUpdate();
        QVERIFY(!client()->hasPendingRequests());
        QCoreApplication::processEvents();
        QCOMPARE(started.count(), 0);
        QVERIFY(server->requestLines().isEmpty());
        QCOMPARE(child<QComboBox>("comboBox_3")->itemText(0), QStringLiteral("status")); // still kept
    }

    // The command-line tool and other copies write the settings file while
    // the window runs: the list follows, the selection stays where its server
    // is still listed, and only a change of the selected server sends queries.
    void serverListFollowsTheSettingsFile()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        QVERIFY(openWindow({"k0", "k1"}));
        auto *selector = child<QComboBox>("comboBox");
        selector->setCurrentIndex(1);
        QVERIFY(settle());
        const int sent = int(server->targets().size());
        const QString shownName = text("label");
        auto edit = [](const std::function<void(QSettings &)> &change) {
            QSettings settings(SettingsLocation::filePath(), QSettings::IniFormat);
            change(settings);
        };

        StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
        edit([&](QSettings &settings) { settings.setValue("Servers/A-new", cipher.encipherText("kn")); });
        QTRY_COMPARE_WITH_TIMEOUT(texts(selector->model()), QStringList({"A-new", "S0", "S1"}), patienceMs);
        QCOMPARE(selector->currentText(), QStringLiteral("S1"));

        // The window's own save, and the change it sees of it, send nothing.
        QSignalSpy seen(window->findChild<FileWatch *>(), &FileWatch::changed);
        window->saveSettings();
        QVERIFY(seen.wait(patienceMs));
        QVERIFY(settle());
        QCOMPARE(server->targets().size(), sent);
        QCOMPARE(text("label"), shownName);

        // The selected server removed: the first one is shown, in full.
        edit([](QSettings &settings) { settings.remove("Servers/S1"); });
        QTRY_COMPARE_WITH_TIMEOUT(texts(selector->model()), QStringList({"A-new", "S0"}), patienceMs);
        QCOMPARE(selector->currentText(), QStringLiteral("A-new"));
        QVERIFY(settle());
        QCOMPARE(server->targets().mid(sent),
                 QList<QByteArray>({"/api.php?token=kn&query=status", "/api.php?token=kn&query=getresources",
                                    "/api.php?token=kn&query=getmaps"}));
    }

    void fullUpdateSendsStatusResourcesAndMapsInOrder()
    {
        if (!hasMachineKey())
            QSKIP("no network hardware address here, so no API key can be stored");
        createWindow({"k1", "k2"});
        QSignalSpy finished(client(), &QueuedHttp::requestFinished);
        QVERIFY(settle());

        // Socket, host and GET for each of the three queries, in order, all fine.
        QCOMPARE(finished.count(), 9);
        for (int i = 0; i < finished.count(); ++i) {
            QVERIFY(!finished.at(i).at(1).toBool());
            QVERIFY(i == 0 || finished.at(i).at(0).toInt() > finished.at(i - 1).at(0).toInt());
        }
        auto update = [](const QByteArray &key) {
            return QList<QByteArray> {"/api.php?token=" + key + "&query=status",
                                      "/api.php?token=" + key + "&query=getresources",
                                      "/api.php?token=" + key + "&query=getmaps"};
        };
        QCOMPARE(server->targets(), update("k1"));
        QCOMPARE(pane(), QString::fromUtf8(baselineMaps)); // the last reply handled

        // Choosing another server updates that one in full, and so does every later update.
        child<QComboBox>("comboBox")->setCurrentIndex(1);
        QVERIFY(settle());
        window->fullUpdate();
        QVERIFY(settle());
        QCOMPARE(server->targets().mid(3), update("k2") + update("k2"));
    }

    void consoleHistory_data()
    {
        QTest::addColumn<QStringList>("loaded");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("history");

        const QStringList nine = {"c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9"};
        const QStringList twelve = nine + QStringList {"c10", "c11", "c12"};
        QTest::newRow("nine stay nine") << nine << "new" << QStringList {"new"} + nine.mid(0, 8);
        QTest::newRow("twelve loaded stay twelve") << twelve << "new" << QStringList {"new"} + twelve.mid(0, 11);
        QTest::newRow("repeated") << QStringList {"say hi"} << "say hi" << QStringList {"say hi", "say hi"};
        QTest::newRow("empty") << QStringList {"a", "b"} << "" << QStringList {"", "a", "b"};
    }

    void consoleHistory()
    {
        QFETCH(QStringList, loaded);
        QFETCH(QString, command);
        QFETCH(QStringList, history);

        QVERIFY(openWindow({"key"}, loaded));
        auto *console = child<QComboBox>("comboBox_3");
        console->setEditText(command);
        child<QPushButton>("pushButton_10")->click();
        QVERIFY(console->currentText().isEmpty());
        QCOMPARE(texts(console->model()), history);
        QVERIFY(settle());
        QCOMPARE(queryKindOf(server->targets().value(3)), QStringLiteral("consolecmd"));
    }

    void returnInConsoleSendsOnceAndRecordsOnce()
    {
        QVERIFY(openWindow({"key"}, {"older"}));
        auto *console = child<QComboBox>("comboBox_3");
        // Keys reach the field through the box, which has the focus.
        console->clearEditText();
        QTest::keyClicks(console, "say hi");
        QTest::keyClick(console, Qt::Key_Return);
        QVERIFY(console->currentText().isEmpty());
        QCOMPARE(texts(console->model()), QStringList({"say hi", "older"}));
        QVERIFY(settle());
        QCOMPARE(server->targets().size(), 4);
        QVERIFY(server->targets().at(3).endsWith("&query=consolecmd&cmd=say%20hi"));

        // An empty field sends an empty command, as the button does.
        QTest::keyClick(console, Qt::Key_Return);
        QCOMPARE(texts(console->model()), QStringList({"", "say hi", "older"}));
        QVERIFY(settle());
        QCOMPARE(server->targets().size(), 5);
        QVERIFY(server->targets().at(4).endsWith("&query=consolecmd&cmd="));
    }

    void hangingServiceGetsOneRefreshAtATime()
    {
        auto hanging = std::make_shared<bool>(true);
        server->setHandler([this, hanging](const QByteArray &target) {
            TlsTestReply answer = replies.value(queryKindOf(target), replyWith("{}"));
            answer.silent = *hanging;
            return answer;
        });
        createWindow();
        client()->setTransferTimeout(150); // before the first query starts
        auto *timer = window->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
        QSignalSpy ticks(timer, &QTimer::timeout);
        QSignalSpy finished(client(), &QueuedHttp::requestFinished);
        const auto timedOut = [&finished] {
            return std::count_if(finished.cbegin(), finished.cend(),
                                 [](const QList<QVariant> &arguments) { return arguments.at(1).toBool(); });
        };
        // Dozens of ticks, and more than one query given up, then the same
        // again with a button's query waiting among them.
        const auto hangFor = [&] {
            const qsizetype ticksBefore = ticks.count();
            const qsizetype timedOutBefore = timedOut();
            return waitUntil([&] { return ticks.count() >= ticksBefore + 30 && timedOut() >= timedOutBefore + 2; });
        };
        timer->setInterval(10);

        QVERIFY(hangFor());
        child<QPushButton>("pushButton_4")->click();
        QVERIFY(hangFor());
        timer->stop();
        *hanging = false;
        const qsizetype sentWhileHanging = server->targets().size();
        QVERIFY(settle());

        // What waited behind the hang: at most one refresh and the button's query.
        const QList<QByteArray> afterwards = server->targets().mid(sentWhileHanging);
        QVERIFY2(afterwards.size() <= 4, afterwards.join(' ').constData());
        const QList<QByteArray> all = server->targets();
        QVERIFY(std::any_of(all.cbegin(), all.cend(), [](const QByteArray &t) { return queryKindOf(t) == "start"; }));
    }

    void repliesThatOnlyReachThePane_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("shown");

        QTest::newRow("empty body") << "status" << 200 << ""
                                    << "ERROR!";
        QTest::newRow("HTML page under 500") << "status" << 500 << "<html><body>Error</body></html>"
                                             << "ERROR!";
        QTest::newRow("cut-off JSON") << "getresources" << 200 << R"({"cpu_proc":90)"
                                      << "ERROR!";
        QTest::newRow("two values") << "getmaps" << 200 << "1,2"
                                    << "ERROR!";
        QTest::newRow("two documents") << "getmaps" << 200 << R"({"maps":[]}{"maps":[]})"
                                       << "ERROR!";

        // Replies to actions are routed by their kind alone, whatever they look like.
        const char *status = R"({"online":2,"data":{"s":{"name":"Other","map":"sand_keep"}}})";
        QTest::newRow("start") << "start" << 200 << status << status;
        QTest::newRow("stop") << "stop" << 200 << R"({"result":"ok"})"
                              << R"({"result":"ok"})";
        QTest::newRow("restart under 503") << "restart" << 503 << R"({"error":"busy"})"
                                           << R"({"error":"busy"})";
        QTest::newRow("change of map") << "changelevel" << 200 << R"({"maps":["x"]})"
                                       << R"({"maps":["x"]})";
        QTest::newRow("command under 404") << "consolecmd" << 404 << R"({"cpu_proc":99})"
                                           << R"({"cpu_proc":99})";
    }

    void repliesThatOnlyReachThePane()
    {
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(QString, shown);

        QVERIFY(openWindow());
        const QStringList before = snapshot();
        QVERIFY(ask(kind, replyWith(body.toUtf8(), status)));
        QCOMPARE(pane(), shown);
        QCOMPARE(snapshot(), before);
    }

    void otherJsonDocumentsBlankWhatTheyFeed()
    {
        QVERIFY(openWindow());

        QVERIFY(ask("status", replyWith("[]", 500)));
        QCOMPARE(pane(), QStringLiteral("[]"));
        QCOMPARE(text("label"), QString());
        QCOMPARE(text("label_6"), QStringLiteral("Выключен"));
        QCOMPARE(text("label_7"), QStringLiteral(":"));
        QCOMPARE(text("label_9"), QStringLiteral("Игроки: /"));
        QVERIFY(child<QLabel>("label_10")->isHidden());
        QCOMPARE(players()->topLevelItemCount(), 0);

        QVERIFY(ask("getresources", replyWith("42")));
        QCOMPARE(pane(), QStringLiteral("42"));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(gauge(i)->value(), 0);
            QCOMPARE(gauge(i)->toolTip(), i == 0 ? QStringLiteral("%") : QStringLiteral(" из "));
        }

        QVERIFY(ask("getmaps", replyWith(R"("sand_keep")")));
        QCOMPARE(pane(), QStringLiteral("\"sand_keep\""));
        QCOMPARE(mapList()->count(), 0);
    }

    void paneShowsTheBodyWholeAsUtf8()
    {
        const QByteArray cyrillic = R"({"data":{"s":{"name":"Арена"}}})";
        replies.insert("getmaps", replyWith(cyrillic));
        QVERIFY(openWindow());
        QCOMPARE(pane(), QString::fromUtf8(cyrillic));

        const QByteArray zero("{\"data\":{\"s\":{\"name\":\"a\0b\"}}}", 29);
        QVERIFY(ask("status", replyWith(zero)));
        QCOMPARE(pane(), QString::fromUtf8(zero));
        QCOMPARE(text("label"), QString::fromUtf8("a\0b", 3));
    }

    void statusCodes_data()
    {
        QTest::addColumn<QString>("online");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("style");

        const char *red = "color: rgb(170, 0, 0);";
        const char *amber = "color: rgb(255, 170, 0);";
        QTest::newRow("off") << "0"
                             << "Выключен" << red;
        QTest::newRow("running") << "1"
                                 << "Работает"
                                 << "color: rgb(0, 85, 0);";
        QTest::newRow("starting") << "2"
                                  << "Запускается" << amber;
        QTest::newRow("three") << "3"
                               << "Состояние неизвестно" << red;
        QTest::newRow("minus one") << "-1"
                                   << "Состояние неизвестно" << red;
        QTest::newRow("digits as text") << R"("2")"
                                        << "Запускается" << amber;
        QTest::newRow("not a number") << R"("up")"
                                      << "Выключен" << red;
        QTest::newRow("missing") << ""
                                 << "Выключен" << red;
    }

    void statusCodes()
    {
        QFETCH(QString, online);
        QFETCH(QString, shown);
        QFETCH(QString, style);

        QVERIFY(openWindow());
        QVERIFY(ask("status", replyWith(online.isEmpty() ? "{}" : R"({"online":)" + online.toUtf8() + '}')));
        QCOMPARE(text("label_6"), shown);
        QCOMPARE(child<QLabel>("label_6")->styleSheet(), style);
    }

    void lockIcon_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("shown");

        QTest::newRow("true") << "true" << true;
        QTest::newRow("false") << "false" << false;
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("non-zero number") << "7" << true;
        QTest::newRow("empty text") << R"("")" << false;
        QTest::newRow("text zero") << R"("0")" << false;
        QTest::newRow("text false in capitals") << R"("FALSE")" << false;
        QTest::newRow("other text") << R"("no")" << true;
        QTest::newRow("null") << "null" << false;
        QTest::newRow("missing") << "" << false;
    }

    void lockIcon()
    {
        QFETCH(QString, password);
        QFETCH(bool, shown);

        auto statusWith = [](const QString &value) {
            return replyWith(value.isEmpty() ? "{}" : R"({"data":{"s":{"password":)" + value.toUtf8() + "}}}");
        };
        QVERIFY(openWindow());
        QVERIFY(ask("status", statusWith(shown ? "false" : "true"))); // start from the opposite
        QCOMPARE(child<QLabel>("label_10")->isHidden(), shown);
        QVERIFY(ask("status", statusWith(password)));
        QCOMPARE(child<QLabel>("label_10")->isHidden(), !shown);
    }

    void statusFillsInformationAndPlayers()
    {
        QVERIFY(openWindow());
        QVERIFY(ask(
            "status",
            replyWith(
                R"({"online":1,"data":{"s":{"name":"Арена №2","map":"sand_keep","players":"4","playersmax":"32"},)"
                R"("b":{"ip":"192.0.2.7","c_port":27016},"p":[)"
                R"({"name":"Bob","score":"10","time":"9:30"},{"name":"","score":"1","time":"0:01"},"stray",)"
                R"({"score":"5"},{"name":"Bob","score":9,"time":"10:05"},{"name":"al","score":"-3","time":"1:00:00"},)"
                R"({"name":"Zed","score":"007","time":"59:59"}]}})")));
        QCOMPARE(text("label"), QStringLiteral("Арена №2"));
        QCOMPARE(text("label_7"), QStringLiteral("192.0.2.7:27016"));
        QCOMPARE(text("label_9"), QStringLiteral("Игроки: 4/32"));

        // Players without a name are left out, namesakes kept; the cells keep
        // the texts as sent while numbers and times sort by value.
        players()->sortByColumn(1, Qt::AscendingOrder);
        QCOMPARE(playerColumn(0), QStringList({"al", "Zed", "Bob", "Bob"}));
        QCOMPARE(playerColumn(1), QStringList({"-3", "007", "9", "10"}));
        players()->sortByColumn(2, Qt::AscendingOrder);
        QCOMPARE(playerColumn(2), QStringList({"9:30", "10:05", "59:59", "1:00:00"}));
        players()->sortByColumn(1, Qt::DescendingOrder);
        QCOMPARE(playerColumn(1), QStringList({"10", "9", "007", "-3"}));

        // A nick that reads as "not a number" is a text like any other.
        QVERIFY(ask("status",
                    replyWith(R"({"data":{"p":[{"name":"1"},{"name":"10"},{"name":"NaN"},{"name":"2"},)"
                              R"({"name":"3"}]}})")));
        players()->sortByColumn(0, Qt::AscendingOrder);
        QCOMPARE(playerColumn(0), QStringList({"1", "2", "3", "10", "NaN"}));

        // No named player: an empty list, while the counts still show.
        QVERIFY(ask("status", replyWith(R"({"data":{"s":{"players":"1","playersmax":"8"},"p":[{"name":""}]}})")));
        QCOMPARE(players()->topLevelItemCount(), 0);
        QCOMPARE(text("label_9"), QStringLiteral("Игроки: 1/8"));
    }

    void mapSelection_data()
    {
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("current");

        QTest::newRow("running map selected") << "b"
                                              << R"(["a","b","c"])" << QStringList {"a", "b", "c"} << 1;
        QTest::newRow("map not listed") << "x"
                                        << R"(["a","b"])" << QStringList {"a", "b"} << 0;
        QTest::newRow("letter case counts") << "B"
                                            << R"(["a","b"])" << QStringList {"a", "b"} << 0;
        QTest::newRow("first of equal entries") << "b"
                                                << R"(["a","b","b"])" << QStringList {"a", "b", "b"} << 1;
        QTest::newRow("a single string") << "solo"
                                         << R"("solo")" << QStringList {"solo"} << 0;
        QTest::newRow("no list") << "a"
                                 << "null" << QStringList() << -1;
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

    void mapSelection()
    {
        QFETCH(QString, running);
        QFETCH(QString, listed);
        QFETCH(QStringList, items);
        QFETCH(int, current);

        replies.insert("status", replyWith(R"({"data":{"s":{"map":")" + running.toUtf8() + R"("}}})"));
        replies.insert("getmaps", replyWith(R"({"maps":)" + listed.toUtf8() + '}'));
        QVERIFY(openWindow());
        QCOMPARE(texts(mapList()->model()), items);
        QCOMPARE(mapList()->currentIndex(), current);
    }

    void statusReplySelectsAmongListedMaps()
    {
        QVERIFY(openWindow());
        QCOMPARE(mapList()->currentText(), QStringLiteral("river_port"));
        mapList()->setCurrentIndex(0);
        QVERIFY(ask("status", replyWith(baselineStatus)));
        QCOMPARE(mapList()->currentIndex(), 1);
        QVERIFY(ask("status", replyWith(R"({"data":{"s":{"map":"nowhere"}}})")));
        QCOMPARE(mapList()->currentIndex(), 1);
        QCOMPARE(texts(mapList()->model()), QStringList({"sand_keep", "river_port"}));
    }

    void gauges_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QStringList>("tips");

        const QStringList bare = {" из ", " из ", " из "};
        QTest::newRow("figures as sent")
            << R"({"cpu_proc":25,"mem_proc":50,"mem_used":"512 MB","mem_quota":"1024 MB","players_proc":75,)"
               R"("players":"12","players_max":16,"disk_proc":10,"disk_used":"1.5 GB","disk_quota":"15 GB"})"
            << QList<int> {25, 50, 75, 10} << QStringList {"25%", "512 MB из 1024 MB", "12 из 16", "1.5 GB из 15 GB"};
        QTest::newRow("percentages as digits")
            << R"({"cpu_proc":"30","mem_proc":"40","players_proc":"50","disk_proc":"60"})"
            << QList<int> {30, 40, 50, 60} << QStringList {"30%"} + bare;
        QTest::newRow("out of range is clamped")
            << R"({"cpu_proc":150,"mem_proc":-20,"players_proc":"250","disk_proc":101})"
            << QList<int> {100, 0, 100, 100} << QStringList {"150%"} + bare;
        QTest::newRow("nothing sent") << "{}" << QList<int> {0, 0, 0, 0} << QStringList {"%"} + bare;
    }

    void gauges()
    {
        QFETCH(QString, body);
        QFETCH(QList<int>, values);
        QFETCH(QStringList, tips);

        QVERIFY(openWindow());
        QVERIFY(ask("getresources", replyWith(body.toUtf8())));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(gauge(i)->value(), values.at(i));
            QCOMPARE(gauge(i)->toolTip(), tips.at(i));
        }
    }

    void untrustedServerShowsNothing()
    {
        QVERIFY(startServer("untrusted"));
        createWindow();
        const QStringList initial = snapshot();
        QSignalSpy finished(client(), &QueuedHttp::requestFinished);
        QVERIFY(settle());

        int failures = 0;
        for (const QList<QVariant> &finish : finished)
            failures += finish.at(1).toBool() ? 1 : 0;
        QCOMPARE(failures, 3);
        QVERIFY(server->connectionCount() > 0);
        QVERIFY(server->targets().isEmpty());
        QCOMPARE(snapshot(), initial);
        QCOMPARE(pane(), QString());
    }

    void silentServerIsGivenUpAndLaterQueriesGoOut()
    {
        QVERIFY(openWindow());
        QCOMPARE(client()->transferTimeout(), 30000);
        client()->setTransferTimeout(300); // the queries below start afterwards

        const QStringList before = snapshot();
        const QString paneBefore = pane();
        QSignalSpy finished(client(), &QueuedHttp::requestFinished);
        TlsTestReply silent;
        silent.silent = true;
        QVERIFY(ask("status", silent));
        QVERIFY(!finished.isEmpty() && finished.last().at(1).toBool()); // the GET failed
        QCOMPARE(snapshot(), before);
        QCOMPARE(pane(), paneBefore);

        QVERIFY(ask("getresources", replyWith(R"({"cpu_proc":77})")));
        QCOMPARE(queryKindOf(server->targets().value(3)), QStringLiteral("status"));
        QCOMPARE(queryKindOf(server->targets().value(4)), QStringLiteral("getresources"));
        QCOMPARE(gauge(0)->value(), 77);
        QCOMPARE(pane(), QStringLiteral(R"({"cpu_proc":77})"));
    }
};

QTEST_MAIN(ApiWindowTest)
#include "tst_apiwindow.moc"
