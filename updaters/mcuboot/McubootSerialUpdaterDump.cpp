// Diagnostic dump of a CBOR response to the debug log.
#include "McubootSerialUpdater.h"

#include "Cbor.h"

#include <QDebug>
#include <array>

namespace {

// Three container levels can be entered.
constexpr std::size_t kDumpRecords = 5;
const QString kIndent = QStringLiteral("  ");

QDebug line()
{
    return qDebug().noquote();
}

bool dumpElement(zcbor_state_t* state, const QString& prefix);

bool dumpScalar(zcbor_state_t* state, const QString& prefix)
{
    int32_t number = 0;
    zcbor_string text{};
    bool flag = false;
    if (cbor_get_int32(state, &number)) {
        line() << prefix << number;
    } else if (cbor_get_tstr(state, &text)) {
        line() << prefix << "\"" << QString::fromUtf8(reinterpret_cast<const char*>(text.value),
                                                      static_cast<qsizetype>(text.len))
               << "\"";
    } else if (cbor_get_bstr(state, &text)) {
        const QByteArray bytes(reinterpret_cast<const char*>(text.value), static_cast<qsizetype>(text.len));
        line() << prefix << "bstr[" << bytes.size() << "] " << QString::fromLatin1(bytes.toHex(' '));
    } else if (cbor_get_bool(state, &flag)) {
        line() << prefix << (flag ? "true" : "false");
    } else if (cbor_skip(state)) {
        line() << prefix << "<unknown>";
    } else {
        line() << prefix << "<decode error>";
        return false;
    }
    return true;
}

QString mapKey(zcbor_state_t* state, bool& keyRead)
{
    zcbor_string key{};
    keyRead = true;
    if (cbor_get_tstr(state, &key))
        return QString::fromUtf8(reinterpret_cast<const char*>(key.value), static_cast<qsizetype>(key.len));
    keyRead = cbor_skip(state);
    return QStringLiteral("<?>");
}

void dumpMapEntries(zcbor_state_t* state, const QString& prefix)
{
    if (!cbor_get_map_begin(state)) {
        line() << prefix << "<map decode error>";
        cbor_skip(state);
        return;
    }
    // Stops at an entry that cannot be passed, so damaged data cannot loop.
    while (!cbor_at_container_end(state)) {
        bool keyRead = false;
        const QString key = mapKey(state, keyRead);
        if (!keyRead || !dumpElement(state, prefix + key + QStringLiteral(": ")))
            break;
    }
    cbor_get_container_end(state);
}

void dumpListItems(zcbor_state_t* state, const QString& prefix)
{
    if (!cbor_get_list_begin(state)) {
        line() << prefix << "<array decode error>";
        cbor_skip(state);
        return;
    }
    for (int index = 0; !cbor_at_container_end(state); ++index) {
        if (!dumpElement(state, prefix + QStringLiteral("[%1] ").arg(index)))
            break;
    }
    cbor_get_container_end(state);
}

// Writes one element; returns whether the cursor moved past anything.
bool dumpElement(zcbor_state_t* state, const QString& prefix)
{
    if (state->cursor >= state->end)
        return false;
    const uint8_t* const start = state->cursor;
    const uint8_t major = *state->cursor >> 5;
    if (major == 5) {
        line() << prefix << "{";
        dumpMapEntries(state, prefix + kIndent);
        line() << prefix << "}";
    } else if (major == 4) {
        line() << prefix << "[";
        dumpListItems(state, prefix + kIndent);
        line() << prefix << "]";
    } else {
        dumpScalar(state, prefix);
    }
    return state->cursor != start;
}

} // namespace

void McubootSerialUpdater::dumpSmpCbor(const QByteArray& payload, const QString& title)
{
    std::array<zcbor_state_t, kDumpRecords> records{};
    cbor_init_state(records.data(), records.size(), reinterpret_cast<const uint8_t*>(payload.constData()),
                    static_cast<std::size_t>(payload.size()), 1);
    qDebug() << "--- SMP CBOR" << title << "---";
    dumpElement(records.data(), kIndent);
    qDebug() << "--- end SMP CBOR" << title << "---";
}
