#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

struct zip;

// A ZIP archive read straight from bytes in memory; nothing is extracted to
// disk. The bytes must outlive the reader.
class ZipArchiveReader {
public:
    struct Entry {
        QByteArray name;  // as stored, undecoded
        qint64 size = 0;  // uncompressed, as the archive claims it
    };

    // Fills `error` and gives nothing when the bytes are not a readable archive.
    static std::optional<ZipArchiveReader> open(const QByteArray& bytes, QString& error);

    const QList<Entry>& entries() const { return entry_list; }
    std::optional<Entry> entryNamed(const QString& name) const;
    // The entry's content, refused when it is larger than maxBytes, when its
    // content does not match its claimed size, or when it cannot be unpacked.
    std::optional<QByteArray> read(const QString& name, qint64 maxBytes, QString& error) const;

private:
    struct Closer {
        void operator()(zip* archive) const;
    };
    explicit ZipArchiveReader(zip* archive);
    bool listEntries(QString& error);
    std::optional<qint64> indexOf(const QString& name) const;

    std::unique_ptr<zip, Closer> archive;
    QList<Entry> entry_list;
};
