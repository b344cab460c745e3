// The history window opened from the main window's button: the list of
// every server against a history written through the core, the periods,
// the chart's tool tip, "Нет данных", and the traffic of "Записывать все
// серверы".

#include "app/mainwindow.h"
#include "core/crypto/machinekey.h"
#include "core/crypto/stringcipher.h"
#include "core/history/historyfile.h"
#include "core/history/historystore.h"
#include "core/settings/settingslocation.h"
#include "eventwait.h"
#include "history/historychartview.h"
#include "history/historywindow.h"
#include "history/recordalloption.h"
#include "history/serverlistmodel.h"
#include "patience.h"
#include "tlstestserver.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

const QByteArray runningStatus
    = R"({"online":1,"data":{"s":{"name":"Arena","map":"river_port","players":"3","playersmax":"16"},)"
      R"("b":{"ip":"10.0.0.5","c_port":"27015"},"p":[]}})";

QByteArray valueIn(const QByteArray &target, const QByteArray &name)
{
    const int start = target.indexOf(name + '=');
    return start < 0 ? QByteArray() : target.mid(start + name.size() + 1).split('&').constFirst();
}

History::StatusSample status(const QString &server, qint64 time, History::State state, int players = -1, int limit = -1)
{
    return {server, time, state, players, limit, QString()};
}

} // namespace

class HistoryWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    std::unique_ptr<TlsTestServer> server;
    std::unique_ptr<MainWindow> window;
    qint64 now = 0;

    QString historyPath() const { return HistoryFile::besideSettings(SettingsLocation::filePath()); }

    void write(const QList<History::StatusSample> &statuses, const QList<History::ResourceSample> &resources = {})
    {
        HistoryStore store(historyPath());
        QCOMPARE(store.openForWriting(), HistoryStore::Outcome::Ready);
        QCOMPARE(store.write(statuses, resources), HistoryStore::Outcome::Ready);
    }

    // Servers "S0", "S1", ... with the keys "k0", "k1", ...; S0 is selected.
    void openWindow(int servers)
    {
        QSettings settings(SettingsLocation::filePath(), QSettings::IniFormat);
        settings.setValue("Main/host", QStringLiteral("127.0.0.1:%1").arg(server->port()));
        settings.setValue("Main/cacert", QStringLiteral(TEST_DATA_DIR "/localhost.crt"));
        StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
        for (int i = 0; i < servers; ++i)
            settings.setValue(QStringLiteral("Servers/S%1").arg(i), cipher.encipherText(QStringLiteral("k%1").arg(i)));
        settings.sync();
        window = std::make_unique<MainWindow>();
    }

    // Clicks "История" and waits for its first reading.
    HistoryWindow *openHistory()
    {
        window->findChild<QToolButton *>("historyButton")->click();
        auto *history = window->findChild<HistoryWindow *>();
        if (history)
            QSignalSpy(history, &HistoryWindow::shown).wait(patienceMs);
        return history;
    }

    static QAbstractItemModel *list(HistoryWindow *history)
    {
        return history->findChild<QListView *>("historyServers")->model();
    }

    static QVariant at(HistoryWindow *history, int row, int role) { return list(history)->index(row, 0).data(role); }

    // Every distinct tool tip along the chart's middle, left to right.
    static QStringList toolTips(HistoryChartView *chart)
    {
        QStringList found;
        for (int x = 0; x < chart->width(); ++x) {
            const QString text = chart->toolTipAt(QPointF(x, chart->height() / 3.0));
            if (!text.isEmpty() && !found.contains(text))
                found << text;
        }
        return found;
    }

private slots:
    void init()
    {
        QVERIFY(folder.isValid());
        for (const QString &file : QDir(folder.path()).entryList(QDir::Files))
            QFile::remove(folder.filePath(file));
        SettingsLocation::setDirectory(folder.path());
        server = std::make_unique<TlsTestServer>();
        server->setHandler([](const QByteArray &target) {
            return valueIn(target, "query") == "status" ? replyWith(runningStatus) : replyWith("{}");
        });
        QVERIFY(server->start(TEST_DATA_DIR "/localhost.crt", TEST_DATA_DIR "/localhost.key"));
        now = QDateTime::currentSecsSinceEpoch();
    }

    void cleanup()
    {
        window.reset();
        server.reset();
    }

    void listShowsEveryServerAtAGlance()
    {
        write({status("S0", now - 7200, History::Off), status("S1", now - 300, History::Running, 3, 16),
               status("Old", now - 3600, History::NoContact)});
        openWindow(2);
        window->findChild<QComboBox *>("comboBox")->setCurrentIndex(1);
        HistoryWindow *history = openHistory();
        QVERIFY(history);
        QVERIFY(history->isVisible());
        QCOMPARE(history->windowTitle(), QStringLiteral("История"));

        // The stored servers in the window's order, then the one stored no longer.
        QAbstractItemModel *model = list(history);
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(at(history, 0, Qt::DisplayRole).toString(), QStringLiteral("S0"));
        QCOMPARE(at(history, 1, Qt::DisplayRole).toString(), QStringLiteral("S1"));
        QCOMPARE(at(history, 2, Qt::DisplayRole).toString(), QStringLiteral("Old"));
        QCOMPARE(at(history, 1, ServerListModel::StoredRole).toBool(), true);
        QCOMPARE(at(history, 2, ServerListModel::StoredRole).toBool(), false);

        QCOMPARE(at(history, 1, ServerListModel::StateColourRole).value<QColor>(), QColor(0, 85, 0));
        QCOMPARE(at(history, 1, ServerListModel::AgoRole).toString(), QStringLiteral("5 мин назад"));
        QCOMPARE(at(history, 1, ServerListModel::RunningRole).toString(), QStringLiteral("работал 100 %"));
        QCOMPARE(at(history, 2, ServerListModel::StateColourRole).value<QColor>(), QColor(128, 128, 128));
        QCOMPARE(at(history, 2, ServerListModel::AgoRole).toString(), QStringLiteral("1 ч назад"));
        QVERIFY(!at(history, 1, ServerListModel::SparklineRole).value<QList<double>>().isEmpty());

        // The main window's selected server is the chosen one.
        QCOMPARE(history->chosenServer(), QStringLiteral("S1"));
        QCOMPARE(history->findChild<QListView *>("historyServers")->currentIndex().row(), 1);

        // The window follows its own new samples: S0's status reply, a
        // second later, makes it half running.
        WAIT_COMPARE(at(history, 0, ServerListModel::RunningRole).toString(), QStringLiteral("работал 50 %"));
        QCOMPARE(at(history, 0, ServerListModel::AgoRole).toString(), QStringLiteral("только что"));

        // A second click brings the same window forward.
        window->findChild<QToolButton *>("historyButton")->click();
        QCOMPARE(window->findChildren<HistoryWindow *>().size(), 1);
    }

    void periodsAndToolTip()
    {
        const qint64 threeDaysAgo = now - 3 * qint64(86400);
        write({status("S0", threeDaysAgo, History::Running, 3, 16)}, {{"S0", threeDaysAgo, 11, 22, 33, 44}});
        openWindow(1);
        HistoryWindow *history = openHistory();
        QVERIFY(history);
        history->resize(900, 560);
        auto *chart = history->findChild<HistoryChartView *>();
        QCOMPARE(history->period(), 86400);

        // Over 24 hours only the window's own sample of now is there.
        WAIT_VERIFY(chart->hasData());
        for (const QString &tip : toolTips(chart))
            QVERIFY2(!tip.contains("ЦП: 11"), qPrintable(tip));

        QSignalSpy shown(history, &HistoryWindow::shown);
        QRadioButton *week = nullptr;
        for (QRadioButton *button : history->findChildren<QRadioButton *>()) {
            if (button->text() == QStringLiteral("7 дней"))
                week = button;
        }
        QVERIFY(week);
        week->click();
        QVERIFY(shown.wait(patienceMs));
        QCOMPARE(history->period(), qint64(7) * 86400);

        // The step three days ago, in its tool tip.
        QStringList withResources;
        for (const QString &tip : toolTips(chart)) {
            if (tip.contains("ЦП: 11"))
                withResources << tip;
        }
        QCOMPARE(withResources.size(), 1);
        const QStringList lines = withResources.constFirst().split('\n');
        QVERIFY2(lines.value(0).startsWith(QDateTime::fromSecsSinceEpoch(threeDaysAgo).toString("dd.MM.yyyy")),
                 qPrintable(lines.value(0)));
        QCOMPARE(lines.mid(1),
                 QStringList({"Работает: 100 %", "Игроки: в среднем 3.0, на пике 3 из 16", "ЦП: 11.0 %, пик 11 %",
                              "Память: 22.0 %, пик 22 %", "Слоты: 33.0 %, пик 33 %", "Диск: 44.0 %, пик 44 %"}));
        // Off the chart, no tool tip.
        QCOMPARE(chart->toolTipAt(QPointF(2, 2)), QString());
    }

    void nothingRecordedYet()
    {
        // No server is stored, so the window sends and records nothing.
        openWindow(0);
        HistoryWindow *history = openHistory();
        QVERIFY(history);
        auto *chart = history->findChild<HistoryChartView *>();
        QVERIFY(!chart->hasData());
        auto *noData = chart->findChild<QLabel *>("noData");
        QVERIFY(noData->isVisible());
        QVERIFY(noData->text().contains("Нет данных"));
        QVERIFY(noData->text().contains("valmora-ctl watch"));
        QVERIFY(!QFileInfo::exists(historyPath()));
    }

    void recordingAllServersAsksOnlyForTheirStatus()
    {
        openWindow(3);
        WAIT_COMPARE(server->targets().size(), 3); // status, resources, maps of S0
        const QString state = window->findChild<QLabel *>("label_6")->text();
        const QString pane = window->findChild<QTextEdit *>("textEdit")->toPlainText();
        HistoryWindow *history = openHistory();
        QVERIFY(history);
        auto *recordAll = history->findChild<QCheckBox *>("recordAll");
        QCOMPARE(recordAll->text(), QStringLiteral("Записывать все серверы"));
        QVERIFY(!recordAll->isChecked());
        recordAll->click();

        // One status query for each other server, at once.
        WAIT_COMPARE(server->targets().size(), 5);
        QStringList asked;
        for (const QByteArray &target : server->targets().mid(3))
            asked << QString::fromLatin1(valueIn(target, "token") + ' ' + valueIn(target, "query"));
        asked.sort();
        QCOMPARE(asked, QStringList({"k1 status", "k2 status"}));

        // Recorded, and nothing of them shown.
        WAIT_VERIFY(at(history, 2, ServerListModel::StateNameRole).toString() == "Работает");
        QCOMPARE(at(history, 1, ServerListModel::StateNameRole).toString(), QStringLiteral("Работает"));
        QCOMPARE(window->findChild<QLabel *>("label_6")->text(), state);
        QCOMPARE(window->findChild<QTextEdit *>("textEdit")->toPlainText(), pane);

        // Kept in the history, not in setting.ini.
        WAIT_VERIFY(RecordAllOption::load(historyPath()));
        QSettings settings(SettingsLocation::filePath(), QSettings::IniFormat);
        QVERIFY(!settings.allKeys().join(' ').contains("record", Qt::CaseInsensitive));
    }

    void buttonKeepsTheFormsFace()
    {
        openWindow(0);
        auto *button = window->findChild<QToolButton *>("historyButton");
        QCOMPARE(button->text(), QStringLiteral("История"));
        QCOMPARE(button->parentWidget(), window->statusBar());
        QCOMPARE(window->size(), QSize(608, 432));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // The status bar is as high as an empty one, so the form keeps its room.
        QStatusBar empty;
        QCOMPARE(window->statusBar()->height(), empty.sizeHint().height());
        QCOMPARE(window->centralWidget()->height(), 432 - empty.sizeHint().height());
    }
};

QTEST_MAIN(HistoryWindowTest)
#include "tst_historywindow.moc"
