#pragma once

#include "FirmwareUpdaterBase.h"

#include <QStringList>
#include <mutex>

// A back-end whose building blocks follow a script and record every call, so
// the shared slot bodies and the window can be driven without a unit.
class ScriptedUpdater : public FirmwareUpdaterBase {
    Q_OBJECT

public:
    struct Script {
        bool connects = true;
        bool verifies = true;
        bool uploads = true;
        QList<int> progress{0, 50, 100};
        int uploadDelayMs = 0;
    };

    explicit ScriptedUpdater(const QString& firmwarePath = QStringLiteral("image.bin"));

    void setScript(const Script& script);
    // Calls in order, e.g. "connect:ttyACM0", "verify:7,12", "upload:image.bin".
    QStringList calls() const;
    // The bytes of the last upload.
    QByteArray uploadedImage() const;

    bool connectDevice(const QString& portName) override;
    void disconnectDevice() override;
    bool upload(const QByteArray& image, std::function<void(int)> progress) override;
    void exitBootloader() override;
    bool verifyDeviceId(const QList<uint8_t>& deviceIds) override;

public slots:
    void onStartUpdate() override;
    void onConnectToDevice(const QString& port_name, QList<uint8_t> device_ids, const bool& verify) override;
    void onDisconnectDevice() override;

private:
    void record(const QString& call);
    Script currentScript() const;

    mutable std::mutex mutex;
    Script script;
    QStringList recorded;
    QByteArray uploaded;
};
