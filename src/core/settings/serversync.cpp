#include "serversync.h"

#include <QSettings>

bool ServerSync::takeIn(const QMap<QString, QString> &records, MachineCipher &cipher, QMap<QString, QString> *servers)
{
    bool listChanged = false;
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const QString &name = it.key();
        const auto before = seen.constFind(name);
        if (unsaved.contains(name) || (before != seen.cend() && before.value() == it.value()))
            continue;
        const MachineCipher::Key key = cipher.decipher(it.value());
        if (key.outcome == MachineCipher::Unreadable)
            unreadable.insert(name, it.value());
        else
            unreadable.remove(name);
        if (key.outcome == MachineCipher::ReadUnderOtherAddress)
            rewrite.insert(name);
        else
            rewrite.remove(name);
        const auto held = servers->constFind(name);
        if (held == servers->cend() || held.value() != key.text) {
            servers->insert(name, key.text);
            listChanged = true;
        }
    }
    // Gone from the file since the last look: another program removed it.
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        const QString &name = it.key();
        if (records.contains(name) || unsaved.contains(name))
            continue;
        unreadable.remove(name);
        rewrite.remove(name);
        listChanged = servers->remove(name) > 0 || listChanged;
    }
    seen = records;
    return listChanged;
}

void ServerSync::fileLost()
{
    seen.clear();
}

void ServerSync::changed(const QString &name)
{
    unsaved.insert(name);
    unreadable.remove(name);
    rewrite.remove(name);
}

void ServerSync::writeOut(QSettings &group, MachineCipher &cipher, const QMap<QString, QString> &servers) const
{
    for (const QString &name : unsaved) {
        if (!servers.contains(name))
            group.remove(name);
    }
    for (auto it = servers.cbegin(); it != servers.cend(); ++it) {
        const QString &name = it.key();
        if (!unsaved.contains(name) && seen.contains(name) && !rewrite.contains(name))
            continue;
        const auto kept = unreadable.constFind(name);
        group.setValue(name, kept != unreadable.cend() ? kept.value() : cipher.encipher(it.value()));
    }
}

void ServerSync::saved(const QMap<QString, QString> &records)
{
    seen = records;
    unsaved.clear();
    rewrite.clear();
}

int ServerSync::unreadableCount() const
{
    return int(unreadable.size());
}
