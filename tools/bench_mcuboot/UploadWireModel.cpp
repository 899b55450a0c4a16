#include "UploadWireModel.h"

#include "McubootSerialUpdater.h"
#include "SmpIds.h"
#include "SmpRequestPayload.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr uint8_t kOpWriteResponse = 3;
constexpr uint8_t kCborUnsigned = 0x00;
constexpr uint8_t kCborText = 0x60;
constexpr uint8_t kCborMapOfTwo = 0xA2;

// CBOR head of major type `major` with argument `value`, shortest form.
void appendCborHead(QByteArray& out, uint8_t major, uint64_t value)
{
    int argumentBytes = 0;
    if (value < 24) {
        out.append(static_cast<char>(major | value));
        return;
    }
    if (value <= 0xFF) {
        out.append(static_cast<char>(major | 24));
        argumentBytes = 1;
    } else if (value <= 0xFFFF) {
        out.append(static_cast<char>(major | 25));
        argumentBytes = 2;
    } else if (value <= 0xFFFFFFFF) {
        out.append(static_cast<char>(major | 26));
        argumentBytes = 4;
    } else {
        out.append(static_cast<char>(major | 27));
        argumentBytes = 8;
    }
    for (int shift = (argumentBytes - 1) * 8; shift >= 0; shift -= 8)
        out.append(static_cast<char>((value >> shift) & 0xFF));
}

void appendCborText(QByteArray& out, const QByteArray& text)
{
    appendCborHead(out, kCborText, static_cast<uint64_t>(text.size()));
    out.append(text);
}

} // namespace

UploadWireModel::UploadWireModel(const QByteArray& image, int baudRate, int bitsPerByte)
    : baudRate(baudRate), bitsPerByte(bitsPerByte)
{
    const qsizetype total = image.size();
    uint8_t sequence = 0;
    for (qsizetype offset = 0; offset < total; offset += McubootSerialUpdater::kChunkSize) {
        const QByteArray chunk = image.mid(offset, McubootSerialUpdater::kChunkSize);
        const QByteArray request = SmpRequestPayload::uploadChunk(chunk, static_cast<uint32_t>(offset),
                                                                  static_cast<uint32_t>(total))
                                       .value_or(QByteArray());
        const qsizetype next = offset + chunk.size();
        // The answer's CRC differs from a request's, its size does not.
        const QByteArray response = responsePayload(next);
        steps.push_back({McubootSerialUpdater::encodeSmpFrame(smp::kOpWrite, smp::kGroupImage,
                                                              smp::kCommandImageUpload, request, sequence)
                             .size(),
                         McubootSerialUpdater::encodeSmpFrame(kOpWriteResponse, smp::kGroupImage,
                                                              smp::kCommandImageUpload, response, sequence)
                             .size()});
        ++sequence;
    }
}

QByteArray UploadWireModel::responsePayload(qsizetype nextOffset)
{
    QByteArray map(1, static_cast<char>(kCborMapOfTwo));
    appendCborText(map, "rc");
    appendCborHead(map, kCborUnsigned, 0);
    appendCborText(map, "off");
    appendCborHead(map, kCborUnsigned, static_cast<uint64_t>(nextOffset));
    return map;
}

double UploadWireModel::wireMs(qsizetype bytes) const
{
    return static_cast<double>(bytes) * bitsPerByte * 1000.0 / baudRate;
}

double UploadWireModel::linkLimitSeconds() const
{
    double ms = 0;
    for (const Exchange& step : steps)
        ms += wireMs(step.requestBytes + step.responseBytes);
    return ms / 1000.0;
}

// One exchange at its fastest, every wait added in turn: the settle sleep,
// the sleep after flushing, the request and the answer on the line, then the
// quiet wait after the answer's line feed. The receive loop waits for data
// with a 3 ms bound but wakes as soon as bytes arrive, so a single short
// answer line adds no polling round. This sum is an upper bound of the best:
// flushing does not drain the line, so the sleep after it overlaps the
// request's line time (overlappedBestSeconds).
double UploadWireModel::bestExchangeMs(const Exchange& step) const
{
    return kSettleBeforeSendMs + kSleepAfterFlushMs + wireMs(step.requestBytes) + wireMs(step.responseBytes) +
           kTrailingQuietMs;
}

double UploadWireModel::bestSeconds() const
{
    double ms = 0;
    for (const Exchange& step : steps)
        ms += bestExchangeMs(step);
    return ms / 1000.0;
}

double UploadWireModel::overlappedBestSeconds() const
{
    double ms = 0;
    for (const Exchange& step : steps)
        ms += kSettleBeforeSendMs + std::max(kSleepAfterFlushMs, wireMs(step.requestBytes)) +
              wireMs(step.responseBytes) + kTrailingQuietMs;
    return ms / 1000.0;
}
