#pragma once

#include "core/crypto/machinecipher.h"

#include <QMap>
#include <QSet>
#include <QString>

class QSettings;

// Keeps a server list (name -> API key) in step with the servers group of
// setting.ini, which other programs change too: another copy's saves, the
// command-line tool. Taking in the file brings in what others added,
// replaced or removed since the last look; a save writes only what this
// program changed and what the file lacks, so a record it never knew stays
// exactly as it is. Changes not yet saved win over the file.
class ServerSync
{
public:
    // Takes in the records the file holds now (name -> record). Returns true
    // when `servers` changed.
    bool takeIn(const QMap<QString, QString> &records, MachineCipher &cipher, QMap<QString, QString> *servers);
    // The file is gone or unreadable: nothing is taken in, and the next
    // save writes every server anew.
    void fileLost();

    // A server was added, replaced or removed here: written at the next save.
    void changed(const QString &name);

    // Writes into the servers group: the changes not yet saved, the servers
    // the file lacks, and keys read under another address (enciphered again
    // under the machine key). Call right after takeIn() on the same file.
    void writeOut(QSettings &group, MachineCipher &cipher, const QMap<QString, QString> &servers) const;
    // The save went through and the file holds `records` now.
    void saved(const QMap<QString, QString> &records);

    // Servers whose keys could not be read here; they keep their records.
    int unreadableCount() const;

private:
    QMap<QString, QString> seen; // the records as the file held them at the last look
    QSet<QString> unsaved;
    QMap<QString, QString> unreadable; // name -> record, written back as it is
    QSet<QString> rewrite; // read under another interface's address
};
