#pragma once

// "Backup" and "Restore" without windows: the copies, their order and progress, the questions
// for another disk, and the checks that keep a failed copy from costing data.
//
// A backup replaces each file of the target only once its new copy is whole and read back, and
// writes a manifest (TALLYRA.MANIFEST: names, sizes, SHA-256) on each medium when that medium is
// done. A restore first copies the whole set into a staging folder inside the data directory,
// checking each file against the manifest (or, for a set without one, that every table passes
// its structural checks); only then is a safety copy of the current files taken, a commit
// journal written and the staged files renamed into place. An interruption before the journal
// leaves the current data; after it, finishInterruptedRestore() completes the restore.

#include "Maintenance.h"
#include "engine/Engine.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace tallyra {

// The questions a copy may ask. An empty member answers "Cancel" / shows nothing, as a script
// without a terminal needs.
struct CopyPrompts
{
    std::function<bool(const QString &text)> okCancel; // true for "OK"
    std::function<void(const QString &text)> info;
};

struct BackupResult
{
    db::Status status;             // ok, or the first failure
    QString message;               // for the user when not ok: the command's failure message
    QStringList copied;            // file names copied, in order (tag and group files included)
    QStringList absent;            // settings tables the business does not have (not present)
    QStringList changedDuringCopy; // tables another program wrote to meanwhile: their tags left out
    int media = 1;                 // how many disks the set took

    bool ok() const { return status.isOk(); }
    explicit operator bool() const { return ok(); }
};

// Copies the business's files (backupFiles(), settings tables included, each table followed by
// its tag and group files) from dataDir to target. Refuses the data directory itself ("Backup
// must be to a different drive and/or directory"). A data file missing from dataDir fails the
// backup before anything is written, except an optional settings table (ZZone, Impdirs,
// MailSet), which is noted in `absent`; missing tag files are simply not copied. The tags of a
// table another program changed during its copy are left out of the manifest. Files of the
// business the new set does not hold are removed from the target once its manifest is written.
// A full target asks "Disk Full. Insert another disk. " + the file name: "OK" copies that file
// whole again onto the disk then in the drive (the medium done so far keeps its own manifest),
// "Cancel" fails. A write-protected target asks "Disk is Write Protected". Any other failure
// ends the backup; message is then "Backup Failed . . Check that disk is not write protected"
// with the cause on the next line. Files copied before a failure stay copied.
BackupResult backupData(const QString &dataDir, const QString &target, const CopyPrompts &prompts,
                        const ProgressDisplay &progress = {},
                        const std::shared_ptr<db::FileSystem> &fs = db::FileSystem::posix());

struct RestoreOptions
{
    bool settings = false;  // also TLR2, ImportF, ZZone and Impdirs ("Also restore settings")
    bool removable = false; // the source is removable media: ask for the disk holding a missing file
    QDateTime now;          // the safety copy's time stamp; empty: the clock
};

struct RestoreResult
{
    db::Status status;
    QString message;       // for the user: the outcome, naming the safety copy
    QString safetyFolder;  // the copy of the data as they were before, when one was taken
    QStringList restored;  // file names put in place
    QStringList reindexed; // tables whose index group was built from the restored records
    bool changed = false;  // the current data were replaced (false: left exactly as they were)

    bool ok() const { return status.isOk(); }
    explicit operator bool() const { return ok(); }
};

// Restores the set in `source` into the engine's directory. Tag and group files the manifest
// lists are restored with their tables, verified like every other file; the index group of a
// restored table is rebuilt (from its records, with progress) when the set lacks one of its
// files (no manifest, an older set, tags left out), a copy differs from its manifest line, or
// the group fails to open (ReindexMode::Unsound). A safety copy (manifest marked partial)
// restores the tables it holds and leaves the others as they are.
//
// Refuses the data directory itself ("Restore must be from a different
// drive and/or directory"). A missing file: on removable media "Insert disk containing " + the
// file name ("OK" looks again, "Cancel" stops); elsewhere the restore stops with the message
// "Unable to find " + path + "\n" + "Function Aborted". A file that differs from its manifest line, a table
// that fails its checks, a table in use by another program or a full disk stop the restore with the current
// data left exactly as they were. A failure after the files were replaced puts the safety copy back and says
// so. Closes every table of the engine first and leaves none open.
RestoreResult restoreData(db::Engine &engine, const QString &source, const RestoreOptions &options,
                          const CopyPrompts &prompts, const ProgressDisplay &progress = {});

// Completes or discards a restore that was interrupted (the process killed, the power lost):
// with its commit journal the staged files are moved into place and the index files of those
// tables that the set did not bring removed (the start-up's missing-only re-index rebuilds them); without one
// the staging folder is removed and the current data stay. Returns true when a restore was completed. Called
// before the tables are opened, at start-up and by the tools.
bool finishInterruptedRestore(const QString &dataDir, db::Status *status = nullptr);

// Copies the data and memo files a safety copy holds back over the current ones and removes
// the index files of their tables (the caller re-indexes). Used when an operation that took the
// copy fails half-way.
db::Status putBackSafetyCopy(db::FileSystem &fs, const QString &dataDir, const QString &safetyFolder);

struct VerifyResult
{
    db::Status status;
    QStringList report; // one line per file: "CUST5.DBF: ok" or what is wrong
    bool ok() const { return status.isOk(); }
};

// Checks a backup folder: every file its manifest lists is present with its size and SHA-256,
// and the manifest says whether the set is complete on this medium. Without a manifest, every
// data file present must pass the table checks. Reads only.
VerifyResult verifyBackup(const QString &source);

} // namespace tallyra
