#include "PostgresHistoryTest.h"

#include "HistoryLocation.h"
#include "HistoryStore.h"

void PostgresHistoryTest::SetUpTestSuite()
{
    server = new PostgresServer;
}

void PostgresHistoryTest::TearDownTestSuite()
{
    delete server;
    server = nullptr;
}

void PostgresHistoryTest::SetUp()
{
    static int databases = 0;
    const QString name = QStringLiteral("line%1").arg(++databases);
    ASSERT_TRUE(server->start(error)) << error.toStdString();
    ASSERT_TRUE(server->createDatabase(name, error)) << error.toStdString();
    url = server->url(name);
}

QList<AttemptRecord> PostgresHistoryTest::serverRows()
{
    HistoryStore reader(*HistoryLocation::parse(url, QString(), error));
    QList<AttemptRecord> rows;
    EXPECT_TRUE(reader.open(error)) << error.toStdString();
    EXPECT_TRUE(reader.query({}, rows, error)) << error.toStdString();
    return rows;
}
