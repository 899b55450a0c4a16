#include "QtMessageCapture.h"
#include "McubootPtyTest.h"
#include "QtPrinters.h"
#include "SmpTestFrames.h"

using namespace smp_test;

namespace {

constexpr uint32_t kSerialKey = McubootSerialUpdater::kSerialNumberKey;
constexpr uint32_t kModelKey = McubootSerialUpdater::kModelIdKey;

struct IdentityCase {
    const char* name;
    QString targetType;
    QByteArray modelReply;
    QList<uint8_t> accepted;
    bool expected;
    std::size_t otpRequests;
    QStringList log;
};

class IdentityTest : public McubootPtyTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(IdentityTest, ChecksTheModelIdentifier)
{
    const IdentityCase& param = GetParam();
    ScriptedUnit unit;
    unit.otpReplies[kModelKey] = param.modelReply;
    connectTo(unit, false, param.targetType);
    QtMessageCapture log;
    EXPECT_EQ(updater->verifyDeviceId(param.accepted), param.expected);
    EXPECT_EQ(log.lines(), param.log);
    const std::vector<SmpRequest> sent = requestsAfterProbe();
    ASSERT_EQ(sent.size(), param.otpRequests);
    if (!sent.empty())
        expectRequest(sent[0], 0, 64, 0, 1, kModelIdRequest);
}

INSTANTIATE_TEST_SUITE_P(
    Units, IdentityTest,
    ::testing::Values(
        IdentityCase{"accepted", "production", cborMap({{"rc", cborInt(0)}, {"data", cborBytes("\x2A\x01")}}), {7, 42},
                     true, 1, {}},
        IdentityCase{"not in list", "production", cborMap({{"data", cborBytes("\x2A")}}), {7, 41}, false, 1, {}},
        IdentityCase{"empty list", "production", cborMap({{"data", cborBytes("\x2A")}}), {}, false, 1, {}},
        IdentityCase{"key absent", "production", cborMap({{"rc", cborInt(5)}}), {42}, false, 1,
                     {"debug: \"McubootSerialUpdater::readOtpData: key 0x1234711 not found in OTP\""}},
        IdentityCase{"other error", "production", cborMap({{"rc", cborInt(3)}}), {42}, false, 1,
                     {"warning: McubootSerialUpdater::readOtpData: rc= 3"}},
        IdentityCase{"empty value", "production", cborMap({{"data", cborBytes({})}}), {0}, false, 1,
                     {"warning: McubootSerialUpdater::readOtpData: 'data' key not found or empty"}},
        IdentityCase{"bad frame", "production", QByteArray(), {42}, false, 1,
                     {"warning: McubootSerialUpdater::readOtpData: no response"}},
        IdentityCase{"service unit", "service", cborMap({{"data", cborBytes("\x2A")}}), {}, true, 0, {}}),
    [](const auto& info) { return testName(info.param.name); });

struct SerialNumberCase {
    const char* name;
    QByteArray model;
    QByteArray serial;
    bool accepted;
    QStringList log;
};

class SerialNumberTest : public McubootPtyTest, public ::testing::WithParamInterface<SerialNumberCase> {};

// With diagnostics on, a second OTP read fetches the serial number for the log.
TEST_P(SerialNumberTest, DiagnosticModeAlsoReadsTheSerialNumber)
{
    const SerialNumberCase& param = GetParam();
    ScriptedUnit unit;
    unit.otpReplies[kModelKey] = cborMap({{"data", cborBytes(param.model)}});
    unit.otpReplies[kSerialKey] = cborMap({{"data", cborBytes(param.serial)}});
    connectTo(unit, true);
    QtMessageCapture log;
    EXPECT_EQ(updater->verifyDeviceId({42}), param.accepted);
    const std::vector<SmpRequest> sent = requestsAfterProbe();
    ASSERT_EQ(sent.size(), 2u);
    expectRequest(sent[1], 0, 64, 0, 2, QByteArray::fromHex("bf 63 6b 65 79 1a 3c a6 a4 af ff"));
    EXPECT_EQ(log.lines(), param.log);
}

INSTANTIATE_TEST_SUITE_P(
    Units, SerialNumberTest,
    ::testing::Values(
        SerialNumberCase{"printed whole without a zero byte", "\x2A", "SN-0042", true,
                         {"debug: McubootSerialUpdater::verifyDeviceId: device model ID 42 serial number \"SN-0042\"",
                          "debug: McubootSerialUpdater::verifyDeviceId: model ID 42 OK"}},
        SerialNumberCase{"ends at the first zero byte", "\x07", QByteArray("AB\0CD", 5), false,
                         {"debug: McubootSerialUpdater::verifyDeviceId: device model ID 7 serial number \"AB\"",
                          "warning: McubootSerialUpdater::verifyDeviceId: model ID mismatch: 7"}}),
    [](const auto& info) { return testName(info.param.name); });

TEST_F(McubootPtyTest, MismatchClosesTheLinkAndReportsIt)
{
    ScriptedUnit unit;
    unit.otpReplies[kModelKey] = cborMap({{"data", cborBytes("\x09")}});
    makeUpdater();
    peer.start(unit.responder());
    QList<ConnectionStatus> statuses;
    QObject::connect(updater.get(), &FirmwareUpdaterBase::UpdateConnectionStatus,
                     [&](ConnectionStatus status) { statuses << status; });
    updater->onConnectToDevice(peer.portName(), {1, 2}, true);
    updater->onConnectToDevice(peer.portName(), {9}, true);
    updater->onConnectToDevice(peer.portName(), {}, false);
    EXPECT_EQ(statuses, QList<ConnectionStatus>({DeviceMismatch, Connected, Connected}));
    updater->onConnectToDevice(peer.portName(), {1}, true);
    EXPECT_FALSE(updater->readImageState()) << "link must be closed after a mismatch";
    EXPECT_EQ(peer.requests().size(), 7u) << "probe+otp, probe+otp, probe, probe+otp";
}

} // namespace
