#include "NtxIndexImpl.h"

#include <QStringList>
#include <algorithm>
#include <bitset>
#include <cstring>

namespace db {

using namespace ntx;

void KeyArray::reserve(std::size_t n)
{
    keys.reserve(n * static_cast<std::size_t>(keySize));
    recNos.reserve(n);
}

void KeyArray::add(const char *key, std::uint32_t recNo)
{
    keys.insert(keys.end(), key, key + keySize);
    recNos.push_back(recNo);
}

namespace ntx {

Status parseHeader(const QString &path, const char *h, std::uint64_t size, NtxInfo *info, Geometry *g,
                   std::uint32_t *root, std::uint32_t *freeHead)
{
    auto bad = [&](const QString &what) { return Status::corruption(path + QStringLiteral(": ") + what); };
    const std::uint16_t type = get16(h + kHeaderType);
    if ((type & ~0x87FF) != 0 || ((type & 0x0006) != 0x0006 && type != 0x0003))
        return bad(QStringLiteral("not an index file (signature 0x%1)").arg(type, 4, 16, QLatin1Char('0')));
    if (type & 0x8000)
        return bad(QStringLiteral("a multi-tag index file, which this program does not read"));
    if (type & 0x0200)
        return bad(QStringLiteral("an index with page-number pointers, which this program does not read"));
    const int keySize = get16(h + kHeaderKeySize);
    const int itemSize = get16(h + kHeaderItemSize);
    const int max = get16(h + kHeaderMaxItems);
    const int decimals = get16(h + kHeaderDecimals);
    if (keySize < 1 || keySize > kMaxKeySize)
        return bad(QStringLiteral("key size %1 in the header is not between 1 and %2")
                       .arg(keySize)
                       .arg(kMaxKeySize));
    if (itemSize != keySize + 8)
        return bad(QStringLiteral("item size %1 in the header does not match key size %2")
                       .arg(itemSize)
                       .arg(keySize));
    if (max < 2 || 2 * (max + 2) + (max + 1) * itemSize > static_cast<int>(kPageSize))
        return bad(
            QStringLiteral("%1 keys per page do not fit a page with key size %2").arg(max).arg(keySize));
    if (decimals >= keySize)
        return bad(QStringLiteral("key decimals %1 do not fit key size %2").arg(decimals).arg(keySize));
    if (static_cast<unsigned char>(h[kHeaderExpression]) < 0x20)
        return bad(QStringLiteral("the key expression in the header is empty or damaged"));
    const std::uint32_t fileEnd = static_cast<std::uint32_t>((size + kPageSize - 1) / kPageSize * kPageSize);
    auto pointerOk = [&](std::uint32_t off) {
        return off >= kPageSize && off % kPageSize == 0 && off < fileEnd;
    };
    *root = get32(h + kHeaderRoot);
    *freeHead = get32(h + kHeaderFree);
    if (!pointerOk(*root))
        return bad(
            QStringLiteral("root page offset %1 lies outside the file (%2 bytes)").arg(*root).arg(size));
    if (*freeHead != 0 && !pointerOk(*freeHead))
        return bad(QStringLiteral("free-page list offset %1 lies outside the file (%2 bytes)")
                       .arg(*freeHead)
                       .arg(size));

    auto text = [h](int at, int n) {
        const char *p = h + at;
        return QByteArray(p, static_cast<qsizetype>(strnlen(p, static_cast<std::size_t>(n))));
    };
    info->expression = text(kHeaderExpression, kExpressionSize);
    info->filter = (type & 0x0001) ? text(kHeaderFor, kExpressionSize) : QByteArray();
    info->tagName = text(kHeaderTagName, kTagNameSize);
    info->keySize = keySize;
    info->keyDecimals = decimals;
    info->unique = h[kHeaderUnique] != 0;
    info->descending = h[kHeaderDescend] != 0;
    g->keySize = keySize;
    g->itemSize = itemSize;
    g->max = max;
    g->half = max / 2;
    return Status::ok();
}

} // namespace ntx

NtxIndex::NtxIndex()
    : m(std::make_unique<Impl>())
{}
NtxIndex::~NtxIndex() = default;

Status NtxIndex::open(FileSystem &fs, const QString &path, bool readOnly, std::unique_ptr<NtxIndex> *out)
{
    std::unique_ptr<File> file;
    Status s = fs.open(path, readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite, &file);
    if (!s)
        return s;
    const std::uint64_t size = file->size();
    if (size < 2 * kPageSize)
        return Status::corruption(
            QStringLiteral("%1: %2 bytes are too few for an index file").arg(path).arg(size));
    if (size > kMaxFileEnd)
        return Status::corruption(
            QStringLiteral("%1: %2 bytes are more than an index file can address").arg(path).arg(size));
    std::unique_ptr<NtxIndex> index(new NtxIndex());
    Impl &d = *index->m;
    d.filePath = path;
    d.readOnly = readOnly;
    s = file->read(0, d.header, kPageSize);
    if (!s)
        return s;
    if (d.header[kHeaderUpdateMark] == kUpdateMark) {
        // Left by a crash, unless an open elsewhere that is changing the file holds its lock.
        if (file->lock(false).isLocked())
            return Status::locked(QStringLiteral("%1 is being changed by another program").arg(path));
        return Status::corruption(
            QStringLiteral("%1 was not closed cleanly (changes to it were cut off)").arg(path));
    }
    Geometry g;
    s = parseHeader(path, d.header, size, &d.info, &g, &d.cur.root, &d.cur.freeHead);
    if (!s)
        return s;
    d.setGeometry(g);
    d.version = get16(d.header + kHeaderVersion);
    d.physSize = size;
    d.cur.fileEnd = static_cast<std::uint32_t>((size + kPageSize - 1) / kPageSize * kPageSize);
    d.file = std::move(file);
    d.ensureMap(d.cur.fileEnd);
    // The depth, reading the left-most path: a damaged root or first pages show here.
    s = d.descendLeft(d.cur.root);
    if (!s)
        return s;
    d.cur.depth = static_cast<int>(d.levels.size());
    d.levels.clear();
    d.committed = d.cur;
    *out = std::move(index);
    return Status::ok();
}

const NtxInfo &NtxIndex::info() const
{
    return m->info;
}

const QString &NtxIndex::path() const
{
    return m->filePath;
}

bool NtxIndex::first()
{
    if (!m->startMove())
        return false;
    m->levels.clear();
    Status s = m->descendLeft(m->cur.root);
    m->settleForward();
    return m->finish(s);
}

bool NtxIndex::last()
{
    if (!m->startMove())
        return false;
    m->levels.clear();
    Status s = m->descendRight(m->cur.root);
    m->settleBackward();
    return m->finish(s);
}

bool NtxIndex::next()
{
    if (!m->valid) {
        m->error = Status::ok();
        return false;
    }
    if (!m->startMove())
        return false;
    return m->finish(m->stepNext());
}

bool NtxIndex::prev()
{
    if (!m->valid) {
        m->error = Status::ok();
        return false;
    }
    if (!m->startMove())
        return false;
    return m->finish(m->stepPrev());
}

SeekResult NtxIndex::seek(QByteArrayView key)
{
    if (!m->startMove())
        return SeekResult::Error;
    const int len = static_cast<int>(std::min<qsizetype>(key.size(), m->g.keySize));
    Status s = m->seekPath(key.data(), len);
    if (!m->finish(s))
        return s ? SeekResult::Eof : SeekResult::Error;
    const char *item = m->currentItem();
    if (!item) {
        m->valid = false;
        m->error = Status::ioError(QStringLiteral("%1: the current page could not be read").arg(m->filePath));
        return SeekResult::Error;
    }
    return std::memcmp(item + 8, key.data(), static_cast<std::size_t>(len)) == 0 ? SeekResult::Found
                                                                                 : SeekResult::Next;
}

bool NtxIndex::find(QByteArrayView key, std::uint32_t recNo)
{
    if (!m->startMove())
        return false;
    m->setKey(key);
    bool found = false;
    Status s = m->findPath(recNo, &found);
    if (s && !found)
        m->levels.clear();
    return m->finish(s);
}

bool NtxIndex::valid() const
{
    return m->valid;
}

QByteArray NtxIndex::key() const
{
    return keyView().toByteArray();
}

QByteArrayView NtxIndex::keyView() const
{
    const char *item = m->currentItem();
    return item ? QByteArrayView(item + 8, m->g.keySize) : QByteArrayView();
}

std::uint32_t NtxIndex::recNo() const
{
    const char *item = m->currentItem();
    return item ? get32(item + 4) : 0;
}

double NtxIndex::relativePosition() const
{
    if (!m->valid)
        return 1.0;
    // Each level narrows the range to the share of the child taken; the last page places the key.
    double lo = 0.0, hi = 1.0;
    for (std::size_t i = 0; i + 1 < m->levels.size(); ++i) {
        const Level &l = m->levels[i];
        const double width = (hi - lo) / double(l.n + 1);
        lo += width * l.idx;
        hi = lo + width;
    }
    const Level &top = m->levels.back();
    Frame *f;
    if (!m->fetch(top.page, &f))
        return lo;
    double fraction;
    if (child(f->data, top.idx) != 0 || child(f->data, top.idx + 1) != 0)
        fraction = double(top.idx + 1) / double(top.n + 1);
    else
        fraction = top.n > 1 ? double(top.idx) / double(top.n - 1) : 0.5;
    return std::clamp(lo + (hi - lo) * fraction, 0.0, 1.0);
}

bool NtxIndex::setRelativePosition(double position)
{
    if (!m->startMove())
        return false;
    if (!(position > 0.0))
        position = 0.0;
    position = std::min(position, 1.0);
    Impl &d = *m;
    d.levels.clear();
    std::uint32_t off = d.cur.root;
    Status s;
    for (;;) {
        if (d.levels.size() >= kMaxDepth) {
            s = d.depthError(off);
            break;
        }
        Frame *f;
        s = d.fetch(off, &f);
        if (!s)
            break;
        const int n = count(f->data);
        if (child(f->data, 0) == 0) {
            const int i = n > 1 ? static_cast<int>(position * (n - 1) + 0.5) : 0;
            d.levels.push_back({off, std::min(i, std::max(n - 1, 0)), n});
            break;
        }
        const double t = position * (n + 1);
        const int j = std::min(static_cast<int>(t), n);
        position = std::clamp(t - j, 0.0, 1.0);
        d.levels.push_back({off, j, n});
        off = child(f->data, j);
        if (off == 0)
            break;
    }
    if (s) {
        d.settleForward();
        if (d.levels.empty())
            return last();
    }
    return d.finish(s);
}

Status NtxIndex::reserve(int pages)
{
    Impl &d = *m;
    Status s = d.beginChange();
    if (!s || pages <= 0)
        return s;
    d.valid = false;
    // Pages on the free list count, as far as the request goes.
    constexpr int kWalk = 64;
    std::uint32_t seen[kWalk];
    int free = 0;
    std::uint32_t off = d.cur.freeHead;
    while (off != 0 && free < pages && free < kWalk) {
        for (int i = 0; i < free; ++i) {
            if (seen[i] == off)
                return d.corrupt(QStringLiteral("the free-page list loops at offset %1").arg(off));
        }
        seen[free++] = off;
        Frame *f;
        s = d.fetch(off, &f, false);
        if (s)
            s = d.freeNext(f, &off);
        if (!s)
            return s;
    }
    const std::uint64_t size = d.physSize;
    const std::uint64_t spare = size > d.cur.fileEnd ? (size - d.cur.fileEnd) / kPageSize : 0;
    if (free + spare >= std::uint64_t(pages))
        return Status::ok();
    const std::uint64_t grow = std::max<std::uint64_t>(std::uint64_t(pages) - free - spare, kGrowPages);
    const std::uint64_t target = std::uint64_t(d.cur.fileEnd) + (spare + grow) * kPageSize;
    if (target > kMaxFileEnd)
        return Status::ioError(
            QStringLiteral("%1: the index file has reached its largest possible size").arg(d.filePath));
    s = d.ensureMarked();
    if (!s)
        return s;
    static const char kZeros[16 * kPageSize] = {};
    for (std::uint64_t at = size; at < target;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof kZeros, target - at));
        s = d.file->write(at, kZeros, n);
        if (!s) {
            if (!d.file->truncate(size))
                d.writeFailed = true;
            d.physSize = size;
            return s;
        }
        at += n;
        d.physSize = at;
    }
    return Status::ok();
}

Status NtxIndex::insert(QByteArrayView key, std::uint32_t recNo)
{
    Status s = m->beginChange();
    if (!s)
        return s;
    Impl::ChangeScope scope(*m);
    m->setKey(key);
    return m->endChange(m->insertKey(recNo));
}

Status NtxIndex::remove(QByteArrayView key, std::uint32_t recNo)
{
    Status s = m->beginChange();
    if (!s)
        return s;
    Impl::ChangeScope scope(*m);
    m->setKey(key);
    s = m->removeKey(recNo);
    m->levels.clear();
    return m->endChange(s);
}

Status NtxIndex::commit()
{
    if (m->closed)
        return Status::invalid(QStringLiteral("%1: the index is closed").arg(m->filePath));
    if (m->readOnly)
        return Status::ok();
    return m->commit();
}

void NtxIndex::discard()
{
    if (!m->closed)
        m->discardChanges();
}

int NtxIndex::depth() const
{
    return m->cur.depth;
}

Status NtxIndex::close()
{
    Impl &d = *m;
    if (d.closed)
        return Status::ok();
    d.valid = false;
    d.levels.clear();
    d.unmap(); // before the reserve past the pages in use is cut off
    Status s;
    if (!d.readOnly) {
        s = d.broken.isOk() ? d.commit() : d.broken;
        if (s && d.writeFailed)
            s = Status::ioError(
                QStringLiteral("%1: an earlier write failed; the index must be rebuilt").arg(d.filePath));
        if (s && d.marked) {
            // Pages reserved but not used go; then the mark is cleared once the pages are safe.
            if (d.physSize > d.cur.fileEnd && d.file->truncate(d.cur.fileEnd))
                d.physSize = d.cur.fileEnd;
            s = d.file->sync();
            if (s) {
                d.writeHeaderFields(false);
                s = d.file->write(0, d.header, kPageSize);
            }
            if (s)
                s = d.file->sync();
            if (s)
                d.marked = false;
        }
    }
    d.file.reset();
    d.closed = true;
    return s;
}

Status NtxIndex::error() const
{
    return m->error;
}

} // namespace db
