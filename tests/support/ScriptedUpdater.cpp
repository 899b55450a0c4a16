#include "ScriptedUpdater.h"

#include <QThread>

ScriptedUpdater::ScriptedUpdater(const QString& path) : FirmwareUpdaterBase(path) {}

void ScriptedUpdater::setScript(const Script& newScript)
{
    std::lock_guard lock(mutex);
    script = newScript;
}

QStringList ScriptedUpdater::calls() const
{
    std::lock_guard lock(mutex);
    return recorded;
}

void ScriptedUpdater::record(const QString& call)
{
    std::lock_guard lock(mutex);
    recorded.append(call);
}

ScriptedUpdater::Script ScriptedUpdater::currentScript() const
{
    std::lock_guard lock(mutex);
    return script;
}

bool ScriptedUpdater::connectDevice(const QString& portName)
{
    record(QStringLiteral("connect:") + portName);
    return currentScript().connects;
}

void ScriptedUpdater::disconnectDevice()
{
    record(QStringLiteral("disconnect"));
}

QByteArray ScriptedUpdater::uploadedImage() const
{
    std::lock_guard lock(mutex);
    return uploaded;
}

bool ScriptedUpdater::upload(const QByteArray& image, std::function<void(int)> progress)
{
    record(QStringLiteral("upload:") + image_in_use);
    {
        std::lock_guard lock(mutex);
        uploaded = image;
    }
    const Script now = currentScript();
    for (int percent : now.progress) {
        if (now.uploadDelayMs > 0)
            QThread::msleep(static_cast<unsigned long>(now.uploadDelayMs));
        progress(percent);
    }
    return now.uploads;
}

void ScriptedUpdater::exitBootloader()
{
    record(QStringLiteral("exit"));
}

bool ScriptedUpdater::verifyDeviceId(const QList<uint8_t>& deviceIds)
{
    QStringList ids;
    for (uint8_t id : deviceIds)
        ids.append(QString::number(id));
    record(QStringLiteral("verify:") + ids.join(QLatin1Char(',')));
    return currentScript().verifies;
}

// No file stands behind the scripted image unless a session hands one over.
void ScriptedUpdater::onStartUpdate()
{
    if (!hasImage())
        setImage(FirmwareImage{firmwarePath, QByteArrayLiteral("scripted image")});
    runUpdate();
}

void ScriptedUpdater::onConnectToDevice(const QString& port_name, QList<uint8_t> device_ids, const bool& verify)
{
    connectAndReport(port_name, device_ids, verify);
}

void ScriptedUpdater::onDisconnectDevice()
{
    disconnectAndReport();
}
