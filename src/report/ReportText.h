#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace tallyra {

class ReportBuffer;

// The plain-text renderings of the report buffer: the two exports and the e-mail body.
//
// Each row becomes one line built from its "L", "R" and "C" cells in cell order; rules, images,
// "EJECT" and the flags cell add nothing, so such a row gives an empty line.
//  - Padded: each text goes to its column (L: at c, R: ending at c, C: centred on c); blanks fill
//    up to that position, and a line already past it gets the text directly.
//  - TabDelimited: texts joined by tabs; a tab is added only when the line so far is not empty.
enum class TextLayout
{
    Padded,
    TabDelimited
};

QString reportLine(const ReportBuffer &buffer, int row, TextLayout layout);

// The export file's contents: every row's line ended by CR LF, in UTF-8.
QByteArray reportExportText(const ReportBuffer &buffer, TextLayout layout);

// The body of an e-mailed document: every row's line ended by LF, and after each row whose flags
// cell is exactly "U" a line of reportWidth() + 1 dashes.
QString reportEmailText(const ReportBuffer &buffer, TextLayout layout);

// Writes the export to `device` (already open). False when a write fails.
bool writeReportText(const ReportBuffer &buffer, TextLayout layout, QIODevice *device);

// Writes the export to the file at `path` through a temporary file that replaces the old file
// only once it is complete: on any failure (missing folder, full disk) an existing file keeps
// its old contents. False on failure; the caller tells the user.
bool saveReportText(const ReportBuffer &buffer, TextLayout layout, const QString &path);

} // namespace tallyra
