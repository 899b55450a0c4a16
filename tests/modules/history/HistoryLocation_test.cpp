#include "HistoryLocation.h"

#include <gtest/gtest.h>

namespace {

const QString kDefaultFile = QStringLiteral("/data/fwupdater/history.sqlite");

struct LocationCase {
    const char* text;
    HistoryLocation::Kind kind;
    const char* sqlitePath;
    const char* host;
    int port;
    const char* user;
    const char* password;
    const char* database;
};

class HistoryLocationParse : public testing::TestWithParam<LocationCase> {};

TEST_P(HistoryLocationParse, ReadsEveryPart)
{
    const LocationCase& expected = GetParam();
    QString error;
    const std::optional<HistoryLocation> location =
        HistoryLocation::parse(QString::fromUtf8(expected.text), kDefaultFile, error);

    ASSERT_TRUE(location) << error.toStdString();
    EXPECT_EQ(location->kind, expected.kind);
    EXPECT_EQ(location->sqlitePath, QString::fromUtf8(expected.sqlitePath));
    EXPECT_EQ(location->host, QString::fromUtf8(expected.host));
    EXPECT_EQ(location->port, expected.port);
    EXPECT_EQ(location->user, QString::fromUtf8(expected.user));
    EXPECT_EQ(location->password, QString::fromUtf8(expected.password));
    EXPECT_EQ(location->database, QString::fromUtf8(expected.database));
}

using Kind = HistoryLocation::Kind;

INSTANTIATE_TEST_SUITE_P(
    Values, HistoryLocationParse,
    testing::Values(
        LocationCase{"", Kind::Sqlite, "/data/fwupdater/history.sqlite", "", 0, "", "", ""},
        LocationCase{"off", Kind::Off, "", "", 0, "", "", ""},
        LocationCase{"sqlite:/srv/line 1/h.sqlite", Kind::Sqlite, "/srv/line 1/h.sqlite", "", 0, "", "", ""},
        LocationCase{"postgresql://line@db.example:6543/history", Kind::Postgres, "", "db.example", 6543, "line", "",
                     "history"},
        LocationCase{"postgres://line:s3cr%40t@db/history", Kind::Postgres, "", "db", 0, "line", "s3cr@t", "history"},
        LocationCase{"postgresql://line@/history?host=/run/postgresql", Kind::Postgres, "", "/run/postgresql", 0,
                     "line", "", "history"},
        LocationCase{"postgresql://line@%2Frun%2Fpostgresql/history", Kind::Postgres, "", "/run/postgresql", 0,
                     "line", "", "history"},
        LocationCase{"postgresql://[::1]:5433/h?user=u&password=p&port=5434", Kind::Postgres, "", "::1", 5434, "u",
                     "p", "h"},
        LocationCase{"postgresql://", Kind::Postgres, "", "", 0, "", "", ""},
        LocationCase{"postgresql:///h?dbname=other", Kind::Postgres, "", "", 0, "", "", "other"}));

TEST(HistoryLocation, RefusesWhatItCannotUse)
{
    for (const char* text : {"sqlite:", "mysql://db/h", "history.sqlite", "postgresql://db:0/h",
                             "postgresql://db:70000/h", "postgresql://db:x/h", "postgresql://a,b/h",
                             "postgresql://[::1/h", "postgresql://db/h?bogus=1", "postgresql://db/h?port",
                             "postgresql://db/h?connect_timeout=-1"}) {
        QString error;
        EXPECT_FALSE(HistoryLocation::parse(QString::fromUtf8(text), kDefaultFile, error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}

TEST(HistoryLocation, NeverShowsThePassword)
{
    QString error;
    const std::optional<HistoryLocation> location =
        HistoryLocation::parse(QStringLiteral("postgresql://line:Hunter2@db:5432/history"), kDefaultFile, error);
    ASSERT_TRUE(location);

    EXPECT_FALSE(location->describe().contains(QStringLiteral("Hunter2")));
    EXPECT_TRUE(location->describe().contains(QStringLiteral("db:5432")));
    EXPECT_EQ(location->withoutPassword(QStringLiteral("password Hunter2 refused")),
              QStringLiteral("password *** refused"));
}

} // namespace
