#include "PrivateToolFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

using stm32_updater::PrivateToolFile;

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) << path.toStdString();
    file.write(bytes);
}

TEST(PrivateToolFile, IsANewNameInAFolderOnlyThisUserCanWriteThatGoesWithIt)
{
    QString folder;
    {
        const PrivateToolFile file(QStringLiteral("otp.bin"));
        ASSERT_TRUE(file.isValid()) << file.errorString().toStdString();
        EXPECT_FALSE(QFileInfo::exists(file.path()));
        const QFileInfo info(QFileInfo(file.path()).absolutePath());
        folder = info.absoluteFilePath();
        EXPECT_EQ(info.permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        EXPECT_NE(PrivateToolFile(QStringLiteral("otp.bin")).path(), file.path());
        writeBytes(file.path(), "left by the tool");
    }
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(PrivateToolFile, GivesTheBytesOnlyOfARegularFileOfTheExpectedSize)
{
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("target.bin"));
    writeBytes(target, QByteArray(16, 'x'));
    struct Case {
        const char* name;
        std::function<void(const QString&)> leave;
        std::optional<QByteArray> bytes;
    };
    const Case cases[] = {
        {"exact size", [](const QString& path) { writeBytes(path, QByteArray(16, 'a')); }, QByteArray(16, 'a')},
        {"nothing", [](const QString&) {}, std::nullopt},
        {"shorter", [](const QString& path) { writeBytes(path, QByteArray(8, 'a')); }, std::nullopt},
        {"longer", [](const QString& path) { writeBytes(path, QByteArray(17, 'a')); }, std::nullopt},
        {"a link to a file of that size", [&](const QString& path) { QFile::link(target, path); }, std::nullopt},
    };
    for (const Case& c : cases) {
        const PrivateToolFile file(QStringLiteral("otp.bin"));
        c.leave(file.path());
        EXPECT_EQ(file.read(16), c.bytes) << c.name;
    }
}

} // namespace
