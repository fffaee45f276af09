#pragma once

// Re-index, pack and erase the business's tables. Each runs with the engine in exclusive access
// (so another copy of the program on the same directory cannot work under it; it gets a Locked
// status, which names the file) and leaves it in shared access, with automatic index opening and
// index safety on, however it ends. Any table open on the engine is closed first, and no table
// is left open. Progress goes to the optional
// display; the window that asks the questions is the caller's.

#include "Schema.h"
#include "engine/Engine.h"

#include <QString>
#include <functional>

namespace tallyra {

// The progress display of the main window, or a test's recorder. Any member may be empty.
struct ProgressDisplay
{
    std::function<void(const QString &message)> start;
    std::function<void(int percent)> set;
    std::function<void()> end;
};

enum class ReindexMode
{
    Full,        // every index group, with progress ("Rebuilding Indexes")
    MissingOnly, // only groups of which a tag or group file is missing, no progress
    Unsound,     // groups of which a file is missing or that do not open whole: a damaged header, a
                 // tag left "in update", a key size or tag list that does not fit the table. The
                 // rest is kept as it is. Progress as in Full once a group has to be built.
};

// What a maintenance run did. status is ok or the first failure, which names the file.
struct MaintenanceResult
{
    db::Status status;
    QStringList tablesDone;    // bare names, in the order worked on
    QStringList tablesSkipped; // tables passed over because they could not be opened (pack)

    bool ok() const { return status.isOk(); }
    explicit operator bool() const { return ok(); }
};

// Rebuilds index groups, in this order: CUST5, ZZone, GROUPS, Prod5, Pur5, INV6, ITM5, PMT,
// LABELS. Each table is opened without its index (a damaged tag file is never read, only
// replaced), its group created with every tag in schema order, overwriting, and closed. Full
// mode sets 5 first and then 25, 30, 35, 40, 60, 80, 100 and 100 after ZZone .. LABELS.
// tablesDone lists the tables whose group was built. Stops at the first failure.
MaintenanceResult rebuildIndexes(db::Engine &engine, ReindexMode mode, const ProgressDisplay &progress = {});

// Rebuilds the index group of one table, as the full mode does, without progress: the repair of
// an index found damaged when its table was opened. A table without index: ok, nothing done.
MaintenanceResult rebuildIndexGroup(db::Engine &engine, TableId id);

// Packs CUST5 (with memo compaction), GROUPS, INV6 (memo), ITM5, LABELS, PMT, Pur5, Prod5
// (memo), setting 10, 30, 35, 50, 70, 75, 85, 100 before each ("Packing Data Files"). A table
// that cannot be opened is passed over (tablesSkipped); a failed pack leaves that table as it
// was and the run goes on with the next. The pack-needed flag is cleared when every table was
// packed, and stays set when one failed or was passed over.
MaintenanceResult packDataFiles(db::Engine &engine, const ProgressDisplay &progress = {});

// Packs one table with its index group open, so its tags match the packed records; compacts
// the memo file when asked. A table that cannot be opened is passed over: the result is ok, tablesDone
// empty and tablesSkipped names it. A table without deleted records is left untouched (not rewritten).
// TLR2, ImportF, ZZone and Impdirs are never packed (ok, nothing done).
MaintenanceResult packTable(db::Engine &engine, TableId id, bool compactMemo);

// Empties CUST5, GROUPS, INV6, ITM5, PMT, Prod5 and Pur5 ("Erasing Data Files", 5 .. 100) and
// compacts the memo files of CUST5, INV6 and Prod5. TLR2, LABELS, ImportF, ZZone and Impdirs
// survive. All seven are opened first: when one cannot be opened (in use by another program,
// damaged) nothing is erased, the result names it and the shell shows the open-failure message
// for failedFile.
struct EraseResult : MaintenanceResult
{
    QString failedFile; // "CUST5.DBF" etc. when a table could not be opened
};
EraseResult eraseDataFiles(db::Engine &engine, const ProgressDisplay &progress = {});

// The caption of the erase question, for the caller's warning box (OK / Cancel).
QString eraseWarning();

} // namespace tallyra
