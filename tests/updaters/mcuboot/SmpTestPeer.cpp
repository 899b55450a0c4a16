#include "SmpTestPeer.h"

#include "McubootSerialUpdater.h"

#include <QDeadlineTimer>
#include <QThread>
#include <poll.h>
#include <unistd.h>

namespace {

SmpRequest parseRequestLine(const QByteArray& line)
{
    SmpRequest request;
    const QByteArray packet = QByteArray::fromBase64(line.mid(2));
    if (packet.size() < 12)
        return request;
    const auto byte = [&](int at) { return static_cast<uint8_t>(packet[at]); };
    const int length = byte(0) << 8 | byte(1);
    const int payloadLength = byte(4) << 8 | byte(5);
    request.operation = byte(2);
    request.group = static_cast<uint16_t>(byte(6) << 8 | byte(7));
    request.sequence = byte(8);
    request.command = byte(9);
    request.payload = packet.mid(10, payloadLength);
    if (length + 2 != packet.size() || payloadLength + 10 != length)
        return request;
    const uint16_t crc = McubootSerialUpdater::crc16(reinterpret_cast<const uint8_t*>(packet.constData()) + 2,
                                                     static_cast<std::size_t>(length - 2), 0xFFFF) ^ 0xFFFF;
    request.wellFormed = (byte(length) << 8 | byte(length + 1)) == crc;
    return request;
}

} // namespace

SmpTestPeer::SmpTestPeer() = default;

SmpTestPeer::~SmpTestPeer()
{
    stopping = true;
    if (thread.joinable())
        thread.join();
}

void SmpTestPeer::start(Responder answer)
{
    responder = std::move(answer);
    thread = std::thread([this] { run(); });
}

void SmpTestPeer::startReplying(std::function<QByteArray(const SmpRequest&)> reply)
{
    start([reply = std::move(reply)](const SmpRequest& request, SmpTestPeer& peer) {
        const QByteArray bytes = reply(request);
        if (!bytes.isEmpty())
            peer.send(bytes);
    });
}

void SmpTestPeer::send(const QByteArray& bytes)
{
    terminal.send(bytes);
}

std::vector<SmpRequest> SmpTestPeer::requests() const
{
    std::lock_guard lock(mutex);
    return received;
}

bool SmpTestPeer::waitForRequests(std::size_t count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (requests().size() < count) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return true;
}

void SmpTestPeer::run()
{
    QByteArray pending;
    while (!stopping) {
        pollfd watch{terminal.masterDescriptor(), POLLIN, 0};
        if (poll(&watch, 1, 10) <= 0)
            continue;
        if (!(watch.revents & POLLIN)) {
            QThread::msleep(5);
            continue;
        }
        char buffer[4096];
        const ssize_t count = read(terminal.masterDescriptor(), buffer, sizeof buffer);
        if (count <= 0)
            continue;
        pending.append(buffer, count);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            handleLine(line);
        }
    }
}

void SmpTestPeer::handleLine(const QByteArray& line)
{
    if (!line.startsWith("\x06\x09"))
        return;
    const SmpRequest request = parseRequestLine(line);
    {
        std::lock_guard lock(mutex);
        received.push_back(request);
    }
    if (responder)
        responder(request, *this);
}
