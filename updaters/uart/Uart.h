#pragma once

#include "RxCallbackMetaType.h"

#include <QByteArray>
#include <QObject>
#include <QSemaphore>
#include <QSerialPort>
#include <QString>
#include <cstdint>

// Owns the serial port of one link and runs on a thread of its own: writes
// what the driver bridge sends, hands every received byte to the current
// receive callback, and reports written bytes to the transmit gate.
class Uart : public QObject {
    Q_OBJECT

public:
    // Opens the port at once; isOpen() tells whether that worked.
    Uart(const QString& portName, std::uint32_t baudRate, QSemaphore* gate, QObject* parent = nullptr);
    ~Uart() override;

    // Whether the port opened at construction. Fixed from then on, so it may
    // be asked from any thread.
    bool isOpen() const;

public slots:
    void onReadData();
    void onSetRxCallback(hal::uart::RxByte_ISR callback);
    void onTransmit(QByteArray data);
    // Releases one gate permit per byte reported, so a write reported in
    // several parts still adds up to exactly its own length.
    void onBytesWritten(qint64 bytes);

private:
    bool openPort(const QString& portName, std::uint32_t baudRate);

    QSemaphore* gate;
    QSerialPort* port;
    hal::uart::RxByte_ISR rxCallback = [](std::byte) {};
    bool opened = false;
};
