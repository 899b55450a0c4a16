// Reads from the unit's OTP store over SMP and the model-identifier check.
#include "McubootSerialUpdater.h"

#include "SmpIds.h"
#include "SmpRequestPayload.h"

#include <QDebug>
#include <QSerialPort>

using namespace smp;

std::optional<QByteArray> McubootSerialUpdater::readOtpData(uint32_t key)
{
    if (serialPort == nullptr || !serialPort->isOpen())
        return std::nullopt;
    const std::optional<QByteArray> request = SmpRequestPayload::otpRead(key);
    if (!request) {
        qWarning() << "McubootSerialUpdater::readOtpData: cbor encode error";
        return std::nullopt;
    }
    const QByteArray received = sendRequest(kOpRead, kGroupOtp, kCommandOtpRead, *request, kOtpTimeoutMs);
    if (received.isEmpty()) {
        qWarning() << "McubootSerialUpdater::readOtpData: no response";
        return std::nullopt;
    }
    return parseOtpResponse(key, received);
}

std::optional<QByteArray> McubootSerialUpdater::parseOtpResponse(uint32_t key, const QByteArray& received) const
{
    const QByteArray payload = decodeSmpFrame(received);
    if (payload.isEmpty()) {
        qWarning() << "McubootSerialUpdater::readOtpData: parse error";
        return std::nullopt;
    }
    const std::optional<int> rc = cborDecodeMapInt(payload, "rc");
    if (rc && *rc == kRcKeyNotFound) {
        qDebug() << QStringLiteral("McubootSerialUpdater::readOtpData: key 0x%1 not found in OTP").arg(key, 0, 16);
        return std::nullopt;
    }
    if (rc && *rc != 0) {
        qWarning() << "McubootSerialUpdater::readOtpData: rc=" << *rc;
        return std::nullopt;
    }
    const std::optional<QByteArray> value = cborDecodeMapBstr(payload, "data");
    if (!value || value->isEmpty()) {
        qWarning() << "McubootSerialUpdater::readOtpData: 'data' key not found or empty";
        return std::nullopt;
    }
    return value;
}

bool McubootSerialUpdater::verifyDeviceId(const QList<uint8_t>& deviceIds)
{
    if (fwTargetType == QLatin1String("service"))
        return true;
    const std::optional<QByteArray> modelValue = readOtpData(kModelIdKey);
    if (!modelValue) {
        if (debugLogging)
            qWarning() << "McubootSerialUpdater::verifyDeviceId: failed to read model ID from OTP";
        return false;
    }
    const auto modelId = static_cast<uint8_t>(modelValue->at(0));
    if (debugLogging)
        logSerialNumber(modelId);
    if (deviceIds.contains(modelId)) {
        if (debugLogging)
            qDebug() << "McubootSerialUpdater::verifyDeviceId: model ID" << unsigned{modelId} << "OK";
        return true;
    }
    if (debugLogging)
        qWarning() << "McubootSerialUpdater::verifyDeviceId: model ID mismatch:" << unsigned{modelId};
    return false;
}

std::optional<int> McubootSerialUpdater::readModelId()
{
    const std::optional<QByteArray> model = readOtpData(kModelIdKey);
    if (!model)
        return std::nullopt;
    return static_cast<uint8_t>(model->at(0));
}

// The value is text, padded with zero bytes to the OTP entry's length.
QString McubootSerialUpdater::readSerialNumber()
{
    const std::optional<QByteArray> serial = readOtpData(kSerialNumberKey);
    if (!serial)
        return QString();
    const qsizetype zero = serial->indexOf('\0');
    return QString::fromLatin1(zero < 0 ? *serial : serial->left(zero));
}

void McubootSerialUpdater::logSerialNumber(uint8_t modelId)
{
    const QString text = readSerialNumber();
    if (text.isEmpty())
        return;
    qDebug() << "McubootSerialUpdater::verifyDeviceId: device model ID" << unsigned{modelId} << "serial number"
             << text;
}
