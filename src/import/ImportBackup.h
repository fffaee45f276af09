#pragma once

// The copy of CUST5 or Prod5 an import takes before it writes, and "Undo Last Import".
//
// The copy lives in backups/import-customers-<yyyymmdd-hhmmss>/ (import-products-...) inside
// the data directory: the data file, its memo file, its group file and tag files, under their
// names on disk; the newest five copies of each kind are kept. When the import has ended, the
// size and modification time of the data and memo files are noted in the folder (undo.txt): the
// import can be undone while the files are still exactly so, that is until another change is
// made to the table. Undoing puts the copied files back (each through a temporary file and a
// rename) and notes that it was done, so it is offered once.

#include "ImportFormat.h"
#include "Schema.h"
#include "engine/Engine.h"

#include <QString>

namespace tallyra {

inline constexpr int kBackupsKept = 5;

// "import-customers" or "import-products".
QString importOperation(ImportKind kind);
TableId importTable(ImportKind kind);

// Copies the table's files into a new folder backups/<operation>-<time>/ of the engine's
// directory; *folder receives its path. Older copies of the operation beyond the newest five are
// removed. REQUIRES: the table has no pending change.
db::Status copyTableFiles(const db::Engine &engine, TableId id, const QString &operation, QString *folder);

// Notes the table's files as they are now, after the import, in the folder.
// REQUIRES: the table is closed.
db::Status markUndoable(const db::Engine &engine, TableId id, const QString &folder);

// The folder of the last import of the kind that can still be undone; empty when none.
QString undoableImport(const QString &dataDir, ImportKind kind);

// Puts back the table as it was before the last import of the kind. Any table open on the
// engine is closed first; the table must not be in use by another program (Locked status
// otherwise). *folder receives the copy used. Fails with NotFound when there is nothing to undo.
db::Status undoLastImport(db::Engine &engine, ImportKind kind, QString *folder = nullptr);

} // namespace tallyra
