// Fuzz target: the STM32 bootloader client reading a unit's replies, given as
// a fuzzed byte stream through a UART. There is no unit behind the line, so the
// client skips the reset pauses a real one needs. A client connected once
// serves the runs that start with any byte but 0x7F: an OTP read, a flash of a
// small image, its read-back and the final Go. A run starting with 0x7F
// connects a new client through the rest of the stream first.
#include "Dispatcher.h"
#include "ExceptionString.h"
#include "FuzzUartDriver.h"
#include "Stm32UartUpdater.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr std::uint8_t kConnectFirst = 0x7F;

// Init, Get and Get ID answered by a unit with the page-list Erase command.
constexpr std::uint8_t kConnectReplies[] = {1,    0x79, 15,   0x79, 11,   0x31, 0x00, 0x01, 0x02, 0x11, 0x21,
                                            0x31, 0x43, 0x63, 0x73, 0x82, 0x92, 0x79, 5,    0x79, 0x01, 0x04,
                                            0x69, 0x79};

struct Bench {
    FuzzUartDriver uart;
    dispatcher::Dispatcher dispatcher{{}, 1};
    std::mutex writeLock;

    std::unique_ptr<stm32_updater::Stm32UartUpdater> makeClient()
    {
        auto client = std::make_unique<stm32_updater::Stm32UartUpdater>([](bool) {}, [](bool) {}, &uart, &dispatcher,
                                                                        &writeLock, true, false, [] {}, [] {}, 1);
        client->SetResetPauses({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
        return client;
    }
};

void runSession(stm32_updater::Stm32UartUpdater& client)
{
    const std::vector<std::byte> otp = client.ReadMemory(0x1FFF7000, 64);
    if (otp.size() > 64)
        std::abort();
    const std::vector<std::byte> image(0x900, std::byte{0x5A});
    const auto progress = [](IFwUpdater::State, unsigned percent) {
        if (percent > 100)
            std::abort();
    };
    if (!client.Flash(image, progress, 0x08000000))
        return;
    if (!client.VerifyImage(image, 0x08000000, progress).empty())
        return;
    try {
        client.ExitDfu(0x08000000, 0x0807F800);
    } catch (const lumavex::ExceptionString&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Bench bench;
    static const std::unique_ptr<stm32_updater::Stm32UartUpdater> connected = [] {
        auto client = bench.makeClient();
        // The filler could land between a reply and the next command on a
        // loaded machine, and this connect must never fail.
        bench.uart.Begin(kConnectReplies, FuzzUartDriver::Filler::Off);
        if (!client->ConnectDevice()) {
            std::fputs("the canned connect failed: the fuzz UART no longer answers as a unit would\n", stderr);
            std::abort();
        }
        bench.uart.Finish();
        return client;
    }();

    const std::span<const uint8_t> stream(data, size);
    if (size > 0 && data[0] == kConnectFirst) {
        auto client = bench.makeClient();
        bench.uart.Begin(stream.subspan(1));
        if (client->ConnectDevice())
            runSession(*client);
        client->DisconnectDevice();
    } else {
        bench.uart.Begin(stream);
        runSession(*connected);
    }
    bench.uart.Finish();
    return 0;
}
