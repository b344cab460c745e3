// The program as started from a shell: --help, --version and mistakes
// answered without a display, and where it keeps setting.ini, tried as an
// ordinary user who cannot write the program's folder.

#include "filemode.h"
#include "machinekey.h"
#include "mainwindow.h"
#include "stringcipher.h"

#include <QComboBox>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

// The user the program is tried as when the tests run as root, who may
// write anywhere: "nobody" on Debian.
constexpr uid_t unprivilegedId = 65534;

// Set in the copy of this test that runs as that user.
const char *const childPhase = "VALMORA_TEST_PHASE";

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

private:
    QScopedPointer<QTemporaryDir> programFolder; // holds a copy of the program
    QScopedPointer<QTemporaryDir> configHome; // the user's configuration folder

    static bool isRoot() { return ::geteuid() == 0; }

    // Copies an executable into the program folder.
    bool install(const QString &executable)
    {
        const QString copy = programFolder->filePath(QFileInfo(executable).fileName());
        return QFile::copy(executable, copy) && setFileMode(copy, 0755);
    }

    // The program folder as an ordinary user finds it: readable, not writable.
    // Root's folder is that already for the unprivileged user.
    bool lockProgramFolder() { return setFileMode(programFolder->path(), isRoot() ? 0755 : 0555); }

    // Runs a program as an ordinary user with no display, the configuration
    // folder pointed at configHome, `input` on its standard input.
    Outcome run(const QString &program, const QStringList &arguments,
                const QProcessEnvironment &extra = QProcessEnvironment(), const QByteArray &input = QByteArray())
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("HOME"), configHome->path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome->path());
        for (const QString &name : extra.keys())
            environment.insert(name, extra.value(name));

        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(configHome->path());
        if (isRoot()) {
            process.setProgram(QStringLiteral("setpriv"));
            process.setArguments(QStringList {QStringLiteral("--reuid=%1").arg(unprivilegedId),
                                              QStringLiteral("--regid=%1").arg(unprivilegedId),
                                              QStringLiteral("--clear-groups"), QStringLiteral("--"), program}
                                 + arguments);
        } else {
            process.setProgram(program);
            process.setArguments(arguments);
        }
        process.start();
        process.write(input);
        process.closeWriteChannel();
        Outcome outcome;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return outcome;
        outcome.exitCode = process.exitCode();
        outcome.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        outcome.err = QString::fromLocal8Bit(process.readAllStandardError());
        return outcome;
    }

    Outcome runPanel(const QStringList &arguments)
    {
        return run(programFolder->filePath(QStringLiteral("valmora-panel")), arguments);
    }

    // The settings file the help of a program in the program folder names
    // as the one in use.
    QString fileInUse(const QString &program = QStringLiteral("valmora-panel"))
    {
        const Outcome outcome = run(programFolder->filePath(program), {QStringLiteral("--help")});
        // The words and the path may stand on several lines; the path is never broken.
        const QString help = outcome.out.simplified();
        const QString marker = QStringLiteral("In use now: ");
        const int at = help.indexOf(marker);
        if (outcome.exitCode != 0 || at < 0)
            return QStringLiteral("(no file named: exit %1) %2").arg(outcome.exitCode).arg(outcome.out + outcome.err);
        return help.mid(at + marker.size()).section(QLatin1Char(' '), 0, 0);
    }

    QString perUserFile() const { return configHome->filePath(QStringLiteral("valmora-panel/setting.ini")); }

private slots:
    void init()
    {
        if (qEnvironmentVariableIsSet(childPhase))
            return;
        if (isRoot() && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("running as root without setpriv to become an ordinary user");
        programFolder.reset(new QTemporaryDir);
        configHome.reset(new QTemporaryDir);
        QVERIFY(programFolder->isValid() && configHome->isValid());
        // The ordinary user must reach the program and own his configuration folder.
        QVERIFY(setFileMode(programFolder->path(), 0755));
        if (isRoot())
            QCOMPARE(::chown(QFile::encodeName(configHome->path()).constData(), unprivilegedId, unprivilegedId), 0);
        QVERIFY(install(QStringLiteral(PANEL_EXECUTABLE)));
    }

    void cleanup()
    {
        // Writable again, so that the folder can be removed.
        if (programFolder)
            setFileMode(programFolder->path(), 0700);
    }

    void versionAndHelpNeedNoDisplay()
    {
        const Outcome version = runPanel({QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral("valmora-panel 1.0\n"));

        const Outcome help = runPanel({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.contains(QStringLiteral("--settings <FILE>")), qPrintable(help.out));
        QVERIFY(help.out.contains(QStringLiteral("--version")));
    }

    void mistakesAreNamedWithoutOpeningAWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("unknown option") << QStringList {"--bogus"} << "bogus";
        QTest::newRow("stray argument") << QStringList {"extra"} << "extra";
        QTest::newRow("settings without a file") << QStringList {"--settings"} << "settings";
    }

    void mistakesAreNamedWithoutOpeningAWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        // Without a display a window could not open: Qt would abort instead.
        const Outcome outcome = runPanel(arguments);
        QCOMPARE(outcome.exitCode, 2);
        QVERIFY(outcome.out.isEmpty());
        QVERIFY2(outcome.err.contains(named) && outcome.err.contains(QStringLiteral("--help")),
                 qPrintable(outcome.err));
    }

    void settingsFileIsChosenInOrder()
    {
        // A file named on the command line comes first, made absolute.
        const Outcome named
            = runPanel({QStringLiteral("--settings"), QStringLiteral("mine.ini"), QStringLiteral("--help")});
        QVERIFY2(named.out.contains(QStringLiteral("In use now:\n")), qPrintable(named.out));
        QVERIFY2(named.out.contains(configHome->filePath(QStringLiteral("mine.ini"))), qPrintable(named.out));

        // A folder the user cannot write: the user's configuration folder...
        QVERIFY(lockProgramFolder());
        QCOMPARE(fileInUse(), perUserFile());

        // ...unless setting.ini is there already.
        const QString beside = programFolder->filePath(QStringLiteral("setting.ini"));
        QVERIFY(setFileMode(programFolder->path(), 0700) && QFile(beside).open(QIODevice::WriteOnly));
        QVERIFY(lockProgramFolder());
        QCOMPARE(fileInUse(), beside);

        // A folder the user can write gets a new file beside the program.
        QVERIFY(setFileMode(programFolder->path(), 0700) && QFile::remove(beside));
        if (isRoot())
            QCOMPARE(::chown(QFile::encodeName(programFolder->path()).constData(), unprivilegedId, unprivilegedId), 0);
        QCOMPARE(fileInUse(), beside);
    }

    // valmora-ctl beside the window's program chooses the same file, and the
    // window finds what it stores there.
    void commandLineToolSharesTheWindowsFile()
    {
        const QString tool = QStringLiteral("valmora-ctl");
        QVERIFY(install(QStringLiteral(CTL_EXECUTABLE)));
        QVERIFY(install(QCoreApplication::applicationFilePath()));
        QVERIFY(lockProgramFolder());
        QCOMPARE(fileInUse(tool), perUserFile());
        QCOMPARE(fileInUse(), perUserFile());

        const Outcome added = run(programFolder->filePath(tool), {QStringLiteral("add"), QStringLiteral("Arena")},
                                  QProcessEnvironment(), "arena-key\n");
        QVERIFY2(added.exitCode == 0, qPrintable(added.out + added.err));
        QCOMPARE(fileMode(perUserFile()), 0600);
        QCOMPARE(fileMode(QFileInfo(perUserFile()).path()), 0700);
        QSettings settings(perUserFile(), QSettings::IniFormat);
        StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
        QCOMPARE(cipher.decipherText(settings.value(QStringLiteral("Servers/Arena")).toString()),
                 QStringLiteral("arena-key"));

        QProcessEnvironment environment;
        environment.insert(QString::fromLatin1(childPhase), QStringLiteral("check"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString test = programFolder->filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        const Outcome found = run(test, {QStringLiteral("perUserFileKeepsServersAcrossRestarts")}, environment);
        QVERIFY2(found.exitCode == 0, qPrintable(found.out + found.err));

        // A setting.ini beside them is the file of both.
        const QString beside = programFolder->filePath(QStringLiteral("setting.ini"));
        QVERIFY(setFileMode(programFolder->path(), 0700) && QFile(beside).open(QIODevice::WriteOnly));
        QVERIFY(lockProgramFolder());
        QCOMPARE(fileInUse(tool), beside);
        QCOMPARE(fileInUse(), beside);
    }

    // Run twice as the ordinary user, from a copy of this test in a folder
    // he cannot write: the first run adds a server, the second finds it.
    void perUserFileKeepsServersAcrossRestarts()
    {
        const QByteArray phase = qgetenv(childPhase);
        if (!phase.isEmpty()) {
            QCoreApplication::setApplicationName(QStringLiteral("valmora-panel"));
            MainWindow window;
            auto *selector = window.findChild<QComboBox *>(QStringLiteral("comboBox"));
            if (phase == "add") {
                QCOMPARE(selector->count(), 0);
                window.addServer(QStringLiteral("Arena"), QStringLiteral("arena-key"));
            } else {
                QCOMPARE(selector->count(), 1);
                QCOMPARE(selector->itemText(0), QStringLiteral("Arena"));
            }
            return;
        }

        QVERIFY(install(QCoreApplication::applicationFilePath()));
        QVERIFY(lockProgramFolder());
        const QString test = programFolder->filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        for (const char *step : {"add", "check"}) {
            QProcessEnvironment environment;
            environment.insert(QString::fromLatin1(childPhase), QString::fromLatin1(step));
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            const Outcome outcome = run(test, {QStringLiteral("perUserFileKeepsServersAcrossRestarts")}, environment);
            QVERIFY2(outcome.exitCode == 0, qPrintable(step + QStringLiteral(": ") + outcome.out + outcome.err));
        }

        QCOMPARE(QDir(programFolder->path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("setting")),
                 QStringList());
        QCOMPARE(fileMode(perUserFile()), 0600);
        QCOMPARE(fileMode(QFileInfo(perUserFile()).path()), 0700);
        QSettings settings(perUserFile(), QSettings::IniFormat);
        StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
        QCOMPARE(cipher.decipherText(settings.value(QStringLiteral("Servers/Arena")).toString()),
                 QStringLiteral("arena-key"));
    }
};

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
