#pragma once

#include "UnitOutcome.h"

#include <QString>

// The production record: one CSV row per unit and attempt, appended to a file
// that several runs may share. A new file starts with a header row; each row
// is flushed as it is written, so a crash loses no finished row.
class ProductionReport {
public:
    ProductionReport(const QString& path, const QString& imageName, const QString& imageSha256,
                     const QString& imageVersion);

    // False when the row could not be written.
    bool append(const UnitOutcome& outcome) const;

    static QString headerRow();
    // One field as RFC 4180 wants it; text a spreadsheet would run as a
    // formula is kept as text.
    static QString field(const QString& text);

private:
    QString path;
    QString image_name;
    QString image_sha256;
    QString image_version;
    QString host_name;
};
