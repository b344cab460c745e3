// Queries to the hosting API and the display of their replies.

#include "app/mainwindow.h"

#include "api/playeritem.h"
#include "core/api/apiquery.h"
#include "core/api/queuedhttp.h"
#include "core/api/replyreader.h"
#include "core/api/serverstate.h"
#include "core/api/statusreply.h"
#include "ui_mainwindow.h"

#include <QHash>
#include <QSslSocket>

using namespace ReplyReader;

namespace {

void showGauge(QProgressBar *bar, const QVariant &percent, const QString &toolTip)
{
    // The figure is shown as sent; the bar itself cannot show a value
    // outside its range, so it is clamped rather than left stale.
    bar->setValue(qBound(bar->minimum(), integer(percent), bar->maximum()));
    bar->setToolTip(toolTip);
}

} // namespace

int MainWindow::sendQuery(const QString &kind, const QString &parameter, const QString &value)
{
    const QString name = ui->comboBox->currentText();
    if (name.isEmpty())
        return 0;
    const QString key = servers.value(name);

    // Read when the operation runs: the first queries are queued before
    // `sslSocket` exists.
    http->setSslConfiguration([this] { return sslSocket->sslConfiguration(); });
    http->setHost(apiEndpoint.host, QueuedHttp::ConnectionModeHttps, apiEndpoint.port);

    const int id = http->get(ApiQuery::path(key, kind, parameter, value));
    requestQueries.insert(id, kind);
    emit querySent(id, name, kind);
    return id;
}

void MainWindow::getStatus()
{
    sendQuery(ApiQuery::status);
}

void MainWindow::getStart()
{
    sendQuery(ApiQuery::start);
}

void MainWindow::getStop()
{
    sendQuery(ApiQuery::stop);
}

void MainWindow::getRestart()
{
    sendQuery(ApiQuery::restart);
}

void MainWindow::getMaps()
{
    sendQuery(ApiQuery::maps);
}

void MainWindow::getRes()
{
    sendQuery(ApiQuery::resources);
}

void MainWindow::getChangeMap()
{
    sendQuery(ApiQuery::changeMap, ApiQuery::mapParameter, ui->comboBox_2->currentText());
}

void MainWindow::getCmd()
{
    const QString command = ui->comboBox_3->currentText();

    // The history keeps at most nine commands, newest first; a longer
    // history loaded from the settings file is not cut down.
    ui->comboBox_3->insertItem(0, command);
    ui->comboBox_3->setCurrentIndex(-1);
    if (ui->comboBox_3->count() > 9)
        ui->comboBox_3->removeItem(ui->comboBox_3->count() - 1);

    sendQuery(ApiQuery::console, ApiQuery::commandParameter, command);
}

void MainWindow::fullUpdate()
{
    if (ui->comboBox->currentText().isEmpty())
        return;
    getStatus();
    getRes();
    getMaps();
    // Ids only grow, so the newest recorded query is this update's last.
    refreshedServer = ui->comboBox->currentText();
    lastRefreshQueryId = requestQueries.lastKey();
}

void MainWindow::httpRequestFinished(int requestId, bool error)
{
    // The socket and host steps of a query were never recorded and end here.
    if (!requestQueries.contains(requestId))
        return;
    const QString kind = requestQueries.take(requestId);
    emit queryFinished(requestId, HttpExchange::take(*http, error));
    if (error)
        return;
    handleReply(kind, http->readAll());
}

void MainWindow::handleReply(const QString &kind, const QByteArray &body)
{
    QVariantMap reply;
    if (!parse(body, &reply)) {
        ui->textEdit->setPlainText(QStringLiteral("ERROR!"));
        return;
    }
    ui->textEdit->setPlainText(QString::fromUtf8(body));

    // The kinds with a display of their own; actions are only shown raw.
    using Display = void (MainWindow::*)(const QVariantMap &);
    static const QHash<QString, Display> displays = {
        {ApiQuery::status, &MainWindow::showStatus},
        {ApiQuery::maps, &MainWindow::showMaps},
        {ApiQuery::resources, &MainWindow::showRes},
    };
    if (const Display display = displays.value(kind))
        (this->*display)(reply);
}

QStringList MainWindow::getStatusName(int id)
{
    switch (id) {
    case ServerState::Running:
        return {ServerState::name(id), QStringLiteral("color: rgb(0, 85, 0);")};
    case ServerState::Starting:
        return {ServerState::name(id), QStringLiteral("color: rgb(255, 170, 0);")};
    default: // off, or a state not known
        return {ServerState::name(id), QStringLiteral("color: rgb(170, 0, 0);")};
    }
}

void MainWindow::showStatus(const QVariantMap &reply)
{
    const StatusReply status = StatusReply::read(reply);
    ui->label->setText(status.name);
    currentMap = status.map;
    ui->label_7->setText(status.address());

    const QStringList state = getStatusName(status.online);
    ui->label_6->setText(state.at(0));
    ui->label_6->setStyleSheet(state.at(1));

    ui->label_9->setText(tr("Игроки: ") + status.players + QLatin1Char('/') + status.playersMax);
    ui->label_10->setVisible(status.password);

    ui->treeWidget->clear();
    for (const StatusReply::Player &player : status.roster) {
        auto *row = new PlayerItem(ui->treeWidget);
        row->setText(0, player.name);
        row->setText(1, player.score);
        row->setText(2, player.time);
    }

    setCurrentMap();
}

void MainWindow::setCurrentMap()
{
    const int index = ui->comboBox_2->findText(currentMap, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        ui->comboBox_2->setCurrentIndex(index);
}

void MainWindow::showMaps(const QVariantMap &reply)
{
    ui->comboBox_2->clear();
    ui->comboBox_2->insertItems(0, textList(reply.value(QStringLiteral("maps"))));
    setCurrentMap();
}

void MainWindow::showRes(const QVariantMap &reply)
{
    // A gauge repaints at once on every new value; four of them are drawn
    // together instead.
    ui->groupBox->setUpdatesEnabled(false);
    const QString of = tr(" из ");
    showGauge(ui->progressBar, reply.value(QStringLiteral("cpu_proc")),
              text(reply.value(QStringLiteral("cpu_proc"))) + QLatin1Char('%'));
    showGauge(ui->progressBar_2, reply.value(QStringLiteral("mem_proc")),
              text(reply.value(QStringLiteral("mem_used"))) + of + text(reply.value(QStringLiteral("mem_quota"))));
    showGauge(ui->progressBar_3, reply.value(QStringLiteral("players_proc")),
              text(reply.value(QStringLiteral("players"))) + of + text(reply.value(QStringLiteral("players_max"))));
    showGauge(ui->progressBar_4, reply.value(QStringLiteral("disk_proc")),
              text(reply.value(QStringLiteral("disk_used"))) + of + text(reply.value(QStringLiteral("disk_quota"))));
    ui->groupBox->setUpdatesEnabled(true);
}
