#include "McubootSession.h"

#include "CborReader.h"
#include "EventLog.h"

namespace {

constexpr int kReceivePollMs = 500;
constexpr int kDeliveryWaitMs = 2000;

std::string describeKeys(const std::optional<CborValue>& body)
{
    if (!body)
        return " (payload is not CBOR)";
    std::string keys;
    for (const auto& [key, value] : body->entries)
        keys += fmt::format(" {}={}", key.kind == CborValue::Kind::Text ? key.text() : key.describe(), value.describe());
    return keys;
}

} // namespace

McubootSession::McubootSession(const SimOptions& options, PtyLink& link, McubootUnit& unit)
    : options(options), link(link), unit(unit), budget(options.silentFromByte, options.unplugAfterBytes)
{
}

void McubootSession::run()
{
    for (;;) {
        if (budget.unplugDue()) {
            link.unplug();
            EventLog::event("unplugged");
            return;
        }
        const auto bytes = link.receive(kReceivePollMs);
        if (!bytes)
            return;
        for (const auto& frame : codec.feed(budget.admit(*bytes))) {
            if (!handle(frame))
                return;
        }
    }
}

bool McubootSession::handle(const SmpLineCodec::Received& frame)
{
    if (!frame.packet) {
        EventLog::note("dropped a frame: {}", frame.problem);
        return true;
    }
    const SmpPacket& request = *frame.packet;
    ++requestCount;
    const auto body = CborReader::decode(request.payload);
    logRequest(request, body);
    const auto& floodFrom = options.mcuboot.floodFromRequest;
    if (floodFrom && requestCount >= *floodFrom) {
        EventLog::event("flooding");
        EventLog::note("  (flood: {} bytes of noise sent)", link.flood());
        return false;
    }
    const auto& silentFrom = options.mcuboot.silentFromRequest;
    if (silentFrom && requestCount >= *silentFrom) {
        EventLog::note("  (silent: no answer)");
        return true;
    }
    const unsigned resetsBefore = unit.resetCount();
    const SmpPacket response = request.responseTo(unit.answer(request, body));
    EventLog::note("  answer:{}", describeKeys(CborReader::decode(response.payload)));
    if (!link.send(SmpLineCodec::encodeResponse(response, responseStyle())))
        return false;
    if (unit.resetCount() > resetsBefore && options.afterReset == AfterReset::Exit) {
        link.waitUntilDelivered(kDeliveryWaitMs);
        return false;
    }
    return true;
}

SmpResponseStyle McubootSession::responseStyle() const
{
    const auto& badCrcFrom = options.mcuboot.badCrcFromRequest;
    return SmpResponseStyle{badCrcFrom && requestCount >= *badCrcFrom, options.mcuboot.splitLineChars,
                            options.mcuboot.noiseLines};
}

void McubootSession::logRequest(const SmpPacket& request, const std::optional<CborValue>& body) const
{
    static constexpr const char* kOperations[] = {"read", "read-rsp", "write", "write-rsp"};
    const char* operation = request.operation < 4 ? kOperations[request.operation] : "op?";
    EventLog::note("request #{}: {} group {} command {} seq {} keys:{}", requestCount, operation, request.group,
                   request.command, request.sequence, describeKeys(body));
}
