#pragma once

#include "Dbf.h"
#include "KeyExpression.h"
#include "Memo.h"
#include "NtxIndex.h"
#include "Table.h"

#include <vector>

namespace db {

struct OpenTag
{
    QString name;      // tag name, as the header or the file name gives it
    QString fileName;  // name of the NTX file on disk
    std::unique_ptr<NtxIndex> index;
    KeyExpression expression;
};

class TablePrivate
{
public:
    std::shared_ptr<FileSystem> fs;
    QString dir;
    QString name;
    QString fileName;
    QString memoFileName;
    Access access = Access::Shared;
    std::unique_ptr<DbfFile> dbf;
    std::unique_ptr<MemoFile> memo;
    std::vector<OpenTag> tags;
    int selected = -1;

    std::uint32_t recNo = 0;  // 0: past the end
    bool eof = true;
    bool bof = false;
    std::vector<char> record;    // the current record, as changed
    std::vector<char> original;  // the current record as stored
    bool dirty = false;
    bool appended = false;       // record recNo is new and not yet written
    Status error;

    QString path(const QString &file) const { return dir + QLatin1Char('/') + file; }
    void setError(const Status &s)
    {
        if (error.isOk() && !s.isOk())
            error = s;
    }
    void blank();
    bool load(std::uint32_t rec);
    void toEof();
    Status commit();
    // Forgets the pending change of the current record (a new record is dropped).
    void discardChange();
    Status openTag(const QString &file);
    Status openGroup();
    // One tag to build from the table: its file, header and compiled expression.
    struct TagBuild
    {
        QString file;
        NtxInfo info;
        const KeyExpression *expr = nullptr;
    };
    // Builds the tags from the table's records (see NtxIndex::build), reporting progress from
    // `from` to `to` on the calling thread.
    Status buildTags(const std::vector<TagBuild> &builds, const Progress &progress, int from, int to);
    bool syncCursor(OpenTag &tag);
    Status rewrite(bool dropDeleted, const Progress &progress);
    Status rebuildTags(const Progress &progress, int from, int to);
    // Builds the tags named by defs (file, header) and opens them.
    Status buildAndOpen(const std::vector<std::pair<QString, NtxInfo>> &defs, const Progress &progress, int from, int to);
    Status closeFiles();
};

// Finds a file in dir whose name equals name without regard to case; empty when none.
QString findFileNoCase(const QString &dir, const QString &name);
// Completes or undoes a rewrite of a table interrupted by a crash (see Table::pack).
Status recoverRewrite(FileSystem &fs, const QString &dir, const QString &tableFile);

} // namespace db
