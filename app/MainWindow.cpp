#include "MainWindow.h"

#include "ButtonStyles.h"
#include "ConfigConversions.h"
#include "DfuListing.h"
#include "DriverInstaller.h"
#include "MainWindowUi.h"
#include "SerialPortList.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

namespace {

constexpr int kFirstCheckDelayMs = 100;
constexpr int kSearchIntervalMs = 2000;
constexpr int kConnectRetryIntervalMs = 4000;
constexpr int kDfuListingTimeoutMs = 30000;

const QString kErrorText = QStringLiteral(
    "Error connecting to device \u2014 Disconnect device and repeat step 1-3");

QFont brandFont(const QString& style, int points)
{
    QFont font = QFontDatabase::font(QStringLiteral("Lumavex Sans"), style, points);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::All, QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

MainWindow::MainWindow(const QDir& resourcesDir, QSettings* settings, const QString& dfuUtilPath,
                       InterfaceType interfaceType, FirmwareUpdaterBase* backend)
    : QMainWindow(nullptr),
      ui(new MainWindowUi),
      updater(backend),
      worker_thread(new QThread),
      resources_dir(resourcesDir),
      interface_type(interfaceType),
      dfu_util_path(dfuUtilPath)
{
    registerUpdaterMetaTypes();
    if (QSysInfo::productType() == QLatin1String("windows"))
        setWindowIcon(QIcon(resources_dir.filePath("AppIcon.ico")));
    startWorkerThread();
    ui->setupUi(this);
    loadFonts();
    applyBackground(*settings);
    applyConfigTexts(*settings);
    ui->updateButton->setFont(bold12);
    showButton(false, "UPDATE", kButtonDisabledStyle);
    connect(ui->updateButton, &QPushButton::clicked, this, &MainWindow::onUpdateButtonClicked);
    setupProgressBar();
    products = config::toProductTable(settings->value("product_list"));
    const QVariant deviceIdValue = settings->value("device_id_list");
    installDrivers();
    device_ids = config::toDeviceIdList(deviceIdValue);
    scheduleCheck(kFirstCheckDelayMs);
}

MainWindow::~MainWindow()
{
    // Let a running update finish before anything it uses goes away.
    waitForRunningDownload();
    worker_thread->quit();
    worker_thread->wait();
    delete worker_thread;
    delete updater;
    delete ui;
}

// The serial back-ends hold the worker thread for a whole update, so stopping
// the thread waits for it. A DFU download runs in the external tool while the
// worker is idle: wait for its end here, or the tool would be killed mid-flash.
void MainWindow::waitForRunningDownload()
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

void MainWindow::startWorkerThread()
{
    updater->moveToThread(worker_thread);
    worker_thread->start(QThread::InheritPriority);
    connect(this, &MainWindow::UpdateDevice, updater, &FirmwareUpdaterBase::onStartUpdate);
    connect(updater, &FirmwareUpdaterBase::UpdateStarted, this, &MainWindow::onWorkerThreadStarted);
    connect(updater, &FirmwareUpdaterBase::UpdateFinished, this, &MainWindow::onWorkerThreadFinished);
    connect(updater, &FirmwareUpdaterBase::UpdateConnectionStatus, this, &MainWindow::onConnectionStatus);
    connect(this, &MainWindow::ConnectToDevice, updater, &FirmwareUpdaterBase::onConnectToDevice);
    connect(this, &MainWindow::DisconnectFromDevice, updater, &FirmwareUpdaterBase::onDisconnectDevice);
}

void MainWindow::setupProgressBar()
{
    ui->progressBar->setFont(regular9);
    ui->progressBar->setValue(0);
    ui->progressBar->setFormat(QString());
    connect(updater, &FirmwareUpdaterBase::ProgressUpdate, ui->progressBar, &QProgressBar::setValue);
    if (interface_type == InterfaceType::Usb) {
        connect(updater, &FirmwareUpdaterBase::EraseStarted, this, &MainWindow::onEraseStarted);
        connect(updater, &FirmwareUpdaterBase::EraseFinished, this, &MainWindow::onEraseFinished);
    }
}

void MainWindow::loadFonts()
{
    const QFileInfoList fontFiles =
        resources_dir.entryInfoList({QStringLiteral("*.otf")}, QDir::Files, QDir::Unsorted);
    for (const QFileInfo& file : fontFiles)
        QFontDatabase::addApplicationFont(file.absoluteFilePath());
    regular7 = brandFont(QStringLiteral("Regular"), 7);
    regular9 = brandFont(QStringLiteral("Regular"), 9);
    bold12 = brandFont(QStringLiteral("Bold"), 12);
    bold15 = brandFont(QStringLiteral("Bold"), 15);
}

void MainWindow::applyBackground(const QSettings& settings)
{
    const QFileInfoList images =
        resources_dir.entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Unsorted);
    QString title = settings.value("window_title").toString();
    if (title.isEmpty())
        title = QStringLiteral("Lumavex firmware updater");
    setWindowTitle(title);
    if (images.isEmpty())
        return;
    setStyleSheet(QStringLiteral("#centralwidget {\n") + QStringLiteral("border-image: url(") +
                  images.first().absoluteFilePath() + QStringLiteral(") ") +
                  QStringLiteral("0 0 0 0 stretch stretch;\n") + QStringLiteral("}\n"));
}

void MainWindow::applyConfigTexts(const QSettings& settings)
{
    const QColor lightGrey(Qt::lightGray);
    ui->titleLabel->setFont(bold15);
    setTextColour(ui->titleLabel, Qt::white);
    ui->versionLabel->setFont(bold15);
    setTextColour(ui->versionLabel, Qt::white);

    ui->instructionsLabel->setFont(regular9);
    ui->instructionsLabel->setText(settings.value("instructions_text").toString());
    setTextColour(ui->instructionsLabel, lightGrey);

    ui->productLabel->setFont(bold15);
    ui->productLabel->setText(settings.value("product_text").toString());
    setTextColour(ui->productLabel, lightGrey);

    ui->versionNumberLabel->setFont(bold15);
    ui->versionNumberLabel->setText(settings.value("fw_version").toString());
    setTextColour(ui->versionNumberLabel, lightGrey);

    ui->infoLabel->setFont(regular7);
    setTextColour(ui->infoLabel, Qt::black);

    const QString targetType = settings.value("fw_target_type").toString();
    if (targetType != QLatin1String("customer")) {
        ui->typeLabel->setFont(bold15);
        QString shown = targetType;
        if (!shown.isEmpty())
            shown[0] = shown[0].toUpper();
        ui->typeLabel->setText(shown);
        setTextColour(ui->typeLabel, Qt::yellow);
    }
}

bool MainWindow::installDrivers()
{
    DriverInstaller::install(QCoreApplication::applicationDirPath(), interface_type);
    return true;
}

QStringList MainWindow::listDfuDevices()
{
    return runDfuListing(dfu_util_path, kDfuListingTimeoutMs);
}

bool MainWindow::isUsablePort(const SerialPortEntry& port) const
{
    if (QSysInfo::productType() == QLatin1String("macos"))
        return port.portName.startsWith(QLatin1String("cu."));
    return true;
}

bool MainWindow::isKnownProduct(const VidPid& ids) const
{
    for (const auto& [name, product] : products) {
        if (product == ids)
            return true;
    }
    return false;
}

void MainWindow::scheduleCheck(int delayMs)
{
    QTimer::singleShot(delayMs, this, &MainWindow::onCheckForUnit);
}

void MainWindow::onCheckForUnit()
{
    if (interface_type == InterfaceType::Usb)
        checkDfuDevices();
    else
        checkSerialPorts();
}

void MainWindow::checkSerialPorts()
{
    QList<SerialPortEntry> candidates;
    for (const SerialPortEntry& port : listSerialPorts()) {
        if (port.vid && port.pid && isUsablePort(port) && isKnownProduct(VidPid{*port.vid, *port.pid}))
            candidates.append(port);
    }
    if (connected) {
        if (candidates.isEmpty()) {
            port_name.clear();
            emit DisconnectFromDevice();
        }
        scheduleCheck(kSearchIntervalMs);
        return;
    }
    if (candidates.size() == 1) {
        port_name = candidates.first().portName;
        emit ConnectToDevice(port_name, device_ids, true);
        scheduleCheck(kConnectRetryIntervalMs);
        return;
    }
    // No unit, or several at once: connect to none and look again. With several
    // units the person has to unplug the extra ones first.
    scheduleCheck(kSearchIntervalMs);
}

void MainWindow::checkDfuDevices()
{
    const QStringList identifiers = listDfuDevices();
    int recognised = 0;
    for (const QString& identifier : identifiers) {
        const QStringList fields = identifier.split(QLatin1Char(':'));
        if (fields.size() == 2 && isKnownProduct(VidPid{config::fromHex(fields[0]), config::fromHex(fields[1])}))
            ++recognised;
    }
    if (recognised == 1) {
        // One request per run: the DFU back-end has no link to keep.
        emit ConnectToDevice(QString(), device_ids, true);
        return;
    }
    scheduleCheck(kSearchIntervalMs);
}

void MainWindow::showButton(bool enabled, const QString& text, const QString& style)
{
    ui->updateButton->setEnabled(enabled);
    ui->updateButton->setText(text);
    ui->updateButton->setStyleSheet(style);
}

void MainWindow::onConnectionStatus(ConnectionStatus status)
{
    switch (status) {
    case Connected:
        connected = true;
        showButton(true, "UPDATE", kButtonEnabledStyle);
        break;
    case Disconnected:
        connected = false;
        showButton(false, "UPDATE", kButtonDisabledStyle);
        ui->progressBar->setValue(0);
        ui->progressBar->setFormat(QString());
        break;
    case DeviceMismatch:
        connected = false;
        showButton(false, "UPDATE", kButtonDisabledStyle);
        ui->progressBar->setFormat(kErrorText);
        break;
    }
}

void MainWindow::onUpdateButtonClicked()
{
    // From here on a DFU download may be running even before UpdateStarted comes back.
    update_running = true;
    ui->updateButton->setEnabled(false);
    emit UpdateDevice();
}

void MainWindow::onWorkerThreadStarted()
{
    update_running = true;
    ui->updateButton->setText("UPDATING");
    ui->updateButton->setStyleSheet(kButtonEnabledStyle);
    if (interface_type == InterfaceType::Uart)
        ui->progressBar->setFormat(QStringLiteral("%p%"));
}

void MainWindow::onEraseStarted()
{
    ui->progressBar->setFormat(QStringLiteral("Erasing"));
}

void MainWindow::onEraseFinished()
{
    ui->progressBar->setFormat(QStringLiteral("%p%"));
    ui->progressBar->setValue(0);
}

void MainWindow::onWorkerThreadFinished(bool status)
{
    update_running = false;
    ui->updateButton->setEnabled(false);
    if (status) {
        ui->updateButton->setStyleSheet(kButtonEnabledStyle);
        ui->progressBar->setValue(100);
        ui->updateButton->setText("DONE");
    } else {
        ui->updateButton->setStyleSheet(kButtonDisabledStyle);
        ui->progressBar->setFormat(kErrorText);
    }
}
