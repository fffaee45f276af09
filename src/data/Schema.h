#pragma once

// The business's thirteen tables: every field with its stored width, every index tag with its key
// expression and tag file, the tag selected when a table is opened, and the file names shown when
// a table or its tag cannot be opened. Character widths are bytes: twice the characters the entry
// forms accept, so that UTF-8 text of that many characters fits.

#include "engine/Field.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tallyra {

enum class TableId
{
    Settings,      // TLR2: the one settings record
    Customers,     // CUST5
    Groups,        // GROUPS
    Products,      // Prod5
    Purchases,     // Pur5
    Invoices,      // INV6
    Items,         // ITM5
    Payments,      // PMT
    Labels,        // LABELS
    Zones,         // ZZone
    ImportFormats, // ImportF
    ImportDirs,    // Impdirs
    MailServer,    // MailSet: the mail server's port, security and login
};

struct TableDef
{
    TableId id;
    QString name;          // bare name the table is opened by: "CUST5"
    QString fileName;      // data file as created: "CUST5.DBF"
    QString memoFileName;  // "CUST5.DBT", empty when the table has no memo field
    QString groupFileName; // "CUST5.cgp", empty for tables opened without index
    QList<db::FieldDef> fields;
    QList<db::TagDef> tags; // in group order; file names exactly as created
    QString openTag;        // tag selected by the open operation, empty for none
    QString openFailFile;   // named when the table cannot be opened: "CUST5.DBF"
    QString tagFailFile;    // named when its tag cannot be selected: "AccTag.Ntx"

    bool indexed() const { return !tags.isEmpty(); }
    // Every index file of the table (tag files, then the group file): the files whose absence makes
    // the missing-only re-index rebuild the group.
    QStringList indexFiles() const;
};

// Every table, in the order of TableId.
const QList<TableDef> &schemaTables();
const TableDef &tableDef(TableId id);
// By bare name, matched without regard to case; nullptr when unknown.
const TableDef *findTableDef(const QString &name);

// The widest texts the program writes: most texts are written from at most kTextLimit characters,
// the mail settings from kMailTextLimit, the import directories and logo path from kPathTextLimit.
inline constexpr int kTextLimit = 59;
inline constexpr int kMailTextLimit = 69;
inline constexpr int kPathTextLimit = 126;
// E-mail addresses are accepted with up to 60 characters and written whole.
inline constexpr int kEmailTextLimit = 60;

} // namespace tallyra
