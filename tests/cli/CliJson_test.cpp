#include "CliBench.h"

#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

// Standard output with --json: nothing but JSON objects, one a line, each
// with an "event" and a "port".
void expectOnlyEvents(const CliResult& result)
{
    const QList<QJsonObject> events = result.jsonLines();
    ASSERT_FALSE(events.isEmpty());
    for (qsizetype i = 0; i < events.size(); ++i) {
        EXPECT_FALSE(events[i].isEmpty()) << "not a JSON object: " << result.outLines()[i].toStdString();
        EXPECT_TRUE(events[i]["event"].isString()) << result.outLines()[i].toStdString();
        EXPECT_TRUE(events[i]["port"].isString()) << result.outLines()[i].toStdString();
    }
}

QStringList eventNames(const QList<QJsonObject>& events)
{
    QStringList names;
    for (const QJsonObject& event : events)
        names << event["event"].toString();
    return names;
}

TEST(CliJson, AGoodUpdateIsFoundModelProgressDone)
{
    CliBench bench(Backend::Mcuboot);
    const QString port = bench.plug({"--model-id", "12"}).path();

    const CliResult result = bench.run({"update", "--json"});

    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    expectOnlyEvents(result);
    const QList<QJsonObject> events = result.jsonLines();
    const QStringList names = eventNames(events);
    ASSERT_GE(names.size(), 4);
    EXPECT_EQ(names.first(), "found");
    EXPECT_EQ(names[1], "model");
    EXPECT_EQ(names.last(), "done");
    EXPECT_EQ(names.count("progress"), names.size() - 3);

    const QJsonObject found = events.first();
    EXPECT_EQ(found["port"].toString(), port);
    EXPECT_EQ(found["vid"].toString(), "1209");
    EXPECT_EQ(found["pid"].toString(), "4c55");
    EXPECT_EQ(found["product"].toString(), "Unit");

    EXPECT_EQ(events[1]["model"].toInt(), 12) << "read from the unit";
    EXPECT_TRUE(events[1]["accepted"].toBool());

    int previous = -1;
    for (const QJsonObject& event : events) {
        if (event["event"] != "progress")
            continue;
        EXPECT_GT(event["percent"].toInt(), previous);
        EXPECT_EQ(event["port"].toString(), port);
        previous = event["percent"].toInt();
    }
    EXPECT_EQ(previous, 100);

    const QJsonObject done = events.last();
    EXPECT_TRUE(done["ok"].toBool());
    EXPECT_TRUE(done["seconds"].isDouble());
    EXPECT_FALSE(done.contains("reason"));
    EXPECT_EQ(done["exit"].toInt(), 0);
}

struct FailureCase {
    const char* name;
    QStringList unitArguments;
    int exitCode;
    QStringList names;
};

class CliJsonFailure : public ::testing::TestWithParam<FailureCase> {};

// Failures end with a "done" event that carries "ok": false and a reason.
TEST_P(CliJsonFailure, EndsWithAReason)
{
    CliBench bench(Backend::Mcuboot);
    bench.plug(GetParam().unitArguments);

    const CliResult result = bench.run({"update", "--json"});

    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    expectOnlyEvents(result);
    const QList<QJsonObject> events = result.jsonLines();
    QStringList names = eventNames(events);
    names.removeAll("progress");
    EXPECT_EQ(names, GetParam().names);
    const QJsonObject done = events.last();
    EXPECT_FALSE(done["ok"].toBool(true));
    EXPECT_FALSE(done["reason"].toString().isEmpty());
    EXPECT_EQ(done["exit"].toInt(), GetParam().exitCode);
    EXPECT_FALSE(result.err.isEmpty()) << "a person is told on standard error";
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CliJsonFailure,
    ::testing::Values(FailureCase{"refused", {"--model-id", "99"}, 4, {"found", "model", "done"}},
                      FailureCase{"cable_pulled", {"--unplug-after-bytes", "9000"}, 1, {"found", "model", "done"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ModelCase {
    const char* name;
    Backend backend;
    const char* deviceIds;
    QJsonValue model;
};

class CliJsonModel : public ::testing::TestWithParam<ModelCase> {};

// "model" carries the identifier where the back-end can read it (MCUboot) or
// where the check alone tells it (a single accepted identifier); else null.
TEST_P(CliJsonModel, CarriesTheIdentifierWhereKnown)
{
    CliBench bench(GetParam().backend, QStringLiteral("device_id_list=%1\n").arg(GetParam().deviceIds));
    bench.plug({"--model-id", "7"});

    const CliResult result = bench.run({"update", "--json"});

    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QList<QJsonObject> events = result.jsonLines();
    ASSERT_GE(events.size(), 2);
    EXPECT_EQ(events[1]["event"].toString(), "model");
    EXPECT_EQ(events[1]["model"], GetParam().model);
    EXPECT_TRUE(events[1]["accepted"].toBool());
}

INSTANTIATE_TEST_SUITE_P(Models, CliJsonModel,
                         ::testing::Values(ModelCase{"mcuboot_reads_it", Backend::Mcuboot, "1, 7, 9", QJsonValue(7)},
                                           ModelCase{"uart_one_accepted", Backend::Uart, "7", QJsonValue(7)},
                                           ModelCase{"uart_several_accepted", Backend::Uart, "7, 12",
                                                     QJsonValue(QJsonValue::Null)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliJson, RefusedModelIsReportedNotAccepted)
{
    CliBench bench(Backend::Mcuboot);
    bench.plug({"--model-id", "99"});

    const QList<QJsonObject> events = bench.run({"update", "--json"}).jsonLines();

    ASSERT_GE(events.size(), 2);
    EXPECT_EQ(events[1]["event"].toString(), "model");
    EXPECT_FALSE(events[1]["accepted"].toBool(true));
}

TEST(CliJson, ListGivesOneFoundEventPerUnit)
{
    CliBench bench(Backend::Mcuboot);
    const QString first = bench.plug().path();
    const QString second = bench.plug().path();

    const CliResult result = bench.run({"list", "--json"});

    EXPECT_EQ(result.exitCode, 0);
    expectOnlyEvents(result);
    const QList<QJsonObject> events = result.jsonLines();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0]["port"].toString(), first);
    EXPECT_EQ(events[1]["port"].toString(), second);
    for (const QJsonObject& event : events) {
        EXPECT_EQ(event["event"].toString(), "found");
        EXPECT_EQ(event["vid"].toString(), "1209");
        EXPECT_EQ(event["pid"].toString(), "4c55");
        EXPECT_EQ(event["product"].toString(), "Unit");
    }
}

} // namespace
