#include "TempResources.h"

#include <QFile>
#include <gtest/gtest.h>

TempResources::TempResources(const QString& iniText)
{
    if (!iniText.isNull())
        writeFile(QStringLiteral("config.ini"), iniText.toUtf8());
    ini = std::make_unique<QSettings>(folder.filePath(QStringLiteral("config.ini")), QSettings::IniFormat);
}

void TempResources::writeFile(const QString& name, const QByteArray& bytes) const
{
    QFile file(folder.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    file.write(bytes);
}

void TempResources::copyFrom(const QString& sourcePath, const QString& name) const
{
    ASSERT_TRUE(QFile::copy(sourcePath, folder.filePath(name))) << sourcePath.toStdString();
}
