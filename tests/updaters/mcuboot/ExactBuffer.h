#pragma once

#include <QByteArray>
#include <cstring>
#include <memory>

// A payload copied into a heap block of exactly its size, so that a read past
// its end is caught by AddressSanitizer instead of landing on a terminator.
class ExactBuffer {
public:
    explicit ExactBuffer(const QByteArray& bytes)
        : storage(new char[static_cast<std::size_t>(bytes.size() > 0 ? bytes.size() : 1)]), length(bytes.size())
    {
        if (length > 0)
            std::memcpy(storage.get(), bytes.constData(), static_cast<std::size_t>(length));
    }

    QByteArray view() const { return QByteArray::fromRawData(storage.get(), length); }

private:
    std::unique_ptr<char[]> storage;
    qsizetype length;
};
