#include "RawZip.h"

#include <gtest/gtest.h>
#include <zip.h>

QByteArray rawZip(const QList<std::pair<QByteArray, QByteArray>>& entries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr);
    zip_source_keep(buffer);
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(archive, content.constData(), content.size(), 0);
        EXPECT_GE(zip_file_add(archive, name.constData(), source, ZIP_FL_ENC_RAW), 0) << name.constData();
    }
    EXPECT_EQ(zip_close(archive), 0);
    zip_stat_t stat;
    zip_stat_init(&stat);
    zip_source_stat(buffer, &stat);
    QByteArray bytes(static_cast<qsizetype>(stat.size), '\0');
    zip_source_open(buffer);
    EXPECT_EQ(zip_source_read(buffer, bytes.data(), stat.size), static_cast<zip_int64_t>(stat.size));
    zip_source_close(buffer);
    zip_source_free(buffer);
    zip_error_fini(&error);
    return bytes;
}
