#include "Table.h"

#include "TablePrivate.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace db {

namespace {

constexpr int kReservePages = 2; // beyond the depth: a split may add a level

QByteArray trimRight(QByteArray b)
{
    qsizetype n = b.size();
    while (n > 0 && (b[n - 1] == ' ' || b[n - 1] == '\0'))
        --n;
    b.truncate(n);
    return b;
}

} // namespace

QString findFileNoCase(const FileSystem &fs, const QString &dir, const QString &name)
{
    if (fs.exists(dir + QLatin1Char('/') + name))
        return name;
    QStringList entries;
    if (!fs.list(dir, &entries))
        return {};
    for (const QString &e : entries) {
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return e;
    }
    return {};
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

Status TablePrivate::writable() const
{
    if (!broken.isOk())
        return broken;
    if (dbf->readOnly())
        return Status::invalid(QStringLiteral("%1 is read-only").arg(fileName));
    return Status::ok();
}

Status TablePrivate::commit()
{
    if (!dirty)
        return Status::ok();
    if (Status s = writable(); !s)
        return s;

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
    const bool fieldsChanged =
        appended || std::memcmp(record.data() + 1, original.data() + 1, record.size() - 1) != 0;
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

// ---------------------------------------------------------------------------------------------

Table::Table(std::unique_ptr<TablePrivate> dd)
    : d(std::move(dd))
{
    static std::atomic<std::uint64_t> opened{0};
    d->serial = ++opened;
}

Table::~Table()
{
    if (d && d->dbf)
        close();
}

Status Table::create(const QString &dir, const QString &fileName, const QList<FieldDef> &fields,
                     const std::shared_ptr<FileSystem> &fs, const QDate &stamp)
{
    const QString path = dir + QLatin1Char('/') + fileName;
    if (!findFileNoCase(*fs, dir, fileName).isEmpty())
        return Status::invalid(QStringLiteral("%1 already exists").arg(path));
    Status s = DbfFile::create(*fs, path, fields, stamp.isValid() ? stamp : QDate::currentDate());
    if (!s)
        return s;
    const bool memo = std::any_of(fields.begin(), fields.end(),
                                  [](const FieldDef &f) { return f.type == FieldType::Memo; });
    if (memo) {
        const int dot = fileName.lastIndexOf(QLatin1Char('.'));
        QString ext = fileName.mid(dot + 1);
        const bool upper = ext == ext.toUpper();
        const QString memoName =
            fileName.left(dot) + (upper ? QStringLiteral(".DBT") : QStringLiteral(".dbt"));
        s = MemoFile::create(*fs, dir + QLatin1Char('/') + memoName);
        if (!s) {
            fs->remove(path);
            return s;
        }
    }
    return Status::ok();
}

const QString &Table::name() const
{
    return d->name;
}
const QString &Table::fileName() const
{
    return d->fileName;
}
Access Table::access() const
{
    return d->access;
}
quint64 Table::openSerial() const
{
    return d->serial;
}
int Table::fieldCount() const
{
    return static_cast<int>(d->dbf->fields().size());
}
const FieldDef &Table::field(int index) const
{
    return d->dbf->fields()[index].def;
}

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

void Table::selectNatural()
{
    d->selected = -1;
}

QString Table::selectedTag() const
{
    return d->selected < 0 ? QString() : d->tags[static_cast<std::size_t>(d->selected)].name;
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
        ++left; // standing on the last record is the first step back
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

quint32 Table::recNo() const
{
    return d->eof ? 0 : d->recNo;
}
quint32 Table::recordCount() const
{
    return d->dbf->count();
}
bool Table::eof() const
{
    return d->eof;
}
bool Table::bof() const
{
    return d->bof;
}

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

QByteArrayView Table::rawView(int field) const
{
    const FieldLayout &f = d->dbf->fields()[field];
    return QByteArrayView(d->record.data() + f.offset, f.def.length);
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
                                           .arg(d->fileName)
                                           .arg(d->recNo)
                                           .arg(QString::fromLatin1(ptr))));
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
    return d.writable();
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
    if (n > 0) // an empty view may have no data at all
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
        return Status::invalid(
            QStringLiteral("%1: field %2 is not numeric").arg(d->fileName, QString::fromLatin1(f.def.name)));
    const QByteArray text = fieldcodec::formatNumber(value, f.def.length, f.def.decimals);
    if (text.startsWith('*'))
        return Status::invalid(QStringLiteral("%1: %2 does not fit field %3 (%4 digits)")
                                   .arg(d->fileName)
                                   .arg(value)
                                   .arg(QString::fromLatin1(f.def.name))
                                   .arg(f.def.length));
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
        return Status::invalid(
            QStringLiteral("%1: field %2 is not a memo").arg(d->fileName, QString::fromLatin1(f.def.name)));
    std::uint32_t block = 0;
    s = d->memo->write(value, &block);
    if (!s) {
        // The change of the record fails as a whole: nothing of it is written later.
        d->discardChange();
        return s;
    }
    return setRaw(field,
                  block ? fieldcodec::formatNumber(block, f.def.length, 0) : QByteArray(f.def.length, ' '));
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
    if (s = d->writable(); !s)
        return s;
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

QByteArray Table::keyFor(const QString &tag) const
{
    for (const OpenTag &t : d->tags) {
        if (t.name.compare(tag, Qt::CaseInsensitive) == 0)
            return t.expression.evaluate(d->record.data());
    }
    return {};
}

Status Table::error() const
{
    return d->error;
}

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
