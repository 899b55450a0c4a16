#include "HistoryLocation.h"

#include <QByteArray>
#include <QStringList>
#include <QUrl>

namespace {

const QString kSqlitePrefix = QStringLiteral("sqlite:");
const QStringList kPostgresSchemes{QStringLiteral("postgresql://"), QStringLiteral("postgres://")};

QString percentDecoded(const QString& text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

std::optional<int> portNumber(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// "user:password@" in front of the host part; both may be percent-encoded.
void readUserInfo(const QString& userInfo, HistoryLocation& location)
{
    const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
    location.user = percentDecoded(userInfo.left(colon));
    if (colon >= 0)
        location.password = percentDecoded(userInfo.mid(colon + 1));
}

// "host", "host:port", "[v6 address]:port" or nothing (libpq's default socket).
bool readHostPort(const QString& hostPort, HistoryLocation& location, QString& error)
{
    if (hostPort.contains(QLatin1Char(','))) {
        error = QStringLiteral("a history URL names one server; several hosts are not supported");
        return false;
    }
    QString host = hostPort;
    QString port;
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close < 0) {
            error = QStringLiteral("the host's closing ']' is missing");
            return false;
        }
        port = host.mid(close + 1);
        host = host.mid(1, close - 1);
        if (!port.isEmpty() && !port.startsWith(QLatin1Char(':'))) {
            error = QStringLiteral("text after the host's ']' must be :PORT");
            return false;
        }
        port = port.mid(1);
    } else {
        const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            port = host.mid(colon + 1);
            host = host.left(colon);
        }
    }
    location.host = percentDecoded(host);
    if (!port.isEmpty()) {
        const std::optional<int> number = portNumber(port);
        if (!number) {
            error = QStringLiteral("the port \"%1\" is not a number from 1 to 65535").arg(port);
            return false;
        }
        location.port = *number;
    }
    return true;
}

bool readParameter(const QString& name, const QString& value, HistoryLocation& location, QString& error)
{
    if (name == QLatin1String("host")) {
        location.host = value;
    } else if (name == QLatin1String("port")) {
        const std::optional<int> number = portNumber(value);
        if (!number) {
            error = QStringLiteral("the port \"%1\" is not a number from 1 to 65535").arg(value);
            return false;
        }
        location.port = *number;
    } else if (name == QLatin1String("user")) {
        location.user = value;
    } else if (name == QLatin1String("password")) {
        location.password = value;
    } else if (name == QLatin1String("dbname")) {
        location.database = value;
    } else if (name == QLatin1String("connect_timeout")) {
        bool ok = false;
        location.connectTimeoutSeconds = value.toInt(&ok);
        if (!ok || location.connectTimeoutSeconds < 0) {
            error = QStringLiteral("connect_timeout needs a whole number of seconds; got \"%1\"").arg(value);
            return false;
        }
    } else if (name == QLatin1String("sslmode")) {
        location.sslMode = value;
    } else if (name == QLatin1String("application_name")) {
        location.applicationName = value;
    } else {
        error = QStringLiteral("the parameter \"%1\" is not one this program passes on (host, port, user, password, "
                               "dbname, connect_timeout, sslmode, application_name)")
                    .arg(name);
        return false;
    }
    return true;
}

bool readQuery(const QString& query, HistoryLocation& location, QString& error)
{
    for (const QString& pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            error = QStringLiteral("\"%1\" is not NAME=VALUE").arg(pair);
            return false;
        }
        if (!readParameter(percentDecoded(pair.left(equals)), percentDecoded(pair.mid(equals + 1)), location, error))
            return false;
    }
    return true;
}

// libpq's URI form: postgresql://[userinfo@][host][:port][/dbname][?param=value&...]
std::optional<HistoryLocation> parsePostgres(const QString& rest, QString& error)
{
    HistoryLocation location;
    location.kind = HistoryLocation::Kind::Postgres;
    const qsizetype question = rest.indexOf(QLatin1Char('?'));
    const QString beforeQuery = rest.left(question);
    const QString query = question >= 0 ? rest.mid(question + 1) : QString();
    const qsizetype slash = beforeQuery.indexOf(QLatin1Char('/'));
    QString authority = beforeQuery.left(slash);
    if (slash >= 0)
        location.database = percentDecoded(beforeQuery.mid(slash + 1));
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        readUserInfo(authority.left(at), location);
        authority = authority.mid(at + 1);
    }
    if (!readHostPort(authority, location, error) || !readQuery(query, location, error))
        return std::nullopt;
    return location;
}

} // namespace

std::optional<HistoryLocation> HistoryLocation::parse(const QString& text, const QString& defaultSqlitePath,
                                                      QString& error)
{
    const QString value = text.trimmed();
    HistoryLocation location;
    if (value.isEmpty()) {
        location.kind = Kind::Sqlite;
        location.sqlitePath = defaultSqlitePath;
        return location;
    }
    if (value == QLatin1String("off"))
        return location;
    if (value.startsWith(kSqlitePrefix)) {
        location.kind = Kind::Sqlite;
        location.sqlitePath = value.mid(kSqlitePrefix.size());
        if (location.sqlitePath.isEmpty()) {
            error = QStringLiteral("sqlite: needs the path of the file, as in sqlite:/var/lib/line/history.sqlite");
            return std::nullopt;
        }
        return location;
    }
    for (const QString& scheme : kPostgresSchemes) {
        if (value.startsWith(scheme)) {
            std::optional<HistoryLocation> parsed = parsePostgres(value.mid(scheme.size()), error);
            if (!parsed)
                error = QStringLiteral("the history URL cannot be used: %1").arg(error);
            return parsed;
        }
    }
    error = QStringLiteral("the history must be off, sqlite:PATH or a postgresql:// URL");
    return std::nullopt;
}

QString HistoryLocation::describe() const
{
    switch (kind) {
    case Kind::Off:
        return QStringLiteral("off");
    case Kind::Sqlite:
        return QStringLiteral("SQLite file %1").arg(sqlitePath);
    case Kind::Postgres:
        break;
    }
    QString where = host.isEmpty() ? QStringLiteral("the default socket") : host;
    if (port > 0)
        where += QStringLiteral(":%1").arg(port);
    return QStringLiteral("PostgreSQL database \"%1\" as \"%2\" on %3").arg(database, user, where);
}

QString HistoryLocation::withoutPassword(const QString& text) const
{
    if (password.isEmpty())
        return text;
    QString cleaned = text;
    return cleaned.replace(password, QStringLiteral("***"));
}
