#pragma once

// The two directories of the "Import Directories" window, kept in the first record of Impdirs.

#include "Records.h"
#include "engine/Engine.h"

namespace tallyra {

struct ImportDirsResult
{
    db::Status status;
    QString failedFile;    // "ImpDirs.DBF" when the table cannot be opened
    ImportDirsRecord dirs; // trimmed

    bool ok() const { return status.isOk(); }
    explicit operator bool() const { return ok(); }
};

// Reads the first record (an empty table gives two empty paths). Closes the table again.
ImportDirsResult loadImportDirectories(db::Engine &engine);
// Writes both paths, cut to 126 characters, into the first record; an empty table gets the
// record appended. Closes the table again, synced.
ImportDirsResult saveImportDirectories(db::Engine &engine, const ImportDirsRecord &dirs);

} // namespace tallyra
