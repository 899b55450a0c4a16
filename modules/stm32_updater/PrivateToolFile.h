#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <optional>

namespace stm32_updater {

// A file for an outside tool to write (dfu-util's -U), in a new folder that
// only this user can write: nobody else can put a file or a link at its path
// before the tool creates it, and two reads running at once never share one.
// The folder, with whatever the tool left in it, goes with this object.
class PrivateToolFile {
public:
    explicit PrivateToolFile(const QString& fileName);

    PrivateToolFile(const PrivateToolFile&) = delete;
    PrivateToolFile& operator=(const PrivateToolFile&) = delete;

    // False when the folder could not be made; errorString() says why.
    bool isValid() const { return folder.isValid(); }
    QString errorString() const { return folder.errorString(); }
    // Where the tool is to create the file; nothing is there yet.
    QString path() const { return file_path; }

    // The bytes of what the tool left at path(), when that is a regular file
    // (a link is not followed) of exactly `expectedSize` bytes.
    std::optional<QByteArray> read(qint64 expectedSize) const;

private:
    QTemporaryDir folder;
    QString file_path;
};

} // namespace stm32_updater
