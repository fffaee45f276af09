#pragma once

// The program's one engine, on its working directory, and the pack-needed flag. The shell opens
// the database at start-up and closes it at shutdown; every command reaches the engine through
// database(). Tests may instead make their own db::Engine on a temporary directory and pass it
// to the functions of Tables.h, Settings.h and the maintenance library.

#include "engine/Engine.h"

#include <QString>
#include <memory>

namespace tallyra {

// Creates the process-wide engine on dir (shared access, automatic index opening and index
// safety on). An engine already made is closed first.
void openDatabase(const QString &dir, std::shared_ptr<db::FileSystem> fs = db::FileSystem::posix());
// Closes every table and drops the engine.
db::Status closeDatabase();
bool databaseOpen();
// REQUIRES: databaseOpen().
db::Engine &database();

// Set when records were marked deleted and a pack is due; cleared by packDataFiles().
bool packNeeded();
void setPackNeeded(bool needed);

} // namespace tallyra
