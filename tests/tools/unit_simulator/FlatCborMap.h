#pragma once

#include <QByteArray>
#include <QVariantMap>
#include <optional>

// Reads a CBOR map whose keys are texts and whose values are integers, byte
// strings or texts: the shape of every response the tests inspect. Integers
// come back as qint64, byte strings as QByteArray, texts as QString.
class FlatCborMap {
public:
    static std::optional<QVariantMap> parse(const QByteArray& payload);
};
