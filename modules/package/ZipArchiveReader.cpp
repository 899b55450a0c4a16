#include "ZipArchiveReader.h"

#include <zip.h>

namespace {

QString zipErrorText(zip_error_t* error)
{
    return QString::fromUtf8(zip_error_strerror(error));
}

} // namespace

void ZipArchiveReader::Closer::operator()(zip* archive) const
{
    zip_discard(archive);
}

ZipArchiveReader::ZipArchiveReader(zip* opened) : archive(opened) {}

std::optional<ZipArchiveReader> ZipArchiveReader::open(const QByteArray& bytes, QString& error)
{
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* source = zip_source_buffer_create(bytes.constData(), static_cast<zip_uint64_t>(bytes.size()),
                                                    0, &zipError);
    if (source == nullptr) {
        error = zipErrorText(&zipError);
        zip_error_fini(&zipError);
        return std::nullopt;
    }
    zip* opened = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &zipError);
    if (opened == nullptr) {
        error = QStringLiteral("not a readable ZIP archive (%1)").arg(zipErrorText(&zipError));
        zip_source_free(source);
        zip_error_fini(&zipError);
        return std::nullopt;
    }
    zip_error_fini(&zipError);
    ZipArchiveReader reader(opened);
    if (!reader.listEntries(error))
        return std::nullopt;
    return reader;
}

bool ZipArchiveReader::listEntries(QString& error)
{
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(index), ZIP_FL_ENC_RAW);
        if (name == nullptr || zip_stat_index(archive.get(), static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
            (stat.valid & ZIP_STAT_SIZE) == 0) {
            error = QStringLiteral("entry %1 of the archive cannot be read").arg(index);
            return false;
        }
        entry_list.append(Entry{QByteArray(name), static_cast<qint64>(stat.size)});
    }
    return true;
}

std::optional<ZipArchiveReader::Entry> ZipArchiveReader::entryNamed(const QString& name) const
{
    const std::optional<qint64> index = indexOf(name);
    if (!index)
        return std::nullopt;
    return entry_list.at(*index);
}

std::optional<qint64> ZipArchiveReader::indexOf(const QString& name) const
{
    const QByteArray wanted = name.toUtf8();
    for (qint64 index = 0; index < entry_list.size(); ++index)
        if (entry_list.at(index).name == wanted)
            return index;
    return std::nullopt;
}

std::optional<QByteArray> ZipArchiveReader::read(const QString& name, qint64 maxBytes, QString& error) const
{
    const std::optional<qint64> index = indexOf(name);
    if (!index) {
        error = QStringLiteral("the archive holds no %1").arg(name);
        return std::nullopt;
    }
    const qint64 claimed = entry_list.at(*index).size;
    if (claimed > maxBytes) {
        error = QStringLiteral("%1 is %2 bytes, more than the %3 a package may hold").arg(name).arg(claimed).arg(maxBytes);
        return std::nullopt;
    }
    zip_file_t* file = zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(*index), 0);
    if (file == nullptr) {
        error = QStringLiteral("%1 cannot be unpacked (%2)").arg(name, QString::fromUtf8(zip_strerror(archive.get())));
        return std::nullopt;
    }
    // One byte more than claimed shows content that runs past its claimed size.
    QByteArray content(claimed + 1, Qt::Uninitialized);
    qint64 total = 0;
    zip_int64_t got = 0;
    while (total < content.size() &&
           (got = zip_fread(file, content.data() + total, static_cast<zip_uint64_t>(content.size() - total))) > 0)
        total += got;
    const QString fileError = QString::fromUtf8(zip_file_strerror(file));
    zip_fclose(file);
    if (got < 0) {
        error = QStringLiteral("%1 cannot be unpacked (%2)").arg(name, fileError);
        return std::nullopt;
    }
    if (total != claimed) {
        error = QStringLiteral("%1 does not hold the %2 bytes the archive claims").arg(name).arg(claimed);
        return std::nullopt;
    }
    content.truncate(total);
    return content;
}
