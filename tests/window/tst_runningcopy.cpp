// One running copy of the program per settings file: a second start with the
// same file brings the running window forward and ends, another file gets a
// window of its own, and a copy that was killed does not stand in the way.

#include "app/mainwindow.h"
#include "app/runningcopy.h"
#include "app/windowfront.h"
#include "core/settings/settingslocation.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Only bounds a start that hangs: under Wine on a busy machine a Windows
// program takes many seconds to start and end.
constexpr int startMsec = 60000;

} // namespace

class RunningCopyTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    QList<QProcess *> started;

    QString file(const char *name) const { return folder.filePath(QString::fromLatin1(name)); }

    // Starts the program on a settings file; it runs until cleanup().
    QProcess *launch(const QString &settings)
    {
        auto *process = new QProcess(this);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(PANEL_EXECUTABLE), {QStringLiteral("--settings"), settings});
        started << process;
        return process;
    }

    // True when a copy of the program answers for the settings file.
    static bool answers(const QString &settings)
    {
        QLocalSocket socket;
        socket.connectToServer(RunningCopy::socketName(settings));
        return socket.waitForConnected(200);
    }

private slots:
    void cleanup()
    {
        for (QProcess *process : qAsConst(started)) {
            process->kill();
            process->waitForFinished();
            delete process;
        }
        started.clear();
    }

    void secondStartBringsTheRunningWindowForward()
    {
        const QString settings = file("first.ini");
        SettingsLocation::setFilePath(settings);
        RunningCopy copy(settings);
        QCOMPARE(copy.start(), RunningCopy::Serving);
        MainWindow window;
        connect(&copy, &RunningCopy::showRequested, &window, [&window] { bringToFront(&window); });
        window.show();

        const std::function<void()> putAway[] = {[&] { window.hide(); }, [&] { window.showMinimized(); }};
        for (const auto &away : putAway) {
            away();
            QVERIFY(!window.isVisible() || window.isMinimized());
            QProcess *second = launch(settings);
            // The event loop runs meanwhile, so this copy can answer.
            QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, startMsec);
            QCOMPARE(second->exitStatus(), QProcess::NormalExit);
            QCOMPARE(second->exitCode(), 0);
            QTRY_VERIFY(window.isVisible() && !window.isMinimized());
        }

        // Help, the version and mistakes are answered as ever, by the new start.
        const QList<QPair<QStringList, int>> answered = {{{"--version"}, 0}, {{"--help"}, 0}, {{"--bogus"}, 2}};
        for (const auto &[arguments, exitCode] : answered) {
            QProcess asked;
            asked.start(QStringLiteral(PANEL_EXECUTABLE),
                        QStringList {QStringLiteral("--settings"), settings} + arguments);
            QVERIFY(asked.waitForFinished(startMsec));
            QCOMPARE(asked.exitCode(), exitCode);
            QVERIFY(!(asked.readAllStandardOutput() + asked.readAllStandardError()).isEmpty());
        }
        SettingsLocation::setFilePath(QString());
    }

    void anotherFileOpensItsOwnWindow()
    {
        QProcess *first = launch(file("one.ini"));
        QTRY_VERIFY_WITH_TIMEOUT(answers(file("one.ini")), startMsec);
        QProcess *other = launch(file("other.ini"));
        QTRY_VERIFY_WITH_TIMEOUT(answers(file("other.ini")), startMsec);
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(other->state(), QProcess::Running);
    }

    void killedCopyDoesNotStandInTheWay()
    {
        const QString settings = file("killed.ini");
        QProcess *killed = launch(settings);
        QTRY_VERIFY_WITH_TIMEOUT(answers(settings), startMsec);
        killed->kill(); // SIGKILL: nothing is cleaned up
        QVERIFY(killed->waitForFinished(startMsec));

        QProcess *next = launch(settings);
        QTRY_VERIFY_WITH_TIMEOUT(answers(settings), startMsec);
        QCOMPARE(next->state(), QProcess::Running);
    }
};

QTEST_MAIN(RunningCopyTest)
#include "tst_runningcopy.moc"
