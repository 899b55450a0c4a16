#include "ZipArchiveWriter.h"

#include <zip.h>

namespace {

bool addEntries(zip* archive, const QList<std::pair<QString, QByteArray>>& entries)
{
    for (const auto& [name, content] : entries) {
        zip_source_t* source =
            zip_source_buffer(archive, content.constData(), static_cast<zip_uint64_t>(content.size()), 0);
        if (source == nullptr)
            return false;
        if (zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            return false;
        }
    }
    return true;
}

std::optional<QByteArray> readWhole(zip_source_t* buffer)
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(buffer, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0 || zip_source_open(buffer) != 0)
        return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
    const zip_int64_t got = zip_source_read(buffer, bytes.data(), stat.size);
    zip_source_close(buffer);
    if (got != static_cast<zip_int64_t>(stat.size))
        return std::nullopt;
    return bytes;
}

} // namespace

void ZipArchiveWriter::add(const QString& name, const QByteArray& content)
{
    entries.append({name, content});
}

std::optional<QByteArray> ZipArchiveWriter::finish(QString& error) const
{
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &zipError);
    zip* archive = buffer == nullptr ? nullptr : zip_open_from_source(buffer, ZIP_TRUNCATE, &zipError);
    if (archive == nullptr) {
        error = QStringLiteral("cannot start an archive (%1)").arg(QString::fromUtf8(zip_error_strerror(&zipError)));
        zip_error_fini(&zipError);
        if (buffer != nullptr)
            zip_source_free(buffer);
        return std::nullopt;
    }
    zip_error_fini(&zipError);
    // The buffer must survive zip_close, which writes the archive into it.
    zip_source_keep(buffer);
    if (!addEntries(archive, entries) || zip_close(archive) != 0) {
        error = QStringLiteral("cannot write the archive (%1)").arg(QString::fromUtf8(zip_strerror(archive)));
        zip_discard(archive);
        zip_source_free(buffer);
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = readWhole(buffer);
    zip_source_free(buffer);
    if (!bytes)
        error = QStringLiteral("cannot read back the archive written in memory");
    return bytes;
}
