#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The stand-in hosting service, run as a child process on a free loopback
// port with a certificate made for this run. Its simulation is repeatable
// (--seed 7) and its servers start at once unless the extra arguments say
// otherwise (a later option wins).
class ServiceProcess
{
public:
    // `executable` is the service program, `directory` an empty folder for
    // its certificate.
    ServiceProcess(const QString &executable, const QString &directory);
    ~ServiceProcess();

    ServiceProcess(const ServiceProcess &) = delete;
    ServiceProcess &operator=(const ServiceProcess &) = delete;

    // Starts it and waits until it says it listens, with `extraArguments`
    // added to its command line. Returns an error text, empty on success.
    QString start(const QStringList &extraArguments = {});
    // Where the service's log goes, one line per request; nowhere unless set
    // before start().
    void setLogFile(const QString &path) { m_logFile = path; }
    // Ends it as a service manager does and waits for it. Returns an error
    // text when it did not end cleanly, empty otherwise (or when it was not
    // running).
    QString stop();

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
