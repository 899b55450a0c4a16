#include "FlatCborMap.h"

namespace {

struct Cursor {
    const QByteArray& data;
    qsizetype at = 0;

    bool more() const { return at < data.size(); }
    std::uint8_t peek() const { return std::uint8_t(data[at]); }

    // Major type and argument of the next head.
    std::optional<std::pair<int, quint64>> head()
    {
        if (!more())
            return std::nullopt;
        const std::uint8_t initial = std::uint8_t(data[at++]);
        const int info = initial & 0x1F;
        if (info < 24)
            return std::pair(initial >> 5, quint64(info));
        if (info > 27)
            return std::nullopt;
        const int size = 1 << (info - 24);
        if (data.size() - at < size)
            return std::nullopt;
        quint64 argument = 0;
        for (int i = 0; i < size; ++i)
            argument = (argument << 8) | std::uint8_t(data[at++]);
        return std::pair(initial >> 5, argument);
    }

    std::optional<QByteArray> string(quint64 length)
    {
        if (quint64(data.size() - at) < length)
            return std::nullopt;
        const QByteArray bytes = data.mid(at, qsizetype(length));
        at += qsizetype(length);
        return bytes;
    }

    std::optional<QVariant> value()
    {
        const auto item = head();
        if (!item)
            return std::nullopt;
        const auto [major, argument] = *item;
        if (major == 0)
            return QVariant(qint64(argument));
        if (major == 1)
            return QVariant(qint64(-1) - qint64(argument));
        if (major == 2 || major == 3) {
            const auto bytes = string(argument);
            if (!bytes)
                return std::nullopt;
            return major == 2 ? QVariant(*bytes) : QVariant(QString::fromUtf8(*bytes));
        }
        return std::nullopt;
    }
};

} // namespace

std::optional<QVariantMap> FlatCborMap::parse(const QByteArray& payload)
{
    Cursor cursor{payload};
    if (!cursor.more())
        return std::nullopt;
    const bool indefinite = cursor.peek() == 0xBF;
    quint64 pairs = 0;
    if (indefinite) {
        ++cursor.at;
    } else {
        const auto map = cursor.head();
        if (!map || map->first != 5)
            return std::nullopt;
        pairs = map->second;
    }
    QVariantMap entries;
    for (quint64 i = 0; indefinite ? cursor.more() && cursor.peek() != 0xFF : i < pairs; ++i) {
        const auto key = cursor.value();
        const auto value = key ? cursor.value() : std::nullopt;
        if (!value || key->typeId() != QMetaType::QString)
            return std::nullopt;
        entries.insert(key->toString(), *value);
    }
    if (indefinite && !(cursor.more() && cursor.peek() == 0xFF))
        return std::nullopt;
    return entries;
}
