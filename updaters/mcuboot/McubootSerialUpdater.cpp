#include "McubootSerialUpdater.h"

#include "ImageStateListing.h"
#include "McubootTlvHash.h"
#include "SmpIds.h"
#include "SmpRequestPayload.h"
#include "SerialReadBuffer.h"
#include "UploadOffsetGuard.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QThread>
#include <algorithm>
#include <limits>

using namespace smp;

namespace {

constexpr int kSettleAfterOpenMs = 100;

const char* refusedOffsetText(UploadOffsetGuard::Verdict verdict)
{
    switch (verdict) {
    case UploadOffsetGuard::Verdict::OutOfRange:
        return "McubootSerialUpdater: device returned offset outside the image";
    case UploadOffsetGuard::Verdict::Stalled:
        return "McubootSerialUpdater: device keeps repeating offset";
    default:
        return "McubootSerialUpdater: too many upload requests, last offset";
    }
}

} // namespace

McubootSerialUpdater::McubootSerialUpdater(const QString& firmwarePath, int baudRate, bool debugLogging,
                                           QString fwTargetType, QObject* parent)
    : FirmwareUpdaterBase(firmwarePath, parent),
      baudRate(baudRate),
      debugLogging(debugLogging),
      fwTargetType(std::move(fwTargetType))
{
}

McubootSerialUpdater::~McubootSerialUpdater()
{
    disconnectDevice();
}

bool McubootSerialUpdater::connectDevice(const QString& portName)
{
    // A link left open would keep the port busy and the new open would fail.
    disconnectDevice();
    serialPort = new QSerialPort(portName, this);
    serialPort->setBaudRate(baudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    serialPort->setReadBufferSize(kSerialReadBufferBytes);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        delete serialPort;
        serialPort = nullptr;
        return false;
    }
    serialPort->clear(QSerialPort::AllDirections);
    QThread::msleep(kSettleAfterOpenMs);
    discardPendingInput();
    if (readImageState())
        return true;
    disconnectDevice();
    return false;
}

void McubootSerialUpdater::disconnectDevice()
{
    if (serialPort == nullptr)
        return;
    serialPort->close();
    serialPort->deleteLater();
    serialPort = nullptr;
}

QByteArray McubootSerialUpdater::sendRequest(uint8_t operation, uint16_t group, uint8_t command,
                                             const QByteArray& payload, int timeoutMs)
{
    return transact(encodeSmpFrame(operation, group, command, payload, sequence++), timeoutMs);
}

bool McubootSerialUpdater::readImageState()
{
    if (serialPort == nullptr || !serialPort->isOpen())
        return false;
    const QByteArray received =
        sendRequest(kOpRead, kGroupImage, kCommandImageState, SmpRequestPayload::emptyMap().value(), kProbeTimeoutMs);
    if (received.isEmpty()) {
        if (debugLogging)
            qWarning() << "McubootSerialUpdater::readImageState: no response from device";
        return false;
    }
    const QByteArray payload = decodeSmpFrame(received);
    if (payload.isEmpty()) {
        if (debugLogging)
            qWarning() << "McubootSerialUpdater::readImageState: parse error";
        return false;
    }
    if (debugLogging)
        dumpSmpCbor(payload, QStringLiteral("image-state"));
    const std::optional<int> rc = cborDecodeMapInt(payload, "rc");
    if (rc && *rc != 0) {
        qWarning() << "McubootSerialUpdater::readImageState: rc=" << *rc;
        return false;
    }
    return true;
}

bool McubootSerialUpdater::upload(const QByteArray& image, std::function<void(int)> progress)
{
    if (!refuseEmpty(image))
        return false;
    // Offsets travel as 32-bit signed numbers; a larger image cannot be described.
    if (image.size() > std::numeric_limits<int32_t>::max()) {
        if (debugLogging)
            qWarning() << "McubootSerialUpdater: cbor encode error at offset" << 0;
        return false;
    }
    sequence = 0;
    const qint64 total = image.size();
    UploadOffsetGuard guard(total, kChunkSize);
    qint64 offset = 0;
    while (offset < total) {
        const std::optional<qint64> next = sendChunk(image, offset);
        if (!next)
            return false;
        const UploadOffsetGuard::Verdict verdict = guard.accept(*next);
        if (verdict != UploadOffsetGuard::Verdict::Continue) {
            if (debugLogging)
                qWarning() << refusedOffsetText(verdict) << *next << "for upload packet at offset" << offset;
            return false;
        }
        offset = *next;
        if (progress)
            progress(verifiesAfterWrite() ? std::min(99, static_cast<int>(offset * 100 / total))
                                          : static_cast<int>(offset * 100 / total));
    }
    return !verifiesAfterWrite() || verifyUploaded(image);
}

// MCUboot lists the image in slot 0 only once it has validated it, with the
// hash from the image's TLV area: the same hash is the unit's word that it
// holds the image. Before the reset, so a unit that does not is not restarted.
bool McubootSerialUpdater::verifyUploaded(const QByteArray& image)
{
    QElapsedTimer clock;
    clock.start();
    const QByteArray received =
        sendRequest(kOpRead, kGroupImage, kCommandImageState, SmpRequestPayload::emptyMap().value(), kProbeTimeoutMs);
    const QByteArray payload = received.isEmpty() ? QByteArray() : decodeSmpFrame(received);
    const auto milliseconds = [&clock] { return static_cast<int>(clock.elapsed()); };
    if (payload.isEmpty()) {
        reportVerification(VerifyFailed, milliseconds(), QStringLiteral("the unit did not answer the image-state read"));
        return false;
    }
    const std::optional<QByteArray> fileHash = mcubootTlvSha256(image);
    const ImageStateListing listing = ImageStateListing::read(payload);
    if (!fileHash || !listing.hasImageList) {
        reportVerification(VerifyUnknown, milliseconds());
        return true;
    }
    if (!listing.slotZeroHash) {
        reportVerification(VerifyFailed, milliseconds(),
                           QStringLiteral("the unit does not list the image in slot 0, so it did not validate it"));
        return false;
    }
    if (*listing.slotZeroHash != *fileHash) {
        reportVerification(VerifyFailed, milliseconds(),
                           QStringLiteral("slot 0 holds the image with hash %1, the image written has %2")
                               .arg(QString::fromLatin1(listing.slotZeroHash->toHex()),
                                    QString::fromLatin1(fileHash->toHex())));
        return false;
    }
    reportVerification(VerifyPassed, milliseconds());
    return true;
}

// Sends the chunk at `offset`; returns the offset the unit expects next.
std::optional<qint64> McubootSerialUpdater::sendChunk(const QByteArray& image, qint64 offset)
{
    const QByteArray chunk = image.mid(offset, kChunkSize);
    const std::optional<QByteArray> payload = SmpRequestPayload::uploadChunk(
        chunk, static_cast<uint32_t>(offset), static_cast<uint32_t>(image.size()));
    if (!payload) {
        if (debugLogging)
            qWarning() << "McubootSerialUpdater: cbor encode error at offset" << offset;
        return std::nullopt;
    }
    const int timeoutMs = offset == 0 ? kFirstChunkTimeoutMs : kChunkTimeoutMs;
    const QByteArray received = sendRequest(kOpWrite, kGroupImage, kCommandImageUpload, *payload, timeoutMs);
    if (received.isEmpty()) {
        if (debugLogging)
            qWarning() << "McubootSerialUpdater: no response for upload packet at offset" << offset;
        return std::nullopt;
    }
    const QByteArray response = decodeSmpFrame(received);
    if (response.isEmpty()) {
        if (debugLogging)
            qWarning() << "McubootSerialUpdater: failed to parse response for upload packet at offset" << offset;
        return std::nullopt;
    }
    const std::optional<int> rc = cborDecodeMapInt(response, "rc");
    if (rc && *rc != 0) {
        if (debugLogging)
            qWarning() << "McubootSerialUpdater: device returned error code" << *rc << "for upload packet at offset"
                       << offset;
        return std::nullopt;
    }
    const std::optional<int> answered = cborDecodeMapInt(response, "off");
    return answered ? qint64{*answered} : offset + chunk.size();
}

void McubootSerialUpdater::exitBootloader()
{
    if (serialPort == nullptr)
        return;
    const QByteArray frame =
        encodeSmpFrame(kOpWrite, kGroupOs, kCommandReset, SmpRequestPayload::emptyMap().value(), sequence++);
    serialPort->write(frame);
    serialPort->flush();
}

void McubootSerialUpdater::onStartUpdate()
{
    runUpdate();
}

void McubootSerialUpdater::onConnectToDevice(const QString& port_name, QList<uint8_t> device_ids,
                                             const bool& verify)
{
    connectAndReport(port_name, device_ids, verify);
}

void McubootSerialUpdater::onDisconnectDevice()
{
    disconnectAndReport();
}
