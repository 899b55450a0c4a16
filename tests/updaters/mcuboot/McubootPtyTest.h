#pragma once

#include "McubootSerialUpdater.h"
#include "ScriptedUnit.h"
#include "SmpTestPeer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

inline std::string testName(std::string name)
{
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

// Checks the frame fields and payload of one request as the unit saw it.
inline void expectRequest(const SmpRequest& request, int operation, int group, int command, int sequence,
                          const QByteArray& payload)
{
    EXPECT_TRUE(request.wellFormed);
    EXPECT_EQ(request.operation, operation);
    EXPECT_EQ(request.group, group);
    EXPECT_EQ(request.command, command);
    EXPECT_EQ(request.sequence, sequence);
    EXPECT_EQ(request.payload.toHex(' '), payload.toHex(' '));
}

inline const QByteArray kEmptyMap = QByteArray::fromHex("bfff");
inline const QByteArray kModelIdRequest = QByteArray::fromHex("bf 63 6b 65 79 1a 01 23 47 11 ff");

inline QByteArray patternImage(int size)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>(i * 7 + 3);
    return image;
}

// First upload request as a unit must see it, written out by hand:
// {"data": h'..', "off": 0, "len": total, "image": 0}.
inline QByteArray firstChunkPayload(const QByteArray& data, const QByteArray& dataHead, const QByteArray& lenItem)
{
    return QByteArray::fromHex("bf 64 64 61 74 61") + dataHead + data + QByteArray::fromHex("63 6f 66 66 00 63 6c 65 6e")
           + lenItem + QByteArray::fromHex("65 69 6d 61 67 65 00 ff");
}

// A real QSerialPort on the slave side of a pseudo-terminal; the peer thread
// plays the unit on the master side.
class McubootPtyTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer.isOpen()); }

    void makeUpdater(bool debugLogging = false, const QString& targetType = QStringLiteral("production"))
    {
        updater = std::make_unique<McubootSerialUpdater>(imagePath(), 921600, debugLogging, targetType);
    }

    // Starts the peer with `unit` and opens the link (the probe is request 0).
    void connectTo(const ScriptedUnit& unit, bool debugLogging = false,
                   const QString& targetType = QStringLiteral("production"))
    {
        makeUpdater(debugLogging, targetType);
        peer.start(unit.responder());
        ASSERT_TRUE(updater->connectDevice(peer.portName()));
    }

    QString imagePath() const { return folder.filePath(QStringLiteral("image.bin")); }

    void writeImage(const QByteArray& bytes) const
    {
        QFile file(imagePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // Requests after the probe.
    std::vector<SmpRequest> requestsAfterProbe() const
    {
        std::vector<SmpRequest> all = peer.requests();
        return {all.begin() + std::min<std::size_t>(1, all.size()), all.end()};
    }

    bool upload(std::vector<int>* progress = nullptr)
    {
        QFile file(imagePath());
        if (!file.open(QIODevice::ReadOnly))
            return false;
        return updater->upload(file.readAll(), [progress](int percent) {
            if (progress)
                progress->push_back(percent);
        });
    }

    QTemporaryDir folder;
    SmpTestPeer peer;
    std::unique_ptr<McubootSerialUpdater> updater;
};

