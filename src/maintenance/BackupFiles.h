#pragma once

// The pieces every copy of the business's files is made of: which files a backup holds and in
// which order, a copy that is whole or absent, and the manifest that lets a later reader prove
// the copies unchanged.

#include "Schema.h"
#include "engine/FileIo.h"

#include <QString>
#include <QStringList>
#include <map>
#include <memory>

namespace tallyra {

// One file of a backup set.
struct BackupFile
{
    QString name;  // as the schema creates it: "CUST5.DBF"
    TableId table; // the table it belongs to
    int percent;   // progress set just before it is copied
    bool settings; // TLR2, ImportF, ZZone, Impdirs, MailSet: restored only when asked for
    bool optional; // a business may not have it (no zones, import directories or mail set up yet)
};

// The data and memo files of a backup, in copy order: CUST5.DBF 10, CUST5.DBT 20, GROUPS.DBF 30,
// INV6.DBF 35, INV6.DBT 45, ITM5.DBF 55, LABELS.DBF 70, PMT.DBF 75, Pur5.DBF 85, Prod5.DBF 95,
// Prod5.DBT 100, then the settings tables TLR2.DBF, ImportF.DBF, ZZone.DBF, ImpDirs.DBF and
// MailSet.DBF at 100. Each table's tag and group files, where they exist, follow its last file.
const QList<BackupFile> &backupFiles();

// The table a file of the business belongs to, by data, memo, tag or group file name without
// regard to case; false when it is none of them.
bool tableOfFile(const QString &name, TableId *table);

// The file of `dir` named `name` without regard to case, as a full path; empty when none.
QString findNoCase(const QString &dir, const QString &name);

// Every file of a table: data file, memo file, and (withIndex) tag and group files.
QStringList tableFiles(TableId id, bool withIndex);

// What became of a copy that failed, so the caller can ask for another disk or give up.
enum class CopyFault
{
    None,
    DiskFull,       // no space left on the target
    WriteProtected, // read-only file system or no permission to write
    SourceMissing,
    Other,
};

struct CopyResult
{
    db::Status status;
    CopyFault fault = CopyFault::None;
    qint64 size = 0;
    QByteArray sha256; // hex, of the bytes copied
    bool ok() const { return status.isOk(); }
};

// Copies `source` to `target` so that `target` is either the old file or the whole new one:
// the bytes go to target + ".copying" (their SHA-256 taken on the way), are synced, read back
// and compared with what was read from the source, and only then renamed over `target` (the
// rename syncs the folder). On failure the temporary file is removed and `target` is as it was.
// The copy is a new file, writable by its owner, whatever the source's permissions.
// With syncRename false the rename is left for the caller to make durable with the others of a
// run (syncFolder()) before anything relies on it; with syncData false also the bytes
// (syncFiles()), for copies that replace nothing (a restore's staging folder).
CopyResult copyVerified(db::FileSystem &fs, const QString &source, const QString &target,
                        bool syncRename = true, bool syncData = true);
// Syncs the bytes of each file: one run of flushes after many copies, so the file system
// commits their allocations together rather than once per file.
db::Status syncFiles(db::FileSystem &fs, const QStringList &paths);

// A rename whose folder is not synced yet, for a run of renames that one syncFolder() makes
// survive a crash together (the file system's rename syncs the folder every time: a disk flush).
db::Status renameUnsynced(const QString &from, const QString &to);
// Makes the renames and removals done in `dir` so far survive a crash.
void syncFolder(const QString &dir);

// The SHA-256 (hex) and size of a file. Not ok when it cannot be read.
CopyResult hashFile(db::FileSystem &fs, const QString &path);

// Identity, size and modification time of a file ("-" when there is none): two equal stamps
// taken apart mean nobody wrote to (or replaced) the file in between.
QByteArray fileStamp(const QString &path);

// SHA-256 of files hashed ahead of need, by full path, with the stamp the file had throughout.
struct KnownHash
{
    QByteArray stamp;
    QByteArray sha256;
    qint64 size = 0;
};
using KnownHashes = std::map<QString, KnownHash>;
// Hashes each of `paths` that can be read and stays unchanged while it is read.
KnownHashes hashFiles(db::FileSystem &fs, const QStringList &paths);

// The manifest of one folder of a backup, file "TALLYRA.MANIFEST":
//   tallyra-backup 1
//   created 2026-12-08T13:40:05Z
//   <sha256 hex> <size> <file name>      one line per file
//   complete                              when the set ends on this medium
//   partial                               a safety copy: only the tables listed belong to it
// Names are matched without regard to case.
struct ManifestEntry
{
    QByteArray sha256;
    qint64 size = 0;
};

struct Manifest
{
    static constexpr const char *kFileName = "TALLYRA.MANIFEST";

    std::map<QString, ManifestEntry> entries; // key: upper-case file name
    QStringList names;                        // file names in the order listed
    QString created;
    bool complete = false;
    bool partial = false; // a safety copy of some tables: a table it does not list is not restored

    const ManifestEntry *find(const QString &name) const;
    void set(const QString &name, const ManifestEntry &entry);
    void remove(const QString &name);
    QByteArray toText() const;
};

// Reads the manifest of `dir`. *present is false when there is none; a manifest that cannot be
// parsed is a Corruption status naming the file and line.
db::Status readManifest(const QString &dir, Manifest *manifest, bool *present);
// Writes it whole (temporary file, sync, rename, folder synced). Not durable: the same without
// the syncs, for the interim manifest a backup keeps current after each file (read after an
// interruption, but not worth a disk flush each time).
db::Status writeManifest(db::FileSystem &fs, const QString &dir, const Manifest &manifest,
                         bool durable = true);

// True when `path` lies on removable media (a USB stick, a card, a floppy): its device is
// marked removable by the kernel, or it is mounted under /media or /run/media.
bool isRemovableMedia(const QString &path);

// The same folder, after following links, by both names.
bool sameDirectory(const QString &a, const QString &b);

} // namespace tallyra
