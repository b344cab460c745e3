// One running copy of the program per settings file: a second start with the
// same file brings the running window forward and ends, another file gets a
// window of its own, and a copy that was killed does not stand in the way.
// Its socket lies where nobody but the user can put one (Unix systems), and
// only an answer of the user's own account counts (Windows).

#include "app/mainwindow.h"
#include "app/runningcopy.h"
#include "app/windowfront.h"
#include "core/settings/settingslocation.h"
#include "patience.h"

#ifdef Q_OS_UNIX
#include "app/runningcopyfolder.h"
#include "filemode.h"

#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include "core/settings/windowsuser.h"

#include <QLocalServer>
#endif

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Only bounds a start that hangs: under Wine on a busy machine a Windows
// program takes many seconds to start and end.
constexpr int startMsec = 2 * patienceMs;

#ifdef Q_OS_UNIX
// What decides the socket's folder.
const char *const folderVariables[] = {"XDG_RUNTIME_DIR", "TMPDIR", "XDG_CACHE_HOME"};

// Longer in bytes than a socket's path may be, with a socket's name in it.
const QString longName = QStringLiteral("Папка-с-очень-длинным-именем-пользователя-Иванова");
#endif

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

#ifdef Q_OS_UNIX
    QMap<QByteArray, QByteArray> environment; // the folder variables as the test began

    // A new folder in the test's folder, with this mode.
    QString makeFolder(const QString &name, mode_t mode) const
    {
        const QString path = folder.filePath(name);
        return QDir().mkpath(path) && setFileMode(path, mode) ? path : QString();
    }
#endif

private slots:
    void initTestCase()
    {
#ifdef Q_OS_UNIX
        for (const char *name : folderVariables)
            environment.insert(name, qgetenv(name));
#endif
    }

    void cleanup()
    {
        for (QProcess *process : qAsConst(started)) {
            process->kill();
            process->waitForFinished();
            delete process;
        }
        started.clear();
#ifdef Q_OS_UNIX
        for (auto it = environment.cbegin(); it != environment.cend(); ++it) {
            if (it.value().isNull())
                qunsetenv(it.key().constData());
            else
                qputenv(it.key().constData(), it.value());
        }
#endif
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

    void socketLiesInAFolderOfTheUsersAlone_data()
    {
        QTest::addColumn<QString>("runtime"); // XDG_RUNTIME_DIR: none, "own", "open" to others, "long"
        QTest::addColumn<bool>("temporaryTaken"); // "valmora-panel-<uid>" in the temporary folder: another's
        QTest::addColumn<QString>("expected"); // "runtime", "temporary", "cache"
        QTest::newRow("the runtime folder") << "own" << false << "runtime";
        QTest::newRow("a runtime folder others may write to") << "open" << false << "temporary";
        QTest::newRow("a runtime folder too long for a socket") << "long" << false << "temporary";
        QTest::newRow("no runtime folder") << QString() << false << "temporary";
        QTest::newRow("the temporary one taken") << QString() << true << "cache";
    }

    void socketLiesInAFolderOfTheUsersAlone()
    {
#ifndef Q_OS_UNIX
        QSKIP("Unix systems only: a named pipe has no folder");
#else
        QFETCH(QString, runtime);
        QFETCH(bool, temporaryTaken);
        QFETCH(QString, expected);
        const QMap<QString, QString> runtimes = {{QStringLiteral("own"), makeFolder(QStringLiteral("run"), 0700)},
                                                 {QStringLiteral("open"), makeFolder(QStringLiteral("open"), 0777)},
                                                 {QStringLiteral("long"), makeFolder(longName, 0700)}};
        if (runtime.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimes.value(runtime)));
        const QString temporary = makeFolder(QStringLiteral("tmp"), 01777);
        qputenv("TMPDIR", QFile::encodeName(temporary));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(file("cache")));
        const QString own = QStringLiteral("valmora-panel-%1").arg(::geteuid());
        // A folder that others may write to stands for one of another
        // account, which only root could make.
        if (temporaryTaken)
            QVERIFY(!makeFolder(QStringLiteral("tmp/") + own, 0777).isEmpty());

        const QString settings = file("placed.ini");
        const QString socket = RunningCopy::socketName(settings);
        const QMap<QString, QString> folders = {{QStringLiteral("runtime"), runtimes.value(QStringLiteral("own"))},
                                                {QStringLiteral("temporary"), QDir(temporary).filePath(own)},
                                                {QStringLiteral("cache"), file("cache/valmora-panel")}};
        QCOMPARE(QFileInfo(socket).path(), folders.value(expected));
        QVERIFY(QFile::encodeName(socket).size() <= RunningCopyFolder::maxSocketPathBytes);
        QCOMPARE(fileMode(QFileInfo(socket).path()) & 0077, 0);

        // The program started with these variables serves where the test looks.
        QProcess *copy = launch(settings);
        QTRY_VERIFY_WITH_TIMEOUT(answers(settings), startMsec);
        QCOMPARE(copy->state(), QProcess::Running);
#endif
    }

    void withoutSuchAFolderTheProgramRunsAlone()
    {
#ifndef Q_OS_UNIX
        QSKIP("Unix systems only: a named pipe has no folder");
#else
        qunsetenv("XDG_RUNTIME_DIR");
        const QString temporary = makeFolder(QStringLiteral("tmp"), 01777);
        qputenv("TMPDIR", QFile::encodeName(temporary));
        QVERIFY(!makeFolder(QStringLiteral("tmp/valmora-panel-%1").arg(::geteuid()), 0777).isEmpty());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(makeFolder(longName, 0700)));

        const QString settings = file("alone.ini");
        QCOMPARE(RunningCopy::socketName(settings), QString());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^No folder of this user's alone")));
        RunningCopy copy(settings);
        QCOMPARE(copy.start(), RunningCopy::Alone);
#endif
    }

    void onlyAnAnswerOfThisAccountCounts()
    {
#ifndef Q_OS_WIN
        QSKIP("Windows only: on Unix systems nobody else can put a socket into the user's folder");
#else
        const QString me = WindowsUser::current();
        QVERIFY2(me.startsWith(QStringLiteral("S-1-")), qPrintable(me));
        QVERIFY(WindowsUser::sameAccount(me, WindowsUser::ofProcess(quint32(QCoreApplication::applicationPid()))));
        // Accounts are compared, not texts; nothing that is no SID matches.
        QVERIFY(WindowsUser::sameAccount(QStringLiteral("SY"), QStringLiteral("S-1-5-18")));
        QVERIFY(!WindowsUser::sameAccount(me, QStringLiteral("S-1-5-18")));
        QVERIFY(!WindowsUser::sameAccount(me, QStringLiteral("S-1-5-21-1-2-3-1001")));
        QVERIFY(!WindowsUser::sameAccount(QString(), QString()));
        QVERIFY(!WindowsUser::sameAccount(QStringLiteral("nobody"), QStringLiteral("nobody")));

        // The account of a pipe's server, as a later start reads it.
        QLocalServer server;
        QVERIFY(server.listen(QStringLiteral("valmora-panel-test-%1").arg(QCoreApplication::applicationPid())));
        QLocalSocket socket;
        socket.connectToServer(server.serverName());
        QVERIFY(socket.waitForConnected(startMsec));
        QVERIFY(WindowsUser::sameAccount(WindowsUser::ofPipeServer(socket.socketDescriptor()), me));
#endif
    }
};

QTEST_MAIN(RunningCopyTest)
#include "tst_runningcopy.moc"
