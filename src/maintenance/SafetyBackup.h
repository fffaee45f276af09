#pragma once

// The automatic copy taken before an operation that replaces or removes much data (restore,
// data upgrade, delete customers, erase, an import): the affected tables with their memo and
// index files go to backups/<operation>-<yyyymmdd-hhmmss>/ inside the data directory, with a
// manifest, so "Restore" (or tallyra-dbtool restore) can put them back. The newest five such
// folders are kept.

#include "BackupFiles.h"
#include "Schema.h"
#include "engine/FileIo.h"

#include <QDateTime>
#include <QString>

namespace tallyra {

inline constexpr int kSafetyBackupsKept = 5;

struct SafetyBackupResult
{
    db::Status status; // ok, or why no copy could be made (the operation must not go on)
    QString folder;    // full path of the finished folder
    QStringList files; // the file names copied

    bool ok() const { return status.isOk(); }
    explicit operator bool() const { return ok(); }
};

// Copies every existing file of `tables` (data, memo, tag and group files) from dataDir into
// dataDir/backups/<operation>-<yyyymmdd-hhmmss>/ (a "-2", "-3" ... is added when that name is
// taken). The folder is built under a hidden temporary name and renamed when every copy is
// verified and the manifest written, so a folder of that name is always whole. Then the oldest
// folders of this kind are removed until kSafetyBackupsKept remain. `now` defaults to the
// current local time. REQUIRES: the tables closed (their files are copied as they are on disk).
// Link: each file is a hard link to the current one (a copy where links cannot be made), for an
// operation that replaces the files by renames and never writes into them (restore). `known`:
// hashes taken beforehand, used for a linked file whose stamp is still the same.
enum class SafetyCopyMode
{
    Copy,
    Link,
};
SafetyBackupResult takeSafetyBackup(const QString &dataDir, const QString &operation,
                                    const QList<TableId> &tables,
                                    const std::shared_ptr<db::FileSystem> &fs = db::FileSystem::posix(),
                                    const QDateTime &now = {}, SafetyCopyMode mode = SafetyCopyMode::Copy,
                                    const KnownHashes *known = nullptr);

// "A copy of the data as they were before is in backups/restore-20261208-134005." for the
// operation's closing message; empty when no copy was made.
QString safetyBackupNote(const SafetyBackupResult &result);

// The safety folders of dataDir, oldest first (full paths).
QStringList safetyBackupFolders(const QString &dataDir);

// Removes the oldest safety folders until `keep` remain, and any unfinished ones.
void pruneSafetyBackups(const QString &dataDir, int keep = kSafetyBackupsKept);

} // namespace tallyra
