#pragma once

#include <QString>
#include <QTemporaryDir>

// A throw-away PostgreSQL server from the distribution's package for the
// length of a test: its data and its Unix socket in a temporary folder, no
// TCP port. The server refuses to run as root, so under root it runs as the
// package's "postgres" account (or "nobody"). The destructor stops it.
class PostgresServer {
public:
    static constexpr const char* kUser = "fwu";

    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Makes the cluster and starts the server; `error` says what went wrong.
    bool start(QString& error);
    bool stop();
    bool isRunning() const { return running; }

    // A new empty database; its URL in the form the updater reads.
    bool createDatabase(const QString& name, QString& error);
    QString url(const QString& database) const;
    QString socketFolder() const;

private:
    bool initialise(QString& error);
    bool runTool(const QString& tool, const QStringList& arguments, QString& output) const;

    QTemporaryDir folder;
    bool initialised = false;
    bool running = false;
};
