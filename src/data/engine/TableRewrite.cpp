// Pack, memo compaction and zap: the one rewrite path and the recovery of an interrupted one.
//
// A rewrite writes complete new files under temporary names (<file>.tmp): the data file, the
// memo file and the tag files that change. Then it writes and syncs the journal
// <table file>.rewrite naming them, renames them over the originals and removes the journal.
// After a crash, a journal means the new files are complete and the renames are finished; without
// one, the temporary files are incomplete and removed. Either way the table and its tags come
// back whole and matching: old or new, never a mix, never a tag file missing.
#include "TablePrivate.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>
#include <system_error>
#include <thread>
#include <utility>

namespace db {

namespace {

QString baseName(const QString &file)
{
    const int dot = file.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? file : file.left(dot);
}

// The tag files the table's group names (empty when there is no readable group).
QStringList groupTagFiles(FileSystem &fs, const QString &dir, const QString &tableFile)
{
    const QString group = findFileNoCase(fs, dir, baseName(tableFile) + QStringLiteral(".cgp"));
    QByteArray content;
    if (group.isEmpty() || !readSmallFile(fs, dir + QLatin1Char('/') + group, &content))
        return {};
    QStringList files;
    for (const QByteArray &line : content.split('\n')) {
        const QString file = QString::fromUtf8(line).trimmed();
        if (!file.isEmpty() && !file.contains(QLatin1Char('/')) && !file.contains(QLatin1Char('\\')))
            files << file;
    }
    return files;
}

// Temporary files a rewrite or a tag build of the table may leave behind: <base>.*.tmp and the
// group's tag files with .tmp appended.
QStringList leftOverTemps(FileSystem &fs, const QString &dir, const QString &tableFile)
{
    QStringList entries;
    if (!fs.list(dir, &entries))
        return {};
    const QString prefix = baseName(tableFile) + QLatin1Char('.');
    QStringList tagTemps;
    for (const QString &t : groupTagFiles(fs, dir, tableFile))
        tagTemps << t + kTempSuffix;
    QStringList temps;
    for (const QString &e : entries) {
        if (!e.endsWith(kTempSuffix, Qt::CaseInsensitive))
            continue;
        const bool ours = e.startsWith(prefix, Qt::CaseInsensitive) ||
                          std::any_of(tagTemps.begin(), tagTemps.end(), [&](const QString &t) {
                              return t.compare(e, Qt::CaseInsensitive) == 0;
                          });
        if (ours)
            temps << e;
    }
    return temps;
}

// Renames the files the journal names into place and removes the journal. A file already renamed
// (by an earlier attempt, or another open finishing the same rewrite) is skipped.
Status finishRewrite(FileSystem &fs, const QString &dir, const QString &tableFile)
{
    const QString journal = dir + QLatin1Char('/') + tableFile + kJournalSuffix;
    QByteArray content;
    Status s = readSmallFile(fs, journal, &content);
    if (!s)
        return s;
    for (const QByteArray &line : content.split('\n')) {
        const QString target = QString::fromUtf8(line).trimmed();
        if (target.isEmpty())
            continue;
        if (target.contains(QLatin1Char('/')) || target.contains(QLatin1Char('\\')))
            return Status::corruption(
                QStringLiteral("%1: names a file outside the data directory: %2").arg(journal, target));
        const QString from = dir + QLatin1Char('/') + target + kTempSuffix;
        if (!fs.exists(from))
            continue;
        s = fs.rename(from, dir + QLatin1Char('/') + target);
        if (!s && fs.exists(from))
            return s;
    }
    return fs.remove(journal);
}

} // namespace

Status recoverRewrite(FileSystem &fs, const QString &dir, const QString &tableFile)
{
    const QString journal = dir + QLatin1Char('/') + tableFile + kJournalSuffix;
    const bool journaled = fs.exists(journal);
    const QStringList temps = leftOverTemps(fs, dir, tableFile);
    if (!journaled && temps.isEmpty())
        return Status::ok();
    // A rewrite in progress holds the table's exclusive lock: its files are not litter.
    std::unique_ptr<File> table;
    Status s = fs.open(dir + QLatin1Char('/') + tableFile, OpenMode::ReadWrite, &table);
    if (s)
        s = table->lock(true);
    if (s.isLocked())
        return Status::ok();
    if (journaled) {
        s = finishRewrite(fs, dir, tableFile);
        if (!s)
            return s;
    }
    for (const QString &t : leftOverTemps(fs, dir, tableFile)) {
        s = fs.remove(dir + QLatin1Char('/') + t);
        if (!s)
            return s;
    }
    return Status::ok();
}

Status TablePrivate::rewrite(RewriteKind kind, const Progress &progress)
{
    Status s = commit();
    if (!s)
        return s;
    if (s = writable(); !s)
        return s;
    s = dbf->lock(true);
    if (!s)
        return Status::locked(
            QStringLiteral("%1 is in use by another program and cannot be rewritten now").arg(fileName));
    const QString selectedName = selected >= 0 ? tags[static_cast<std::size_t>(selected)].name : QString();

    // Every file this rewrite may write, under its final name.
    QStringList targets{fileName};
    if (memo)
        targets << memoFileName;
    if (kind != RewriteKind::CompactMemo) {
        for (const OpenTag &t : tags)
            targets << t.fileName;
    }
    auto removeTemps = [&] {
        for (const QString &t : targets)
            fs->remove(path(t + kTempSuffix));
    };
    auto fail = [&](const Status &st) {
        removeTemps();
        fs->remove(path(fileName + kJournalSuffix));
        if (access == Access::Shared && dbf)
            dbf->lock(false);
        return st;
    };
    try {
        s = writeNewFiles(kind, progress);
    } catch (const std::bad_alloc &) {
        s = Status::ioError(QStringLiteral("%1: not enough memory to rewrite it").arg(fileName));
    }
    if (!s)
        return fail(s);
    QByteArray journal;
    for (const QString &t : targets)
        journal += t.toUtf8() + '\n';
    // Written under a temporary name and renamed: a journal is there whole or not at all.
    const QString journalPath = path(fileName + kJournalSuffix);
    s = writeNewFile(*fs, journalPath + kTempSuffix, journal);
    if (s)
        s = fs->rename(journalPath + kTempSuffix, journalPath);
    if (!s) {
        fs->remove(journalPath + kTempSuffix);
        return fail(s);
    }
    s = swapIn(kind == RewriteKind::CompactMemo);
    if (!s)
        return s;
    if (!selectedName.isEmpty()) {
        for (std::size_t i = 0; i < tags.size(); ++i) {
            if (tags[i].name == selectedName)
                selected = static_cast<int>(i);
        }
    }
    toEof();
    if (progress)
        progress(100);
    return Status::ok();
}

// The new data file (without the deleted records for a pack, empty for a zap), the new memo file
// (the memos of the kept records packed together) and the new tags (see packTags), all under
// temporary names and synced.
Status TablePrivate::writeNewFiles(RewriteKind kind, const Progress &progress)
{
    const QString dbfTemp = path(fileName + kTempSuffix);
    const QString memoTemp = memo ? path(memoFileName + kTempSuffix) : QString();
    std::unique_ptr<File> out;
    std::unique_ptr<MemoFile> newMemo;
    fs->remove(dbfTemp);
    Status s = fs->open(dbfTemp, OpenMode::Create, &out);
    if (!s)
        return s;
    if (memo) {
        fs->remove(memoTemp);
        s = MemoFile::create(*fs, memoTemp);
        if (s)
            s = MemoFile::open(*fs, memoTemp, false, &newMemo);
        if (!s)
            return s;
    }

    const int recLen = dbf->recordLength();
    const std::uint32_t count = kind == RewriteKind::Zap ? 0 : dbf->count();
    const bool dropDeleted = kind == RewriteKind::Pack;
    // The new number of each old record (0: dropped); record numbers only ever go down.
    std::vector<std::uint32_t> newNumber(dropDeleted ? std::size_t(count) + 1 : 0, 0);
    QByteArray header = dbf->headerBytes();
    s = out->write(0, header.constData(), static_cast<std::size_t>(header.size()));
    if (!s)
        return s;
    std::vector<char> buffer;
    buffer.reserve(kBuildChunk);
    std::uint64_t at = static_cast<std::uint64_t>(header.size());
    std::uint32_t kept = 0;
    const int share = kind == RewriteKind::Pack ? 40 : 95;
    const std::uint32_t step = std::max<std::uint32_t>(count / 50, 1);
    const std::uint32_t perChunk =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, kBuildChunk / std::size_t(recLen)));
    std::vector<char> chunk(std::size_t(std::min(perChunk, std::max<std::uint32_t>(count, 1))) *
                            std::size_t(recLen));
    for (std::uint32_t first = 1; first <= count;) {
        const std::uint32_t n = std::min(perChunk, count - first + 1);
        s = dbf->readRecords(first, n, chunk.data());
        if (!s)
            return s;
        for (std::uint32_t i = 0; i < n; ++i) {
            char *rec = chunk.data() + std::size_t(i) * std::size_t(recLen);
            const std::uint32_t r = first + i;
            if (dropDeleted && rec[0] == '*')
                continue;
            for (const FieldLayout &f : dbf->fields()) {
                if (!memo || f.def.type != FieldType::Memo)
                    continue;
                double v = 0;
                const QByteArrayView ptr(rec + f.offset, f.def.length);
                std::uint32_t block = 0;
                if (fieldcodec::parseNumber(ptr, &v) && v > 0 && v < 4294967295.0)
                    block = static_cast<std::uint32_t>(v);
                QByteArray text;
                if (block) {
                    s = memo->read(block, &text);
                    if (!s)
                        return s;
                }
                std::uint32_t newBlock = 0;
                s = newMemo->write(text, &newBlock);
                if (!s)
                    return s;
                const QByteArray field = newBlock ? fieldcodec::formatNumber(newBlock, f.def.length, 0)
                                                  : QByteArray(f.def.length, ' ');
                std::memcpy(rec + f.offset, field.constData(), static_cast<std::size_t>(f.def.length));
            }
            buffer.insert(buffer.end(), rec, rec + recLen);
            ++kept;
            if (dropDeleted)
                newNumber[r] = kept;
            if (progress && r % step == 0)
                progress(static_cast<int>(double(share) * r / count));
        }
        if (buffer.size() >= kBuildChunk) {
            s = out->write(at, buffer.data(), buffer.size());
            if (!s)
                return s;
            at += buffer.size();
            buffer.clear();
        }
        first += n;
    }
    buffer.push_back(0x1a);
    s = out->write(at, buffer.data(), buffer.size());
    if (!s)
        return s;
    // Record count and date in the new header.
    char fixed[8];
    std::memcpy(fixed, header.constData(), 8);
    const QDate date = today ? today() : QDate::currentDate();
    fixed[1] = static_cast<char>(date.year() - 1900);
    fixed[2] = static_cast<char>(date.month());
    fixed[3] = static_cast<char>(date.day());
    for (int i = 0; i < 4; ++i)
        fixed[4 + i] = static_cast<char>((kept >> (8 * i)) & 0xff);
    s = out->write(0, fixed, 8);
    if (!s)
        return s;

    // The tags (record numbers and keys stay for memo compaction: so do the tags). The data and
    // memo files are synced after them, which leaves the system time to write them back meanwhile.
    if (kind == RewriteKind::Zap) {
        for (const OpenTag &t : tags) {
            KeyArray none;
            none.keySize = t.index->info().keySize;
            s = NtxIndex::writeSorted(*fs, path(t.fileName + kTempSuffix), t.index->info(), none, {});
            if (!s)
                return s;
        }
    } else if (kind == RewriteKind::Pack) {
        std::unique_ptr<DbfFile> newDbf;
        s = DbfFile::open(*fs, dbfTemp, false, &newDbf);
        if (s)
            s = packTags(*newDbf, newNumber, progress, share, 99);
        if (!s)
            return s;
    }
    s = out->sync();
    if (s && newMemo)
        s = newMemo->sync();
    return s;
}

// After a pack each kept record's number goes down by the number of deleted records before it,
// so the order of a tag stays the order of its keys: each tag is rewritten in one ordered pass
// over the old tag, dropping the deleted records and renumbering the rest. A unique tag (whose
// dropped entries may uncover records it did not hold) and a tag whose walk does not hold every
// record exactly once in order are built from the new records instead.
Status TablePrivate::packTags(DbfFile &newDbf, const std::vector<std::uint32_t> &newNumber,
                              const Progress &progress, int from, int to)
{
    const std::uint32_t count = static_cast<std::uint32_t>(newNumber.size() - 1);
    std::uint32_t kept = 0;
    for (std::uint32_t r = 1; r <= count; ++r)
        kept = std::max(kept, newNumber[r]);
    std::vector<TagBuild> rebuild;
    const std::size_t total = tags.size();
    for (std::size_t i = 0; i < total; ++i) {
        OpenTag &t = tags[i];
        const NtxInfo &info = t.index->info();
        const auto report = [&](double within) {
            if (progress && total)
                progress(from + static_cast<int>((to - from) * (double(i) + within) / double(total)));
        };
        if (info.unique) {
            rebuild.push_back({t.fileName, info, &t.expression, true});
            continue;
        }
        KeyArray keys;
        keys.keySize = info.keySize;
        keys.reserve(kept);
        std::vector<std::uint8_t> seen(std::size_t(count) + 1, 0);
        bool whole = true;
        std::uint64_t entries = 0;
        Status s = t.index->check([&](QByteArrayView key, std::uint32_t recNo) {
            ++entries;
            if (!whole || recNo < 1 || recNo > count || seen[recNo]++ || key.size() != keys.keySize) {
                whole = false;
                return;
            }
            if (newNumber[recNo])
                keys.add(key.data(), newNumber[recNo]);
        });
        if (!s || !whole || entries != count) {
            rebuild.push_back({t.fileName, info, &t.expression, true});
            continue;
        }
        report(0.5);
        std::vector<std::uint32_t> order(keys.size());
        std::iota(order.begin(), order.end(), 0u);
        s = NtxIndex::writeSorted(*fs, path(t.fileName + kTempSuffix), info, keys, order);
        if (!s)
            return s;
        report(1.0);
    }
    if (rebuild.empty())
        return Status::ok();
    return buildTags(newDbf, rebuild, progress,
                     from + (to - from) * int(total - rebuild.size()) / int(std::max<std::size_t>(total, 1)),
                     to);
}

// Swaps the new files in: the journal's renames done, the new files opened, the old files let go.
// The old files stay open through their replacement and are closed on a helper thread: the system
// takes a while to drop the blocks of a large file once its last open goes.
// keepTags: the tag files were not rewritten and stay open as they are.
//
// Until the new data and memo files are open, the old ones stay in use: if a rename or an open
// fails, the table goes on reading the old records consistently, refuses every change (`broken`)
// and the next open finishes the journal.
Status TablePrivate::swapIn(bool keepTags)
{
    auto markBroken = [this](const Status &why) {
        broken = Status::ioError(QStringLiteral("%1: its rewritten files could not all be put in place "
                                                "(%2); close it and open it again to finish")
                                     .arg(fileName, why.message()));
        toEof();
        return broken;
    };
    dbf->releaseMemory();
    Status s = finishRewrite(*fs, dir, fileName);
    std::unique_ptr<DbfFile> newDbf;
    std::unique_ptr<MemoFile> newMemo;
    if (s)
        s = DbfFile::open(*fs, path(fileName), access == Access::Exclusive, &newDbf);
    if (s && !memoFileName.isEmpty())
        s = MemoFile::open(*fs, path(memoFileName), false, &newMemo);
    if (!s)
        return markBroken(s);
    newDbf->setToday(today);

    struct OldFiles
    {
        std::vector<std::unique_ptr<NtxIndex>> tags; // not closed cleanly on purpose: replaced
        std::unique_ptr<DbfFile> dbf;
        std::unique_ptr<MemoFile> memo;
        std::thread closer;
        void close()
        {
            tags.clear();
            dbf.reset();
            memo.reset();
        }
        ~OldFiles()
        {
            if (closer.joinable())
                closer.join();
        }
    } old;
    QStringList tagFiles;
    if (!keepTags) {
        for (OpenTag &t : tags) {
            tagFiles << t.fileName;
            old.tags.push_back(std::move(t.index));
        }
        tags.clear();
        selected = -1;
    }
    old.dbf = std::exchange(dbf, std::move(newDbf));
    old.memo = std::exchange(memo, std::move(newMemo));
    try {
        old.closer = std::thread([&old] { old.close(); });
    } catch (const std::system_error &) {
        old.close();
    }
    for (const QString &file : tagFiles) {
        // A tag that cannot be opened would no longer follow the changes of its table.
        if (s = openTag(file); !s)
            return markBroken(s);
    }
    return s;
}

Status Table::pack(const Progress &progress)
{
    return d->rewrite(TablePrivate::RewriteKind::Pack, progress);
}

Status Table::compactMemo()
{
    if (!d->memo)
        return Status::ok();
    return d->rewrite(TablePrivate::RewriteKind::CompactMemo, {});
}

Status Table::zap()
{
    return d->rewrite(TablePrivate::RewriteKind::Zap, {});
}

} // namespace db
