// Reply handling: the window's own path from a finished body to its widgets,
// timed in this process on a shown window.

#include "app/mainwindow.h"
#include "benches.h"
#include "core/settings/settingslocation.h"
#include "replybodies.h"
#include "resulttable.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTextEdit>
#include <QWindow>

#include <functional>
#include <memory>

namespace {

constexpr double targetMs = 1.0;
constexpr int batches = 31;
constexpr int callsPerBatch = 20;

using Call = std::function<void(const QByteArray &)>;

// Median time of one call of each of `calls`, over batches of calls; each
// call gets the next body of `bodies` in turn. The batches of the different
// calls take turns, so a busy machine's noise falls on all of them alike.
QVector<double> medianCallMs(const QList<QByteArray> &bodies, const QList<Call> &calls)
{
    QVector<QVector<double>> perCall(calls.size());
    for (int batch = -1; batch < batches; ++batch) { // batch -1 warms up
        for (int c = 0; c < calls.size(); ++c) {
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < callsPerBatch; ++i)
                calls.at(c)(bodies.at(i % bodies.size()));
            if (batch >= 0)
                perCall[c] << double(timer.nsecsElapsed()) / 1e6 / callsPerBatch;
        }
    }
    QVector<double> medians;
    for (const QVector<double> &samples : perCall)
        medians << median(samples);
    return medians;
}

void waitUntilExposed(QWidget &window)
{
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && !(window.windowHandle() && window.windowHandle()->isExposed()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
}

struct Case
{
    QString label;
    QString kind;
    QList<QByteArray> bodies;
    bool hasTarget;
};

} // namespace

void runReplyBench(const BenchContext &context, ResultTable &table)
{
    // No servers in the settings: nothing goes out on the network.
    QDir(context.workDirectory).mkpath(QStringLiteral("reply"));
    SettingsLocation::setDirectory(QDir(context.workDirectory).filePath(QStringLiteral("reply")));
    auto window = std::make_unique<MainWindow>();
    window->show();
    waitUntilExposed(*window);

    const QList<Case> cases = {
        {QStringLiteral("status, 64 players"),
         QStringLiteral("status"),
         {ReplyBodies::status(64, 0), ReplyBodies::status(64, 1)},
         true},
        {QStringLiteral("maps, 200 maps"),
         QStringLiteral("getmaps"),
         {ReplyBodies::maps(200, 0), ReplyBodies::maps(200, 1)},
         false},
        {QStringLiteral("resources"),
         QStringLiteral("getresources"),
         {ReplyBodies::resources(0), ReplyBodies::resources(1)},
         false},
    };

    // Every reply is also shown raw in the debug pane; how much of the
    // handling that is, is timed on its own.
    auto *debugPane = window->findChild<QTextEdit *>(QStringLiteral("textEdit"));

    using R = ResultTable;
    for (const Case &c : cases) {
        MainWindow *w = window.get();
        const QVector<double> times
            = medianCallMs(c.bodies,
                           {
                               [&](const QByteArray &body) { w->handleReply(c.kind, body); },
                               // The same, each reply followed by the window's repaint of what changed.
                               [&](const QByteArray &body) {
                                   w->handleReply(c.kind, body);
                                   QCoreApplication::processEvents();
                               },
                               [&](const QByteArray &body) { debugPane->setPlainText(QString::fromUtf8(body)); },
                               [](const QByteArray &body) {
                                   volatile bool isObject = QJsonDocument::fromJson(body).isObject();
                                   Q_UNUSED(isObject)
                               },
                           });
        const double handled = times.at(0);
        const double painted = times.at(1);
        const double rawText = times.at(2);
        const double parsed = times.at(3);

        const QString target = c.hasTarget ? QStringLiteral("< %1 ms").arg(targetMs, 0, 'f', 1) : QString();
        table.add({QStringLiteral("reply"), c.label + QStringLiteral(": body to widgets"),
                   R::number(handled, 3) + QStringLiteral(" ms"),
                   QStringLiteral("JSON parse ") + R::number(parsed, 3) + QStringLiteral(" ms"),
                   R::number(handled / parsed), target, c.hasTarget ? R::verdict(handled < targetMs) : R::NoTarget});
        table.add({QStringLiteral("reply"), c.label + QStringLiteral(": of which raw text in debug pane"),
                   R::number(rawText, 3) + QStringLiteral(" ms"), QString(),
                   R::number(rawText / handled) + QStringLiteral(" of it"), QString(), R::NoTarget});
        table.add({QStringLiteral("reply"), c.label + QStringLiteral(": and repainted"),
                   R::number(painted, 3) + QStringLiteral(" ms"), QString(), QString(), QString(), R::NoTarget});
    }
    table.addNote(QStringLiteral("reply: median per reply over %1 batches of %2, bodies of %3 / %4 / %5 bytes; "
                                 "ratio = handling time / bare JSON parse of the same body")
                      .arg(batches)
                      .arg(callsPerBatch)
                      .arg(cases[0].bodies[0].size())
                      .arg(cases[1].bodies[0].size())
                      .arg(cases[2].bodies[0].size()));

    window.reset();
    SettingsLocation::setDirectory(QString());
}
