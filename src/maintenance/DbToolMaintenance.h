#pragma once

// The maintenance commands of tallyra-dbtool. Each prints what it did to stdout and any failure
// to stderr, and returns the program's exit code (0 done, 1 failed).

#include <QString>

namespace tallyra {

// tallyra-dbtool reindex DIR: rebuilds every index group of the business's tables (full mode).
int dbtoolReindex(const QString &dir);
// tallyra-dbtool pack DIR: removes deleted records from the business's tables (the pack of the
// "Pack Data" command).
int dbtoolPack(const QString &dir);

// tallyra-dbtool backup DIR TARGET: copies the business's files to TARGET with a manifest. A full
// or write-protected target fails (there is nobody to insert another disk). Exit 0 done, 3 failed.
int dbtoolBackup(const QString &dir, const QString &target);
// tallyra-dbtool restore DIR SOURCE [--settings]: restores the set in SOURCE (all or nothing) and
// rebuilds the indexes; --settings also restores TLR2, ImportF, ZZone and Impdirs. A restore that
// was interrupted earlier is completed or discarded first. Exit 0 done, 3 failed.
int dbtoolRestore(const QString &dir, const QString &source, bool settings);
// tallyra-dbtool verify-backup SOURCE: checks every file against the manifest. Exit 0 whole,
// 3 damaged or unreadable.
int dbtoolVerifyBackup(const QString &source);

} // namespace tallyra
