#include "PostgresServer.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kToolTimeoutMs = 60000;

// The newest server of the package: /usr/lib/postgresql/VERSION/bin.
QString binFolder()
{
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    const QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    for (const QString& version : found) {
        const QString bin = versions.filePath(version + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return QString();
}

// Who runs the server: ourselves, or an unprivileged account when we are root.
struct Account {
    uid_t uid;
    gid_t gid;
};

Account serverAccount()
{
    if (geteuid() != 0)
        return {geteuid(), getegid()};
    for (const char* name : {"postgres", "nobody"}) {
        if (const passwd* entry = getpwnam(name))
            return {entry->pw_uid, entry->pw_gid};
    }
    return {65534, 65534};
}

} // namespace

PostgresServer::PostgresServer() = default;

PostgresServer::~PostgresServer()
{
    stop();
}

QString PostgresServer::socketFolder() const
{
    return folder.filePath(QStringLiteral("socket"));
}

bool PostgresServer::runTool(const QString& tool, const QStringList& arguments, QString& output) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(folder.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    const Account account = serverAccount();
    if (geteuid() == 0) {
        process.setChildProcessModifier([account] {
            if (setgroups(0, nullptr) != 0 || setgid(account.gid) != 0 || setuid(account.uid) != 0)
                _exit(126);
        });
    }
    process.start(binFolder() + QLatin1Char('/') + tool, arguments);
    const bool ended = process.waitForFinished(kToolTimeoutMs);
    output = QString::fromLocal8Bit(process.readAll());
    return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PostgresServer::initialise(QString& error)
{
    if (binFolder().isEmpty()) {
        error = QStringLiteral("no PostgreSQL server in /usr/lib/postgresql (install the postgresql package: "
                               "scripts/install-deps.sh)");
        return false;
    }
    if (!folder.isValid() || !QDir(folder.path()).mkpath(QStringLiteral("socket"))) {
        error = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    const Account account = serverAccount();
    for (const QString& path : {folder.path(), socketFolder()}) {
        if (chown(QFile::encodeName(path).constData(), account.uid, account.gid) != 0) {
            error = QStringLiteral("cannot hand %1 to the server's account").arg(path);
            return false;
        }
    }
    QString output;
    if (!runTool(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), folder.filePath(QStringLiteral("data")), QStringLiteral("-U"),
                  QString::fromLatin1(kUser), QStringLiteral("--auth=trust"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--no-locale"), QStringLiteral("--no-sync")},
                 output)) {
        error = QStringLiteral("initdb failed: ") + output;
        return false;
    }
    initialised = true;
    return true;
}

bool PostgresServer::start(QString& error)
{
    if (running)
        return true;
    if (!initialised && !initialise(error))
        return false;
    // Unix socket only, and no waiting for the disk: the data is thrown away.
    const QString serverOptions =
        QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off -c synchronous_commit=off "
                       "-c full_page_writes=off -c max_connections=50")
            .arg(socketFolder());
    QString output;
    if (!runTool(QStringLiteral("pg_ctl"),
                 {QStringLiteral("-D"), folder.filePath(QStringLiteral("data")), QStringLiteral("-o"), serverOptions,
                  QStringLiteral("-l"), folder.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
                  QStringLiteral("start")},
                 output)) {
        error = QStringLiteral("pg_ctl start failed: ") + output;
        return false;
    }
    running = true;
    return true;
}

bool PostgresServer::stop()
{
    if (!running)
        return true;
    QString output;
    running = !runTool(QStringLiteral("pg_ctl"),
                       {QStringLiteral("-D"), folder.filePath(QStringLiteral("data")), QStringLiteral("-m"),
                        QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")},
                       output);
    return !running;
}

bool PostgresServer::createDatabase(const QString& name, QString& error)
{
    const QString connection = QUuid::createUuid().toString();
    bool created = false;
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        admin.setHostName(socketFolder());
        admin.setUserName(QString::fromLatin1(kUser));
        admin.setDatabaseName(QStringLiteral("postgres"));
        if (admin.open()) {
            QSqlQuery query(admin);
            // A name from the test itself, never from data.
            created = query.exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
            error = query.lastError().text();
        } else {
            error = admin.lastError().text();
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return created;
}

QString PostgresServer::url(const QString& database) const
{
    return QStringLiteral("postgresql://%1@/%2?host=%3").arg(QString::fromLatin1(kUser), database, socketFolder());
}
