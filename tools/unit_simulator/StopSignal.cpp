#include "StopSignal.h"

#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace {

int pipeFds[2] = {-1, -1};
volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int)
{
    stopRequested = 1;
    const char byte = 's';
    [[maybe_unused]] const auto written = ::write(pipeFds[1], &byte, 1);
}

} // namespace

StopSignal::StopSignal()
{
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        pipeFds[0] = pipeFds[1] = -1;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

StopSignal::~StopSignal()
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::signal(signal, SIG_DFL);
    for (int& fd : pipeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

int StopSignal::fd() const
{
    return pipeFds[0];
}

bool StopSignal::requested() const
{
    return stopRequested != 0;
}
