#pragma once

#include "PseudoTerminal.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// One request line as the unit received it.
struct SmpRequest {
    uint8_t operation = 0;
    uint16_t group = 0;
    uint8_t sequence = 0;
    uint8_t command = 0;
    QByteArray payload;
    bool wellFormed = false; // length fields and request CRC check out
};

// The unit's end of a pseudo-terminal: a thread that reads request lines from
// the master side and lets the test answer each one.
class SmpTestPeer {
public:
    using Responder = std::function<void(const SmpRequest&, SmpTestPeer&)>;

    SmpTestPeer();
    ~SmpTestPeer();
    SmpTestPeer(const SmpTestPeer&) = delete;
    SmpTestPeer& operator=(const SmpTestPeer&) = delete;

    bool isOpen() const { return terminal.isValid(); }
    QString portName() const { return terminal.portName(); }

    // Starts answering; the responder runs on the peer's thread.
    void start(Responder responder);
    // Answers every request with the bytes `reply` returns (nothing when empty).
    void startReplying(std::function<QByteArray(const SmpRequest&)> reply);

    // For responders: writes bytes to the updater's side.
    void send(const QByteArray& bytes);

    std::vector<SmpRequest> requests() const;
    // Waits until `count` requests arrived (bounded).
    bool waitForRequests(std::size_t count, int timeoutMs) const;

private:
    void run();
    void handleLine(const QByteArray& line);

    PseudoTerminal terminal;
    Responder responder;
    std::atomic<bool> stopping{false};
    std::thread thread;
    mutable std::mutex mutex;
    std::vector<SmpRequest> received;
};
