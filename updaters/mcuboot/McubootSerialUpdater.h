#pragma once

#include "FirmwareUpdaterBase.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

class QSerialPort;
struct zcbor_state_t;

// Back-end for units in MCUboot serial recovery: SMP requests as base64 text
// lines over a serial port, CBOR payloads inside.
class McubootSerialUpdater : public FirmwareUpdaterBase, public IdentityReader {
    Q_OBJECT

public:
    static constexpr uint32_t kModelIdKey = 0x01234711;
    static constexpr uint32_t kSerialNumberKey = 0x3CA6A4AF;
    static constexpr int kChunkSize = 1483;

    McubootSerialUpdater(const QString& firmwarePath, int baudRate, bool debugLogging,
                         QString fwTargetType, QObject* parent = nullptr);
    ~McubootSerialUpdater() override;

    bool connectDevice(const QString& portName) override;
    void disconnectDevice() override;
    bool upload(const QByteArray& image, std::function<void(int)> progress) override;
    void exitBootloader() override;
    bool verifyDeviceId(const QList<uint8_t>& deviceIds) override;

    // The model identifier and serial number from the unit's OTP store.
    IdentityReader* identityReader() override { return this; }
    std::optional<int> readModelId() override;
    QString readSerialNumber() override;

    // Connection probe: true when the unit answers an image-state read with a
    // valid frame whose "rc" is absent or 0.
    bool readImageState();
    std::optional<QByteArray> readOtpData(uint32_t key);
    static void dumpSmpCbor(const QByteArray& payload, const QString& title);

    // SMP serial framing.
    static uint16_t crc16(const uint8_t* data, std::size_t length, uint16_t initial);
    static QByteArray encodeSmpFrame(uint8_t operation, uint16_t group, uint8_t command,
                                     const QByteArray& payload, uint8_t sequence);
    QByteArray transact(const QByteArray& frame, int timeoutMs);
    static QByteArray decodeSmpFrame(const QByteArray& received);

    // Top-level lookups in a response map; empty when the key is absent or
    // its value has another type.
    static std::optional<int> cborDecodeMapInt(const QByteArray& payload, const char* key);
    static std::optional<QByteArray> cborDecodeMapBstr(const QByteArray& payload, const char* key);

public slots:
    void onStartUpdate() override;
    void onConnectToDevice(const QString& port_name, QList<uint8_t> device_ids,
                           const bool& verify) override;
    void onDisconnectDevice() override;

private:
    template <typename T>
    static std::optional<T> cborDecodeMap(const QByteArray& payload, const char* key,
                                          const std::function<std::optional<T>(zcbor_state_t*)>& decodeValue);

    QByteArray sendRequest(uint8_t operation, uint16_t group, uint8_t command,
                           const QByteArray& payload, int timeoutMs);
    void discardPendingInput();
    std::optional<qint64> sendChunk(const QByteArray& image, qint64 offset);
    // Asks the unit, after the upload, whether it validated the image.
    bool verifyUploaded(const QByteArray& image);
    std::optional<QByteArray> parseOtpResponse(uint32_t key, const QByteArray& received) const;
    void logSerialNumber(uint8_t modelId);

    int32_t baudRate;
    bool debugLogging;
    QString fwTargetType;
    QSerialPort* serialPort = nullptr;
    uint8_t sequence = 0;
};
