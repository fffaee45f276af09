#pragma once

// "Upgrade Data": replaces the business's data with the data of an earlier release, read from
// the folder the user picks. Two kinds of old data are known:
//   release 1:   cust5, Groups, inv5, itm5, labels, pmt, pur5, Prod5 (only the invoice table,
//                inv5, differs from today's layout);
//   older layout: cust2, Groups, inv, itm4, labels, pmt, Prod4.
// Old tables are read by field name, whatever their widths, and their texts as UTF-8 when they
// are valid UTF-8, otherwise as Windows-1252. Before anything is written a safety copy of every
// table is taken; a conversion that fails puts that copy back.

#include "BackupSet.h"
#include "Maintenance.h"
#include "SafetyBackup.h"
#include "engine/Engine.h"

#include <QString>
#include <QStringList>

namespace tallyra {

enum class UpgradeKind
{
    Release1, // the folder holds Inv5.dbf
    Older,
};

// Release1 when `dir` holds "Inv5.dbf" (any letter case), else Older.
UpgradeKind upgradeKindOf(const QString &dir);

// The files each conversion needs, as the messages name them.
const QStringList &release1Files();
const QStringList &olderFiles();

// The folder the picker starts in: the first of QVL_sb (holding Inv5.dbf), QVL_bus (holding
// Prod4.dbf), QVL (holding Prod4.dbf) found in one of `bases`, tried in order for each name;
// empty when none is. The program passes the home folder and the roots of the mounted drives.
QString upgradeStartFolder(const QStringList &bases);
QStringList upgradeSearchBases();

// Decodes a text of an old table: UTF-8 when it is valid UTF-8, otherwise Windows-1252.
QString decodeOldText(QByteArrayView bytes);

struct UpgradeResult
{
    enum class Outcome
    {
        Done,         // converted
        FilesMissing, // "Data files not found in " + folder was shown; nothing changed
        Cancelled,    // the warning was answered "Cancel"; nothing changed
        Failed,       // status says why; putBack tells whether the data are as before
    };
    Outcome outcome = Outcome::Done;
    db::Status status;
    SafetyBackupResult safety;
    bool putBack = false;
    MaintenanceResult packed; // the pack that ends every run

    bool ok() const { return outcome != Outcome::Failed; }
    // The closing message: empty for Done without a note, "Unable to convert all data files" ...
    QString message() const;
};

// Runs the conversion for `dir` (upgradeKindOf) on the engine's directory: file test (prompts.info
// "Data files not found in " + dir), the warning (prompts.okCancel, a warning box), the safety
// copy, the conversion with progress "Converting Data Files", the full re-index, for the older
// layout the item descriptions ("Transferring Item Descriptions"), and finally, in every case,
// the pack of the data files. Old records marked deleted are not carried over.
UpgradeResult upgradeData(db::Engine &engine, const QString &dir, const CopyPrompts &prompts,
                          const ProgressDisplay &progress = {}, const QDateTime &now = {});

} // namespace tallyra
