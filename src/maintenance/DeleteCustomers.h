#pragma once

// "Delete Customers": removes every customer who has not ordered since a cut-off date.

#include "Maintenance.h"
#include "SafetyBackup.h"
#include "engine/Engine.h"

#include <QDate>

namespace tallyra {

struct DeleteCustomersResult
{
    db::Status status;         // ok, or the failure (nothing deleted when it came before the pack)
    int deleted = 0;           // customers removed
    bool packed = false;       // CUST5 was packed (only when deleted > 0)
    SafetyBackupResult safety; // the copy of CUST5 taken before anything was deleted
    QString failedFile;        // "CUST5.DBF" / "INV6.DBF" when a table could not be opened

    bool ok() const { return status.isOk(); }
    explicit operator bool() const { return ok(); }
    // "3 Customers Deleted", followed by the safety copy's note on a second line.
    QString message() const;
};

// The default cut-off: today minus 365 days.
QDate defaultDeleteCutoff();

// Marks deleted every CUST5 record none of whose invoices (INV6, tag InvC) is dated after
// `cutoff` (customers without invoices and with undated invoices only included), walking CUST5
// in CName order with progress "Processing Customer Orders & Deleting Customers" (0 .. 100), then,
// when one was deleted, packs CUST5 without memo compaction ("Packing Customer File"). Invoices,
// items and payments are not touched. Before the first mark a safety copy of CUST5 is taken into
// backups/delete-customers-...; when it cannot be made nothing is deleted. Closes the engine's
// tables first and leaves none open.
DeleteCustomersResult deleteInactiveCustomers(db::Engine &engine, const QDate &cutoff,
                                              const ProgressDisplay &progress = {},
                                              const QDateTime &now = {});

} // namespace tallyra
