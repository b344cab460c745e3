#pragma once

// The alert command of the watch tests: the test program itself, started
// by the shell, writes down what it was given.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace AlertRecord {

inline const char *const variables[] = {"VALMORA_SERVER",      "VALMORA_FROM", "VALMORA_TO",  "VALMORA_PLAYERS",
                                        "VALMORA_PLAYERS_MAX", "VALMORA_MAP",  "VALMORA_TIME"};

// Appends the VALMORA_ variables of the environment to `file`, one JSON
// object a line. Returns the exit status.
inline int write(const char *file)
{
    QJsonObject given;
    for (const char *name : variables)
        given.insert(QLatin1String(name), qEnvironmentVariable(name));
    QFile log(QString::fromLocal8Bit(file));
    if (!log.open(QIODevice::Append))
        return 1;
    log.write(QJsonDocument(given).toJson(QJsonDocument::Compact) + '\n');
    return 0;
}

// A path as one word of a command line for the system's shell.
inline QString quoted(const QString &path)
{
    return QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
}

} // namespace AlertRecord
