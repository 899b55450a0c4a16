#pragma once

#include "UnitOutcome.h"

#include <QFile>
#include <QString>

// The production record: one CSV row per unit and attempt, appended to a file
// that several runs may share. The file is opened before any unit is touched;
// a new file starts with a header row. Each row is flushed and synced to disk
// as it is written, so a crash or a power cut loses no finished row.
class ProductionReport {
public:
    ProductionReport(const QString& path, const QString& imageName, const QString& imageSha256,
                     const QString& imageVersion);

    // Opens (or creates) the file for appending; a new file gets its header,
    // written through to the disk, so a file that takes no bytes is found out
    // here. Fills `error` when the file cannot be used.
    bool open(QString& error);
    // False, with `error` filled, when the row could not be written whole.
    bool append(const UnitOutcome& outcome, QString& error);

    const QString& path() const { return report_path; }

    static QString headerRow();
    // One field as RFC 4180 wants it; text a spreadsheet would run as a
    // formula is kept as text.
    static QString field(const QString& text);

private:
    bool writeThrough(const QByteArray& bytes, QString& error);

    QString report_path;
    QFile file;
    QString image_name;
    QString image_sha256;
    QString image_version;
    QString host_name;
};
