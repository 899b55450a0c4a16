#pragma once

#include "IUartDriver.h"
#include "RxCallbackMetaType.h"

#include <QByteArray>
#include <QObject>
#include <QSemaphore>
#include <cstdint>

// The bootloader client's UART on the worker thread: every driver call turns
// into a signal that the serial thread's Uart carries out. Transmit waits on
// the shared gate until the Uart has reported the frame's bytes written.
//
// The gate holds one permit while idle plus one permit per byte reported
// written and not yet claimed. Transmit is called from one thread at a time.
class UartInterface : public QObject, public hal::uart::IUartDriver {
    Q_OBJECT

public:
    // Longest legitimate frame (258 bytes of 11 bits at 460800 baud) takes
    // about 6 ms; a port that reports nothing for a whole second is gone.
    static constexpr int kTransmitTimeoutMs = 1000;

    UartInterface(QSemaphore* gate, QObject* parent = nullptr);

    void Configure(std::uint32_t first, std::uint32_t second) override;
    std::pair<std::uint32_t, std::uint32_t> GetConfiguration() override;
    void Transmit(std::span<const std::byte> bytes) override;
    bool IsTransmitting() override;
    void AbortTransmit() override;
    hal::uart::SubscriptionHandle SubscribeOnRx(const hal::uart::RxByte_ISR& callback) override;
    hal::uart::SubscriptionHandle SubscribeOnError(const hal::uart::ErrorCallback& callback) override;
    hal::uart::SubscriptionHandle SubscribeOnTxDone(const std::function<void()>& callback) override;
    hal::uart::SubscriptionHandle SubscribeOnIdle(const std::function<void()>& callback) override;
    bool IsOpen() override;

    // Forgets bytes of timed-out transmits that were never reported and puts
    // the gate back to one permit. Only while no Uart is attached, since a
    // late report would otherwise be counted twice.
    void resetTransmitGate();

signals:
    void TransmitData(QByteArray data);
    void SetRxCallback(hal::uart::RxByte_ISR callback);

private:
    QSemaphore* gate;
    // Bytes of earlier frames whose written report did not come in time. The
    // port reports in order, so the next frame waits for those first.
    int unreportedBytes = 0;
};
