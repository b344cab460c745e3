#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The contents of a setting.ini for a benchmark run.
struct BenchSettings
{
    QString host; // "name:port"; empty leaves the program's default
    QString caCertificate; // PEM file to trust besides the system's; may be empty
    QList<QPair<QString, QString>> servers; // name, API key
    QStringList history; // console commands, newest first

    // `count` servers with made-up names and keys.
    static QList<QPair<QString, QString>> madeUpServers(int count);
    // `count` console commands.
    static QStringList madeUpHistory(int count);

    // Writes setting.ini into `directory` the way the program saves it, the
    // keys enciphered under this machine's key. Returns an error text, empty
    // on success.
    QString writeTo(const QString &directory) const;
};
