#include "runningcopy.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#ifdef Q_OS_UNIX
#include "app/runningcopyfolder.h"
#endif
#ifdef Q_OS_WIN
#include "core/settings/windowsuser.h"

#include <windows.h>
#endif

namespace {

const QByteArray showRequest = "show\n";
const QByteArray shownReply = "shown\n";

// A running copy answers at once; these only bound a copy that hangs.
constexpr int connectMsec = 1000;
constexpr int answerMsec = 3000;
constexpr int electionMsec = 5000;

// The same file under every name it may be given: through links, relative
// or not, and on Windows in any letter case.
QString canonicalPath(const QString &path)
{
    const QFileInfo file(path);
    QString canonical = file.canonicalFilePath();
    if (canonical.isEmpty()) {
        const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
        canonical = QDir(folder.isEmpty() ? file.absolutePath() : folder).filePath(file.fileName());
    }
#ifdef Q_OS_WIN
    canonical = canonical.toLower();
#endif
    return canonical;
}

#ifdef Q_OS_WIN
// Pipe names are one namespace for the whole machine; two accounts may
// have the same user name (a local and a domain one), never the same SID.
QString userTag()
{
    const QString sid = WindowsUser::current();
    if (!sid.isEmpty())
        return sid;
    const QString user = qEnvironmentVariable("USERNAME");
    return user.isEmpty() ? QStringLiteral("user") : user;
}
#endif

} // namespace

RunningCopy::RunningCopy(const QString &settingsPath, QObject *parent)
    : QObject(parent)
    , name(socketName(settingsPath))
{ }

QString RunningCopy::socketName(const QString &settingsPath)
{
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(canonicalPath(settingsPath).toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
#ifdef Q_OS_UNIX
    // In a folder of this user's alone, so that nobody else can put a socket
    // or a lock under this name first.
    const QString file = QStringLiteral("valmora-panel-%1").arg(digest);
    const QString folder = RunningCopyFolder::find(file);
    return folder.isEmpty() ? QString() : QDir(folder).filePath(file);
#else
    // A named pipe; who answers on it is checked (see askRunningCopy()).
    return QStringLiteral("valmora-panel-%1-%2").arg(userTag(), digest);
#endif
}

RunningCopy::Outcome RunningCopy::start()
{
    if (name.isEmpty()) {
        qWarning("No folder of this user's alone for the running copy's socket: later starts open windows of their "
                 "own");
        return Alone;
    }
    // Two copies started at once must not both find nobody and both serve.
    const QString lockFolder = QFileInfo(name).isAbsolute() ? QFileInfo(name).path() : QDir::tempPath();
    QLockFile election(QDir(lockFolder).filePath(QFileInfo(name).fileName() + QStringLiteral(".lock")));
    const bool elected = election.tryLock(electionMsec);

    if (askRunningCopy())
        return HandedOver;
    if (!elected)
        return Alone;

    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answered, so a socket under this name was left by a copy that
    // was killed.
    if (!server->listen(name) && !(QLocalServer::removeServer(name) && server->listen(name))) {
        qWarning("Cannot watch for later starts of the program: %s", qUtf8Printable(server->errorString()));
        delete server;
        server = nullptr;
        return Alone;
    }
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server->nextPendingConnection())
            answer(socket);
    });
    return Serving;
}

bool RunningCopy::askRunningCopy()
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(connectMsec))
        return false;
#ifdef Q_OS_WIN
    // Any account can make a pipe of this name; only this user's answer counts.
    if (!WindowsUser::sameAccount(WindowsUser::ofPipeServer(socket.socketDescriptor()), WindowsUser::current())) {
        qWarning("Another account answers on the running copy's pipe; it is ignored");
        return false;
    }
    // Windows lets only the program in front bring a window forward; this
    // one was just started by the user, so it may pass that on.
    AllowSetForegroundWindow(ASFW_ANY);
#endif
    socket.write(showRequest);
    // Only the answer tells whether the request arrived: on Windows a short
    // write to a pipe is often done before anybody waits for it, and
    // waitForBytesWritten() then reports false. Waiting to read sends what
    // is still unsent on both systems.
    socket.flush();
    const QDeadlineTimer deadline(answerMsec);
    QByteArray reply = socket.readAll();
    while (!reply.contains('\n') && socket.waitForReadyRead(int(deadline.remainingTime())))
        reply += socket.readAll();
    reply += socket.readAll(); // what came with the copy's closing the connection
    return reply == shownReply;
}

void RunningCopy::answer(QLocalSocket *socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) {
            // Only the short request is expected; anything longer is dropped.
            if (socket->bytesAvailable() > showRequest.size())
                socket->disconnectFromServer();
            return;
        }
        if (socket->readLine() == showRequest) {
            emit showRequested();
            socket->write(shownReply);
        }
        socket->disconnectFromServer();
    });
}
