#include "Uart.h"

#include "SerialReadBuffer.h"

#include <QDebug>
#include <algorithm>
#include <limits>

Uart::Uart(const QString& portName, std::uint32_t baudRate, QSemaphore* gate, QObject* parent)
    : QObject(parent), gate(gate), port(new QSerialPort(this))
{
    registerRxCallbackMetaType();
    opened = openPort(portName, baudRate);
    if (!opened) {
        qDebug() << "Failed to open port" << portName;
        return;
    }
    connect(port, &QSerialPort::readyRead, this, &Uart::onReadData);
    connect(port, &QSerialPort::bytesWritten, this, &Uart::onBytesWritten);
}

Uart::~Uart()
{
    port->close();
}

bool Uart::openPort(const QString& portName, std::uint32_t baudRate)
{
    port->setPortName(portName);
    port->setParity(QSerialPort::EvenParity);
    port->setDataBits(QSerialPort::Data8);
    port->setStopBits(QSerialPort::OneStop);
    port->setBaudRate(static_cast<qint32>(baudRate), QSerialPort::AllDirections);
    port->setReadBufferSize(kSerialReadBufferBytes);
    return port->open(QIODevice::ReadWrite);
}

bool Uart::isOpen() const
{
    return opened;
}

void Uart::onReadData()
{
    const QByteArray received = port->readAll();
    if (!rxCallback)
        return;
    for (const char byte : received)
        rxCallback(static_cast<std::byte>(byte));
}

void Uart::onSetRxCallback(hal::uart::RxByte_ISR callback)
{
    rxCallback = std::move(callback);
}

void Uart::onTransmit(QByteArray data)
{
    port->write(data);
    port->flush();
}

void Uart::onBytesWritten(qint64 bytes)
{
    // The gate counts in int; a single report never comes near that limit.
    constexpr qint64 most = std::numeric_limits<int>::max();
    if (bytes > 0)
        gate->release(static_cast<int>(std::min(bytes, most)));
}
