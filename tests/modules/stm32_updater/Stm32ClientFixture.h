#pragma once

#include "BootloaderScript.h"
#include "FakeUartDriver.h"
#include "LogCapture.h"
#include "Stm32UartUpdater.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A client on a scripted UART, with its line controls and hooks recorded and
// its error log captured.
class Stm32ClientFixture : public ::testing::Test {
protected:
    static constexpr std::uint32_t kUartMode = 1;

    ~Stm32ClientFixture() override;

    stm32_updater::Stm32UartUpdater& Client(bool trailerFlag = true, bool globalErase = false);
    // Connects through the script; the frames and events of the connection are forgotten.
    void Connect(const Bytes& commands = script::CommandsWithErase());
    // Frames sent since the last Connect.
    std::vector<Bytes> FramesAfterConnect() const;
    bool LogContains(const std::string& message) const;

    FakeUartDriver uart_;
    LogCapture log_;
    dispatcher::Dispatcher dispatcher_{{}, 1};
    std::mutex writeLock_;
    std::vector<std::string> events_;
    std::unique_ptr<stm32_updater::Stm32UartUpdater> client_;
    std::size_t connectFrames_ = 0;
};

// A fault table row: the replies the unit gives, then the text the client logs.
struct ScriptedFault {
    const char* name;
    std::vector<Bytes> replies;
    const char* logged;
};

Bytes AddressFrame(std::uint32_t address);
Bytes WithChecksum(Bytes frame);
