#pragma once

// Opening the business's tables for a command, closing them at its end, and the few lookups
// every part shares. Every function works on the engine it is given (the program passes
// tallyra::database(), tests an engine on a temporary directory).

#include "Schema.h"
#include "engine/Engine.h"

#include <QString>

namespace tallyra {

// The outcome of an open operation. On failure the shell shows message() (an information box
// with OK) and ends the program; detail() says what was wrong, for the box's details.
struct OpenResult
{
    db::Table *table = nullptr; // the open table on its first record; nullptr on failure
    QString failedFile;         // "CUST5.DBF", or the tag file ("AccTag.Ntx") when the tag failed
    db::Status status;          // the engine's account of the failure
    bool indexFailed = false;   // the table itself opened; its index group or tag did not

    bool ok() const { return table != nullptr; }
    explicit operator bool() const { return ok(); }
    // The index group failed its structural checks (a Corruption status): rebuilding it from the
    // table repairs it. Never true for an index in use by another program (Locked), which must
    // not be rebuilt under it, nor for a missing file or a read error.
    bool indexDamaged() const { return !ok() && indexFailed && status.isCorruption(); }
    // "Unable to open file CUST5.DBF\nProgram will now terminate."
    QString message() const;
    // The engine's message naming the file and the fault, e.g.
    // "Corruption: CUST5.DBT: memo block 12 lies past the end of the file".
    QString detail() const { return status.toString(); }
};

// The exact failure text for a file name.
QString openFailureMessage(const QString &fileName);

// Opens the table by its bare name. TLR2, ImportF and Impdirs open without their index group
// (automatic index opening is switched off for that one open); the others open with their group
// and select the tag of the schema. The table is left on its first record in that order.
// A table already open is returned as it is, after the tag is selected and it is put on top.
// When the table opens but its index group does not (a tag file missing or damaged), failedFile
// names the tag file of the schema ("AccTag.Ntx", "Inv.Ntx" ...): a re-index repairs it.
OpenResult openTable(db::Engine &engine, TableId id);
OpenResult openSettingsTable(db::Engine &engine); // TLR2
OpenResult openCustomers(db::Engine &engine);     // CUST5, tag CName
OpenResult openGroups(db::Engine &engine);        // GROUPS, tag NGroup
OpenResult openProducts(db::Engine &engine);      // Prod5, tag Prod
OpenResult openPurchases(db::Engine &engine);     // Pur5, tag Pur
OpenResult openInvoices(db::Engine &engine);      // INV6, tag Inv
OpenResult openItems(db::Engine &engine);         // ITM5, tag Itm
OpenResult openPayments(db::Engine &engine);      // PMT, tag Pmt
OpenResult openLabels(db::Engine &engine);        // LABELS, tag Labels
OpenResult openZones(db::Engine &engine);         // ZZone, tag ZZone
OpenResult openImportFormats(db::Engine &engine); // ImportF
OpenResult openImportDirs(db::Engine &engine);    // Impdirs

// The table when the command has it open; nullptr otherwise. Opens nothing.
db::Table *openedTable(db::Engine &engine, TableId id);

// Closes every open table, writing pending records and syncing. Returns the first failure.
db::Status closeAllTables(db::Engine &engine);

// The ten files the program cannot start without, in the order they are tested:
// "TLR2.dbf", "CUST5.dbf", "GROUPS.dbf", "INV6.dbf", "ITM5.dbf", "LABELS.dbf", "PMT.dbf",
// "Prod5.dbf", "Pur5.dbf", "ImportF.dbf".
const QStringList &requiredDataFiles();
// True when all ten exist in dir (names matched without regard to case). *missing receives the
// first one that does not.
bool dataFilesPresent(const QString &dir, QString *missing = nullptr);

// The customer number a new customer gets: 1 for an empty CUST5, else the highest CuNo + 1
// (records marked deleted count: their numbers are not given again before a pack). Found on tag
// CCNO, or by reading every record when the tag is not open.
// REQUIRES: CUST5 open. Its selected tag is kept and it is left on its first record.
qint64 nextCustomerNumber(db::Table &customers);

// Seeks GROUPS on tag NGroup with the group's two-character key and loads the group into
// groupBuffer(); when there is no such group the buffer holds number 0 and an empty name.
// Returns true when found. REQUIRES: GROUPS open. Its selected tag is kept.
bool findGroupByNumber(db::Table &groups, qint64 number);

} // namespace tallyra
