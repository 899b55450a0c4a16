#pragma once

#include "ConnectionStatus.h"

#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

// The contract between the window and a transfer back-end. The back-end lives
// on a worker thread; the window talks to it only through these signals and
// slots, always across a queued connection.
class FirmwareUpdaterBase : public QObject {
    Q_OBJECT

public:
    explicit FirmwareUpdaterBase(const QString& firmwarePath, QObject* parent = nullptr);
    ~FirmwareUpdaterBase() override = default;

    virtual bool connectDevice(const QString& portName) = 0;
    virtual void disconnectDevice() = 0;
    virtual bool upload(const QString& path, std::function<void(int)> progress) = 0;
    virtual void exitBootloader() = 0;
    virtual bool verifyDeviceId(const QList<uint8_t>& deviceIds) = 0;

signals:
    void UpdateStarted();
    void UpdateFinished(bool status);
    void EraseStarted();
    void EraseFinished();
    void ProgressUpdate(int percent);
    void UpdateConnectionStatus(ConnectionStatus status);

public slots:
    virtual void onStartUpdate() = 0;
    virtual void onConnectToDevice(const QString& port_name, QList<uint8_t> device_ids,
                                   const bool& verify) = 0;
    virtual void onDisconnectDevice() = 0;

protected:
    // Slot bodies shared by the serial back-ends.
    void runUpdate();
    void connectAndReport(const QString& portName, const QList<uint8_t>& deviceIds, bool verify);
    void disconnectAndReport();
    // An image file of no bytes: writing it would leave the unit without
    // firmware, so no back-end may start on it. Says so in the message log.
    bool imageFileIsEmpty() const;

    // Leaves the bootloader after a good upload. A back-end whose exit can fail
    // after the image was written overrides this so the update is not reported
    // as a success when the unit did not start the new firmware.
    virtual bool exitBootloaderChecked();

    QString firmwarePath;
};
