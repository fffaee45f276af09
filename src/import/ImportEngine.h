#pragma once

// Importing customers into CUST5 and products into Prod5 from a delimited text file, by an
// import format. No widgets: the window, the command-line tool and the tests run the same code.
//
// Customers: every line with at least nFields fields becomes a customer (title, names, postal
// code, phone, fax, e-mail and note as they stand in the file; address lines trimmed, the state
// put after the city with ", ", empty lines closed up). It updates the customer it matches and
// is added otherwise. Candidates are the live customers whose last name, with ASCII letters
// upper-cased and trailing blanks removed, equals the imported one (leading blanks count, as the
// name tag orders them); the match is the first candidate in name-tag order whose trimmed,
// upper-cased first name and postal code equal the imported ones. A match keeps its number,
// group, title, names and comments (trimmed); the imported note is appended to its note after
// ": "; addresses, postal code, phone, fax and e-mail become the imported ones. A new customer
// gets the next customer number and the chosen group.
//
// Products: lines without a product identifier are skipped. The identifier is trimmed and stored
// in upper case; it matches the live product whose identifier, upper-cased, is the same (the
// first by record number). The price is the fourth slot when it is a number, else 0. A match
// keeps its licence code, memo, flags, reorder level and quantity on hand.
//
// Matching sees every record the import itself added or changed before, so a file naming the
// same customer twice adds it once and updates it once. Imported values are compared as they
// will be stored (cut to the field), so importing a file a second time updates every record it
// added the first time.
//
// Writes: before the first record is written the table's files (data, memo, index group and
// tags) are copied into backups/import-customers-<time>/ (or import-products-) for "Undo Last
// Import"; the table is opened exclusively for the import. When the file has many lines
// compared with the table, the tags are closed for the import (their files removed, so that a
// crash leaves a missing index, which start-up rebuilds) and built again in one pass at the end.

#include "ImportFormat.h"
#include "ImportText.h"
#include "engine/Engine.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tallyra {

struct SkippedLine
{
    qint64 line = 0;
    QString reason; // "has 3 fields, the format needs 5"
};

enum class LineAction
{
    Add,
    Update,
    Skip
};

// What one line of the preview does.
struct PreviewRow
{
    qint64 line = 0;
    QStringList fields;
    LineAction action = LineAction::Skip;
    quint32 recNo = 0; // the record updated, or the record number it will get
    QString what;      // "Add customer 12", "Update customer 7 (Smith, John)", "Skip: ..."
};

struct ImportRequest
{
    ImportKind kind = ImportKind::Customers;
    ImportFormatRecord format;
    QString file;
    qint64 group = 0; // customers: the group of new customers
};

// How the tags are kept during the import: by the size of the file against the table (Auto), or
// forced, for tests and benchmarks.
enum class BulkMode
{
    Auto,
    Never,
    Always
};

// Called every few hundred lines with the percentage of the file read and the status text
// ("Importing: John Smith"); returning false cancels the import after the current line.
using ImportProgressFn = std::function<bool(int percent, const QString &status)>;

struct ImportResult
{
    bool ok = false;          // the file was read to its end (or cancelled) and every write succeeded
    QString message;          // when !ok: what went wrong, for the user
    bool tableFailed = false; // the table could not be opened or written (else: the file was refused)
    qint64 added = 0;
    qint64 updated = 0;
    qint64 skippedCount = 0;
    QList<SkippedLine> skipped; // the first kMaxListed skipped lines
    bool cancelled = false;
    qint64 lastLine = 0; // number of the last line read
    TextEncoding encoding = TextEncoding::Utf8;
    bool bulk = false; // the tags were built again at the end
    QString backupDir; // the copy taken before the first write; empty when nothing was written

    static constexpr int kMaxListed = 1000;

    // "3 Customers Added  2 Customers Updated", "3 Products Added  2 Products Updated".
    QString counts(ImportKind kind) const;
};

struct ImportPreview
{
    bool ok = false;
    QString message; // why the file cannot be imported
    TextEncoding encoding = TextEncoding::Utf8;
    int fieldColumns = 0; // the most fields of a shown line
    QList<PreviewRow> rows;
};

// Runs the import. The engine's access mode and automatic index opening are left as they were;
// the table is closed at the end (ImportF and other tables stay as they were).
ImportResult runImport(db::Engine &engine, const ImportRequest &request,
                       const ImportProgressFn &progress = {}, BulkMode bulk = BulkMode::Auto);

// What the first `lines` lines would do, without writing anything. The table is opened shared
// and closed again.
ImportPreview previewImport(db::Engine &engine, const ImportRequest &request, int lines = 50);

} // namespace tallyra
