#include "ScriptedUnit.h"

#include "McubootSerialUpdater.h"
#include "SmpTestFrames.h"

using namespace smp_test;

ScriptedUnit::ScriptedUnit()
    : probeReply(cborMap({{"rc", cborInt(0)}})),
      uploadReply([](int off, int length, int) { return nextOffset(off + length); })
{
}

QByteArray ScriptedUnit::nextOffset(int off)
{
    return cborMap({{"rc", cborInt(0)}, {"off", cborInt(off)}});
}

SmpTestPeer::Responder ScriptedUnit::responder() const
{
    auto uploads = std::make_shared<int>(0);
    return [script = *this, uploads](const SmpRequest& request, SmpTestPeer& peer) {
        QByteArray payload;
        if (request.group == 1 && request.command == 0) {
            payload = script.probeReply;
        } else if (request.group == 1 && request.command == 1) {
            const int off = McubootSerialUpdater::cborDecodeMapInt(request.payload, "off").value_or(-1);
            const int length = static_cast<int>(
                McubootSerialUpdater::cborDecodeMapBstr(request.payload, "data").value_or(QByteArray()).size());
            payload = script.uploadReply(off, length, (*uploads)++);
        } else if (request.group == 64) {
            const auto key = McubootSerialUpdater::cborDecodeMapInt(request.payload, "key");
            payload = key ? script.otpReplies.value(static_cast<uint32_t>(*key)) : QByteArray();
        }
        if (!payload.isEmpty())
            peer.send(responseFrame(payload, request.group, request.command));
    };
}
