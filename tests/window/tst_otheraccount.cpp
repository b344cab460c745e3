// Another account on the same computer cannot keep the program from opening
// its window or from serving later starts. That account puts a socket that
// answers as a running copy does, and a lock file, where the running copy's
// socket and lock lay in the temporary folder before (named after the user
// id and the settings file); the program, started without a login session's
// runtime folder, must open at once, serve later starts within 3 s and take
// the next start's hand-over.
//
// It makes two accounts for the while and starts the program as the first,
// so it runs only as root (as CI does) and skips otherwise, and on Windows.

#include "patience.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <cstring>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX

constexpr int servesWithinMsec = 3000;

struct Account
{
    QString name;
    uid_t uid = 0;
    gid_t gid = 0;
    QString home;
};

// Runs a command, showing its output only when it fails.
bool succeeds(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool done = process.waitForFinished(patienceMs) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (!done)
        qWarning("%s failed: %s", qPrintable(program), process.readAll().constData());
    return done;
}

// The account's entry, when it exists; its name empty otherwise.
Account lookUp(const QString &name)
{
    Account account;
    const struct passwd *entry = ::getpwnam(name.toUtf8().constData());
    if (entry) {
        account = {name, entry->pw_uid, entry->pw_gid, QFile::decodeName(entry->pw_dir)};
    }
    return account;
}

// The process id's listening local socket, empty when it has none.
QString listeningSocket(qint64 processId)
{
    QSet<QByteArray> inodes;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(processId);
    const QStringList entries = QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        char target[64] = {};
        const QByteArray link = QFile::encodeName(fds + QLatin1Char('/') + entry);
        if (::readlink(link.constData(), target, sizeof target - 1) > 0) {
            const QByteArray text(target);
            if (text.startsWith("socket:["))
                inodes.insert(text.mid(8).chopped(1));
        }
    }
    // Num RefCount Protocol Flags Type St Inode Path; listening: flags 00010000.
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly))
        return QString();
    table.readLine();
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        if (fields.size() >= 8 && fields.at(3) == "00010000" && inodes.contains(fields.at(6)))
            return QFile::decodeName(fields.at(7));
    }
    return QString();
}

// A process of `account` that listens on `path` and answers every
// connection as a running copy does. It writes 'r' to `report` once it
// listens and 'c' for every connection.
pid_t startAnswering(const Account &account, const QByteArray &path, int report)
{
    const pid_t child = ::fork();
    if (child != 0)
        return child;
    // Only system calls from here: this is a copy of a process with threads.
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()) + 1);
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::setgroups(0, nullptr) != 0 || ::setgid(account.gid) != 0 || ::setuid(account.uid) != 0 || server < 0
        || ::bind(server, reinterpret_cast<const struct sockaddr *>(&address), sizeof address) != 0
        || ::chmod(path.constData(), 0777) != 0 || ::listen(server, 8) != 0 || ::write(report, "r", 1) != 1)
        ::_exit(1);
    for (;;) {
        const int connection = ::accept(server, nullptr, nullptr);
        if (connection < 0)
            continue;
        char request[16];
        if (::read(connection, request, sizeof request) > 0 && ::write(connection, "shown\n", 6) == 6
            && ::write(report, "c", 1) != 1)
            ::_exit(1);
        ::close(connection);
    }
}

// What the answering process reported so far, waiting up to `msec`.
QByteArray reported(int report, int msec)
{
    QByteArray found;
    struct pollfd readable = {report, POLLIN, 0};
    char bytes[16];
    while (::poll(&readable, 1, found.isEmpty() ? msec : 0) > 0) {
        const ssize_t count = ::read(report, bytes, sizeof bytes);
        if (count <= 0)
            break;
        found.append(bytes, int(count));
    }
    return found;
}

#endif

} // namespace

class OtherAccountTest : public QObject
{
    Q_OBJECT

#ifdef Q_OS_UNIX
private:
    QTemporaryDir folder; // the program's copy and the first account's home
    QString program;
    Account user; // starts the program
    Account other; // plants a socket and a lock
    QList<QProcess *> started;
    pid_t answering = 0;
    int report[2] = {-1, -1};

    QProcess *startAsUser(const QString &settings)
    {
        auto *process = new QProcess(this);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->setWorkingDirectory(user.home);
        // As after "su": no runtime folder of a login session. A sanitizer
        // build's options are kept.
        QStringList arguments = {QStringLiteral("--reuid=%1").arg(user.uid),
                                 QStringLiteral("--regid=%1").arg(user.gid),
                                 QStringLiteral("--clear-groups"),
                                 QStringLiteral("env"),
                                 QStringLiteral("-i"),
                                 QStringLiteral("HOME=") + user.home,
                                 QStringLiteral("PATH=/usr/bin:/bin"),
                                 QStringLiteral("QT_QPA_PLATFORM=offscreen")};
        for (const char *name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (qEnvironmentVariableIsSet(name))
                arguments << QString::fromLatin1(name) + QLatin1Char('=') + qEnvironmentVariable(name);
        }
        process->start(QStringLiteral("setpriv"),
                       arguments + QStringList {program, QStringLiteral("--settings"), settings});
        started << process;
        return process;
    }

    // Files of the two accounts in the temporary folder, which userdel leaves.
    void removeTheirTemporaryFiles() const
    {
        const QFileInfoList entries
            = QDir(QStringLiteral("/tmp"))
                  .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo &entry : entries) {
            if (entry.ownerId() != user.uid && entry.ownerId() != other.uid)
                continue;
            if (entry.isDir() && !entry.isSymLink())
                QDir(entry.filePath()).removeRecursively();
            else
                QFile::remove(entry.filePath());
        }
    }

    static void removeAccount(const Account &account, bool withHome)
    {
        if (account.name.isEmpty() || lookUp(account.name).name.isEmpty())
            return;
        // A home without a mail spool makes userdel say so and end with 12.
        QProcess process;
        process.start(QStringLiteral("userdel"),
                      withHome ? QStringList {QStringLiteral("--remove"), account.name} : QStringList {account.name});
        process.waitForFinished(patienceMs);
        if (!lookUp(account.name).name.isEmpty())
            qWarning("cannot remove the account %s: %s", qPrintable(account.name), process.readAll().constData());
    }
#endif

private slots:
    void initTestCase()
    {
#ifndef Q_OS_UNIX
        QSKIP("Unix accounts only: Windows keeps the running copy apart by the account of the pipe's process");
#else
        if (::geteuid() != 0)
            QSKIP("needs root, as CI runs it: the test makes two accounts and starts the program as one of them");
        QVERIFY(folder.isValid());
        QVERIFY(QFile::setPermissions(folder.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                          | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        // A copy the new account may read wherever the build lies.
        program = folder.filePath(QStringLiteral("valmora-panel"));
        QVERIFY(QFile::copy(QStringLiteral(PANEL_EXECUTABLE), program));

        const QString suffix = QString::number(QCoreApplication::applicationPid());
        const QString names[] = {QStringLiteral("vmpuser") + suffix, QStringLiteral("vmpother") + suffix};
        QVERIFY(succeeds(QStringLiteral("useradd"),
                         {QStringLiteral("--create-home"), QStringLiteral("--home-dir"), folder.filePath(names[0]),
                          QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), names[0]}));
        user = lookUp(names[0]);
        QVERIFY(
            succeeds(QStringLiteral("useradd"),
                     {QStringLiteral("--no-create-home"), QStringLiteral("--home-dir"), QStringLiteral("/nonexistent"),
                      QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), names[1]}));
        other = lookUp(names[1]);
        QVERIFY(!user.name.isEmpty() && !other.name.isEmpty());
        QVERIFY(::pipe(report) == 0);
#endif
    }

    void cleanup()
    {
#ifdef Q_OS_UNIX
        for (QProcess *process : qAsConst(started)) {
            process->kill();
            process->waitForFinished();
            delete process;
        }
        started.clear();
        if (answering > 0) {
            ::kill(answering, SIGKILL);
            ::waitpid(answering, nullptr, 0);
            answering = 0;
        }
        reported(report[0], 0);
        removeTheirTemporaryFiles();
#endif
    }

    void cleanupTestCase()
    {
#ifdef Q_OS_UNIX
        removeAccount(user, true);
        removeAccount(other, false);
        for (const int end : report) {
            if (end >= 0)
                ::close(end);
        }
#endif
    }

    void anotherAccountsSocketAndLockAreIgnored_data()
    {
        QTest::addColumn<bool>("socketPlanted");
        QTest::addColumn<bool>("lockPlanted");
        QTest::addColumn<bool>("ownFolderTaken");
        QTest::newRow("a socket") << true << false << false;
        QTest::newRow("a lock") << false << true << false;
        // The name of the folder in the temporary folder can be worked out
        // too; the cache folder stands in.
        QTest::newRow("both, and the user's folder") << true << true << true;
    }

    void anotherAccountsSocketAndLockAreIgnored()
    {
#ifdef Q_OS_UNIX
        QFETCH(bool, socketPlanted);
        QFETCH(bool, lockPlanted);
        QFETCH(bool, ownFolderTaken);
        // The names the program used before, from the user id and the
        // canonical settings path.
        const QString settings = QDir(user.home).filePath(QStringLiteral("setting.ini"));
        const QString canonical
            = QDir(QFileInfo(user.home).canonicalFilePath()).filePath(QFileInfo(settings).fileName());
        const QByteArray digest = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex();
        const QString planted
            = QStringLiteral("/tmp/valmora-panel-%1-%2").arg(user.uid).arg(QString::fromLatin1(digest.left(24)));

        if (socketPlanted) {
            answering = startAnswering(other, QFile::encodeName(planted), report[1]);
            QCOMPARE(reported(report[0], patienceMs), QByteArray("r"));
        }
        if (lockPlanted) {
            QFile lock(planted + QStringLiteral(".lock"));
            QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::NewOnly));
            lock.write("1\nvalmora-panel\nanother-computer\n"); // held, by a copy elsewhere
            lock.close();
            QVERIFY(::chown(QFile::encodeName(lock.fileName()).constData(), other.uid, other.gid) == 0);
        }
        if (ownFolderTaken) {
            const QByteArray taken = QFile::encodeName(QStringLiteral("/tmp/valmora-panel-%1").arg(user.uid));
            QVERIFY(::mkdir(taken.constData(), 0700) == 0 && ::chmod(taken.constData(), 0777) == 0
                    && ::chown(taken.constData(), other.uid, other.gid) == 0);
        }

        QProcess *first = startAsUser(settings);
        const QDeadlineTimer serving(servesWithinMsec);
        QString socket;
        while (socket.isEmpty() && first->state() != QProcess::NotRunning && !serving.hasExpired()) {
            QTest::qWait(20);
            socket = listeningSocket(first->processId());
        }
        QVERIFY2(first->state() == QProcess::Running, "the program ended at once, on the other account's answer");
        QVERIFY2(!socket.isEmpty(), "the program serves no later start within 3 s");

        // In a folder that only the user may change. Qt binds the socket
        // in a temporary folder beside its name and moves it there.
        QString socketFolder = QFileInfo(socket).path();
        while (!QFileInfo(socketFolder).isDir())
            socketFolder = QFileInfo(socketFolder).path();
        struct stat status = {};
        QVERIFY(::lstat(QFile::encodeName(socketFolder).constData(), &status) == 0);
        QVERIFY(S_ISDIR(status.st_mode));
        QCOMPARE(status.st_uid, user.uid);
        QCOMPARE(status.st_mode & 022, 0u);

        QProcess *second = startAsUser(settings);
        QVERIFY(second->waitForFinished(patienceMs));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(reported(report[0], 0), QByteArray()); // the other account's socket was never asked
#endif
    }
};

QTEST_GUILESS_MAIN(OtherAccountTest)
#include "tst_otheraccount.moc"
