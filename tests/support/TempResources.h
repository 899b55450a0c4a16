#pragma once

#include <QDir>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// A throw-away Resources folder with a config.ini written from INI text.
class TempResources {
public:
    explicit TempResources(const QString& iniText = QString());

    QDir dir() const { return QDir(folder.path()); }
    QString path() const { return folder.path(); }
    QString filePath(const QString& name) const { return folder.filePath(name); }
    QSettings& settings() { return *ini; }

    void writeFile(const QString& name, const QByteArray& bytes) const;
    void copyFrom(const QString& sourcePath, const QString& name) const;

private:
    QTemporaryDir folder;
    std::unique_ptr<QSettings> ini;
};
