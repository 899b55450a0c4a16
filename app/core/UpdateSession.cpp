#include "UpdateSession.h"

#include "ThreadLogTag.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

UpdateSession::UpdateSession(InterfaceType interfaceType, const QString& dfuUtilPath, FirmwareUpdaterBase* backend,
                             QObject* parent)
    : QObject(parent),
      updater(backend),
      worker_thread(new QThread),
      interface_type(interfaceType),
      dfu_util_path(dfuUtilPath),
      answers(new WorkQueue(this))
{
    registerUpdaterMetaTypes();
    qRegisterMetaType<FoundUnit>("FoundUnit");
    qRegisterMetaType<UnitIdentity>("UnitIdentity");
    qRegisterMetaType<FirmwareImage>("FirmwareImage");
    startWorkerThread();
}

UpdateSession::~UpdateSession()
{
    // Let a running update finish before anything it uses goes away.
    waitForRunningDownload();
    worker_thread->quit();
    worker_thread->wait();
    delete worker_thread;
    delete updater;
}

// The serial back-ends hold the worker thread for a whole update, so stopping
// the thread waits for it. A DFU download runs in the external tool while the
// worker is idle: wait for its end here, or the tool would be killed mid-flash.
void UpdateSession::waitForRunningDownload()
{
    if (interface_type != InterfaceType::Usb)
        return;
    QEventLoop loop;
    connect(updater, &FirmwareUpdaterBase::UpdateFinished, &loop, &QEventLoop::quit);
    // Reports already on their way settle update_running first.
    QCoreApplication::processEvents();
    if (update_running)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void UpdateSession::startWorkerThread()
{
    updater->moveToThread(worker_thread);
    worker_thread->start(QThread::InheritPriority);
    connect(this, &UpdateSession::UpdateDevice, updater, &FirmwareUpdaterBase::onStartUpdate);
    connect(updater, &FirmwareUpdaterBase::UpdateStarted, this, &UpdateSession::onUpdateStarted);
    connect(updater, &FirmwareUpdaterBase::UpdateFinished, this, &UpdateSession::onUpdateFinished);
    connect(updater, &FirmwareUpdaterBase::UpdateConnectionStatus, this, &UpdateSession::onConnectionStatus);
    connect(this, &UpdateSession::ConnectToDevice, updater, &FirmwareUpdaterBase::onConnectToDevice);
    connect(this, &UpdateSession::DisconnectFromDevice, updater, &FirmwareUpdaterBase::onDisconnectDevice);
}

void UpdateSession::setLogTag(const QString& tag)
{
    // Queued like every request, so the tag is in place before the next one runs there.
    QMetaObject::invokeMethod(updater, [tag] { ThreadLogTag::set(tag); }, Qt::QueuedConnection);
}

void UpdateSession::startSearching(const UnitFinder& unitFinder, const QList<uint8_t>& deviceIds,
                                   int firstCheckDelayMs)
{
    finder = unitFinder;
    device_ids = deviceIds;
    scheduleCheck(firstCheckDelayMs);
}

void UpdateSession::startUpdate()
{
    // From here on a DFU download may be running even before UpdateStarted comes back.
    update_running = true;
    handImageToBackend();
    emit UpdateDevice();
}

// The image is read and checked here, once per update, and the back-end
// writes exactly these bytes. A refused image still goes through the
// back-end's start, which ends the update at once with the reason, so every
// view sees a failed update and nothing reaches the unit.
void UpdateSession::handImageToBackend()
{
    FirmwareImage image{updater->imageFile(), {}};
    QString refusal;
    if (preloaded_image) {
        image = *preloaded_image;
    } else {
        QString error;
        if (std::optional<FirmwareImage> loaded = FirmwareImage::load(image.path, error))
            image = *loaded;
        else
            refusal = FirmwareImage::unreadableText(image.path, error);
    }
    if (refusal.isEmpty() && image_opener)
        image = image_opener(image, refusal);
    if (refusal.isEmpty() && image_check)
        refusal = image_check(image);
    emit ImageChosen(image);
    // Before the start request is queued, so the back-end's start finds it.
    updater->setImage(image, refusal);
}

void UpdateSession::scheduleCheck(int delayMs)
{
    QTimer::singleShot(delayMs, this, &UpdateSession::onCheckForUnit);
}

void UpdateSession::onCheckForUnit()
{
    const QList<FoundUnit> units = finder->find();
    emit UnitsChecked(units);
    if (interface_type == InterfaceType::Usb)
        checkDfuDevices(units);
    else
        checkSerialPorts(units);
}

void UpdateSession::checkSerialPorts(const QList<FoundUnit>& candidates)
{
    if (connected) {
        if (candidates.isEmpty()) {
            port_name.clear();
            emit DisconnectFromDevice();
        }
        scheduleCheck(kSearchIntervalMs);
        return;
    }
    if (candidates.size() == 1) {
        port_name = candidates.first().port;
        emit UnitRequested(candidates.first());
        emit ConnectToDevice(port_name, device_ids, true);
        scheduleCheck(kConnectRetryIntervalMs);
        return;
    }
    // No unit, or several at once: connect to none and look again. With several
    // units the person has to unplug the extra ones first.
    scheduleCheck(kSearchIntervalMs);
}

void UpdateSession::checkDfuDevices(const QList<FoundUnit>& recognised)
{
    if (recognised.size() == 1) {
        // One request per run: the DFU back-end has no link to keep. A unit
        // looked for by its path is named by it, so the tool serves that unit
        // alone; otherwise the tool takes the only unit with the identifiers.
        emit UnitRequested(recognised.first());
        const QString path = finder->restrictedPort().isEmpty() ? QString() : recognised.first().port;
        emit ConnectToDevice(path, device_ids, true);
        return;
    }
    scheduleCheck(kSearchIntervalMs);
}

void UpdateSession::onConnectionStatus(ConnectionStatus status)
{
    switch (status) {
    case Connected:
        connected = true;
        if (readsIdentity())
            readIdentity();
        break;
    case Disconnected:
    case DeviceMismatch:
        connected = false;
        break;
    }
}

void UpdateSession::onUpdateStarted()
{
    update_running = true;
}

void UpdateSession::onUpdateFinished(bool)
{
    update_running = false;
}

void UpdateSession::readIdentity()
{
    FirmwareUpdaterBase* backend = updater;
    QMetaObject::invokeMethod(backend, [this, backend] {
        const std::optional<UnitIdentity> identity = UnitIdentity::read(*backend);
        answers->post([this, identity] { emit UnitIdentified(identity.value_or(UnitIdentity{})); });
    }, Qt::QueuedConnection);
}
