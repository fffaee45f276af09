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
#include <atomic>
#include <cstring>
#include <new>
#include <numeric>
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
    } catch (const std::exception &e) {
        s = Status::ioError(
            QStringLiteral("%1: rewriting it failed: %2").arg(fileName, QString::fromLocal8Bit(e.what())));
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
// (the memos of the kept records packed together) and the new tags (see packTag), all under
// temporary names and synced. A pack rewrites its tags on a helper thread while this one writes
// the records; the records written, this thread takes tags too.
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

    const bool pack = kind == RewriteKind::Pack;
    const std::uint32_t count = kind == RewriteKind::Zap ? 0 : dbf->count();
    Renumbering numbers;
    if (pack) {
        s = numberKept(&numbers);
        if (!s)
            return s;
    }

    // Progress counts records written and, per tag, the old tag's entries (half) and the new
    // tag's (half). Tags built from the new records afterwards get the last share.
    const std::size_t rebuiltAhead =
        pack ? std::size_t(std::count_if(tags.begin(), tags.end(),
                                         [](const OpenTag &t) { return t.index->info().unique; }))
             : 0;
    const std::uint64_t unit = std::max<std::uint64_t>(count, 1);
    const std::uint64_t allWork = unit * (1 + (pack ? tags.size() : 0));
    const int mainShare = pack ? static_cast<int>(99 * (allWork - unit * rebuiltAhead) / allWork) : 95;
    std::atomic<std::uint64_t> work{0};
    const std::function<void()> report = [&] {
        if (progress)
            progress(static_cast<int>(double(mainShare) * double(work.load()) / double(allWork)));
    };
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> nextTag{0};
    std::vector<std::uint8_t> rebuild(tags.size(), 0);
    Status failed[2];
    onTwoThreads([&](int worker) {
        if (worker == 0) {
            Status st = writeRecords(*out, newMemo.get(), count, pack, work, report, stop);
            if (!st) {
                failed[0] = st;
                stop = true;
                return;
            }
        }
        for (std::size_t i; pack && !stop && (i = nextTag++) < tags.size();) {
            bool fromRecords = false;
            Status st =
                packTag(tags[i], numbers, &fromRecords, work, worker == 0 ? report : std::function<void()>());
            rebuild[i] = fromRecords;
            if (!st) {
                failed[worker] = st;
                stop = true;
            }
        }
    });
    for (const Status &f : failed) {
        if (!f)
            return f;
    }

    // The tags (record numbers and keys stay for memo compaction: so do the tags).
    if (kind == RewriteKind::Zap) {
        for (const OpenTag &t : tags) {
            KeyArray none;
            none.keySize = t.index->info().keySize;
            s = NtxIndex::writeSorted(*fs, path(t.fileName + kTempSuffix), t.index->info(), none, {});
            if (!s)
                return s;
        }
    } else if (pack && std::find(rebuild.begin(), rebuild.end(), 1) != rebuild.end()) {
        std::vector<TagBuild> builds;
        for (std::size_t i = 0; i < tags.size(); ++i) {
            if (rebuild[i])
                builds.push_back({tags[i].fileName, tags[i].index->info(), &tags[i].expression, true});
        }
        std::unique_ptr<DbfFile> newDbf;
        s = DbfFile::open(*fs, dbfTemp, false, &newDbf);
        if (s)
            s = buildTags(*newDbf, builds, progress, std::min(mainShare, 98), 99);
        if (!s)
            return s;
    }
    s = out->sync();
    if (s && newMemo)
        s = newMemo->sync();
    return s;
}

// From the deletion marks: the new number of each record after a pack.
Status TablePrivate::numberKept(Renumbering *numbers)
{
    const std::uint32_t count = dbf->count();
    numbers->count = count;
    numbers->keptBits.assign((std::size_t(count) + 63) / 64, 0);
    numbers->before.assign(numbers->keptBits.size(), 0);
    std::vector<char> marks(std::min<std::size_t>(count, kBuildChunk));
    std::uint32_t kept = 0;
    for (std::uint32_t first = 1; first <= count;) {
        const std::uint32_t n =
            std::min<std::uint32_t>(static_cast<std::uint32_t>(marks.size()), count - first + 1);
        Status s = dbf->readMarks(first, n, marks.data());
        if (!s)
            return s;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t r = first + i - 1;
            if (r % 64 == 0)
                numbers->before[r / 64] = kept;
            if (marks[i] != '*') {
                numbers->keptBits[r / 64] |= std::uint64_t(1) << (r % 64);
                ++kept;
            }
        }
        first += n;
    }
    numbers->kept = kept;
    return Status::ok();
}

// Writes the records to out (all of them, or without the deleted ones for a pack), their memos to
// newMemo, the end mark and the header with the new count and date. Stops early, without a
// fault, when stop is set by the other thread.
Status TablePrivate::writeRecords(File &out, MemoFile *newMemo, std::uint32_t count, bool dropDeleted,
                                  std::atomic<std::uint64_t> &work, const std::function<void()> &report,
                                  const std::atomic<bool> &stop)
{
    const int recLen = dbf->recordLength();
    QByteArray header = dbf->headerBytes();
    Status s = out.write(0, header.constData(), static_cast<std::size_t>(header.size()));
    if (!s)
        return s;
    std::vector<char> buffer;
    buffer.reserve(2 * kBuildChunk);
    std::uint64_t at = static_cast<std::uint64_t>(header.size());
    std::uint32_t kept = 0;
    const std::uint32_t perChunk =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, kBuildChunk / std::size_t(recLen)));
    std::vector<char> chunk;
    for (std::uint32_t first = 1; first <= count && !stop;) {
        const std::uint32_t n = std::min(perChunk, count - first + 1);
        // Straight from the mapping where the records are mapped: one copy fewer.
        const char *records = dbf->mappedRecords(first, n);
        if (!records) {
            chunk.resize(std::size_t(perChunk) * std::size_t(recLen));
            s = dbf->readRecords(first, n, chunk.data());
            if (!s)
                return s;
            records = chunk.data();
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            const char *from = records + std::size_t(i) * std::size_t(recLen);
            if (dropDeleted && from[0] == '*')
                continue;
            buffer.insert(buffer.end(), from, from + recLen);
            ++kept;
            if (!newMemo)
                continue;
            char *rec = buffer.data() + buffer.size() - std::size_t(recLen);
            for (const FieldLayout &f : dbf->fields()) {
                if (f.def.type != FieldType::Memo)
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
        }
        if (buffer.size() >= kBuildChunk) {
            s = out.write(at, buffer.data(), buffer.size());
            if (!s)
                return s;
            out.startWriteback(at, buffer.size());
            at += buffer.size();
            buffer.clear();
        }
        first += n;
        work += n;
        report();
    }
    if (stop)
        return Status::ok();
    buffer.push_back(0x1a);
    s = out.write(at, buffer.data(), buffer.size());
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
    return out.write(0, fixed, 8);
}

// After a pack each kept record's number goes down by the number of deleted records before it,
// so the order of a tag stays the order of its keys: the tag is rewritten in one ordered pass
// over the old tag, dropping the deleted records and renumbering the rest. A unique tag (whose
// dropped entries may uncover records it did not hold) and a tag whose walk does not hold every
// record exactly once in order are left to be built from the new records (*fromRecords).
// Called on either thread; report is empty on the helper thread.
Status TablePrivate::packTag(OpenTag &tag, const Renumbering &numbers, bool *fromRecords,
                             std::atomic<std::uint64_t> &work, const std::function<void()> &report)
{
    const std::uint32_t count = numbers.count;
    const std::uint64_t unit = std::max<std::uint64_t>(count, 1);
    const NtxInfo &info = tag.index->info();
    *fromRecords = true;
    if (info.unique)
        return Status::ok();
    KeyArray keys;
    keys.keySize = info.keySize;
    keys.reserve(numbers.kept);
    std::vector<std::uint64_t> seen((std::size_t(count) + 63) / 64, 0);
    bool whole = true;
    std::uint64_t entries = 0;
    Status s = tag.index->walkInOrder([&](QByteArrayView key, std::uint32_t recNo) {
        ++entries;
        if (!whole || recNo < 1 || recNo > count || key.size() != keys.keySize) {
            whole = false;
            return;
        }
        std::uint64_t &word = seen[(recNo - 1) / 64];
        const std::uint64_t bit = std::uint64_t(1) << ((recNo - 1) % 64);
        if (word & bit) {
            whole = false;
            return;
        }
        word |= bit;
        if (const std::uint32_t n = numbers.newNumber(recNo))
            keys.add(key.data(), n);
    });
    // Read for the last time unless the pack fails: the system can drop its pages meanwhile
    // rather than at the swap, which waits for it.
    tag.index->dropCachedPages();
    work += unit / 2;
    if (report)
        report();
    if (!s || !whole || entries != count) {
        work += unit - unit / 2;
        return Status::ok();
    }
    *fromRecords = false;
    std::vector<std::uint32_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    s = NtxIndex::writeSorted(*fs, path(tag.fileName + kTempSuffix), info, keys, order);
    work += unit - unit / 2;
    if (report)
        report();
    return s;
}

// Swaps the new files in: the journal's renames done, the new files opened, the old files let go.
// The old files are closed in the background: once replaced, nothing reads them again, and their
// last close makes the system free their blocks, which takes a while for a large table.
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

    dbf->closeInBackground();
    dbf = std::move(newDbf);
    if (memo)
        memo->closeInBackground();
    memo = std::move(newMemo);
    if (keepTags)
        return s;
    QStringList tagFiles;
    for (OpenTag &t : tags) {
        tagFiles << t.fileName;
        // Not closed cleanly on purpose: the file is replaced.
        t.index->closeInBackground();
    }
    tags.clear();
    selected = -1;
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
