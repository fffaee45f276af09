#pragma once

#include "Dbf.h"
#include "KeyExpression.h"
#include "Memo.h"
#include "NtxIndex.h"
#include "Table.h"

#include <atomic>
#include <bit>
#include <functional>
#include <vector>

namespace db {

// A rewrite writes each new file under its name plus this suffix, then the journal
// <table file>.rewrite naming the files, then renames them into place.
inline const QString kTempSuffix = QStringLiteral(".tmp");
inline const QString kJournalSuffix = QStringLiteral(".rewrite");
// Passes over the records read them in chunks of this many bytes.
inline constexpr std::size_t kBuildChunk = 1 << 20;
// Building tags: the keys of one pass over the records stay under this many bytes.
inline constexpr std::uint64_t kBuildKeyBudget = 160ull << 20;

struct OpenTag
{
    QString name;     // tag name, as the header or the file name gives it
    QString fileName; // name of the NTX file on disk
    std::unique_ptr<NtxIndex> index;
    KeyExpression expression;
};

// The new number of each record after a pack: a bit per record (kept or dropped) and the count of
// kept records before each word of bits. Small enough to stay in the processor's cache while a
// tag is walked in key order, which visits the records in no order of their numbers.
struct Renumbering
{
    std::vector<std::uint64_t> keptBits; // bit (r - 1) % 64 of word (r - 1) / 64: record r stays
    std::vector<std::uint32_t> before;   // records kept in the words before each word
    std::uint32_t count = 0;             // records before the pack
    std::uint32_t kept = 0;              // records after it

    // 0 for a dropped record. REQUIRES: 1 <= recNo <= count.
    std::uint32_t newNumber(std::uint32_t recNo) const
    {
        const std::uint32_t i = recNo - 1;
        const std::uint64_t word = keptBits[i / 64];
        const std::uint64_t bit = std::uint64_t(1) << (i % 64);
        if (!(word & bit))
            return 0;
        return before[i / 64] + static_cast<std::uint32_t>(std::popcount(word & (bit - 1))) + 1;
    }
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
    std::uint64_t serial = 0; // see Table::openSerial()
    Today today;
    std::unique_ptr<DbfFile> dbf;
    std::unique_ptr<MemoFile> memo;
    std::vector<OpenTag> tags;
    int selected = -1;

    std::uint32_t recNo = 0; // 0: past the end
    bool eof = true;
    bool bof = false;
    std::vector<char> record;   // the current record, as changed
    std::vector<char> original; // the current record as stored
    bool dirty = false;
    bool appended = false; // record recNo is new and not yet written
    Status error;
    // Set when a rewrite could not put all its new files in place. The old files stay open, so
    // the records read are still the old ones, consistently; every change is refused until the
    // table is opened again, whose recovery finishes the interrupted swap.
    Status broken;

    QString path(const QString &file) const { return dir + QLatin1Char('/') + file; }
    void setError(const Status &s)
    {
        if (error.isOk() && !s.isOk())
            error = s;
    }
    void blank();
    bool load(std::uint32_t rec);
    void toEof();
    // Ok when the table may be changed: not read-only, not left broken by a failed rewrite.
    Status writable() const;
    Status commit();
    // Forgets the pending change of the current record (a new record is dropped).
    void discardChange();
    Status openTag(const QString &file);
    Status openGroup();
    // One tag to build from the table: its file, header and compiled expression. With keepTemp
    // the new file stays under its temporary name (file + kTempSuffix) for a rewrite to swap in.
    struct TagBuild
    {
        QString file;
        NtxInfo info;
        const KeyExpression *expr = nullptr;
        bool keepTemp = false;
    };
    // Builds the tags from the records of source (see NtxIndex::build), reporting progress from
    // `from` to `to` on the calling thread. Running out of memory is an IoError status.
    Status buildTags(DbfFile &source, const std::vector<TagBuild> &builds, const Progress &progress, int from,
                     int to);
    Status buildTagsFrom(DbfFile &source, const std::vector<TagBuild> &builds, const Progress &progress,
                         int from, int to);
    bool syncCursor(OpenTag &tag);
    enum class RewriteKind
    {
        Pack,
        CompactMemo,
        Zap
    };
    // The one path of pack, memo compaction and zap: new files under temporary names, the
    // journal, the swap (see TableRewrite.cpp).
    Status rewrite(RewriteKind kind, const Progress &progress);
    Status writeNewFiles(RewriteKind kind, const Progress &progress);
    Status swapIn(bool keepTags);
    Status numberKept(Renumbering *numbers);
    Status writeRecords(File &out, MemoFile *newMemo, std::uint32_t count, bool dropDeleted,
                        std::atomic<std::uint64_t> &work, const std::function<void()> &report,
                        const std::atomic<bool> &stop);
    // Writes one new tag file of a pack from the old tag; see TableRewrite.cpp.
    Status packTag(OpenTag &tag, const Renumbering &numbers, bool *fromRecords,
                   std::atomic<std::uint64_t> &work, const std::function<void()> &report);
    Status rebuildTags(const Progress &progress, int from, int to);
    // Builds the tags named by defs (file, header) and opens them.
    Status buildAndOpen(const std::vector<std::pair<QString, NtxInfo>> &defs, const Progress &progress,
                        int from, int to);
    Status closeFiles();
};

// Runs work(0) on this thread and work(1) on a helper thread when one can be had (else on this
// thread too); returns when both are done. An exception thrown on either (out of memory) is
// rethrown here.
void onTwoThreads(const std::function<void(int worker)> &work);

// Finds a file in dir whose name equals name without regard to case; empty when none.
QString findFileNoCase(const FileSystem &fs, const QString &dir, const QString &name);
// Completes (journal present) or undoes (no journal: temporary files removed) a rewrite of the
// table that a crash interrupted. Does nothing while another open holds the table, which may be
// rewriting it right now.
Status recoverRewrite(FileSystem &fs, const QString &dir, const QString &tableFile);

} // namespace db
