#pragma once

#include "ConnectionStatus.h"
#include "FirmwareImage.h"
#include "IdentityReader.h"
#include "VerifyResult.h"

#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

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
    // Writes the image's bytes; every back-end refuses an image of no bytes.
    virtual bool upload(const QByteArray& image, std::function<void(int)> progress) = 0;
    virtual void exitBootloader() = 0;
    virtual bool verifyDeviceId(const QList<uint8_t>& deviceIds) = 0;

    // The image the next update writes, handed over from any thread before the
    // start request. A non-empty refusal ends that update before anything
    // reaches the unit. Without a handed image the file at firmwarePath is read
    // when the update starts.
    void setImage(const FirmwareImage& image, const QString& refusal = QString());
    // The configured image file; it never changes, so any thread may ask.
    const QString& imageFile() const { return firmwarePath; }
    bool hasImage() const;
    // The reads of the connected unit's identity, where the back-end offers
    // them (none by default). Any thread may ask; the reads themselves run on
    // the back-end's thread.
    virtual IdentityReader* identityReader() { return nullptr; }

    // Read the image back after writing it and finish well only when it
    // matches. Set before the back-end moves to its worker thread.
    void setVerifyAfterWrite(bool verify) { verify_after_write = verify; }
    bool verifiesAfterWrite() const { return verify_after_write; }

signals:
    void UpdateStarted();
    void UpdateFinished(bool status);
    void EraseStarted();
    void EraseFinished();
    void ProgressUpdate(int percent);
    void UpdateConnectionStatus(ConnectionStatus status);
    // Why the update that is about to end with UpdateFinished(false) failed,
    // where the back-end knows it.
    void FailureReason(const QString& reason);
    // The read-back of the update about to end, sent before UpdateFinished;
    // not sent when verification is off or the write failed before it.
    void Verified(VerifyResult result, int milliseconds);

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
    // The image for the update that starts now, or nothing when it was refused
    // or cannot be read (the reason is reported then).
    std::optional<FirmwareImage> takeImage();
    // True when the image has bytes; otherwise reports why nothing is written.
    bool refuseEmpty(const QByteArray& image);
    // Logs the reason and sends it with FailureReason.
    void reportFailure(const QString& reason);
    // The file at firmwarePath could not be read; a back-end may say more.
    virtual void reportUnreadableImage(const QString& error);

    // Leaves the bootloader after a good upload. A back-end whose exit can fail
    // after the image was written overrides this so the update is not reported
    // as a success when the unit did not start the new firmware.
    virtual bool exitBootloaderChecked();

    // Reports a finished verification; a failed one also gives its reason,
    // which the log shows after "verify: ".
    void reportVerification(VerifyResult result, int milliseconds, const QString& failure = QString());

    QString firmwarePath;
    // Where the bytes of the running update came from, for messages.
    QString image_in_use = firmwarePath;

private:
    mutable std::mutex image_mutex;
    std::optional<FirmwareImage> handed_image;
    QString handed_refusal;
    bool verify_after_write = false;
};
