#include "Table.h"

#include "TablePrivate.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "Clock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <system_error>
#include <exception>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace db {

namespace {

constexpr int kReservePages = 2;  // beyond the depth: a split may add a level
// Building tags: the keys of one pass over the records stay under this many bytes, read in
// chunks of kBuildChunk bytes.
constexpr std::uint64_t kBuildKeyBudget = 160ull << 20;
constexpr std::size_t kBuildChunk = 1 << 20;

QByteArray trimRight(QByteArray b)
{
    qsizetype n = b.size();
    while (n > 0 && (b[n - 1] == ' ' || b[n - 1] == '\0'))
        --n;
    b.truncate(n);
    return b;
}

const QString kJournalSuffix = QStringLiteral(".rewrite");
const QString kTempSuffix = QStringLiteral(".tmp");

} // namespace

QString findFileNoCase(const QString &dir, const QString &name)
{
    if (QFile::exists(dir + QLatin1Char('/') + name))
        return name;
    QDir d(dir);
    const QStringList entries = d.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &e : entries) {
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return e;
    }
    return {};
}

// A rewrite (pack, memo compaction, zap) writes complete new files under temporary names, then
// a journal naming them, then renames them over the originals and removes the journal. After a
// crash, a journal means the new files are complete: the renames are finished. Without a journal,
// left-over temporary files are incomplete and removed.
Status recoverRewrite(FileSystem &fs, const QString &dir, const QString &tableFile)
{
    const QString journal = dir + QLatin1Char('/') + tableFile + kJournalSuffix;
    QFile j(journal);
    if (j.exists()) {
        if (!j.open(QIODevice::ReadOnly))
            return Status::ioError(QStringLiteral("%1: cannot be read").arg(journal));
        const QStringList lines = QString::fromUtf8(j.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        j.close();
        for (const QString &target : lines) {
            const QString from = dir + QLatin1Char('/') + target + kTempSuffix;
            if (fs.exists(from)) {
                Status s = fs.rename(from, dir + QLatin1Char('/') + target);
                if (!s)
                    return s;
            }
        }
        return fs.remove(journal);
    }
    const QString base = tableFile.left(tableFile.lastIndexOf(QLatin1Char('.')));
    QDir d(dir);
    const QStringList temps = d.entryList({base + QStringLiteral(".*") + kTempSuffix}, QDir::Files);
    for (const QString &t : temps)
        fs.remove(dir + QLatin1Char('/') + t);
    return Status::ok();
}

void TablePrivate::blank()
{
    record.assign(static_cast<std::size_t>(dbf->recordLength()), ' ');
}

void TablePrivate::toEof()
{
    recNo = 0;
    eof = true;
    blank();
    original = record;
    dirty = false;
    appended = false;
}

bool TablePrivate::load(std::uint32_t rec)
{
    record.resize(static_cast<std::size_t>(dbf->recordLength()));
    Status s = dbf->read(rec, record.data());
    if (!s) {
        setError(s);
        toEof();
        return false;
    }
    original = record;
    recNo = rec;
    eof = false;
    dirty = false;
    appended = false;
    return true;
}

void TablePrivate::discardChange()
{
    if (appended) {
        toEof();
    } else {
        record = original;
        dirty = false;
    }
}

Status TablePrivate::commit()
{
    if (!dirty)
        return Status::ok();
    if (dbf->readOnly())
        return Status::invalid(QStringLiteral("%1 is read-only").arg(fileName));

    // Which tags see a new key. Their indexes first make room, so that a full disk stops the
    // change before anything on disk is altered.
    struct Change
    {
        OpenTag *tag;
        QByteArray oldKey;
        QByteArray newKey;
    };
    std::vector<Change> changes;
    // Keys are made of fields only: a change of the deletion flag alone leaves every tag as it is.
    const bool fieldsChanged = appended || std::memcmp(record.data() + 1, original.data() + 1, record.size() - 1) != 0;
    if (fieldsChanged) {
        for (OpenTag &t : tags) {
            QByteArray newKey = t.expression.evaluate(record.data());
            QByteArray oldKey = appended ? QByteArray() : t.expression.evaluate(original.data());
            if (appended || oldKey != newKey)
                changes.push_back({&t, std::move(oldKey), std::move(newKey)});
        }
    }
    auto revert = [this](const Status &s) {
        discardChange();
        return s;
    };
    for (Change &c : changes) {
        Status s = c.tag->index->reserve(c.tag->index->depth() + kReservePages);
        if (!s)
            return revert(s);
    }
    Status s = appended ? dbf->append(record.data()) : dbf->write(recNo, record.data());
    if (!s)
        return revert(s);
    original = record;
    dirty = false;
    appended = false;
    for (Change &c : changes) {
        if (!c.oldKey.isNull()) {
            Status r = c.tag->index->remove(c.oldKey, recNo);
            // A unique tag holds only the first record of a key: others have nothing to remove.
            if (!r && !(r.isNotFound() && c.tag->index->info().unique))
                return r;
        }
        Status r = c.tag->index->insert(c.newKey, recNo);
        if (!r)
            return r;
    }
    return Status::ok();
}

Status TablePrivate::openTag(const QString &file)
{
    const QString real = findFileNoCase(dir, file);
    if (real.isEmpty())
        return Status::notFound(QStringLiteral("%1: index file not found").arg(file));
    OpenTag tag;
    tag.fileName = real;
    Status s = NtxIndex::open(*fs, path(real), dbf->readOnly(), &tag.index);
    if (!s)
        return s;
    s = KeyExpression::compile(QString::fromLatin1(tag.index->info().expression), dbf->fields(), &tag.expression);
    if (!s)
        return Status::corruption(QStringLiteral("%1: %2").arg(real, s.message()));
    if (tag.expression.keySize() != tag.index->info().keySize)
        return Status::corruption(QStringLiteral("%1: key size %2 does not match its expression's %3")
                                      .arg(real).arg(tag.index->info().keySize).arg(tag.expression.keySize()));
    tag.name = tag.index->info().tagName.isEmpty() ? real.left(real.lastIndexOf(QLatin1Char('.')))
                                                   : QString::fromLatin1(tag.index->info().tagName);
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it->fileName.compare(real, Qt::CaseInsensitive) == 0) {
            it->index->close();
            tags.erase(it);
            break;
        }
    }
    tags.push_back(std::move(tag));
    return Status::ok();
}

Status TablePrivate::openGroup()
{
    const QString base = fileName.left(fileName.lastIndexOf(QLatin1Char('.')));
    const QString group = findFileNoCase(dir, base + QStringLiteral(".cgp"));
    if (group.isEmpty())
        return Status::ok();
    QFile f(path(group));
    if (!f.open(QIODevice::ReadOnly))
        return Status::ioError(QStringLiteral("%1: cannot be read").arg(group));
    const QByteArray content = f.read(64 * 1024);
    const QStringList lines = QString::fromUtf8(content).split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString file = line.trimmed();
        if (file.isEmpty())
            continue;
        if (file.contains(QLatin1Char('/')) || file.contains(QLatin1Char('\\')))
            return Status::corruption(QStringLiteral("%1: names a file outside the data directory: %2").arg(group, file));
        Status s = openTag(file);
        if (!s)
            return s;
    }
    return Status::ok();
}

// The keys of several tags are collected in one pass over the records, as many tags at a time as
// fit kBuildKeyBudget; the tags of a pass are sorted two at a time (the second on a helper thread)
// and then written one after the other on this thread, which also reports the progress.
Status TablePrivate::buildTags(const std::vector<TagBuild> &builds, const Progress &progress, int from, int to)
{
    const std::uint32_t count = dbf->count();
    const std::size_t recLen = static_cast<std::size_t>(dbf->recordLength());
    const std::size_t total = builds.size();
    std::size_t done = 0;  // tags written
    auto report = [&](double share) {
        if (progress && total)
            progress(from + static_cast<int>((to - from) * std::min(1.0, share / double(total))));
    };
    std::vector<char> chunk;
    for (std::size_t first = 0; first < total;) {
        // This pass: tags from `first` while their keys fit the budget (at least one tag).
        std::size_t last = first + 1;
        std::uint64_t bytes = std::uint64_t(builds[first].info.keySize) * count;
        while (last < total && bytes + std::uint64_t(builds[last].info.keySize) * count <= kBuildKeyBudget)
            bytes += std::uint64_t(builds[last++].info.keySize) * count;
        const std::size_t n = last - first;
        std::vector<KeyArray> keys(n);
        for (std::size_t t = 0; t < n; ++t) {
            keys[t].keySize = builds[first + t].info.keySize;
            keys[t].keys.resize(std::size_t(count) * std::size_t(keys[t].keySize));
            keys[t].recNos.resize(count);
        }
        const std::uint32_t perChunk = static_cast<std::uint32_t>(std::max<std::size_t>(1, kBuildChunk / recLen));
        chunk.resize(std::size_t(perChunk) * recLen);
        for (std::uint32_t r = 1; r <= count;) {
            const std::uint32_t m = std::min(perChunk, count - r + 1);
            Status s = dbf->readRecords(r, m, chunk.data());
            if (!s)
                return s;
            for (std::size_t t = 0; t < n; ++t) {
                const KeyExpression &expr = *builds[first + t].expr;
                const std::size_t ks = static_cast<std::size_t>(keys[t].keySize);
                char *out = keys[t].keys.data() + std::size_t(r - 1) * ks;
                std::uint32_t *recNos = keys[t].recNos.data() + (r - 1);
                for (std::uint32_t i = 0; i < m; ++i) {
                    expr.evaluateTo(chunk.data() + std::size_t(i) * recLen, out + std::size_t(i) * ks);
                    recNos[i] = r + i;
                }
            }
            r += m;
            report(done + 0.3 * n * (double(r - 1) / std::max<std::uint32_t>(count, 1)));
        }
        chunk.clear();
        chunk.shrink_to_fit();

        // Sorting: this thread and a helper take the tags of the pass in turn.
        std::vector<std::vector<std::uint32_t>> orders(n);
        std::atomic<std::size_t> nextSort{0};
        // A sort that fails (out of memory) stops both threads and is rethrown here, as it
        // would be without the helper, instead of ending the program from the helper thread.
        std::exception_ptr failure;
        std::mutex failureLock;
        auto sortSome = [&] {
            try {
                for (std::size_t t; (t = nextSort++) < n;)
                    orders[t] = NtxIndex::sortForBuild(builds[first + t].info, keys[t]);
            } catch (...) {
                const std::lock_guard<std::mutex> guard(failureLock);
                if (!failure)
                    failure = std::current_exception();
                nextSort = n;
            }
        };
        std::thread helper;
        if (n > 1) {
            try {
                helper = std::thread(sortSome);
            } catch (const std::system_error &) {
                // No thread to be had: this thread sorts them all.
            }
        }
        sortSome();
        if (helper.joinable())
            helper.join();
        if (failure)
            std::rethrow_exception(failure);
        report(done + 0.5 * n);

        for (std::size_t t = 0; t < n; ++t) {
            const TagBuild &b = builds[first + t];
            Progress inner;
            const double base = done + 0.5 * n + 0.5 * t;
            if (progress)
                inner = [&](int p) { report(base + 0.5 * p / 100.0); };
            Status s = NtxIndex::buildSorted(*fs, path(b.file), b.info, keys[t], orders[t], inner);
            if (!s)
                return s;
            // Memory goes back as soon as a tag is written.
            keys[t] = KeyArray();
            orders[t] = std::vector<std::uint32_t>();
        }
        done += n;
        report(double(done));
        first = last;
    }
    return Status::ok();
}

Status TablePrivate::rebuildTags(const Progress &progress, int from, int to)
{
    std::vector<std::pair<QString, NtxInfo>> defs;
    for (OpenTag &t : tags) {
        defs.emplace_back(t.fileName, t.index->info());
        t.index.reset();
    }
    tags.clear();
    selected = -1;
    return buildAndOpen(defs, progress, from, to);
}

Status TablePrivate::buildAndOpen(const std::vector<std::pair<QString, NtxInfo>> &defs, const Progress &progress, int from,
                                  int to)
{
    std::vector<KeyExpression> exprs(defs.size());
    std::vector<TagBuild> builds;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        Status s = KeyExpression::compile(QString::fromLatin1(defs[i].second.expression), dbf->fields(), &exprs[i]);
        if (!s)
            return s;
        builds.push_back({defs[i].first, defs[i].second, &exprs[i]});
    }
    Status s = buildTags(builds, progress, from, to);
    for (std::size_t i = 0; s && i < defs.size(); ++i)
        s = openTag(defs[i].first);
    return s;
}

bool TablePrivate::syncCursor(OpenTag &tag)
{
    if (tag.index->valid() && tag.index->recNo() == recNo)
        return true;
    const QByteArray key = tag.expression.evaluate(original.data());
    if (tag.index->find(key, recNo))
        return true;
    // The record is not in the tag (a unique tag keeps only the first of equal keys): stand on
    // the place its key would have.
    SeekResult r = tag.index->seek(key);
    if (r == SeekResult::Error)
        setError(tag.index->error());
    return r == SeekResult::Found || r == SeekResult::Next;
}

Status TablePrivate::closeFiles()
{
    Status first = commit();
    for (OpenTag &t : tags) {
        if (t.index) {
            Status s = t.index->close();
            if (first.isOk())
                first = s;
        }
    }
    tags.clear();
    selected = -1;
    if (memo) {
        Status s = memo->sync();
        if (first.isOk())
            first = s;
        memo.reset();
    }
    if (dbf) {
        Status s = dbf->sync();
        if (first.isOk())
            first = s;
        dbf.reset();
    }
    return first;
}

// Writes new copies of the data file (and memo file) under temporary names: without deleted
// records when dropDeleted, with the memos of the kept records packed together. Then removes the
// tag files (a missing tag is rebuilt when the table is next prepared, so a crash before the
// rebuild below is harmless), renames the copies into place and rebuilds the tags.
Status TablePrivate::rewrite(bool dropDeleted, const Progress &progress)
{
    Status s = commit();
    if (!s)
        return s;
    if (dbf->readOnly())
        return Status::invalid(QStringLiteral("%1 is read-only").arg(fileName));
    s = dbf->lock(true);
    if (!s)
        return Status::locked(QStringLiteral("%1 is in use by another program and cannot be rewritten now").arg(fileName));
    const QString dbfTemp = path(fileName + kTempSuffix);
    const QString memoTemp = memo ? path(memoFileName + kTempSuffix) : QString();
    fs->remove(dbfTemp);
    std::unique_ptr<File> out;
    std::unique_ptr<MemoFile> newMemo;
    auto fail = [&](const Status &st) {
        if (access == Access::Shared)
            dbf->lock(false);
        out.reset();
        newMemo.reset();
        fs->remove(dbfTemp);
        if (!memoTemp.isEmpty())
            fs->remove(memoTemp);
        return st;
    };
    s = fs->open(dbfTemp, OpenMode::Create, &out);
    if (!s)
        return fail(s);
    if (memo) {
        fs->remove(memoTemp);
        s = MemoFile::create(*fs, memoTemp);
        if (s)
            s = MemoFile::open(*fs, memoTemp, false, &newMemo);
        if (!s)
            return fail(s);
    }

    const int recLen = dbf->recordLength();
    const std::uint32_t count = dbf->count();
    QByteArray header = dbf->headerBytes();
    s = out->write(0, header.constData(), static_cast<std::size_t>(header.size()));
    if (!s)
        return fail(s);
    std::vector<char> buffer;
    buffer.reserve(1 << 20);
    std::uint64_t at = static_cast<std::uint64_t>(header.size());
    std::uint32_t kept = 0;
    std::vector<char> rec(static_cast<std::size_t>(recLen));
    const std::uint32_t step = std::max<std::uint32_t>(count / 50, 1);
    // Records are read a chunk at a time straight from the file.
    const std::uint32_t perChunk = static_cast<std::uint32_t>(std::max<std::size_t>(1, kBuildChunk / std::size_t(recLen)));
    std::vector<char> chunk(std::size_t(std::min(perChunk, std::max<std::uint32_t>(count, 1))) * std::size_t(recLen));
    std::uint32_t chunkFirst = 1, chunkCount = 0;
    for (std::uint32_t r = 1; r <= count; ++r) {
        if (r >= chunkFirst + chunkCount) {
            chunkFirst = r;
            chunkCount = std::min(perChunk, count - r + 1);
            s = dbf->readRecords(chunkFirst, chunkCount, chunk.data());
            if (!s)
                return fail(s);
        }
        std::memcpy(rec.data(), chunk.data() + std::size_t(r - chunkFirst) * std::size_t(recLen), std::size_t(recLen));
        if (dropDeleted && rec[0] == '*')
            continue;
        if (memo) {
            for (const FieldLayout &f : dbf->fields()) {
                if (f.def.type != FieldType::Memo)
                    continue;
                double v = 0;
                const QByteArrayView ptr(rec.data() + f.offset, f.def.length);
                std::uint32_t block = 0;
                if (fieldcodec::parseNumber(ptr, &v) && v > 0 && v < 4294967295.0)
                    block = static_cast<std::uint32_t>(v);
                QByteArray text;
                if (block) {
                    s = memo->read(block, &text);
                    if (!s)
                        return fail(s);
                }
                std::uint32_t newBlock = 0;
                s = newMemo->write(text, &newBlock);
                if (!s)
                    return fail(s);
                const QByteArray field = newBlock ? fieldcodec::formatNumber(newBlock, f.def.length, 0)
                                                  : QByteArray(f.def.length, ' ');
                std::memcpy(rec.data() + f.offset, field.constData(), static_cast<std::size_t>(f.def.length));
            }
        }
        buffer.insert(buffer.end(), rec.begin(), rec.end());
        ++kept;
        if (buffer.size() >= (1 << 20)) {
            s = out->write(at, buffer.data(), buffer.size());
            if (!s)
                return fail(s);
            at += buffer.size();
            buffer.clear();
        }
        if (progress && r % step == 0)
            progress(static_cast<int>(50.0 * r / count));
    }
    buffer.push_back(0x1a);
    s = out->write(at, buffer.data(), buffer.size());
    if (!s)
        return fail(s);
    // Record count and date in the new header.
    char fixed[8];
    std::memcpy(fixed, header.constData(), 8);
    const QDate today = tallyra::today();
    fixed[1] = static_cast<char>(today.year() - 1900);
    fixed[2] = static_cast<char>(today.month());
    fixed[3] = static_cast<char>(today.day());
    for (int i = 0; i < 4; ++i)
        fixed[4 + i] = static_cast<char>((kept >> (8 * i)) & 0xff);
    s = out->write(0, fixed, 8);
    if (s)
        s = out->sync();
    if (s && newMemo)
        s = newMemo->sync();
    if (!s)
        return fail(s);
    out.reset();
    newMemo.reset();

    // The journal makes the renames below one step as far as a crash is concerned.
    const QString journal = path(fileName + kJournalSuffix);
    {
        QFile j(journal);
        QByteArray lines = fileName.toUtf8() + '\n';
        if (memo)
            lines += memoFileName.toUtf8() + '\n';
        if (!j.open(QIODevice::WriteOnly | QIODevice::Truncate) || j.write(lines) != lines.size() || !j.flush()
            || ::fsync(j.handle()) != 0) {
            j.close();
            fs->remove(journal);
            return fail(Status::ioError(QStringLiteral("%1: cannot be written").arg(journal)));
        }
    }
    // The old files stay open through their removal and renaming, and are closed on a helper
    // thread: the system takes a while to drop the blocks of a large file once its last open goes,
    // and the tags can be built meanwhile.
    struct OldFiles
    {
        std::vector<std::unique_ptr<NtxIndex>> tags;  // not closed cleanly on purpose: removed
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
    std::vector<std::pair<QString, NtxInfo>> tagDefs;
    for (OpenTag &t : tags) {
        tagDefs.emplace_back(t.fileName, t.index->info());
        old.tags.push_back(std::move(t.index));
        fs->remove(path(t.fileName));
    }
    tags.clear();
    selected = -1;
    old.dbf = std::move(dbf);
    old.dbf->releaseMemory();
    old.memo = std::move(memo);
    s = recoverRewrite(*fs, dir, fileName);
    try {
        old.closer = std::thread([&old] { old.close(); });
    } catch (const std::system_error &) {
        old.close();
    }
    if (!s)
        return s;
    s = DbfFile::open(*fs, path(fileName), access == Access::Exclusive, &dbf);
    if (s && !memoFileName.isEmpty())
        s = MemoFile::open(*fs, path(memoFileName), false, &memo);
    if (!s)
        return s;
    s = buildAndOpen(tagDefs, progress, 50, 100);
    if (!s)
        return s;
    if (progress)
        progress(100);
    toEof();
    return Status::ok();
}

// ---------------------------------------------------------------------------------------------

Table::Table(std::unique_ptr<TablePrivate> dd) : d(std::move(dd)) {}

Table::~Table()
{
    if (d && d->dbf)
        close();
}

Status Table::create(const QString &dir, const QString &fileName, const QList<FieldDef> &fields,
                     const std::shared_ptr<FileSystem> &fs)
{
    const QString path = dir + QLatin1Char('/') + fileName;
    if (!findFileNoCase(dir, fileName).isEmpty())
        return Status::invalid(QStringLiteral("%1 already exists").arg(path));
    Status s = DbfFile::create(*fs, path, fields);
    if (!s)
        return s;
    const bool memo = std::any_of(fields.begin(), fields.end(), [](const FieldDef &f) { return f.type == FieldType::Memo; });
    if (memo) {
        const int dot = fileName.lastIndexOf(QLatin1Char('.'));
        QString ext = fileName.mid(dot + 1);
        const bool upper = ext == ext.toUpper();
        const QString memoName = fileName.left(dot) + (upper ? QStringLiteral(".DBT") : QStringLiteral(".dbt"));
        s = MemoFile::create(*fs, dir + QLatin1Char('/') + memoName);
        if (!s) {
            fs->remove(path);
            return s;
        }
    }
    return Status::ok();
}

const QString &Table::name() const { return d->name; }
const QString &Table::fileName() const { return d->fileName; }
Access Table::access() const { return d->access; }
int Table::fieldCount() const { return static_cast<int>(d->dbf->fields().size()); }
const FieldDef &Table::field(int index) const { return d->dbf->fields()[index].def; }

int Table::fieldIndex(QByteArrayView name) const
{
    const auto &fields = d->dbf->fields();
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].def.name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QStringList Table::tagNames() const
{
    QStringList names;
    for (const OpenTag &t : d->tags)
        names << t.name;
    return names;
}

bool Table::selectTag(const QString &name)
{
    for (std::size_t i = 0; i < d->tags.size(); ++i) {
        if (d->tags[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            d->selected = static_cast<int>(i);
            return true;
        }
    }
    d->setError(Status::notFound(QStringLiteral("%1: no tag named %2").arg(d->fileName, name)));
    return false;
}

void Table::selectNatural() { d->selected = -1; }

QString Table::selectedTag() const
{
    return d->selected < 0 ? QString() : d->tags[static_cast<std::size_t>(d->selected)].name;
}

Status Table::createIndexGroup(const QList<TagDef> &defs, bool overwrite, const Progress &progress)
{
    Status s = d->commit();
    if (!s)
        return s;
    if (d->dbf->readOnly())
        return Status::invalid(QStringLiteral("%1 is read-only").arg(d->fileName));
    const QString base = d->fileName.left(d->fileName.lastIndexOf(QLatin1Char('.')));
    QString group = findFileNoCase(d->dir, base + QStringLiteral(".cgp"));
    if (group.isEmpty())
        group = base + QStringLiteral(".cgp");
    else if (!overwrite)
        return Status::invalid(QStringLiteral("%1 already exists").arg(group));
    // Check everything before writing anything.
    std::vector<KeyExpression> exprs;
    QStringList files;
    for (const TagDef &t : defs) {
        if (!t.filter.isEmpty())
            return Status::invalid(QStringLiteral("%1: tag %2: filter conditions are not supported").arg(d->fileName, t.name));
        if (t.name.isEmpty() || t.name.size() > 10)
            return Status::invalid(QStringLiteral("%1: tag name \"%2\" must have 1 to 10 characters").arg(d->fileName, t.name));
        KeyExpression e;
        s = KeyExpression::compile(t.expression, d->dbf->fields(), &e);
        if (!s)
            return s;
        QString file = t.fileName.isEmpty() ? t.name + QStringLiteral(".ntx") : t.fileName;
        const QString existing = findFileNoCase(d->dir, file);
        if (!existing.isEmpty()) {
            if (!overwrite)
                return Status::invalid(QStringLiteral("%1 already exists").arg(existing));
            file = existing;
        }
        exprs.push_back(std::move(e));
        files << file;
    }
    for (OpenTag &t : d->tags)
        t.index->close();
    d->tags.clear();
    d->selected = -1;
    std::vector<TablePrivate::TagBuild> builds;
    for (int i = 0; i < defs.size(); ++i) {
        const KeyExpression &e = exprs[static_cast<std::size_t>(i)];
        NtxInfo info;
        info.expression = defs[i].expression.toLatin1();
        info.tagName = defs[i].name.toLatin1().toUpper();
        info.keySize = e.keySize();
        info.keyDecimals = e.keyDecimals();
        info.unique = defs[i].unique;
        info.descending = defs[i].descending;
        builds.push_back({files[i], info, &e});
    }
    s = d->buildTags(builds, progress, 0, 100);
    if (!s)
        return s;
    // The group file last, through a temporary file, so it never names a tag that is not there.
    const QString tmp = d->path(group + kTempSuffix);
    {
        QFile f(tmp);
        const QByteArray text = files.join(QLatin1Char('\n')).toUtf8() + '\n';
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size() || !f.flush()
            || ::fsync(f.handle()) != 0) {
            f.close();
            QFile::remove(tmp);
            return Status::ioError(QStringLiteral("%1: cannot be written").arg(group));
        }
    }
    s = d->fs->rename(tmp, d->path(group));
    if (!s)
        return s;
    for (const QString &file : files) {
        s = d->openTag(file);
        if (!s)
            return s;
    }
    d->toEof();
    return Status::ok();
}

Status Table::reindex(const Progress &progress)
{
    Status s = d->commit();
    if (!s)
        return s;
    const QString selected = selectedTag();
    s = d->rebuildTags(progress, 0, 100);
    if (s && !selected.isEmpty())
        selectTag(selected);
    d->toEof();
    return s;
}

bool Table::top()
{
    d->setError(d->commit());
    d->bof = false;
    if (d->selected < 0) {
        if (d->dbf->count() == 0) {
            d->toEof();
            return false;
        }
        return d->load(1);
    }
    NtxIndex &idx = *d->tags[static_cast<std::size_t>(d->selected)].index;
    if (!idx.first()) {
        d->setError(idx.error());
        d->toEof();
        return false;
    }
    return d->load(idx.recNo());
}

bool Table::bottom()
{
    d->setError(d->commit());
    d->bof = false;
    if (d->selected < 0) {
        if (d->dbf->count() == 0) {
            d->toEof();
            return false;
        }
        return d->load(d->dbf->count());
    }
    NtxIndex &idx = *d->tags[static_cast<std::size_t>(d->selected)].index;
    if (!idx.last()) {
        d->setError(idx.error());
        d->toEof();
        return false;
    }
    return d->load(idx.recNo());
}

bool Table::skip(qint64 n)
{
    d->setError(d->commit());
    d->bof = false;
    if (n == 0)
        return !d->eof && (d->recNo == 0 || d->load(d->recNo));
    if (d->selected < 0) {
        const qint64 count = d->dbf->count();
        qint64 from = d->eof ? count + 1 : d->recNo;
        qint64 target = from + n;
        if (target > count) {
            d->toEof();
            return false;
        }
        if (target < 1) {
            if (count == 0) {
                d->toEof();
                return false;
            }
            d->load(1);
            d->bof = true;
            return false;
        }
        return d->load(static_cast<std::uint32_t>(target));
    }
    OpenTag &tag = d->tags[static_cast<std::size_t>(d->selected)];
    NtxIndex &idx = *tag.index;
    qint64 left = n;
    if (d->eof) {
        if (n > 0)
            return false;
        if (!idx.last()) {
            d->setError(idx.error());
            d->toEof();
            return false;
        }
        ++left;  // standing on the last record is the first step back
    } else if (!d->syncCursor(tag)) {
        d->toEof();
        return false;
    }
    while (left > 0) {
        if (!idx.next()) {
            d->setError(idx.error());
            d->toEof();
            return false;
        }
        --left;
    }
    while (left < 0) {
        if (!idx.prev()) {
            d->setError(idx.error());
            if (idx.first())
                d->load(idx.recNo());
            d->bof = true;
            return false;
        }
        ++left;
    }
    return d->load(idx.recNo());
}

SeekResult Table::seek(QByteArrayView key)
{
    d->setError(d->commit());
    d->bof = false;
    if (d->selected < 0) {
        d->setError(Status::invalid(QStringLiteral("%1: seek needs a selected tag").arg(d->fileName)));
        return SeekResult::Error;
    }
    NtxIndex &idx = *d->tags[static_cast<std::size_t>(d->selected)].index;
    SeekResult r = idx.seek(key);
    switch (r) {
    case SeekResult::Found:
    case SeekResult::Next:
        if (!d->load(idx.recNo()))
            return SeekResult::Error;
        return r;
    case SeekResult::Eof:
        d->toEof();
        return r;
    case SeekResult::Error:
        d->setError(idx.error());
        d->toEof();
        return r;
    }
    return r;
}

bool Table::go(quint32 recNo)
{
    d->setError(d->commit());
    d->bof = false;
    if (recNo < 1 || recNo > d->dbf->count()) {
        d->toEof();
        return false;
    }
    return d->load(recNo);
}

quint32 Table::recNo() const { return d->eof ? 0 : d->recNo; }
quint32 Table::recordCount() const { return d->dbf->count(); }
bool Table::eof() const { return d->eof; }
bool Table::bof() const { return d->bof; }

double Table::relativePosition() const
{
    if (d->eof)
        return 1.0;
    if (d->selected < 0) {
        const quint32 count = d->dbf->count();
        return count <= 1 ? 0.0 : double(d->recNo - 1) / double(count - 1);
    }
    OpenTag &tag = d->tags[static_cast<std::size_t>(d->selected)];
    if (!d->syncCursor(tag))
        return 1.0;
    return tag.index->relativePosition();
}

bool Table::setRelativePosition(double position)
{
    d->setError(d->commit());
    d->bof = false;
    position = std::clamp(position, 0.0, 1.0);
    if (d->selected < 0) {
        const quint32 count = d->dbf->count();
        if (count == 0) {
            d->toEof();
            return false;
        }
        return d->load(1 + static_cast<quint32>(std::llround(position * (count - 1))));
    }
    NtxIndex &idx = *d->tags[static_cast<std::size_t>(d->selected)].index;
    if (!idx.setRelativePosition(position)) {
        d->setError(idx.error());
        d->toEof();
        return false;
    }
    return d->load(idx.recNo());
}

// ----- reading fields -----

QByteArray Table::raw(int field) const
{
    const FieldLayout &f = d->dbf->fields()[field];
    return QByteArray(d->record.data() + f.offset, f.def.length);
}

QString Table::text(int field) const
{
    return QString::fromUtf8(trimRight(raw(field)));
}

double Table::number(int field) const
{
    const FieldLayout &f = d->dbf->fields()[field];
    double v = 0;
    fieldcodec::parseNumber(QByteArrayView(d->record.data() + f.offset, f.def.length), &v);
    return v;
}

qint64 Table::integer(int field) const
{
    return std::llround(number(field));
}

bool Table::logical(int field) const
{
    const FieldLayout &f = d->dbf->fields()[field];
    const char c = d->record[static_cast<std::size_t>(f.offset)];
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

QDate Table::date(int field) const
{
    const QByteArray b = raw(field).trimmed();
    if (b.size() != 8)
        return {};
    for (char c : b) {
        if (c < '0' || c > '9')
            return {};
    }
    return QDate(b.left(4).toInt(), b.mid(4, 2).toInt(), b.mid(6, 2).toInt());
}

QByteArray Table::memoBytes(int field) const
{
    if (!d->memo)
        return {};
    const QByteArray ptr = raw(field);
    if (!ptr.isEmpty() && ptr[0] == '\0')
        return {};
    const QByteArray digits = ptr.trimmed();
    if (digits.isEmpty())
        return {};
    bool ok = false;
    const qulonglong block = digits.toULongLong(&ok);
    if (!ok || block > 0xffffffffULL) {
        d->setError(Status::corruption(QStringLiteral("%1: record %2 has a damaged memo pointer \"%3\"")
                                           .arg(d->fileName).arg(d->recNo).arg(QString::fromLatin1(ptr))));
        return {};
    }
    QByteArray text;
    Status s = d->memo->read(static_cast<std::uint32_t>(block), &text);
    d->setError(s);
    return text;
}

QString Table::memo(int field) const
{
    return QString::fromUtf8(memoBytes(field));
}

bool Table::isDeleted() const
{
    return !d->record.empty() && d->record[0] == '*';
}

// ----- changing fields -----

namespace {

Status checkWritable(const TablePrivate &d)
{
    if (d.eof)
        return Status::invalid(QStringLiteral("%1: no current record").arg(d.fileName));
    if (d.dbf->readOnly())
        return Status::invalid(QStringLiteral("%1 is read-only").arg(d.fileName));
    return Status::ok();
}

} // namespace

Status Table::setRaw(int field, QByteArrayView value)
{
    Status s = checkWritable(*d);
    if (!s)
        return s;
    const FieldLayout &f = d->dbf->fields()[field];
    char *p = d->record.data() + f.offset;
    const qsizetype n = std::min<qsizetype>(value.size(), f.def.length);
    std::memcpy(p, value.data(), static_cast<std::size_t>(n));
    std::memset(p + n, ' ', static_cast<std::size_t>(f.def.length - n));
    d->dirty = true;
    return s;
}

Status Table::setText(int field, const QString &value)
{
    const FieldLayout &f = d->dbf->fields()[field];
    return setRaw(field, fieldcodec::cutUtf8(value.toUtf8(), f.def.length));
}

Status Table::setNumber(int field, double value)
{
    const FieldLayout &f = d->dbf->fields()[field];
    if (f.def.type != FieldType::Numeric)
        return Status::invalid(QStringLiteral("%1: field %2 is not numeric").arg(d->fileName, QString::fromLatin1(f.def.name)));
    const QByteArray text = fieldcodec::formatNumber(value, f.def.length, f.def.decimals);
    if (text.startsWith('*'))
        return Status::invalid(QStringLiteral("%1: %2 does not fit field %3 (%4 digits)")
                                   .arg(d->fileName).arg(value).arg(QString::fromLatin1(f.def.name)).arg(f.def.length));
    return setRaw(field, text);
}

Status Table::setInteger(int field, qint64 value)
{
    return setNumber(field, static_cast<double>(value));
}

Status Table::setLogical(int field, bool value)
{
    return setRaw(field, value ? "T" : "F");
}

Status Table::setDate(int field, const QDate &value)
{
    if (!value.isValid() || value.year() < 1 || value.year() > 9999)
        return setRaw(field, "        ");
    return setRaw(field, value.toString(QStringLiteral("yyyyMMdd")).toLatin1());
}

Status Table::setMemoBytes(int field, QByteArrayView value)
{
    Status s = checkWritable(*d);
    if (!s)
        return s;
    const FieldLayout &f = d->dbf->fields()[field];
    if (f.def.type != FieldType::Memo || !d->memo)
        return Status::invalid(QStringLiteral("%1: field %2 is not a memo").arg(d->fileName, QString::fromLatin1(f.def.name)));
    std::uint32_t block = 0;
    s = d->memo->write(value, &block);
    if (!s) {
        // The change of the record fails as a whole: nothing of it is written later.
        d->discardChange();
        return s;
    }
    return setRaw(field, block ? fieldcodec::formatNumber(block, f.def.length, 0) : QByteArray(f.def.length, ' '));
}

Status Table::setMemo(int field, const QString &value)
{
    return setMemoBytes(field, value.toUtf8());
}

Status Table::appendBlank()
{
    Status s = d->commit();
    if (!s)
        return s;
    if (d->dbf->readOnly())
        return Status::invalid(QStringLiteral("%1 is read-only").arg(d->fileName));
    d->blank();
    d->original = d->record;
    d->recNo = d->dbf->count() + 1;
    d->eof = false;
    d->bof = false;
    d->appended = true;
    d->dirty = true;
    return Status::ok();
}

Status Table::markDeleted()
{
    Status s = checkWritable(*d);
    if (!s)
        return s;
    d->record[0] = '*';
    d->dirty = true;
    return s;
}

Status Table::recall()
{
    Status s = checkWritable(*d);
    if (!s)
        return s;
    d->record[0] = ' ';
    d->dirty = true;
    return s;
}

Status Table::flush()
{
    return d->commit();
}

Status Table::pack(const Progress &progress)
{
    const QString selected = selectedTag();
    Status s = d->rewrite(true, progress);
    if (s && !selected.isEmpty())
        selectTag(selected);
    return s;
}

Status Table::compactMemo()
{
    if (!d->memo)
        return Status::ok();
    const QString selected = selectedTag();
    Status s = d->rewrite(false, {});
    if (s && !selected.isEmpty())
        selectTag(selected);
    return s;
}

Status Table::zap()
{
    Status s = d->commit();
    if (!s)
        return s;
    if (d->dbf->readOnly())
        return Status::invalid(QStringLiteral("%1 is read-only").arg(d->fileName));
    s = d->dbf->lock(true);
    if (!s)
        return Status::locked(QStringLiteral("%1 is in use by another program and cannot be emptied now").arg(d->fileName));
    const QString selected = selectedTag();
    // An empty copy goes through the same safe path as pack.
    std::vector<char> none;
    const QString temp = d->path(d->fileName + kTempSuffix);
    s = DbfFile::write(*d->fs, temp, *d->dbf, none, 0);
    if (!s)
        return s;
    if (d->memo) {
        const QString memoTemp = d->path(d->memoFileName + kTempSuffix);
        d->fs->remove(memoTemp);
        s = MemoFile::create(*d->fs, memoTemp);
        if (!s) {
            d->fs->remove(temp);
            return s;
        }
    }
    const QString journal = d->path(d->fileName + kJournalSuffix);
    {
        QFile j(journal);
        QByteArray lines = d->fileName.toUtf8() + '\n';
        if (d->memo)
            lines += d->memoFileName.toUtf8() + '\n';
        if (!j.open(QIODevice::WriteOnly | QIODevice::Truncate) || j.write(lines) != lines.size() || !j.flush()
            || ::fsync(j.handle()) != 0)
            return Status::ioError(QStringLiteral("%1: cannot be written").arg(journal));
    }
    std::vector<std::pair<QString, NtxInfo>> tagDefs;
    for (OpenTag &t : d->tags) {
        tagDefs.emplace_back(t.fileName, t.index->info());
        t.index.reset();
        d->fs->remove(d->path(t.fileName));
    }
    d->tags.clear();
    d->selected = -1;
    d->dbf.reset();
    d->memo.reset();
    s = recoverRewrite(*d->fs, d->dir, d->fileName);
    if (s)
        s = DbfFile::open(*d->fs, d->path(d->fileName), d->access == Access::Exclusive, &d->dbf);
    if (s && !d->memoFileName.isEmpty())
        s = MemoFile::open(*d->fs, d->path(d->memoFileName), false, &d->memo);
    for (auto &[file, info] : tagDefs) {
        if (!s)
            break;
        s = NtxIndex::build(*d->fs, d->path(file), info, KeyArray{info.keySize, {}, {}});
        if (s)
            s = d->openTag(file);
    }
    if (s && !selected.isEmpty())
        selectTag(selected);
    if (d->dbf)
        d->toEof();
    return s;
}

Status Table::checkTag(const QString &name)
{
    Status s = d->commit();
    if (!s)
        return s;
    for (OpenTag &t : d->tags) {
        if (t.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const std::uint32_t count = d->dbf->count();
        std::vector<std::uint8_t> seen(static_cast<std::size_t>(count) + 1, 0);
        std::vector<char> rec(static_cast<std::size_t>(d->dbf->recordLength()));
        Status fault;
        std::uint64_t entries = 0;
        QByteArray key;
        s = t.index->check([&](QByteArrayView k, std::uint32_t r) {
            ++entries;
            if (!fault.isOk())
                return;
            if (r < 1 || r > count) {
                fault = Status::corruption(QStringLiteral("%1: entry for record %2, which the table does not have").arg(t.fileName).arg(r));
                return;
            }
            if (seen[r]++) {
                fault = Status::corruption(QStringLiteral("%1: record %2 is indexed twice").arg(t.fileName).arg(r));
                return;
            }
            Status rs = d->dbf->read(r, rec.data());
            if (!rs) {
                fault = rs;
                return;
            }
            key.clear();
            t.expression.evaluateInto(rec.data(), key);
            if (QByteArrayView(key) != k)
                fault = Status::corruption(QStringLiteral("%1: the key of record %2 is \"%3\" but the index holds \"%4\"")
                                               .arg(t.fileName).arg(r).arg(QString::fromLatin1(key), QString::fromLatin1(k.toByteArray())));
        });
        if (!s)
            return s;
        if (!fault.isOk())
            return fault;
        if (!t.index->info().unique && entries != count) {
            for (std::uint32_t r = 1; r <= count; ++r) {
                if (!seen[r])
                    return Status::corruption(QStringLiteral("%1: record %2 is missing from the index").arg(t.fileName).arg(r));
            }
        }
        return Status::ok();
    }
    return Status::notFound(QStringLiteral("%1: no tag named %2").arg(d->fileName, name));
}

Status Table::check(QStringList *report)
{
    Status first;
    auto note = [&](const QString &what, const Status &s) {
        if (report)
            report->append(QStringLiteral("%1: %2").arg(what, s.isOk() ? QStringLiteral("ok") : s.toString()));
        if (first.isOk() && !s.isOk())
            first = s;
    };
    Status s = d->commit();
    // Records and memo pointers.
    Status data = s;
    if (data) {
        const std::uint32_t count = d->dbf->count();
        std::vector<char> rec(static_cast<std::size_t>(d->dbf->recordLength()));
        for (std::uint32_t r = 1; r <= count && data.isOk(); ++r) {
            data = d->dbf->read(r, rec.data());
            if (!data)
                break;
            if (rec[0] != ' ' && rec[0] != '*')
                data = Status::corruption(QStringLiteral("%1: record %2 has deletion flag 0x%3")
                                              .arg(d->fileName).arg(r).arg(static_cast<unsigned char>(rec[0]), 2, 16, QLatin1Char('0')));
            for (const FieldLayout &f : d->dbf->fields()) {
                if (!data.isOk() || f.def.type != FieldType::Memo)
                    continue;
                const QByteArray ptr(rec.data() + f.offset, f.def.length);
                if (ptr.trimmed().isEmpty() || ptr[0] == '\0')
                    continue;
                bool ok = false;
                const qulonglong block = ptr.trimmed().toULongLong(&ok);
                if (!ok || !d->memo || block >= d->memo->nextFree())
                    data = Status::corruption(QStringLiteral("%1: record %2 field %3 points to memo block \"%4\" outside the memo file")
                                                  .arg(d->fileName).arg(r).arg(QString::fromLatin1(f.def.name), QString::fromLatin1(ptr.trimmed())));
            }
        }
    }
    note(d->fileName, data);
    for (const OpenTag &t : d->tags) {
        const QString name = t.name;
        note(t.fileName, checkTag(name));
    }
    d->toEof();
    return first;
}

QByteArray Table::keyFor(const QString &tag) const
{
    for (const OpenTag &t : d->tags) {
        if (t.name.compare(tag, Qt::CaseInsensitive) == 0)
            return t.expression.evaluate(d->record.data());
    }
    return {};
}

Status Table::error() const { return d->error; }

Status Table::takeError()
{
    Status s = d->error;
    d->error = Status::ok();
    return s;
}

Status Table::close()
{
    if (!d->dbf)
        return Status::ok();
    return d->closeFiles();
}

} // namespace db
