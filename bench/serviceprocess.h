#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The stand-in hosting service, run as a child process on a free loopback
// port with a certificate made for this run.
class ServiceProcess
{
public:
    // `executable` is the service program, `directory` an empty folder for
    // its certificate and port file.
    ServiceProcess(const QString &executable, const QString &directory);
    ~ServiceProcess();

    ServiceProcess(const ServiceProcess &) = delete;
    ServiceProcess &operator=(const ServiceProcess &) = delete;

    // Starts it and waits until it listens, with `extraArguments` added to
    // its command line. Returns an error text, empty on success.
    QString start(const QStringList &extraArguments = {});
    // Where the service's log goes, one line per request; nowhere unless set
    // before start().
    void setLogFile(const QString &path) { m_logFile = path; }
    void stop();

    QString host() const; // "127.0.0.1:port"
    quint16 port() const { return m_port; }
    QString certificatePath() const;

private:
    QString m_executable;
    QString m_directory;
    QString m_logFile;
    QProcess m_process;
    quint16 m_port = 0;
};
