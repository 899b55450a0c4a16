#include "PtyLink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kStalledWriteMs = 2000;

timespec toTimespec(std::chrono::nanoseconds duration)
{
    const auto clamped = std::max(duration, std::chrono::nanoseconds(0));
    return timespec{static_cast<time_t>(clamped.count() / 1'000'000'000),
                    static_cast<long>(clamped.count() % 1'000'000'000)};
}

bool makeRaw(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

} // namespace

std::unique_ptr<PtyLink> PtyLink::open(const std::string& path, Pacing pacing, const StopSignal& stop,
                                       std::string& error)
{
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        error = std::string("openpty failed: ") + std::strerror(errno);
        return nullptr;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    const char* slaveName = ::ttyname(slave);
    struct stat existing {};
    const bool occupied = ::lstat(path.c_str(), &existing) == 0;
    if (!makeRaw(slave) || !slaveName || (occupied && !S_ISLNK(existing.st_mode))) {
        error = occupied ? "path exists and is not a symlink: " + path : "cannot set up the pseudo-terminal";
        ::close(master);
        ::close(slave);
        return nullptr;
    }
    if (occupied)
        ::unlink(path.c_str()); // a stale link left by a killed run
    if (::symlink(slaveName, path.c_str()) != 0) {
        error = "cannot create symlink " + path + ": " + std::strerror(errno);
        ::close(master);
        ::close(slave);
        return nullptr;
    }
    return std::unique_ptr<PtyLink>(new PtyLink(master, slave, path, pacing, stop));
}

PtyLink::PtyLink(int master, int slave, std::string path, Pacing pacing, const StopSignal& stop)
    : master(master), slave(slave), linkPath(std::move(path)), pacing(pacing), stop(stop)
{
}

PtyLink::~PtyLink()
{
    unplug();
    if (slave >= 0)
        ::close(slave);
}

void PtyLink::unplug()
{
    if (master >= 0)
        ::close(master);
    master = -1;
    removePath();
}

void PtyLink::removePath()
{
    if (!linkPath.empty())
        ::unlink(linkPath.c_str());
    linkPath.clear();
}

std::chrono::nanoseconds PtyLink::byteTime(std::size_t count) const
{
    if (pacing.baud == 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(static_cast<std::int64_t>(count) * pacing.bitsPerByte * 1'000'000'000LL /
                                    pacing.baud);
}

bool PtyLink::readArrived()
{
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t count = ::read(master, buffer, sizeof buffer);
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        if (count <= 0)
            return false;
        const auto now = Clock::now();
        for (ssize_t i = 0; i < count; ++i) {
            receiveClock = std::max(receiveClock, now) + byteTime(1);
            pending.push_back({buffer[i], receiveClock});
        }
    }
}

std::vector<std::uint8_t> PtyLink::takeReleased(Clock::time_point now)
{
    std::vector<std::uint8_t> released;
    while (!pending.empty() && pending.front().due <= now) {
        released.push_back(pending.front().value);
        pending.pop_front();
    }
    return released;
}

std::optional<std::vector<std::uint8_t>> PtyLink::receive(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stop.requested() || master < 0)
            return std::nullopt;
        const auto now = Clock::now();
        auto released = takeReleased(now);
        if (!released.empty())
            return released;
        if (now >= deadline)
            return released;
        const auto wakeUp = pending.empty() ? deadline : std::min(deadline, pending.front().due);
        pollfd fds[2] = {{master, POLLIN, 0}, {stop.fd(), POLLIN, 0}};
        const timespec wait = toTimespec(wakeUp - now);
        if (::ppoll(fds, 2, &wait, nullptr) < 0 && errno != EINTR)
            return std::nullopt;
        if ((fds[0].revents & POLLIN) && !readArrived())
            return std::nullopt;
        if (fds[0].revents & (POLLERR | POLLNVAL))
            return std::nullopt;
    }
}

bool PtyLink::writeAll(std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        if (master < 0 || stop.requested())
            return false;
        const ssize_t count = ::write(master, bytes.data(), bytes.size());
        if (count > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd fds[2] = {{master, POLLOUT, 0}, {stop.fd(), POLLIN, 0}};
        if (::poll(fds, 2, kStalledWriteMs) <= 0 || !(fds[0].revents & POLLOUT))
            return false;
    }
    return true;
}

bool PtyLink::send(std::span<const std::uint8_t> bytes)
{
    if (pacing.baud == 0)
        return writeAll(bytes);
    // About one millisecond of line time per write keeps the pace smooth.
    const std::size_t slice = std::max<std::size_t>(1, pacing.baud / pacing.bitsPerByte / 1000);
    sendClock = std::max(sendClock, Clock::now());
    while (!bytes.empty()) {
        // A byte reaches the other end only once its time on the line is over.
        const auto piece = bytes.first(std::min(slice, bytes.size()));
        sendClock += byteTime(piece.size());
        std::this_thread::sleep_until(sendClock);
        if (!writeAll(piece))
            return false;
        bytes = bytes.subspan(piece.size());
    }
    return true;
}

std::uint64_t PtyLink::flood()
{
    constexpr int kFullWaitMs = 100;
    std::vector<std::uint8_t> noise(4096);
    std::minstd_rand random(1);
    for (std::uint8_t& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    std::uint64_t sent = 0;
    while (master >= 0 && !stop.requested()) {
        std::this_thread::sleep_for(byteTime(noise.size()));
        const ssize_t count = ::write(master, noise.data(), noise.size());
        if (count > 0) {
            sent += static_cast<std::uint64_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd fds[2] = {{master, POLLOUT, 0}, {stop.fd(), POLLIN, 0}};
        ::poll(fds, 2, kFullWaitMs);
    }
    return sent;
}

void PtyLink::waitUntilDelivered(int timeoutMs)
{
    // Written bytes reach the terminal's input queue a moment later, so the
    // queue is watched only after a short settling time, and the reader gets
    // the same time again to take what it read before the line goes.
    constexpr auto kSettle = std::chrono::milliseconds(50);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::this_thread::sleep_for(kSettle);
    int unread = 0;
    while (master >= 0 && ::ioctl(slave, TIOCINQ, &unread) == 0 && unread > 0 && Clock::now() < deadline &&
           !stop.requested())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(kSettle);
}
