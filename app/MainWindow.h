#pragma once

#include "FirmwareUpdaterBase.h"
#include "InterfaceType.h"
#include "SerialPortEntry.h"
#include "VidPid.h"

#include <QDir>
#include <QFont>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <map>

class MainWindowUi;
class QSettings;
class QThread;

// The updater's only window. It owns the back-end and the worker thread the
// back-end runs on, polls for a unit, and shows the update's progress and outcome.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(const QDir& resourcesDir, QSettings* settings, const QString& dfuUtilPath,
               InterfaceType interfaceType, FirmwareUpdaterBase* updater);
    ~MainWindow() override;

signals:
    void UpdateDevice();
    void ConnectToDevice(const QString& port_name, QList<uint8_t> device_ids, bool verify);
    void DisconnectFromDevice();

private slots:
    void onUpdateButtonClicked();
    void onWorkerThreadStarted();
    void onWorkerThreadFinished(bool status);
    void onCheckForUnit();
    void onConnectionStatus(ConnectionStatus status);
    void onEraseStarted();
    void onEraseFinished();

private:
    void startWorkerThread();
    void setupProgressBar();
    void loadFonts();
    void applyBackground(const QSettings& settings);
    void applyConfigTexts(const QSettings& settings);
    bool installDrivers();
    QStringList listDfuDevices();
    bool isUsablePort(const SerialPortEntry& port) const;
    bool isKnownProduct(const VidPid& ids) const;
    void checkSerialPorts();
    void checkDfuDevices();
    void scheduleCheck(int delayMs);
    void showButton(bool enabled, const QString& text, const QString& style);
    void waitForRunningDownload();

    MainWindowUi* ui;
    FirmwareUpdaterBase* updater;
    QThread* worker_thread;
    QDir resources_dir;
    InterfaceType interface_type;
    QString dfu_util_path;
    std::map<QString, VidPid> products;
    QList<uint8_t> device_ids;
    QString port_name;
    bool connected = false;
    // From the click on UPDATE until UpdateFinished.
    bool update_running = false;
    QFont regular7;
    QFont regular9;
    QFont bold12;
    QFont bold15;
};
