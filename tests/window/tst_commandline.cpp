// The program as started from a shell: --help, --version and mistakes
// answered without a display, and where it keeps setting.ini, tried as an
// ordinary user who cannot write the program's folder.
//
// On Windows the test cannot close a folder to its own user (it sets the
// read-only attribute, which only some systems heed for folders): where the
// folder stays open, the steps that need a closed one skip and say why.

#include "app/mainwindow.h"
#include "core/crypto/machinekey.h"
#include "core/crypto/stringcipher.h"
#include "filemode.h"

#include <QComboBox>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The user the program is tried as when the tests run as root, who may
// write anywhere: "nobody" on Debian.
constexpr uid_t unprivilegedId = 65534;
#endif

// Why a step that needs a closed program folder cannot be taken.
const char *const openFolderReason
    = "the program folder stays writable to this user here (Windows and Wine ignore a folder's read-only "
      "attribute, and root may write anywhere), so the configuration folder is never chosen; "
      "scripts/check-windows.sh sees it with the installed program run as an ordinary user";

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

    static bool isRoot()
    {
#ifdef Q_OS_UNIX
        return ::geteuid() == 0;
#else
        return false; // there is no root; an administrator is an ordinary user until elevated
#endif
    }

    // Makes the program folder readable and writable by this user again.
    bool openProgramFolder()
    {
#ifdef Q_OS_UNIX
        return setFileMode(programFolder->path(), 0700);
#else
        return QFile::setPermissions(programFolder->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
    }

    // Copies an executable into the program folder.
    bool install(const QString &executable)
    {
        const QString copy = programFolder->filePath(QFileInfo(executable).fileName());
#ifdef Q_OS_UNIX
        return QFile::copy(executable, copy) && setFileMode(copy, 0755);
#else
        return QFile::copy(executable, copy);
#endif
    }

    // The program folder as an ordinary user finds it: readable, not writable.
    // Root's folder is that already for the unprivileged user.
    bool lockProgramFolder()
    {
#ifdef Q_OS_UNIX
        return setFileMode(programFolder->path(), isRoot() ? 0755 : 0555);
#else
        return QFile::setPermissions(programFolder->path(), QFile::ReadOwner | QFile::ExeOwner);
#endif
    }

    // Whether the user could still create files in the locked program folder.
    bool programFolderIsOpen() const
    {
#ifdef Q_OS_UNIX
        return false; // the test runs the program as another user where it must
#else
        QTemporaryFile probe(programFolder->filePath(QStringLiteral("probe-XXXXXX")));
        return probe.open();
#endif
    }

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
#ifdef Q_OS_UNIX
        if (isRoot()) {
            process.setProgram(QStringLiteral("setpriv"));
            process.setArguments(QStringList {QStringLiteral("--reuid=%1").arg(unprivilegedId),
                                              QStringLiteral("--regid=%1").arg(unprivilegedId),
                                              QStringLiteral("--clear-groups"), QStringLiteral("--"), program}
                                 + arguments);
        } else
#endif
        {
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
        // Windows ends lines written as text with CR LF.
        const QString newLine = QStringLiteral("\n");
        outcome.out = QString::fromLocal8Bit(process.readAllStandardOutput()).replace(QStringLiteral("\r\n"), newLine);
        outcome.err = QString::fromLocal8Bit(process.readAllStandardError()).replace(QStringLiteral("\r\n"), newLine);
        return outcome;
    }

    Outcome runPanel(const QStringList &arguments)
    {
        return run(programFolder->filePath(QFileInfo(QStringLiteral(PANEL_EXECUTABLE)).fileName()), arguments);
    }

    // The settings file the help of a program in the program folder names
    // as the one in use.
    QString fileInUse(const QString &program = executable("valmora-panel"))
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

    // The file of rule 4. On Windows it lies in the profile's local
    // application data, which no environment variable moves, so the test
    // uses the real one there.
    static QString perUserFile(const QString &configFolder)
    {
#ifdef Q_OS_UNIX
        return QDir(configFolder).filePath(QStringLiteral("valmora-panel/setting.ini"));
#else
        Q_UNUSED(configFolder)
        return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                        + QStringLiteral("/valmora-panel/setting.ini"));
#endif
    }
    QString perUserFile() const
    {
        return perUserFile(configHome->path());
    }

    // A program's file name.
    static QString executable(const char *name)
    {
#ifdef Q_OS_WIN
        return QString::fromLatin1(name) + QStringLiteral(".exe");
#else
        return QString::fromLatin1(name);
#endif
    }

    // The path as the program prints it.
    static QString shown(const QString &path)
    {
        return QDir::toNativeSeparators(path);
    }

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
#ifdef Q_OS_UNIX
        // The ordinary user must reach the program and own his configuration folder.
        QVERIFY(setFileMode(programFolder->path(), 0755));
        if (isRoot())
            QCOMPARE(::chown(QFile::encodeName(configHome->path()).constData(), unprivilegedId, unprivilegedId), 0);
#endif
        QVERIFY(install(QStringLiteral(PANEL_EXECUTABLE)));
    }

    void cleanup()
    {
        // Writable again, so that the folder can be removed.
        if (programFolder)
            openProgramFolder();
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
        QVERIFY2(named.out.contains(shown(configHome->filePath(QStringLiteral("mine.ini")))), qPrintable(named.out));

        // A folder the user can write gets a new file beside the program.
        const QString beside = shown(programFolder->filePath(QStringLiteral("setting.ini")));
#ifdef Q_OS_UNIX
        if (isRoot())
            QCOMPARE(::chown(QFile::encodeName(programFolder->path()).constData(), unprivilegedId, unprivilegedId), 0);
#endif
        QCOMPARE(fileInUse(), beside);
        QVERIFY(!QFile::exists(beside)); // asking creates nothing
#ifdef Q_OS_UNIX
        if (isRoot())
            QCOMPARE(::chown(QFile::encodeName(programFolder->path()).constData(), 0, 0), 0);
#endif

        // A folder the user cannot write: the user's configuration folder...
        QVERIFY(lockProgramFolder());
        if (programFolderIsOpen())
            QSKIP(openFolderReason);
        QCOMPARE(fileInUse(), shown(perUserFile()));

        // ...unless setting.ini is there already.
        QVERIFY(openProgramFolder() && QFile(beside).open(QIODevice::WriteOnly));
        QVERIFY(lockProgramFolder());
        QCOMPARE(fileInUse(), beside);
    }

    // valmora-ctl beside the window's program chooses the same file, and the
    // window finds what it stores there.
    void commandLineToolSharesTheWindowsFile()
    {
        const QString tool = executable("valmora-ctl");
        QVERIFY(install(QStringLiteral(CTL_EXECUTABLE)));
        QVERIFY(install(QCoreApplication::applicationFilePath()));
        QVERIFY(lockProgramFolder());
        if (programFolderIsOpen())
            QSKIP(openFolderReason);
#ifndef Q_OS_UNIX
        // The profile's own file is the user's: never overwritten by a test.
        if (QFile::exists(perUserFile()))
            QSKIP("this user keeps a setting.ini in the profile already; the test would change it");
        const auto removeCreated = qScopeGuard([this] {
            QFile::remove(perUserFile());
            QDir().rmdir(QFileInfo(perUserFile()).path());
        });
#endif
        QCOMPARE(fileInUse(tool), shown(perUserFile()));
        QCOMPARE(fileInUse(), shown(perUserFile()));

        const Outcome added = run(programFolder->filePath(tool), {QStringLiteral("add"), QStringLiteral("Arena")},
                                  QProcessEnvironment(), "arena-key\n");
        QVERIFY2(added.exitCode == 0, qPrintable(added.out + added.err));
#ifdef Q_OS_UNIX
        QCOMPARE(fileMode(perUserFile()), 0600);
        QCOMPARE(fileMode(QFileInfo(perUserFile()).path()), 0700);
#endif
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
        const QString beside = shown(programFolder->filePath(QStringLiteral("setting.ini")));
        QVERIFY(openProgramFolder() && QFile(beside).open(QIODevice::WriteOnly));
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
        if (programFolderIsOpen())
            QSKIP(openFolderReason);
#ifndef Q_OS_UNIX
        // The profile's own file is the user's: never overwritten by a test.
        if (QFile::exists(perUserFile()))
            QSKIP("this user keeps a setting.ini in the profile already; the test would change it");
        const auto removeCreated = qScopeGuard([this] {
            QFile::remove(perUserFile());
            QDir().rmdir(QFileInfo(perUserFile()).path());
        });
#endif
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
#ifdef Q_OS_UNIX
        QCOMPARE(fileMode(perUserFile()), 0600);
        QCOMPARE(fileMode(QFileInfo(perUserFile()).path()), 0700);
#endif
        QSettings settings(perUserFile(), QSettings::IniFormat);
        StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
        QCOMPARE(cipher.decipherText(settings.value(QStringLiteral("Servers/Arena")).toString()),
                 QStringLiteral("arena-key"));
    }
};

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
