#include "historystore.h"

#include "core/history/historyfile.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// "VMH1" in the header: the file is this program's history.
constexpr qint64 applicationId = 0x564D4831;
constexpr int schemaVersion = 1;
constexpr qint64 foldEverySeconds = 3600;

// SQLite's primary result codes, as Qt SQL hands them on.
enum SqliteCode { Busy = 5, Locked = 6, ReadOnly = 8, Corrupt = 11, CantOpen = 14, NotADatabase = 26 };

const char *const schema[] = {
    "CREATE TABLE server(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE map(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    // seq tells apart samples of one server in the same second (two writers).
    "CREATE TABLE status(server INTEGER NOT NULL, time INTEGER NOT NULL, seq INTEGER NOT NULL,"
    " state INTEGER NOT NULL, players INTEGER, player_limit INTEGER, map INTEGER,"
    " PRIMARY KEY(server, time, seq)) WITHOUT ROWID",
    "CREATE TABLE resources(server INTEGER NOT NULL, time INTEGER NOT NULL, seq INTEGER NOT NULL,"
    " cpu INTEGER NOT NULL, memory INTEGER NOT NULL, slots INTEGER NOT NULL, disk INTEGER NOT NULL,"
    " PRIMARY KEY(server, time, seq)) WITHOUT ROWID",
    // Sums and counts, so that averages over any step combine rows exactly.
    "CREATE TABLE hourly(server INTEGER NOT NULL, hour INTEGER NOT NULL,"
    " off INTEGER NOT NULL DEFAULT 0, running INTEGER NOT NULL DEFAULT 0,"
    " starting INTEGER NOT NULL DEFAULT 0, unknown INTEGER NOT NULL DEFAULT 0,"
    " no_contact INTEGER NOT NULL DEFAULT 0,"
    " players_sum INTEGER NOT NULL DEFAULT 0, players_count INTEGER NOT NULL DEFAULT 0, players_max INTEGER,"
    " player_limit INTEGER, resources_count INTEGER NOT NULL DEFAULT 0,"
    " cpu_sum INTEGER NOT NULL DEFAULT 0, cpu_max INTEGER, memory_sum INTEGER NOT NULL DEFAULT 0,"
    " memory_max INTEGER, slots_sum INTEGER NOT NULL DEFAULT 0, slots_max INTEGER,"
    " disk_sum INTEGER NOT NULL DEFAULT 0, disk_max INTEGER,"
    " PRIMARY KEY(server, hour)) WITHOUT ROWID",
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID",
};

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("valmora-history-%1").arg(counter.fetchAndAddRelaxed(1));
}

int codeOf(const QSqlError &error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}

// Runs `sql` with positional values; false on failure, with the error in `query`.
bool run(QSqlQuery &query, const QString &sql, const QVariantList &values = {})
{
    if (!query.prepare(sql))
        return false;
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

QVariant orNull(int value)
{
    return value < 0 ? QVariant() : QVariant(value);
}

// max() of two nullable columns, the other where one is null.
QString larger(const char *column)
{
    return QStringLiteral("%1 = COALESCE(max(%1, excluded.%1), %1, excluded.%1)").arg(QLatin1String(column));
}

QString added(const char *column)
{
    return QStringLiteral("%1 = %1 + excluded.%1").arg(QLatin1String(column));
}

} // namespace

void HistoryStore::loadDriver()
{
    static const bool loaded = [] {
        const QString name = QStringLiteral("valmora-history-driver");
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        QSqlDatabase::removeDatabase(name);
        return true;
    }();
    Q_UNUSED(loaded);
}

HistoryStore::HistoryStore(const QString &path, int busyTimeoutMsec)
    : file(path)
    , connection(nextConnectionName())
    , busyTimeoutMsec(busyTimeoutMsec)
{ }

HistoryStore::~HistoryStore()
{
    db.close();
    db = QSqlDatabase();
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
}

HistoryStore::Outcome HistoryStore::openForWriting()
{
    return open(true);
}

HistoryStore::Outcome HistoryStore::openForReading()
{
    if (!QFileInfo::exists(file))
        return Outcome::Missing;
    return open(false);
}

HistoryStore::Outcome HistoryStore::open(bool writing)
{
    db.close();
    serverIds.clear();
    mapIds.clear();
    if (writing) {
        const QString problem = HistoryFile::keepPrivate(file);
        if (!problem.isEmpty()) {
            lastProblem = problem;
            return Outcome::Failed;
        }
    }
    if (!QSqlDatabase::contains(connection))
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(file);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMsec);
    if (!writing)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open())
        return failure(db.lastError());
    const Outcome checked = check(writing);
    // SQLite gives new -wal and -shm files the database's mode; on Windows
    // they need the access list too.
    if (checked == Outcome::Ready && writing)
        HistoryFile::keepPrivate(file);
    return checked;
}

HistoryStore::Outcome HistoryStore::check(bool writing)
{
    QSqlQuery query(db);
    // One statement, so that all three come from one moment: another writer
    // may be making the tables meanwhile.
    if (!run(query,
             QStringLiteral("SELECT (SELECT application_id FROM pragma_application_id),"
                            " (SELECT user_version FROM pragma_user_version),"
                            " (SELECT count(*) FROM sqlite_master)"))
        || !query.next())
        return failure(query.lastError());
    const qint64 id = query.value(0).toLongLong();
    const int version = query.value(1).toInt();
    const int objects = query.value(2).toInt();
    // Its open read would keep a transaction open.
    query.finish();

    if (id == 0 && objects == 0) {
        // A new file, or an empty one left by a start that was cut off.
        if (!writing) {
            lastProblem.clear();
            return Outcome::Ready;
        }
        return createSchema();
    }
    if (id != applicationId || version != schemaVersion) {
        lastProblem = QStringLiteral("%1 holds a database this program did not make").arg(file);
        return Outcome::Damaged;
    }
    // A file cut short opens, and shows only when its missing pages are read.
    if (!run(query, QStringLiteral("PRAGMA quick_check")) || !query.next())
        return failure(query.lastError());
    if (query.value(0).toString() != QLatin1String("ok")) {
        lastProblem = QStringLiteral("%1 is damaged: %2").arg(file, query.value(0).toString());
        return Outcome::Damaged;
    }
    if (writing && !run(query, QStringLiteral("PRAGMA journal_mode=WAL")))
        return failure(query.lastError());
    lastProblem.clear();
    return Outcome::Ready;
}

HistoryStore::Outcome HistoryStore::createSchema()
{
    QSqlQuery query(db);
    // WAL before the first transaction: it lets readers and writers overlap.
    if (!run(query, QStringLiteral("PRAGMA journal_mode=WAL")) || !run(query, QStringLiteral("BEGIN IMMEDIATE")))
        return failure(query.lastError());
    // Another writer may have made the tables while this one waited.
    if (!run(query, QStringLiteral("PRAGMA application_id")) || !query.next()) {
        const Outcome outcome = failure(query.lastError());
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return outcome;
    }
    const bool made = query.value(0).toLongLong() == applicationId;
    bool ok = true;
    if (!made) {
        for (const char *statement : schema)
            ok = ok && run(query, QLatin1String(statement));
        ok = ok && run(query, QStringLiteral("PRAGMA application_id=%1").arg(applicationId))
            && run(query, QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion));
    }
    if (!ok || !run(query, QStringLiteral("COMMIT"))) {
        const Outcome outcome = failure(query.lastError());
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return outcome;
    }
    lastProblem.clear();
    return Outcome::Ready;
}

HistoryStore::Outcome HistoryStore::failure(const QSqlError &error)
{
    lastProblem = QStringLiteral("%1: %2").arg(file, error.text());
    switch (codeOf(error)) {
    case Busy:
    case Locked:
        return Outcome::Busy;
    case Corrupt:
    case NotADatabase:
        return Outcome::Damaged;
    default:
        return Outcome::Failed;
    }
}

qint64 HistoryStore::idOf(const QString &table, const QString &name)
{
    QHash<QString, qint64> &ids = table == QLatin1String("server") ? serverIds : mapIds;
    const auto known = ids.constFind(name);
    if (known != ids.cend())
        return known.value();
    QSqlQuery query(db);
    if (!run(query, QStringLiteral("INSERT INTO %1(name) VALUES(?) ON CONFLICT(name) DO NOTHING").arg(table), {name})
        || !run(query, QStringLiteral("SELECT id FROM %1 WHERE name = ?").arg(table), {name}) || !query.next()) {
        lastProblem = query.lastError().text();
        return -1;
    }
    const qint64 id = query.value(0).toLongLong();
    ids.insert(name, id);
    return id;
}

HistoryStore::Outcome HistoryStore::write(const QList<History::StatusSample> &statuses,
                                          const QList<History::ResourceSample> &resources)
{
    QSqlQuery query(db);
    if (!run(query, QStringLiteral("BEGIN IMMEDIATE")))
        return failure(query.lastError());
    // Prepared once for the whole batch.
    QSqlQuery status(db);
    QSqlQuery resource(db);
    bool ok = status.prepare(QStringLiteral(
                  "INSERT INTO status(server, time, seq, state, players, player_limit, map) VALUES(:a, :b,"
                  " (SELECT COALESCE(MAX(seq) + 1, 0) FROM status WHERE server = :a AND time = :b), :c, :d, :e, :f)"))
        && resource.prepare(QStringLiteral(
            "INSERT INTO resources(server, time, seq, cpu, memory, slots, disk) VALUES(:a, :b,"
            " (SELECT COALESCE(MAX(seq) + 1, 0) FROM resources WHERE server = :a AND time = :b), :c, :d, :e, :f)"));
    const auto insert = [](QSqlQuery &statement, const QVariantList &values) {
        // Named, as the server and time are used twice.
        for (int i = 0; i < values.size(); ++i)
            statement.bindValue(QStringLiteral(":") + QChar(u'a' + i), values.at(i));
        return statement.exec();
    };
    for (int i = 0; ok && i < statuses.size(); ++i) {
        const History::StatusSample &sample = statuses.at(i);
        const qint64 server = idOf(QStringLiteral("server"), sample.server);
        const qint64 map = sample.map.isEmpty() ? -1 : idOf(QStringLiteral("map"), sample.map);
        ok = server >= 0 && (sample.map.isEmpty() || map >= 0)
            && insert(status,
                      {server, sample.time, int(sample.state), orNull(sample.players), orNull(sample.limit),
                       map < 0 ? QVariant() : QVariant(map)});
    }
    for (int i = 0; ok && i < resources.size(); ++i) {
        const History::ResourceSample &sample = resources.at(i);
        const qint64 server = idOf(QStringLiteral("server"), sample.server);
        ok = server >= 0
            && insert(resource, {server, sample.time, sample.cpu, sample.memory, sample.playerSlots, sample.disk});
    }
    if (ok && run(query, QStringLiteral("COMMIT")))
        return Outcome::Ready;
    QSqlError error = query.lastError();
    for (const QSqlQuery *failed : {&status, &resource}) {
        if (failed->lastError().isValid())
            error = failed->lastError();
    }
    const Outcome outcome = failure(error);
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    // Ids learnt in the undone transaction may be gone with it.
    serverIds.clear();
    mapIds.clear();
    return outcome;
}

HistoryStore::Outcome HistoryStore::foldIfDue(qint64 now)
{
    QSqlQuery query(db);
    if (!run(query, QStringLiteral("BEGIN IMMEDIATE")))
        return failure(query.lastError());
    bool ok = run(query, QStringLiteral("SELECT value FROM meta WHERE key = 'folded'"));
    if (ok && query.next()) {
        const qint64 folded = query.value(0).toLongLong();
        // A clock set back folds again rather than waiting for its old hour.
        if (folded <= now && now - folded < foldEverySeconds) {
            run(query, QStringLiteral("ROLLBACK"));
            return Outcome::Ready;
        }
    }
    const qint64 cutoff = (now - rawDays * 86400) / 3600 * 3600;
    // "server IN" lets each statement seek by the key instead of reading every row.
    const qint64 oldest = now - hourlyDays * 86400;
    const QString statusFold = QStringLiteral(
        "INSERT INTO hourly(server, hour, off, running, starting, unknown, no_contact, players_sum,"
        " players_count, players_max, player_limit)"
        " SELECT server, time / 3600 * 3600, SUM(state = 0), SUM(state = 1), SUM(state = 2), SUM(state = 3),"
        " SUM(state = 4), COALESCE(SUM(players), 0), COUNT(players), MAX(players), MAX(player_limit)"
        " FROM status WHERE server IN (SELECT id FROM server) AND time < ? GROUP BY server, time / 3600"
        " ON CONFLICT(server, hour) DO UPDATE SET %1");
    const QString statusUpdate = QStringList {added("off"),           added("running"),      added("starting"),
                                              added("unknown"),       added("no_contact"),   added("players_sum"),
                                              added("players_count"), larger("players_max"), larger("player_limit")}
                                     .join(QStringLiteral(", "));
    const QString resourceFold = QStringLiteral(
        "INSERT INTO hourly(server, hour, resources_count, cpu_sum, cpu_max, memory_sum, memory_max,"
        " slots_sum, slots_max, disk_sum, disk_max)"
        " SELECT server, time / 3600 * 3600, COUNT(*), SUM(cpu), MAX(cpu), SUM(memory), MAX(memory),"
        " SUM(slots), MAX(slots), SUM(disk), MAX(disk)"
        " FROM resources WHERE server IN (SELECT id FROM server) AND time < ? GROUP BY server, time / 3600"
        " ON CONFLICT(server, hour) DO UPDATE SET %1");
    const QString resourceUpdate = QStringList {added("resources_count"), added("cpu_sum"),     larger("cpu_max"),
                                                added("memory_sum"),      larger("memory_max"), added("slots_sum"),
                                                larger("slots_max"),      added("disk_sum"),    larger("disk_max")}
                                       .join(QStringLiteral(", "));
    ok = run(query, statusFold.arg(statusUpdate), {cutoff})
        && run(query, QStringLiteral("DELETE FROM status WHERE server IN (SELECT id FROM server) AND time < ?"),
               {cutoff})
        && run(query, resourceFold.arg(resourceUpdate), {cutoff})
        && run(query, QStringLiteral("DELETE FROM resources WHERE server IN (SELECT id FROM server) AND time < ?"),
               {cutoff})
        && run(query, QStringLiteral("DELETE FROM hourly WHERE server IN (SELECT id FROM server) AND hour < ?"),
               {oldest})
        && run(query, QStringLiteral("INSERT OR REPLACE INTO meta(key, value) VALUES('folded', ?)"), {now})
        && run(query, QStringLiteral("COMMIT"));
    if (ok)
        return Outcome::Ready;
    const Outcome outcome = failure(query.lastError());
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return outcome;
}
