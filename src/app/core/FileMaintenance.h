#pragma once

// The "File Maintenance" page's own commands without their window: re-index, pack and erase of
// the whole business, and what the window is to tell the user afterwards. Each works on the engine
// it is given and leaves no table open.

#include "Maintenance.h"
#include "engine/Engine.h"

#include <QString>

namespace tallyra {

struct MaintenanceOutcome
{
    QString status;  // a note for the status bar that stays a few seconds ("Indexes rebuilt")
    QString message; // an information box, shown after the note
    QString fatal;   // when not empty the program ends with this message
    QString warning; // the engine's account of a fatal failure, for the log
};

// Rebuilds every index group. "Indexes rebuilt"; a table another program holds is named in a
// message and nothing more happens; any other failure is fatal.
MaintenanceOutcome reindexBusiness(db::Engine &engine, const ProgressDisplay &progress = {});

// Packs every data file. "Data files packed"; tables passed over (in use by another program, or
// damaged) are named in a message; a failed pack is reported and the others stay packed.
MaintenanceOutcome packBusiness(db::Engine &engine, const ProgressDisplay &progress = {});

// Erases the business's records (the user has confirmed eraseWarning()). The erased tables are
// first copied into backups/erase-<time>/, which the closing message names; without that copy
// nothing is erased. A table another program holds leaves everything as it was; one that cannot
// be opened otherwise is fatal.
MaintenanceOutcome eraseBusiness(db::Engine &engine, const ProgressDisplay &progress = {});

} // namespace tallyra
