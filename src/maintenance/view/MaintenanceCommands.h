#pragma once

// The "File Maintenance" commands (Backup, Restore, Upgrade Data, Delete Customers) and
// "Import Dir's" as the main window runs them: the picker and questions, the GUI-free engine,
// the closing message. A failure the program cannot go on after comes back as a fatal message
// for the shell to show before it ends the program.

#include "Maintenance.h"
#include "engine/Engine.h"

#include <QString>

class QWidget;

namespace tallyra {

class TDriveDir;

// The one drive and directory picker of the program, made on first use.
TDriveDir &driveDirWindow();

struct CommandOutcome
{
    QString fatal;                // non-empty: the program must end with this message
    bool settingsChanged = false; // TLR2 was replaced: the settings record must be read again
};

CommandOutcome runBackupCommand(QWidget *parent, const QString &dataDir, const ProgressDisplay &progress);
CommandOutcome runRestoreCommand(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress);
CommandOutcome runUpgradeCommand(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress);
CommandOutcome runDeleteCustomersCommand(QWidget *parent, db::Engine &engine,
                                         const ProgressDisplay &progress);
CommandOutcome runImportDirsCommand(QWidget *parent, db::Engine &engine);

} // namespace tallyra
