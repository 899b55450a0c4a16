#pragma once

#include "AttemptRecord.h"
#include "PostgresServer.h"

#include <QList>
#include <QString>
#include <gtest/gtest.h>

// A line's shared history on a PostgreSQL server: one server for the suite
// (making a cluster takes seconds), a new empty database for each test.
class PostgresHistoryTest : public testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    // The server's rows, read through a connection of their own.
    QList<AttemptRecord> serverRows();

    static inline PostgresServer* server = nullptr;
    QString url;
    QString error;
};
