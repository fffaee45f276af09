// Cursor moves over the tree and the changes to it: insertion with balancing, removal with
// joining of pages left too empty.
#include "NtxIndexImpl.h"

namespace db {

Status NtxIndex::Impl::depthError(std::uint32_t off) const
{
    return corrupt(QStringLiteral("the tree goes deeper than %1 levels at page offset %2 (a loop of pages?)")
                       .arg(kMaxDepth)
                       .arg(off));
}

Status NtxIndex::Impl::descendLeft(std::uint32_t off)
{
    for (;;) {
        if (levels.size() >= kMaxDepth)
            return depthError(off);
        Frame *f;
        Status s = fetch(off, &f);
        if (!s)
            return s;
        const int n = count(f->data);
        levels.push_back({off, 0, n});
        off = child(f->data, 0);
        if (off == 0)
            return Status::ok();
    }
}

Status NtxIndex::Impl::descendRight(std::uint32_t off)
{
    for (;;) {
        if (levels.size() >= kMaxDepth)
            return depthError(off);
        Frame *f;
        Status s = fetch(off, &f);
        if (!s)
            return s;
        const int n = count(f->data);
        levels.push_back({off, n, n});
        off = child(f->data, n);
        if (off == 0) {
            levels.back().idx = n - 1;
            return Status::ok();
        }
    }
}

void NtxIndex::Impl::settleForward()
{
    while (!levels.empty() && levels.back().idx >= levels.back().n)
        levels.pop_back();
}

void NtxIndex::Impl::settleBackward()
{
    while (!levels.empty() && levels.back().idx < 0) {
        levels.pop_back();
        if (!levels.empty())
            --levels.back().idx;
    }
}

Status NtxIndex::Impl::stepNext()
{
    Frame *f;
    Status s = fetch(levels.back().page, &f);
    if (!s)
        return s;
    const std::uint32_t c = child(f->data, levels.back().idx + 1);
    ++levels.back().idx;
    if (c != 0) {
        s = descendLeft(c);
        if (!s)
            return s;
    }
    settleForward();
    return Status::ok();
}

Status NtxIndex::Impl::stepPrev()
{
    Frame *f;
    Status s = fetch(levels.back().page, &f);
    if (!s)
        return s;
    const std::uint32_t c = child(f->data, levels.back().idx);
    if (c != 0) {
        s = descendRight(c);
        if (!s)
            return s;
    } else {
        --levels.back().idx;
    }
    settleBackward();
    return Status::ok();
}

// Positions on the first entry >= k (comparing len bytes); path empty when there is none.
Status NtxIndex::Impl::seekPath(const char *k, int len)
{
    levels.clear();
    std::uint32_t off = cur.root;
    for (;;) {
        if (levels.size() >= kMaxDepth)
            return depthError(off);
        Frame *f;
        Status s = fetch(off, &f);
        if (!s)
            return s;
        const int n = count(f->data);
        const int i = lowerBound(f->data, k, len);
        levels.push_back({off, i, n});
        off = child(f->data, i);
        if (off == 0)
            break;
    }
    settleForward();
    return Status::ok();
}

// Positions on the entry (keyBuf, recNo), scanning forward over equal keys.
Status NtxIndex::Impl::findPath(std::uint32_t recNo, bool *found)
{
    *found = false;
    Status s = seekPath(keyBuf.data(), g.keySize);
    while (s && !levels.empty()) {
        Frame *f;
        s = fetch(levels.back().page, &f);
        if (!s)
            break;
        const char *item = itemAt(f->data, levels.back().idx);
        if (std::memcmp(item + 8, keyBuf.data(), keyBuf.size()) != 0)
            break;
        if (get32(item + 4) == recNo) {
            *found = true;
            return Status::ok();
        }
        s = stepNext();
    }
    return s;
}

bool NtxIndex::Impl::finish(const Status &s)
{
    if (!s) {
        error = s;
        levels.clear();
    }
    valid = s.isOk() && !levels.empty();
    hint = nullptr;
    if (valid) {
        const Level &top = levels.back();
        if (top.page / kPageSize < pageMap.size()) {
            const int idx = pageMap[top.page / kPageSize];
            if (idx >= 0)
                hint = frames[static_cast<std::size_t>(idx)].get();
        }
    }
    return valid;
}

bool NtxIndex::Impl::startMove()
{
    error = Status::ok();
    if (closed) {
        error = Status::invalid(QStringLiteral("%1: the index is closed").arg(filePath));
        valid = false;
        return false;
    }
    return true;
}

const char *NtxIndex::Impl::currentItem()
{
    if (!valid)
        return nullptr;
    const Level &top = levels.back();
    Frame *f = hint;
    if (!f || f->offset != top.page) {
        if (!fetch(top.page, &f))
            return nullptr;
        hint = f;
    }
    return itemAt(f->data, top.idx);
}

// Copies the page's items in order to dst, with `item` put at position at (unless null).
int NtxIndex::Impl::gather(const char *p, char *dst, int at, const char *item) const
{
    const int n = count(p);
    const std::size_t size = static_cast<std::size_t>(g.itemSize);
    int k = 0;
    for (int i = 0; i < n; ++i) {
        if (i == at)
            std::memcpy(dst + size * k++, item, size);
        std::memcpy(dst + size * k++, itemAt(p, i), size);
    }
    if (at == n)
        std::memcpy(dst + size * k++, item, size);
    return k;
}

// Spreads the items of the neighbours a and b (a left of b under separator `sep` of parent
// pp) and the separator between them evenly over the two, with item added at position `at`
// of that sequence when given.
void NtxIndex::Impl::redistribute(Frame *pp, int sep, Frame *a, Frame *b, int at, const char *item)
{
    const std::size_t size = static_cast<std::size_t>(g.itemSize);
    char *items = scratch.data();
    const int na = count(a->data);
    const std::uint32_t rightB = child(b->data, count(b->data));
    int t = gather(a->data, items);
    char *sepItem = items + size * t;
    put32(sepItem, child(a->data, na));
    std::memcpy(sepItem + 4, itemAt(pp->data, sep) + 4, size - 4);
    ++t;
    t += gather(b->data, items + size * t);
    if (item) {
        std::memmove(items + size * (at + 1), items + size * at, size * static_cast<std::size_t>(t - at));
        std::memcpy(items + size * at, item, size);
        ++t;
    }
    const int left = (t - 1) / 2;
    layoutPage(g, a->data, items, left, get32(items + size * left));
    std::memcpy(itemAt(pp->data, sep) + 4, items + size * left + 4, size - 4);
    layoutPage(g, b->data, items + size * (left + 1), t - left - 1, rightB);
    markDirty(a);
    markDirty(b);
    markDirty(pp);
}

// A full page at path level lv gets `item`: share with a neighbour that has room.
Status NtxIndex::Impl::balanceInsert(std::size_t lv, const char *item, bool *done)
{
    *done = false;
    Frame *pp, *x;
    Status s = fetch(levels[lv - 1].page, &pp);
    if (s)
        s = fetch(levels[lv].page, &x);
    if (!s)
        return s;
    const int j = levels[lv - 1].idx;
    const int np = count(pp->data);
    const int nx = count(x->data);
    const int i = levels[lv].idx;
    const int room = 2 * (g.max - 1);
    if (j < np && child(pp->data, j + 1) != 0) {
        Frame *r;
        s = fetch(child(pp->data, j + 1), &r);
        if (!s)
            return s;
        if (nx + count(r->data) <= room) {
            redistribute(pp, j, x, r, i, item);
            *done = true;
            return Status::ok();
        }
    }
    if (j > 0 && child(pp->data, j - 1) != 0) {
        Frame *l;
        s = fetch(child(pp->data, j - 1), &l);
        if (!s)
            return s;
        const int nl = count(l->data);
        if (nx + nl <= room) {
            redistribute(pp, j - 1, l, x, nl + 1 + i, item);
            *done = true;
            return Status::ok();
        }
    }
    return Status::ok();
}

Status NtxIndex::Impl::insertKey(std::uint32_t recNo)
{
    const char *k = keyBuf.data();
    std::uint32_t off = cur.root;
    for (;;) {
        if (levels.size() >= kMaxDepth)
            return depthError(off);
        Frame *f;
        Status s = fetch(off, &f);
        if (!s)
            return s;
        const int n = count(f->data);
        const int i = upperBound(f->data, k, g.keySize);
        levels.push_back({off, i, n});
        off = child(f->data, i);
        if (off == 0)
            break;
    }
    if (info.unique) {
        // The entry before the insertion point is the greatest key not above the new one.
        for (std::size_t lv = levels.size(); lv-- > 0;) {
            if (levels[lv].idx > 0) {
                Frame *f;
                Status s = fetch(levels[lv].page, &f);
                if (!s)
                    return s;
                if (std::memcmp(keyAt(f->data, levels[lv].idx - 1), k, keyBuf.size()) == 0)
                    return Status::ok();
                break;
            }
        }
    }
    char *item = pending.data();
    put32(item, 0);
    put32(item + 4, recNo);
    std::memcpy(item + 8, k, keyBuf.size());
    const std::size_t size = static_cast<std::size_t>(g.itemSize);
    for (std::size_t lv = levels.size() - 1;; --lv) {
        Frame *f;
        Status s = fetch(levels[lv].page, &f);
        if (!s)
            return s;
        char *p = f->data;
        const int n = count(p);
        const int i = levels[lv].idx;
        if (n < g.max) {
            insertItem(p, i, item, g.itemSize);
            markDirty(f);
            return Status::ok();
        }
        if (lv > 0) {
            bool done = false;
            s = balanceInsert(lv, item, &done);
            if (!s || done)
                return s;
        }
        // Split: the first half goes to a new page, the middle key moves up, the rest stays.
        Frame *nf;
        s = allocPage(&nf);
        if (!s)
            return s;
        char *items = scratch.data();
        const std::uint32_t right = child(p, n);
        const int total = gather(p, items, i, item);
        const int half = total / 2;
        layoutPage(g, nf->data, items, half, get32(items + size * half));
        std::memcpy(item, items + size * half, size);
        put32(item, nf->offset);
        layoutPage(g, p, items + size * (half + 1), total - half - 1, right);
        markDirty(nf);
        markDirty(f);
        if (lv == 0) {
            Frame *rf;
            s = allocPage(&rf);
            if (!s)
                return s;
            layoutPage(g, rf->data, item, 1, f->offset);
            markDirty(rf);
            cur.root = rf->offset;
            ++cur.depth;
            headerDirty = true;
            return Status::ok();
        }
    }
}

Status NtxIndex::Impl::removeKey(std::uint32_t recNo)
{
    // Find without holding pages (equal keys may span many), then hold the path.
    pinning = false;
    bool found = false;
    Status s = findPath(recNo, &found);
    pinning = true;
    if (!s)
        return s;
    if (!found)
        return Status::notFound(
            QStringLiteral("%1: no entry for record %2 with key \"%3\"")
                .arg(filePath)
                .arg(recNo)
                .arg(QString::fromLatin1(keyBuf.data(), static_cast<qsizetype>(keyBuf.size()))));
    for (const Level &l : levels) {
        Frame *f;
        s = fetch(l.page, &f);
        if (!s)
            return s;
    }
    Frame *f;
    s = fetch(levels.back().page, &f);
    if (!s)
        return s;
    const int i = levels.back().idx;
    const std::uint32_t c = child(f->data, i);
    if (c != 0) {
        // A key in a branch page gives way to its predecessor, the last key of its left subtree.
        s = descendRight(c);
        if (!s)
            return s;
        if (levels.back().n == 0)
            return corrupt(
                QStringLiteral("page at offset %1 inside the tree holds no key").arg(levels.back().page));
        Frame *leaf;
        s = fetch(levels.back().page, &leaf);
        if (!s)
            return s;
        std::memcpy(itemAt(f->data, i) + 4, itemAt(leaf->data, levels.back().idx) + 4,
                    static_cast<std::size_t>(g.itemSize - 4));
        markDirty(f);
        removeItem(leaf->data, levels.back().idx);
        markDirty(leaf);
    } else {
        removeItem(f->data, i);
        markDirty(f);
    }
    return rebalance(levels.size() - 1);
}

// Walks up from level lv joining or balancing pages left with fewer than half the keys.
Status NtxIndex::Impl::rebalance(std::size_t lv)
{
    const std::size_t size = static_cast<std::size_t>(g.itemSize);
    while (lv > 0) {
        Frame *x, *pp;
        Status s = fetch(levels[lv].page, &x);
        if (s)
            s = fetch(levels[lv - 1].page, &pp);
        if (!s)
            return s;
        if (count(x->data) >= g.half)
            break;
        const int j = levels[lv - 1].idx;
        const int np = count(pp->data);
        Frame *a, *b;
        int sep;
        if (j < np && child(pp->data, j + 1) != 0) {
            s = fetch(child(pp->data, j + 1), &b);
            a = x;
            sep = j;
        } else if (j > 0 && child(pp->data, j - 1) != 0) {
            s = fetch(child(pp->data, j - 1), &a);
            b = x;
            sep = j - 1;
        } else {
            break;
        }
        if (!s)
            return s;
        const int na = count(a->data), nb = count(b->data);
        if (na + nb < g.max) {
            // Join b into a with the separator between them; b goes to the free list.
            char *items = scratch.data();
            int t = gather(a->data, items);
            char *sepItem = items + size * t;
            put32(sepItem, child(a->data, na));
            std::memcpy(sepItem + 4, itemAt(pp->data, sep) + 4, size - 4);
            ++t;
            t += gather(b->data, items + size * t);
            const std::uint32_t rightB = child(b->data, nb);
            layoutPage(g, a->data, items, t, rightB);
            markDirty(a);
            put32(itemAt(pp->data, sep + 1), a->offset);
            removeItem(pp->data, sep);
            markDirty(pp);
            freePage(b);
            --lv;
            continue;
        }
        redistribute(pp, sep, a, b, -1, nullptr);
        break;
    }
    Frame *root;
    Status s = fetch(cur.root, &root);
    if (!s)
        return s;
    if (count(root->data) == 0 && child(root->data, 0) != 0) {
        const std::uint32_t newRoot = child(root->data, 0);
        freePage(root);
        cur.root = newRoot;
        --cur.depth;
        headerDirty = true;
    }
    return Status::ok();
}

} // namespace db
