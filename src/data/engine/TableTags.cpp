#include "TablePrivate.h"

#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace db {

Status TablePrivate::openTag(const QString &file)
{
    const QString real = findFileNoCase(*fs, dir, file);
    if (real.isEmpty())
        return Status::notFound(QStringLiteral("%1: index file not found").arg(file));
    OpenTag tag;
    tag.fileName = real;
    Status s = NtxIndex::open(*fs, path(real), dbf->readOnly(), &tag.index);
    if (!s)
        return s;
    s = KeyExpression::compile(QString::fromLatin1(tag.index->info().expression), dbf->fields(),
                               &tag.expression);
    if (!s)
        return Status::corruption(QStringLiteral("%1: %2").arg(real, s.message()));
    if (tag.expression.keySize() != tag.index->info().keySize)
        return Status::corruption(QStringLiteral("%1: key size %2 does not match its expression's %3")
                                      .arg(real)
                                      .arg(tag.index->info().keySize)
                                      .arg(tag.expression.keySize()));
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
    const QString group = findFileNoCase(*fs, dir, base + QStringLiteral(".cgp"));
    if (group.isEmpty())
        return Status::ok();
    QByteArray content;
    Status read = readSmallFile(*fs, path(group), &content);
    if (!read)
        return read;
    const QStringList lines =
        QString::fromUtf8(content).split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString file = line.trimmed();
        if (file.isEmpty())
            continue;
        if (file.contains(QLatin1Char('/')) || file.contains(QLatin1Char('\\')))
            return Status::corruption(
                QStringLiteral("%1: names a file outside the data directory: %2").arg(group, file));
        Status s = openTag(file);
        if (!s)
            return s;
    }
    return Status::ok();
}

void onTwoThreads(const std::function<void(int worker)> &work)
{
    std::exception_ptr failure;
    std::mutex failureLock;
    auto guarded = [&](int worker) {
        try {
            work(worker);
        } catch (...) {
            const std::lock_guard<std::mutex> guard(failureLock);
            if (!failure)
                failure = std::current_exception();
        }
    };
    std::thread helper;
    try {
        helper = std::thread(guarded, 1);
    } catch (const std::system_error &) {
        guarded(1); // no thread to be had: this thread does both shares
    }
    guarded(0);
    if (helper.joinable())
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

// The tags are built from their keys, collected in one pass over the records for as many tags
// at a time as fit kBuildKeyBudget. Both cores work throughout: each reads and evaluates half of
// the records, then each takes the next unsorted tag, sorts it and writes it. Progress is reported
// on the calling thread only. buildTags turns an exception (out of memory) into a status.
Status TablePrivate::buildTags(DbfFile &source, const std::vector<TagBuild> &builds, const Progress &progress,
                               int from, int to)
{
    try {
        return buildTagsFrom(source, builds, progress, from, to);
    } catch (const std::bad_alloc &) {
        return Status::ioError(QStringLiteral("%1: not enough memory to build its index").arg(fileName));
    } catch (const std::exception &e) {
        return Status::ioError(QStringLiteral("%1: building its index failed: %2")
                                   .arg(fileName, QString::fromLocal8Bit(e.what())));
    }
}

Status TablePrivate::buildTagsFrom(DbfFile &source, const std::vector<TagBuild> &builds,
                                   const Progress &progress, int from, int to)
{
    const std::uint32_t count = source.count();
    const std::size_t recLen = static_cast<std::size_t>(source.recordLength());
    const std::size_t total = builds.size();
    std::atomic<std::uint64_t> work{0}; // records evaluated and keys written, over all passes
    const std::uint64_t allWork = std::max<std::uint64_t>(total * (2 * std::uint64_t(count) + 1), 1);
    auto report = [&] {
        if (progress)
            progress(from +
                     static_cast<int>((to - from) * std::min(1.0, double(work.load()) / double(allWork))));
    };
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

        // Keys: each thread reads and evaluates its half of the records into their places.
        const std::uint32_t half = count / 2;
        std::atomic<bool> stop{false};
        Status readFailure[2];
        const std::uint32_t perChunk =
            static_cast<std::uint32_t>(std::max<std::size_t>(1, kBuildChunk / recLen));
        onTwoThreads([&](int worker) {
            const std::uint32_t begin = worker == 0 ? 1 : half + 1;
            const std::uint32_t end = worker == 0 ? half : count; // inclusive
            std::vector<char> chunk(std::size_t(perChunk) * recLen);
            for (std::uint32_t r = begin; r <= end && !stop;) {
                const std::uint32_t m = std::min(perChunk, end - r + 1);
                Status s = source.readRecords(r, m, chunk.data());
                if (!s) {
                    readFailure[worker] = s;
                    stop = true;
                    break;
                }
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
                work += std::uint64_t(m) * n;
                if (worker == 0)
                    report();
            }
        });
        for (const Status &s : readFailure) {
            if (!s)
                return s;
        }

        // Sorting and writing: each thread takes the next tag of the pass.
        std::atomic<std::size_t> next{0};
        Status writeFailure[2];
        onTwoThreads([&](int worker) {
            for (std::size_t t; !stop && (t = next++) < n;) {
                const TagBuild &b = builds[first + t];
                const std::vector<std::uint32_t> order = NtxIndex::sortForBuild(b.info, keys[t]);
                Progress inner;
                std::uint64_t written = 0;
                if (progress) {
                    inner = [&, worker](int p) {
                        const std::uint64_t now = std::uint64_t(count) * std::uint64_t(p) / 100;
                        work += now - written;
                        written = now;
                        if (worker == 0)
                            report();
                    };
                }
                Status s = b.keepTemp
                               ? NtxIndex::writeSorted(*fs, path(b.file + kTempSuffix), b.info, keys[t],
                                                       order, inner)
                               : NtxIndex::buildSorted(*fs, path(b.file), b.info, keys[t], order, inner);
                work += std::uint64_t(count) - written + 1;
                if (!s) {
                    writeFailure[worker] = s;
                    stop = true;
                }
                // Memory goes back as soon as a tag is written.
                keys[t] = KeyArray();
            }
        });
        for (const Status &s : writeFailure) {
            if (!s)
                return s;
        }
        report();
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

Status TablePrivate::buildAndOpen(const std::vector<std::pair<QString, NtxInfo>> &defs,
                                  const Progress &progress, int from, int to)
{
    std::vector<KeyExpression> exprs(defs.size());
    std::vector<TagBuild> builds;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        Status s =
            KeyExpression::compile(QString::fromLatin1(defs[i].second.expression), dbf->fields(), &exprs[i]);
        if (!s)
            return s;
        builds.push_back({defs[i].first, defs[i].second, &exprs[i]});
    }
    Status s = buildTags(*dbf, builds, progress, from, to);
    for (std::size_t i = 0; s && i < defs.size(); ++i)
        s = openTag(defs[i].first);
    return s;
}

Status Table::createIndexGroup(const QList<TagDef> &defs, bool overwrite, const Progress &progress)
{
    Status s = d->commit();
    if (!s)
        return s;
    if (s = d->writable(); !s)
        return s;
    // Tags are built from the records present: the header then counts them (see reindex()).
    if (s = d->dbf->correctHeaderCount(); !s)
        return s;
    const QString base = d->fileName.left(d->fileName.lastIndexOf(QLatin1Char('.')));
    QString group = findFileNoCase(*d->fs, d->dir, base + QStringLiteral(".cgp"));
    if (group.isEmpty())
        group = base + QStringLiteral(".cgp");
    else if (!overwrite)
        return Status::invalid(QStringLiteral("%1 already exists").arg(group));
    // Check everything before writing anything.
    std::vector<KeyExpression> exprs;
    QStringList files;
    for (const TagDef &t : defs) {
        if (!t.filter.isEmpty())
            return Status::invalid(
                QStringLiteral("%1: tag %2: filter conditions are not supported").arg(d->fileName, t.name));
        if (t.name.isEmpty() || t.name.size() > 10)
            return Status::invalid(
                QStringLiteral("%1: tag name \"%2\" must have 1 to 10 characters").arg(d->fileName, t.name));
        KeyExpression e;
        s = KeyExpression::compile(t.expression, d->dbf->fields(), &e);
        if (!s)
            return s;
        QString file = t.fileName.isEmpty() ? t.name + QStringLiteral(".ntx") : t.fileName;
        const QString existing = findFileNoCase(*d->fs, d->dir, file);
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
    s = d->buildTags(*d->dbf, builds, progress, 0, 100);
    if (!s)
        return s;
    // The group file last, through a temporary file, so it never names a tag that is not there.
    const QString tmp = d->path(group + kTempSuffix);
    s = writeNewFile(*d->fs, tmp, files.join(QLatin1Char('\n')).toUtf8() + '\n');
    if (s)
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
    if (s = d->writable(); !s)
        return s;
    // Re-indexing is the repair of a damaged table: the header then counts the records present.
    if (s = d->dbf->correctHeaderCount(); !s)
        return s;
    const QString selected = selectedTag();
    s = d->rebuildTags(progress, 0, 100);
    if (s && !selected.isEmpty())
        selectTag(selected);
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
                fault = Status::corruption(
                    QStringLiteral("%1: entry for record %2, which the table does not have")
                        .arg(t.fileName)
                        .arg(r));
                return;
            }
            if (seen[r]++) {
                fault = Status::corruption(
                    QStringLiteral("%1: record %2 is indexed twice").arg(t.fileName).arg(r));
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
                fault = Status::corruption(
                    QStringLiteral("%1: the key of record %2 is \"%3\" but the index holds \"%4\"")
                        .arg(t.fileName)
                        .arg(r)
                        .arg(QString::fromLatin1(key), QString::fromLatin1(k.toByteArray())));
        });
        if (!s)
            return s;
        if (!fault.isOk())
            return fault;
        if (!t.index->info().unique && entries != count) {
            for (std::uint32_t r = 1; r <= count; ++r) {
                if (!seen[r])
                    return Status::corruption(
                        QStringLiteral("%1: record %2 is missing from the index").arg(t.fileName).arg(r));
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
            report->append(
                QStringLiteral("%1: %2").arg(what, s.isOk() ? QStringLiteral("ok") : s.toString()));
        if (first.isOk() && !s.isOk())
            first = s;
    };
    Status s = d->commit();
    // Records and memo pointers.
    Status data = s;
    if (data && d->dbf->headerCount() > d->dbf->count())
        data = Status::corruption(
            QStringLiteral("%1: the header counts %2 records but the file holds %3: the file was cut short")
                .arg(d->fileName)
                .arg(d->dbf->headerCount())
                .arg(d->dbf->count()));
    if (data) {
        const std::uint32_t count = d->dbf->count();
        std::vector<char> rec(static_cast<std::size_t>(d->dbf->recordLength()));
        for (std::uint32_t r = 1; r <= count && data.isOk(); ++r) {
            data = d->dbf->read(r, rec.data());
            if (!data)
                break;
            if (rec[0] != ' ' && rec[0] != '*')
                data =
                    Status::corruption(QStringLiteral("%1: record %2 has deletion flag 0x%3")
                                           .arg(d->fileName)
                                           .arg(r)
                                           .arg(static_cast<unsigned char>(rec[0]), 2, 16, QLatin1Char('0')));
            for (const FieldLayout &f : d->dbf->fields()) {
                if (!data.isOk() || f.def.type != FieldType::Memo)
                    continue;
                const QByteArray ptr(rec.data() + f.offset, f.def.length);
                if (ptr.trimmed().isEmpty() || ptr[0] == '\0')
                    continue;
                bool ok = false;
                const qulonglong block = ptr.trimmed().toULongLong(&ok);
                if (!ok || !d->memo || block >= d->memo->nextFree())
                    data = Status::corruption(
                        QStringLiteral(
                            "%1: record %2 field %3 points to memo block \"%4\" outside the memo file")
                            .arg(d->fileName)
                            .arg(r)
                            .arg(QString::fromLatin1(f.def.name), QString::fromLatin1(ptr.trimmed())));
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

} // namespace db
