#pragma once

// Import formats (table ImportF): which delimiter a kind of file uses, how many fields a record
// needs at least, and which field holds which item. No widgets.

#include "Records.h"
#include "engine/Table.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tallyra {

enum class ImportKind
{
    Customers = 1,
    Products = 2
};

inline constexpr int kCustomerSlots = 13; // Fld1..Fld13 shown for customers
inline constexpr int kProductSlots = 4;   // Fld1..Fld4 for products

// The window labels of the slots of a kind, Fld1 first ("Title", "First Name" ... / "Product ID" ...).
const QStringList &slotLabels(ImportKind kind);

// A new format of a kind: empty name, every slot 0, delimiter 44 (comma), no least field count.
ImportFormatRecord newImportFormat(ImportKind kind);

struct FormatEntry
{
    quint32 recNo = 0;
    QString name; // FmtName, trimmed
};

// The formats of a kind in record order (records marked deleted left out).
// REQUIRES: ImportF open.
QList<FormatEntry> formatsOfKind(db::Table &formats, ImportKind kind);

// Reads format record recNo. Fails when there is no such record.
db::Status readFormat(db::Table &formats, quint32 recNo, ImportFormatRecord *format);

// Writes the format to record *recNo, or appends it when *recNo is 0 (then *recNo is the new
// record's number), and flushes it.
db::Status saveFormat(db::Table &formats, const ImportFormatRecord &format, quint32 *recNo);

// The record of the format of `kind` named `name` (trimmed names compared exactly); 0 when none.
quint32 findFormat(db::Table &formats, ImportKind kind, const QString &name);

// The field that holds slot (1-based) of a line's fields: empty when the slot is 0 or names a
// field the line does not have.
inline QString slotValue(const QStringList &fields, qint64 slot)
{
    return slot >= 1 && slot <= fields.size() ? fields[slot - 1] : QString();
}

} // namespace tallyra
