#include "recordalloption.h"

#include "core/history/historystore.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

const QString key = QStringLiteral("window_records_all_servers");

} // namespace

namespace RecordAllOption {

bool load(const QString &historyPath)
{
    HistoryStore store(historyPath);
    if (store.openForReading() != HistoryStore::Outcome::Ready)
        return false;
    QSqlQuery query(store.database());
    query.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?"));
    query.addBindValue(key);
    return query.exec() && query.next() && query.value(0).toInt() == 1;
}

bool save(const QString &historyPath, bool on)
{
    HistoryStore store(historyPath);
    if (store.openForWriting() != HistoryStore::Outcome::Ready)
        return false;
    QSqlQuery query(store.database());
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)"));
    query.addBindValue(key);
    query.addBindValue(on ? 1 : 0);
    return query.exec();
}

} // namespace RecordAllOption
