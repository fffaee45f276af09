// The page cache of an open index and the writing of changed pages back to the file.
#include "NtxIndexImpl.h"

#include <sys/mman.h>

namespace db {

void NtxIndex::Impl::lruRemove(int idx)
{
    Frame *f = frames[static_cast<std::size_t>(idx)].get();
    if (f->prev >= 0)
        frames[static_cast<std::size_t>(f->prev)]->next = f->next;
    else
        lruHead = f->next;
    if (f->next >= 0)
        frames[static_cast<std::size_t>(f->next)]->prev = f->prev;
    else
        lruTail = f->prev;
    f->prev = f->next = -1;
    f->inLru = false;
}

void NtxIndex::Impl::lruPushFront(int idx)
{
    Frame *f = frames[static_cast<std::size_t>(idx)].get();
    f->prev = -1;
    f->next = lruHead;
    if (lruHead >= 0)
        frames[static_cast<std::size_t>(lruHead)]->prev = idx;
    lruHead = idx;
    if (lruTail < 0)
        lruTail = idx;
    f->inLru = true;
}

void NtxIndex::Impl::ensureMap(std::uint32_t fileEnd)
{
    const std::size_t pages = fileEnd / kPageSize + 1;
    if (pageMap.size() < pages)
        pageMap.resize(std::max(pages, pageMap.size() + pageMap.size() / 2), -1);
}

int NtxIndex::Impl::grabFrame()
{
    if (!freeFrames.empty()) {
        const int idx = freeFrames.back();
        freeFrames.pop_back();
        return idx;
    }
    if (frames.size() >= kCacheFrames) {
        for (int idx = lruTail; idx >= 0; idx = frames[static_cast<std::size_t>(idx)]->prev) {
            Frame *f = frames[static_cast<std::size_t>(idx)].get();
            if (f->pins > 0)
                continue;
            lruRemove(idx);
            pageMap[f->offset / kPageSize] = -1;
            f->offset = 0;
            f->checked = false;
            return idx;
        }
    }
    // Below the cache size, or everything in it is pinned by the change under way.
    frames.push_back(std::make_unique<Frame>());
    frames.back()->index = static_cast<int>(frames.size() - 1);
    return frames.back()->index;
}

void NtxIndex::Impl::pin(Frame *f)
{
    if (pinning) {
        ++f->pins;
        pinned.push_back(f->index);
    }
}

bool NtxIndex::Impl::validPointer(std::uint32_t off) const
{
    return off >= kPageSize && off % kPageSize == 0 && off < cur.fileEnd;
}

// The page at off; tree pages are checked the first time they are read.
Status NtxIndex::Impl::fetch(std::uint32_t off, Frame **out, bool treePage)
{
    if (!validPointer(off))
        return corrupt(QStringLiteral("page offset %1 lies outside the file").arg(off));
    ensureMap(cur.fileEnd);
    const std::size_t pageNo = off / kPageSize;
    int idx = pageMap[pageNo];
    Frame *f;
    if (idx >= 0) {
        f = frames[static_cast<std::size_t>(idx)].get();
        if (f->inLru && lruHead != idx) {
            lruRemove(idx);
            lruPushFront(idx);
        }
    } else {
        idx = grabFrame();
        f = frames[static_cast<std::size_t>(idx)].get();
        Status s = readPage(off, f->data);
        if (!s) {
            freeFrames.push_back(idx);
            return s;
        }
        f->offset = off;
        f->dirty = false;
        f->checked = false;
        f->pins = 0;
        pageMap[pageNo] = idx;
        lruPushFront(idx);
    }
    // The search that follows reads keys all over the page: ask for all of its cache lines
    // at once rather than wait for each in turn.
    for (std::uint32_t line = 0; line < kPageSize; line += 64)
        __builtin_prefetch(f->data + line);
    if (treePage && !f->checked) {
        Status s = checkPage(f);
        if (!s)
            return s;
        f->checked = true;
    }
    pin(f);
    *out = f;
    return Status::ok();
}

// Page sanity: key count, offset table, child pointers. A page whose offset table is not a
// permutation of the item slots but whose used items are sound is laid out afresh in memory.
Status NtxIndex::Impl::checkPage(Frame *f)
{
    return checkPageBytes(f->data, f->offset);
}

Status NtxIndex::Impl::checkPageBytes(char *p, std::uint32_t offset)
{
    const int n = count(p);
    if (n > g.max)
        return corrupt(QStringLiteral("page at offset %1 claims %2 keys, more than the %3 a page holds")
                           .arg(offset)
                           .arg(n)
                           .arg(g.max));
    const int base = g.base();
    std::bitset<128> seen;
    bool permutation = true;
    for (int i = 0; i <= g.max && permutation; ++i) {
        const int rel = slot(p, i) - base;
        if (rel < 0 || rel % g.itemSize != 0 || rel / g.itemSize > g.max ||
            seen[static_cast<std::size_t>(rel / g.itemSize)])
            permutation = false;
        else
            seen.set(static_cast<std::size_t>(rel / g.itemSize));
    }
    if (!permutation) {
        int offs[130];
        for (int i = 0; i <= n; ++i) {
            offs[i] = slot(p, i);
            if (offs[i] < base || offs[i] + g.itemSize > static_cast<int>(kPageSize))
                return corrupt(
                    QStringLiteral("page at offset %1: item %2 at byte %3 lies outside the item area")
                        .arg(offset)
                        .arg(i)
                        .arg(offs[i]));
        }
        std::sort(offs, offs + n + 1);
        for (int i = 0; i < n; ++i) {
            if (offs[i + 1] - offs[i] < g.itemSize)
                return corrupt(QStringLiteral("page at offset %1: items at bytes %2 and %3 overlap")
                                   .arg(offset)
                                   .arg(offs[i])
                                   .arg(offs[i + 1]));
        }
        char copy[kPageSize];
        std::memcpy(copy, p, kPageSize);
        for (int i = 0; i <= n; ++i)
            std::memcpy(p + base + i * g.itemSize, copy + slot(copy, i),
                        static_cast<std::size_t>(g.itemSize));
        for (int i = 0; i <= g.max; ++i)
            setSlot(p, i, base + i * g.itemSize);
    }
    for (int i = 0; i <= n; ++i) {
        const std::uint32_t c = child(p, i);
        if (c == 0)
            continue;
        if (c == offset)
            return corrupt(QStringLiteral("page at offset %1 points to itself").arg(offset));
        if (!validPointer(c))
            return corrupt(
                QStringLiteral("page at offset %1 points to offset %2, outside the file").arg(offset).arg(c));
    }
    return Status::ok();
}

Status NtxIndex::Impl::copyPage(std::uint32_t off, char *out)
{
    if (!validPointer(off))
        return corrupt(QStringLiteral("page offset %1 lies outside the file").arg(off));
    ensureMap(cur.fileEnd);
    const int idx = pageMap[off / kPageSize];
    if (idx >= 0) {
        // Cached, perhaps changed and not yet written: the cache holds the page as it stands.
        Frame *f = frames[static_cast<std::size_t>(idx)].get();
        if (!f->checked) {
            Status s = checkPage(f);
            if (!s)
                return s;
            f->checked = true;
        }
        std::memcpy(out, f->data, kPageSize);
        return Status::ok();
    }
    if (Status s = readPage(off, out); !s)
        return s;
    return checkPageBytes(out, off);
}

void NtxIndex::Impl::unmap()
{
    if (map)
        ::munmap(const_cast<char *>(map), mapped);
    map = nullptr;
    mapped = 0;
}

void NtxIndex::Impl::remap()
{
    unmap();
    const int fd = file ? file->nativeHandle() : -1;
    // Only pages in use: the reserve past them may be cut off again.
    const std::uint64_t size = std::min<std::uint64_t>(physSize, cur.fileEnd);
    void *p = fd < 0 || size < kPageSize ? MAP_FAILED : ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        unmappable = true; // pages are read one by one instead
        return;
    }
    map = static_cast<const char *>(p);
    mapped = size;
}

Status NtxIndex::Impl::readPage(std::uint32_t off, char *out)
{
    const std::uint64_t end = std::uint64_t(off) + kPageSize;
    if (end > mapped && !unmappable) {
        const std::uint64_t inUse = std::min<std::uint64_t>(physSize, cur.fileEnd);
        if (end <= inUse && inUse - mapped >= std::max<std::uint64_t>(mapped / 8, 64 * kPageSize))
            remap();
    }
    if (end <= mapped) {
        std::memcpy(out, map + off, kPageSize);
        return Status::ok();
    }
    Status s = file->read(off, out, kPageSize);
    if (s.isCorruption())
        return corrupt(QStringLiteral("page at offset %1 lies beyond the end of the file (%2 bytes)")
                           .arg(off)
                           .arg(physSize));
    return s;
}

void NtxIndex::Impl::markDirty(Frame *f)
{
    if (!f->dirty) {
        f->dirty = true;
        if (f->inLru)
            lruRemove(f->index);
        dirty.push_back(f->index);
    }
    modified = true;
}

Status NtxIndex::Impl::freeNext(const Frame *f, std::uint32_t *next) const
{
    const int o = slot(f->data, 0);
    if (o < 2 || o + 4 > static_cast<int>(kPageSize))
        return corrupt(QStringLiteral("free page at offset %1 is damaged").arg(f->offset));
    const std::uint32_t n = get32(f->data + o);
    if (n != 0 && (!validPointer(n) || n == f->offset))
        return corrupt(QStringLiteral("free page at offset %1 points to offset %2, outside the file")
                           .arg(f->offset)
                           .arg(n));
    *next = n;
    return Status::ok();
}

// A page for new content: from the free list first, else from the end of the file.
Status NtxIndex::Impl::allocPage(Frame **out)
{
    if (cur.freeHead != 0) {
        Frame *f;
        Status s = fetch(cur.freeHead, &f, false);
        if (!s)
            return s;
        std::uint32_t next = 0;
        s = freeNext(f, &next);
        if (!s)
            return s;
        cur.freeHead = next;
        headerDirty = true;
        initEmpty(f);
        f->checked = true;
        markDirty(f);
        *out = f;
        return Status::ok();
    }
    if (cur.fileEnd > kMaxFileEnd)
        return Status::ioError(
            QStringLiteral("%1: the index file has reached its largest possible size").arg(filePath));
    const std::uint32_t off = cur.fileEnd;
    cur.fileEnd += kPageSize;
    ensureMap(cur.fileEnd);
    const int idx = grabFrame();
    Frame *f = frames[static_cast<std::size_t>(idx)].get();
    f->offset = off;
    f->dirty = false;
    f->pins = 0;
    pageMap[off / kPageSize] = idx;
    initEmpty(f);
    f->checked = true;
    markDirty(f);
    pin(f);
    *out = f;
    return Status::ok();
}

void NtxIndex::Impl::freePage(Frame *f)
{
    initEmpty(f);
    put32(f->data + slot(f->data, 0), cur.freeHead);
    cur.freeHead = f->offset;
    headerDirty = true;
    markDirty(f);
}

void NtxIndex::Impl::writeHeaderFields(bool mark)
{
    put16(header + kHeaderVersion, version);
    put32(header + kHeaderRoot, cur.root);
    put32(header + kHeaderFree, cur.freeHead);
    header[kHeaderUpdateMark] = mark ? kUpdateMark : 0;
}

// The file's length found by reading, for when another program may have changed it.
std::uint64_t NtxIndex::Impl::probeSize() const
{
    char b;
    auto has = [&](std::uint64_t off) { return file->readSome(off, &b, 1) == 1; };
    if (!has(0))
        return 0;
    std::uint64_t lo = 0, hi = kPageSize;
    while (has(hi) && hi < (std::uint64_t(1) << 40)) {
        lo = hi;
        hi *= 2;
    }
    while (hi - lo > 1) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        (has(mid) ? lo : hi) = mid;
    }
    return hi;
}

// Before the first change: when another program changed the file since it was opened here
// (its commits change the header), forget every cached page and start from the file again.
Status NtxIndex::Impl::refresh()
{
    if (!dirty.empty() || headerDirty)
        return Status::ok();
    char fresh[kPageSize];
    Status s = file->read(0, fresh, kPageSize);
    if (!s)
        return s;
    if (fresh[kHeaderUpdateMark] == kUpdateMark)
        return Status::corruption(
            QStringLiteral("%1 was not closed cleanly by another program").arg(filePath));
    if (std::memcmp(fresh, header, kHeaderItemSize) == 0)
        return Status::ok();
    const std::uint64_t size = probeSize();
    NtxInfo freshInfo;
    Geometry freshGeometry;
    State fresher;
    s = parseHeader(filePath, fresh, size, &freshInfo, &freshGeometry, &fresher.root, &fresher.freeHead);
    if (!s)
        return s;
    if (freshGeometry.keySize != g.keySize || freshGeometry.max != g.max)
        return corrupt(QStringLiteral("the index was rebuilt by another program; open it again"));
    for (auto &f : frames) {
        f->offset = 0;
        f->dirty = f->checked = f->inLru = false;
        f->pins = 0;
        f->prev = f->next = -1;
    }
    freeFrames.clear();
    for (std::size_t i = frames.size(); i-- > 0;)
        freeFrames.push_back(static_cast<int>(i));
    std::fill(pageMap.begin(), pageMap.end(), -1);
    lruHead = lruTail = -1;
    hint = nullptr;
    std::memcpy(header, fresh, kPageSize);
    version = get16(header + kHeaderVersion);
    physSize = size;
    fresher.fileEnd = static_cast<std::uint32_t>((size + kPageSize - 1) / kPageSize * kPageSize);
    cur = fresher;
    levels.clear();
    s = descendLeft(cur.root);
    cur.depth = static_cast<int>(levels.size());
    levels.clear();
    valid = false;
    committed = cur;
    return s;
}

// Before the first write after open: the mark says "changes under way" until close.
//
// The mark goes with an exclusive lock on the file, held until close: another program may
// not change the file at the same time (it would work from stale pages), and an open that
// finds the mark set can tell a crash (nobody holds the lock) from a live writer.
Status NtxIndex::Impl::ensureMarked()
{
    if (marked)
        return Status::ok();
    Status s = file->lock(true);
    if (!s)
        return s.isLocked() ? Status::locked(
                                  QStringLiteral("%1 is in use by another program and cannot be changed now")
                                      .arg(filePath))
                            : s;
    s = refresh();
    if (!s)
        return s;
    char copy[kPageSize];
    std::memcpy(copy, header, kPageSize);
    copy[kHeaderUpdateMark] = kUpdateMark;
    s = file->write(0, copy, kPageSize);
    if (s)
        s = file->sync();
    if (!s)
        return s;
    header[kHeaderUpdateMark] = kUpdateMark;
    marked = true;
    return Status::ok();
}

// Writes the dirty pages that grow the file (growth) or those that do not, joining adjacent
// pages into one write. dirty is sorted by offset.
Status NtxIndex::Impl::writeDirty(bool growth, std::uint64_t oldSize)
{
    stage.resize(kStagePages * kPageSize);
    std::size_t i = 0;
    while (i < dirty.size()) {
        const Frame *f = frames[static_cast<std::size_t>(dirty[i])].get();
        if ((f->offset + std::uint64_t(kPageSize) > oldSize) != growth) {
            ++i;
            continue;
        }
        const std::uint32_t start = f->offset;
        std::size_t n = 0;
        while (i < dirty.size() && n < kStagePages) {
            const Frame *g2 = frames[static_cast<std::size_t>(dirty[i])].get();
            if (g2->offset != start + n * kPageSize ||
                (g2->offset + std::uint64_t(kPageSize) > oldSize) != growth)
                break;
            std::memcpy(stage.data() + n * kPageSize, g2->data, kPageSize);
            ++n;
            ++i;
        }
        Status s = file->write(start, stage.data(), n * kPageSize);
        if (!s)
            return s;
        physSize = std::max<std::uint64_t>(physSize, start + std::uint64_t(n) * kPageSize);
    }
    return Status::ok();
}

Status NtxIndex::Impl::commit()
{
    if (!broken.isOk())
        return broken;
    if (dirty.empty() && !headerDirty)
        return Status::ok();
    Status s = ensureMarked();
    if (!s)
        return s;
    std::sort(dirty.begin(), dirty.end(), [this](int a, int b) {
        return frames[static_cast<std::size_t>(a)]->offset < frames[static_cast<std::size_t>(b)]->offset;
    });
    const std::uint64_t oldSize = physSize;
    s = writeDirty(true, oldSize);
    if (!s) {
        // Nothing that was in the file has changed yet: cut off what was added and forget
        // the changes, so the file and this object agree on the last committed state.
        Status t = file->truncate(oldSize);
        if (!t)
            writeFailed = true;
        physSize = oldSize;
        discardChanges();
        return s;
    }
    s = writeDirty(false, oldSize);
    if (s) {
        ++version;
        writeHeaderFields(true);
        s = file->write(0, header, kPageSize);
    }
    if (!s) {
        writeFailed = true;
        return s;
    }
    for (int idx : dirty) {
        Frame *f = frames[static_cast<std::size_t>(idx)].get();
        f->dirty = false;
        lruPushFront(idx);
    }
    dirty.clear();
    committed = cur;
    headerDirty = false;
    return Status::ok();
}

void NtxIndex::Impl::discardChanges()
{
    for (int idx : dirty) {
        Frame *f = frames[static_cast<std::size_t>(idx)].get();
        if (f->offset / kPageSize < pageMap.size())
            pageMap[f->offset / kPageSize] = -1;
        f->offset = 0;
        f->dirty = false;
        f->checked = false;
        f->pins = 0;
        freeFrames.push_back(idx);
    }
    dirty.clear();
    cur = committed;
    headerDirty = false;
    broken = Status::ok();
    levels.clear();
    valid = false;
}

Status NtxIndex::Impl::beginChange()
{
    if (closed)
        return Status::invalid(QStringLiteral("%1: the index is closed").arg(filePath));
    if (readOnly)
        return Status::invalid(QStringLiteral("%1 is open for reading only").arg(filePath));
    if (!broken.isOk())
        return broken;
    Status s = ensureMarked();
    if (s && dirty.size() >= kCommitWhenDirty)
        s = commit();
    return s;
}

Status NtxIndex::Impl::endChange(const Status &s)
{
    if (!s && modified)
        broken = s;
    return s;
}

} // namespace db
