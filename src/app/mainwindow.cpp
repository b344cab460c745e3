#include "mainwindow.h"

#include "app/afterfirstpaint.h"
#include "core/api/queuedhttp.h"
#include "core/settings/filewatch.h"
#include "core/settings/settingslocation.h"
#include "forms/about.h"
#include "forms/dialog.h"
#include "history/windowhistory.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSslSocket>
#include <QStatusBar>
#include <QTimer>

namespace {

constexpr int updateIntervalMsec = 60000;

// A label shows its picture as a plain pixmap, which, unlike an icon, never
// takes the @2x file on a scaled screen. These are loaded again through an
// icon, at the window's pixel ratio, so that they stay sharp there too.
void useSharpPictures(Ui::MainWindow *ui, qreal pixelRatio)
{
    // At a ratio of 1 the form's pixmaps are those pictures already, and
    // decoding them again would only delay the first paint.
    if (pixelRatio <= 1)
        return;
    const std::pair<QLabel *, const char *> pictures[] = {
        {ui->label_2, ":/res/cpu.png"}, {ui->label_3, ":/res/memory.png"}, {ui->label_4, ":/res/users_png_1.png"},
        {ui->label_5, ":/res/hdd.png"}, {ui->label_10, ":/locked.png"},
    };
    for (const auto &[label, path] : pictures) {
        // At the size the form loaded it with.
        label->setPixmap(QIcon(QString::fromLatin1(path)).pixmap(label->pixmap().size(), pixelRatio));
    }
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    useSharpPictures(ui, devicePixelRatioF());

    // The selector is filled here, before anything listens to it, so the
    // start-up fill sends no query.
    readSettings();

    http = new QueuedHttp(this);
    // Loading the TLS backend is a fifth of the start-up's work and the
    // first picture needs none of it: the socket with the API's TLS settings
    // is made right after the first paint. The queries queued until then
    // wait for it.
    sslSocket = nullptr;
    http->hold();
    new AfterFirstPaint(this, [this] { setUpTls(); });
    connect(http, &QueuedHttp::requestFinished, this, &MainWindow::httpRequestFinished);

    connect(ui->pushButton, &QPushButton::clicked, this, &MainWindow::getStatus);
    connect(ui->pushButton_4, &QPushButton::clicked, this, &MainWindow::getStart);
    connect(ui->pushButton_5, &QPushButton::clicked, this, &MainWindow::getStop);
    connect(ui->pushButton_6, &QPushButton::clicked, this, &MainWindow::getRestart);
    connect(ui->pushButton_7, &QPushButton::clicked, this, &MainWindow::getRes);
    connect(ui->pushButton_8, &QPushButton::clicked, this, &MainWindow::getChangeMap);
    connect(ui->pushButton_9, &QPushButton::clicked, this, &MainWindow::getMaps);
    connect(ui->pushButton_10, &QPushButton::clicked, this, &MainWindow::getCmd);
    // Return in the console field sends the command like the button does;
    // the field itself never adds the text to the history, getCmd() does.
    ui->comboBox_3->setInsertPolicy(QComboBox::NoInsert);
    connect(ui->comboBox_3->lineEdit(), &QLineEdit::returnPressed, this, &MainWindow::getCmd);

    dialog = new Dialog(this);
    connect(ui->pushButton_2, &QPushButton::clicked, dialog, &Dialog::show);
    connect(dialog, &Dialog::serverEntered, this, &MainWindow::addServer);
    connect(ui->pushButton_3, &QPushButton::clicked, this, &MainWindow::deleteServer);
    about = new About(this);
    connect(ui->pushButton_11, &QPushButton::clicked, about, &About::show);

    connect(ui->comboBox, &QComboBox::currentIndexChanged, this, &MainWindow::fullUpdate);

    updateTimer = new QTimer(this);
    connect(updateTimer, &QTimer::timeout, this, &MainWindow::refreshOnTick);
    updateTimer->start(updateIntervalMsec);

    // Before the first queries, so that their replies are recorded too.
    new WindowHistory(
        this, ui->statusBar, ui->comboBox, [this] { return servers; }, apiEndpoint);

    currentMap = QString();
    fullUpdate();
    createTrayIcon();

    // The command-line tool and other copies write the same file.
    auto *settingsWatch = new FileWatch(SettingsLocation::filePath(), this);
    connect(settingsWatch, &FileWatch::changed, this, &MainWindow::takeInSettingsChanges);
}

MainWindow::~MainWindow()
{
    // The save reads the console history from the form, so it runs first.
    saveSettings();
    delete ui;
}

void MainWindow::setUpTls()
{
    const QString problem = apiEndpoint.parsePendingCaCertificates();
    if (!problem.isEmpty()) {
        qWarning("%s", qUtf8Printable(problem));
        statusBar()->showMessage(problem);
    }
    sslSocket = new QSslSocket(this);
    sslSocket->setSslConfiguration(apiEndpoint.sslConfiguration());
    http->release();
}

void MainWindow::createTrayIcon()
{
    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setIcon(QIcon(QStringLiteral(":/games.png")));
    connect(trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::clickTray);
    trayIcon->setVisible(true);
}

void MainWindow::refreshOnTick()
{
    // A service that accepts connections but never answers holds every query
    // until its time-out, longer than a refresh period: queuing a refresh on
    // every tick would pile them up and fire them all when it answers again.
    if (refreshedServer == ui->comboBox->currentText() && requestQueries.contains(lastRefreshQueryId))
        return;
    fullUpdate();
}

void MainWindow::clickTray(QSystemTrayIcon::ActivationReason r)
{
    Q_UNUSED(r)
    if (dialog->isVisible())
        dialog->close();
    if (about->isVisible())
        about->close();
    setVisible(!isVisible());
}
