#pragma once

// The mail-merge export: a tab-delimited file of the customers of chosen groups, for a word
// processor's form letters.

#include "Maintenance.h"

#include <QList>
#include <QString>

class QIODevice;

namespace db {
class Table;
}

namespace tallyra {

// The header line's columns, in order.
const QStringList &mergeFileColumns();

struct MergeExportResult
{
    bool ok = false;
    int rows = 0;    // customer lines written
    QString message; // for the user when !ok
};

// Writes the header line and one line per customer of CUST5, in postal-code order (tag CZip),
// whose NGroup is among `groups`: the trimmed Title, First, Last, Addr1, Addr2, Addr3, Addr4 and
// Zip, separated by tabs, each line ended by CR LF, in UTF-8. A customer marked deleted is left out.
// Progress is set to floor(100 * visited / record count) after each customer visited.
// REQUIRES: CUST5 open; its order is left on CZip. On failure message names what failed.
MergeExportResult writeMergeFile(db::Table &customers, const QList<qint64> &groups, QIODevice &out,
                                 const ProgressDisplay &progress = {});

// The export to a file: starts the progress display with "Exporting Mail Merge File", writes as
// above and ends it. The file is complete or untouched: it is written beside its final name and
// takes that name only when every line was written, so an old file of that name is replaced whole
// or left as it was. When the file cannot be made the message is "Unable to save to: " and the
// file name; when writing fails part way (a full disk, an unreadable customer) a second line says why.
MergeExportResult exportMergeFile(db::Table &customers, const QList<qint64> &groups, const QString &path,
                                  const ProgressDisplay &progress = {});

} // namespace tallyra
