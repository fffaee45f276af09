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

} // namespace tallyra
