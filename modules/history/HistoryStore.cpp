#include "HistoryStore.h"

#include "HistorySchema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <atomic>

namespace {

// A writer busy in the same file (the window and the command line on one
// station) is waited for rather than failed.
constexpr int kSqliteBusyTimeoutMs = 10000;
constexpr int kDefaultConnectTimeoutSeconds = 5;

const QString kColumns = QStringLiteral(
    "attempt_uid, started_utc, ended_utc, station, front_end, port, vid_pid, serial_number, model_id, interface, "
    "image_name, image_sha256, image_version, outcome, reason, seconds, verified");

QString nextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("fwu-history-%1").arg(counter.fetch_add(1));
}

// Qt binds a null string as SQL NULL; the text columns hold '' instead.
QString text(const QString& value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

QVariant optionalInt(const std::optional<int>& value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<int>());
}

QVariant optionalBool(const std::optional<bool>& value)
{
    return value ? QVariant(*value ? 1 : 0) : QVariant(QMetaType::fromType<int>());
}

AttemptRecord recordFrom(const QSqlQuery& query)
{
    AttemptRecord record;
    int column = 0;
    const auto next = [&] { return query.value(column++); };
    record.uid = next().toString();
    record.startedUtc = AttemptRecord::timeFromText(next().toString());
    record.endedUtc = AttemptRecord::timeFromText(next().toString());
    record.station = next().toString();
    record.frontEnd = next().toString();
    record.port = next().toString();
    record.vidPid = next().toString();
    record.serialNumber = next().toString();
    const QVariant model = next();
    if (!model.isNull())
        record.modelId = model.toInt();
    record.interfaceName = next().toString();
    record.imageName = next().toString();
    record.imageSha256 = next().toString();
    record.imageVersion = next().toString();
    record.outcome = next().toString();
    record.reason = next().toString();
    record.seconds = next().toDouble();
    const QVariant verified = next();
    if (!verified.isNull())
        record.verified = verified.toInt() != 0;
    return record;
}

QString connectOptions(const HistoryLocation& location)
{
    QStringList options;
    options << QStringLiteral("connect_timeout=%1")
                   .arg(location.connectTimeoutSeconds > 0 ? location.connectTimeoutSeconds
                                                           : kDefaultConnectTimeoutSeconds);
    if (!location.sslMode.isEmpty())
        options << QStringLiteral("sslmode=%1").arg(location.sslMode);
    if (!location.applicationName.isEmpty())
        options << QStringLiteral("application_name=%1").arg(location.applicationName);
    return options.join(QLatin1Char(';'));
}

} // namespace

HistoryStore::HistoryStore(const HistoryLocation& location, bool stationCopy)
    : where(location), connection_name(nextConnectionName()), station_copy(stationCopy)
{
}

HistoryStore::~HistoryStore()
{
    close();
}

QSqlDatabase HistoryStore::database() const
{
    return QSqlDatabase::database(connection_name, false);
}

bool HistoryStore::open(QString& error)
{
    close();
    // The connection's last handle must be gone before it can be removed.
    if (connect(error))
        return true;
    close();
    return false;
}

bool HistoryStore::connect(QString& error)
{
    const bool postgres = where.isPostgres();
    QSqlDatabase db = QSqlDatabase::addDatabase(postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                                connection_name);
    if (!db.isValid()) {
        error = QStringLiteral("the Qt SQL driver %1 is not installed").arg(db.driverName());
        return false;
    }
    if (postgres) {
        db.setHostName(where.host);
        if (where.port > 0)
            db.setPort(where.port);
        db.setUserName(where.user);
        db.setPassword(where.password);
        db.setDatabaseName(where.database);
        db.setConnectOptions(connectOptions(where));
    } else {
        QDir().mkpath(QFileInfo(where.sqlitePath).absolutePath());
        db.setDatabaseName(where.sqlitePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kSqliteBusyTimeoutMs));
    }
    if (!db.open()) {
        error = where.withoutPassword(db.lastError().text()).simplified();
        return false;
    }
    if (station_copy) {
        QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    if (!HistorySchema::ensure(db, error)) {
        error = where.withoutPassword(error);
        return false;
    }
    return true;
}

bool HistoryStore::isOpen() const
{
    return QSqlDatabase::contains(connection_name) && database().isOpen();
}

void HistoryStore::close()
{
    if (!QSqlDatabase::contains(connection_name))
        return;
    database().close();
    QSqlDatabase::removeDatabase(connection_name);
}

bool HistoryStore::execute(QSqlQuery& query, QString& error) const
{
    if (query.exec())
        return true;
    error = where.withoutPassword(query.lastError().text()).simplified();
    return false;
}

bool HistoryStore::readRows(QSqlQuery& query, QList<AttemptRecord>& rows, QString& error) const
{
    if (!execute(query, error))
        return false;
    while (query.next())
        rows.append(recordFrom(query));
    return true;
}

bool HistoryStore::save(const AttemptRecord& record, bool sent, QString& error)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral(
        "INSERT INTO attempts (%1, sent) VALUES (:uid, :started, :ended, :station, :front_end, :port, :vid_pid, "
        ":serial, :model, :interface, :image_name, :image_sha256, :image_version, :outcome, :reason, :seconds, "
        ":verified, :sent) "
        "ON CONFLICT (attempt_uid) DO UPDATE SET ended_utc = excluded.ended_utc, port = excluded.port, "
        "vid_pid = excluded.vid_pid, serial_number = excluded.serial_number, model_id = excluded.model_id, "
        "image_version = excluded.image_version, outcome = excluded.outcome, reason = excluded.reason, "
        "seconds = excluded.seconds, verified = excluded.verified, sent = excluded.sent")
                      .arg(kColumns));
    query.bindValue(QStringLiteral(":uid"), text(record.uid));
    query.bindValue(QStringLiteral(":started"), text(AttemptRecord::timeText(record.startedUtc)));
    query.bindValue(QStringLiteral(":ended"), text(AttemptRecord::timeText(record.endedUtc)));
    query.bindValue(QStringLiteral(":station"), text(record.station));
    query.bindValue(QStringLiteral(":front_end"), text(record.frontEnd));
    query.bindValue(QStringLiteral(":port"), text(record.port));
    query.bindValue(QStringLiteral(":vid_pid"), text(record.vidPid));
    query.bindValue(QStringLiteral(":serial"), text(record.serialNumber));
    query.bindValue(QStringLiteral(":model"), optionalInt(record.modelId));
    query.bindValue(QStringLiteral(":interface"), text(record.interfaceName));
    query.bindValue(QStringLiteral(":image_name"), text(record.imageName));
    query.bindValue(QStringLiteral(":image_sha256"), text(record.imageSha256));
    query.bindValue(QStringLiteral(":image_version"), text(record.imageVersion));
    query.bindValue(QStringLiteral(":outcome"), text(record.outcome));
    query.bindValue(QStringLiteral(":reason"), text(record.reason));
    query.bindValue(QStringLiteral(":seconds"), record.seconds);
    query.bindValue(QStringLiteral(":verified"), optionalBool(record.verified));
    query.bindValue(QStringLiteral(":sent"), sent ? 1 : 0);
    return execute(query, error);
}

bool HistoryStore::markInterrupted(const QString& station, const QDateTime& before, bool sent, QString& error)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("UPDATE attempts SET outcome = :interrupted, reason = :reason, sent = :sent "
                                 "WHERE station = :station AND outcome = :running AND started_utc < :before"));
    query.bindValue(QStringLiteral(":interrupted"), QStringLiteral("interrupted"));
    query.bindValue(QStringLiteral(":reason"), QStringLiteral("the program ended before the update did"));
    query.bindValue(QStringLiteral(":sent"), sent ? 1 : 0);
    query.bindValue(QStringLiteral(":station"), station);
    query.bindValue(QStringLiteral(":running"), QStringLiteral("running"));
    query.bindValue(QStringLiteral(":before"), AttemptRecord::timeText(before));
    return execute(query, error);
}

bool HistoryStore::lastDone(const QString& serialNumber, const QString& imageSha256,
                            std::optional<AttemptRecord>& found, QString& error)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT %1 FROM attempts WHERE serial_number = :serial AND image_sha256 = :sha "
                                 "AND outcome = :done ORDER BY ended_utc DESC LIMIT 1")
                      .arg(kColumns));
    query.bindValue(QStringLiteral(":serial"), serialNumber);
    query.bindValue(QStringLiteral(":sha"), imageSha256);
    query.bindValue(QStringLiteral(":done"), QStringLiteral("done"));
    QList<AttemptRecord> rows;
    if (!readRows(query, rows, error))
        return false;
    found = rows.isEmpty() ? std::nullopt : std::optional<AttemptRecord>(rows.first());
    return true;
}

bool HistoryStore::query(const HistoryFilter& filter, QList<AttemptRecord>& rows, QString& error)
{
    // Only these fixed conditions are ever joined; the values are bound.
    QStringList conditions;
    QVariantList values;
    const auto match = [&](const QString& condition, const QString& value) {
        if (value.isEmpty())
            return;
        conditions << condition;
        values << value;
    };
    match(QStringLiteral("serial_number = ?"), filter.serialNumber);
    match(QStringLiteral("image_version = ?"), filter.imageVersion);
    match(QStringLiteral("outcome = ?"), filter.outcome);
    match(QStringLiteral("station = ?"), filter.station);
    match(QStringLiteral("started_utc >= ?"), AttemptRecord::timeText(filter.since));
    const QString where = conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(" AND ");
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT %1 FROM attempts%2 ORDER BY started_utc DESC, id DESC").arg(kColumns, where));
    for (const QVariant& value : values)
        query.addBindValue(value);
    return readRows(query, rows, error);
}

bool HistoryStore::unsent(QList<AttemptRecord>& rows, QString& error)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT %1 FROM attempts WHERE sent = 0 ORDER BY id").arg(kColumns));
    return readRows(query, rows, error);
}

bool HistoryStore::markSent(const AttemptRecord& record, QString& error)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("UPDATE attempts SET sent = 1 WHERE attempt_uid = ? AND outcome = ? AND ended_utc = ?"));
    query.addBindValue(record.uid);
    query.addBindValue(record.outcome);
    query.addBindValue(text(AttemptRecord::timeText(record.endedUtc)));
    return execute(query, error);
}
