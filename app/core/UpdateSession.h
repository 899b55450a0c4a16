#pragma once

#include "ConnectionStatus.h"
#include "FirmwareUpdaterBase.h"
#include "FoundUnit.h"
#include "InterfaceType.h"
#include "UnitFinder.h"
#include "UnitIdentity.h"
#include "WorkQueue.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QThread;

// One run's update flow, free of any display: owns the back-end and the
// worker thread it runs on, polls for a unit, asks the back-end to connect to
// it and starts the update on request. Front ends draw what it reports.
class UpdateSession : public QObject {
    Q_OBJECT

public:
    static constexpr int kFirstCheckDelayMs = 100;
    static constexpr int kSearchIntervalMs = 2000;
    static constexpr int kConnectRetryIntervalMs = 4000;

    // Takes ownership of the back-end and moves it to a worker thread started here.
    UpdateSession(InterfaceType interfaceType, const QString& dfuUtilPath, FirmwareUpdaterBase* backend,
                  QObject* parent = nullptr);
    // Lets a running update end, stops the worker thread, then deletes the back-end.
    ~UpdateSession() override;

    FirmwareUpdaterBase* backend() const { return updater; }
    InterfaceType interfaceType() const { return interface_type; }

    // Starts polling for a unit after firstCheckDelayMs.
    void startSearching(const UnitFinder& finder, const QList<uint8_t>& deviceIds,
                        int firstCheckDelayMs = kFirstCheckDelayMs);
    // The image every later update writes; without one, each update reads the
    // back-end's image file when it starts.
    void setImage(const FirmwareImage& image) { preloaded_image = image; }
    const std::optional<FirmwareImage>& loadedImage() const { return preloaded_image; }
    // Says why an image must not be written (empty: it may). Runs on the image
    // of each update before anything of it reaches the back-end.
    using ImageCheck = std::function<QString(const FirmwareImage& image)>;
    void setImageCheck(ImageCheck check) { image_check = std::move(check); }
    // Turns the file read for an update into the image to write (a package
    // into the image it carries) before the check runs; fills `refusal` when
    // nothing of it may be written.
    using ImageOpener = std::function<FirmwareImage(const FirmwareImage& file, QString& refusal)>;
    void setImageOpener(ImageOpener opener) { image_opener = std::move(opener); }
    void startUpdate();
    // After each Connected answer, read the unit's identity where the back-end
    // can (reads only) and report it with UnitIdentified before anything else
    // queued for the back-end runs.
    void setReadsIdentity(bool reads) { reads_identity = reads; }
    // Session log lines written on the back-end's thread carry this tag (the
    // unit's port), so several units' messages can be told apart.
    void setLogTag(const QString& tag);
    bool readsIdentity() const { return reads_identity && UnitIdentity::isReadableFrom(*updater); }

    bool isConnected() const { return connected; }
    bool isUpdateRunning() const { return update_running; }
    QString portName() const { return port_name; }
    QList<uint8_t> deviceIds() const { return device_ids; }

signals:
    void UpdateDevice();
    void ConnectToDevice(const QString& port_name, QList<uint8_t> device_ids, bool verify);
    void DisconnectFromDevice();
    // The candidates of each check, before the session acts on them.
    void UnitsChecked(const QList<FoundUnit>& units);
    // The unit a connection request went to.
    void UnitRequested(const FoundUnit& unit);
    void UnitIdentified(const UnitIdentity& identity);
    // The image handed to the back-end for the update being started.
    void ImageChosen(const FirmwareImage& image);

private slots:
    void onCheckForUnit();
    void onConnectionStatus(ConnectionStatus status);
    void onUpdateStarted();
    void onUpdateFinished(bool status);

private:
    void startWorkerThread();
    void checkSerialPorts(const QList<FoundUnit>& candidates);
    void checkDfuDevices(const QList<FoundUnit>& recognised);
    void scheduleCheck(int delayMs);
    void waitForRunningDownload();
    void readIdentity();
    void handImageToBackend();

    FirmwareUpdaterBase* updater;
    QThread* worker_thread;
    InterfaceType interface_type;
    QString dfu_util_path;
    std::optional<UnitFinder> finder;
    QList<uint8_t> device_ids;
    QString port_name;
    bool connected = false;
    // From the start request until UpdateFinished.
    bool update_running = false;
    bool reads_identity = false;
    std::optional<FirmwareImage> preloaded_image;
    ImageCheck image_check;
    ImageOpener image_opener;
    // Answers from the worker thread, run on this object's thread.
    WorkQueue* answers;
};
