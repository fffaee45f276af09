// The checker: a walk over the whole tree testing every page, the key order and the depth.
#include "NtxIndexImpl.h"

namespace db {

Status NtxIndex::check(const std::function<void(QByteArrayView, std::uint32_t)> &visit)
{
    return check(visit, nullptr);
}

Status NtxIndex::check(const std::function<void(QByteArrayView, std::uint32_t)> &visit, NtxTreeStats *stats)
{
    return m->walk(visit, stats, true);
}

Status NtxIndex::walkInOrder(const std::function<void(QByteArrayView, std::uint32_t)> &visit)
{
    return m->walk(visit, nullptr, false);
}

void NtxIndex::dropCachedPages()
{
    // Pages still mapped would stay.
    m->unmap();
    if (m->file)
        m->file->dropCachedPages();
}

void NtxIndex::closeInBackground()
{
    if (m->file)
        m->file->closeInBackground();
}

Status NtxIndex::Impl::walk(const std::function<void(QByteArrayView, std::uint32_t)> &visit,
                            NtxTreeStats *stats, bool recordsOnce)
{
    Impl &d = *this;
    if (d.closed)
        return Status::invalid(QStringLiteral("%1: the index is closed").arg(d.filePath));
    NtxTreeStats local;
    NtxTreeStats &st = stats ? *stats : local;
    st = NtxTreeStats();
    st.fileSize = d.physSize;
    d.valid = false;
    d.levels.clear();

    const std::size_t pages = d.cur.fileEnd / kPageSize;
    std::vector<bool> used(pages + 1, false);
    std::vector<std::uint32_t> recNos;
    std::vector<char> previous(static_cast<std::size_t>(d.g.keySize));
    bool havePrevious = false;
    int leafDepth = -1;
    int minKeys = -1;

    // Each page on the path from the root is copied once, into the buffer of its depth.
    struct Visit
    {
        std::uint32_t page;
        int i;
        int depth;
    };
    std::vector<Visit> stack;
    std::vector<char> copies(std::size_t(kMaxDepth + 1) * kPageSize);
    auto copyOf = [&](int depth) { return copies.data() + std::size_t(depth) * kPageSize; };
    stack.push_back({d.cur.root, 0, 1});
    if (Status s = d.copyPage(d.cur.root, copyOf(1)); !s)
        return s;
    used[d.cur.root / kPageSize] = true;
    st.pages = 1;
    while (!stack.empty()) {
        Visit &top = stack.back();
        const char *p = copyOf(top.depth);
        const int n = count(p);
        if (top.i == 0) {
            bool leaf = true;
            for (int i = 0; i <= n && leaf; ++i)
                leaf = child(p, i) == 0;
            if (leaf) {
                if (leafDepth < 0)
                    leafDepth = top.depth;
                else if (leafDepth != top.depth)
                    return d.corrupt(
                        QStringLiteral("leaf page at offset %1 is %2 levels deep, other leaves %3")
                            .arg(top.page)
                            .arg(top.depth)
                            .arg(leafDepth));
            }
            if (top.page != d.cur.root)
                minKeys = minKeys < 0 ? n : std::min(minKeys, n);
        }
        if (top.i > n) {
            stack.pop_back();
            continue;
        }
        if (top.i > 0) {
            const char *item = itemAt(p, top.i - 1);
            const char *key = item + 8;
            const std::uint32_t recNo = get32(item + 4);
            if (havePrevious) {
                const int c = d.compare(previous.data(), key, previous.size());
                if (c > 0)
                    return d.corrupt(QStringLiteral("keys out of order at key %1 of page at offset %2")
                                         .arg(top.i - 1)
                                         .arg(top.page));
                if (c == 0 && d.info.unique)
                    return d.corrupt(
                        QStringLiteral("a unique index holds the key \"%1\" twice (page at offset %2)")
                            .arg(QString::fromLatin1(key, d.g.keySize))
                            .arg(top.page));
            }
            if (recNo == 0)
                return d.corrupt(QStringLiteral("record number 0 at key %1 of page at offset %2")
                                     .arg(top.i - 1)
                                     .arg(top.page));
            std::memcpy(previous.data(), key, previous.size());
            havePrevious = true;
            if (recordsOnce)
                recNos.push_back(recNo);
            ++st.keys;
            if (visit)
                visit(QByteArrayView(key, d.g.keySize), recNo);
        }
        const std::uint32_t c = child(p, top.i);
        const int depth = top.depth;
        const std::uint32_t page = top.page;
        ++top.i;
        if (c != 0) {
            if (depth >= kMaxDepth)
                return d.depthError(c);
            if (used[c / kPageSize])
                return d.corrupt(QStringLiteral("page at offset %1 is reached twice (from page at offset %2)")
                                     .arg(c)
                                     .arg(page));
            used[c / kPageSize] = true;
            ++st.pages;
            if (Status s = d.copyPage(c, copyOf(depth + 1)); !s)
                return s;
            stack.push_back({c, 0, depth + 1});
        }
    }
    st.depth = leafDepth;
    st.minKeys = std::max(minKeys, 0);

    std::uint32_t off = d.cur.freeHead;
    while (off != 0) {
        if (!d.validPointer(off))
            return d.corrupt(
                QStringLiteral("the free-page list points to offset %1, outside the file").arg(off));
        if (used[off / kPageSize])
            return d.corrupt(
                QStringLiteral("page at offset %1 is on the free-page list and in use, or listed twice")
                    .arg(off));
        used[off / kPageSize] = true;
        ++st.freePages;
        Frame *f;
        Status s = d.fetch(off, &f, false);
        if (s)
            s = d.freeNext(f, &off);
        if (!s)
            return s;
    }

    std::sort(recNos.begin(), recNos.end());
    const auto twice = std::adjacent_find(recNos.begin(), recNos.end());
    if (twice != recNos.end())
        return d.corrupt(QStringLiteral("record %1 is indexed twice").arg(*twice));
    return Status::ok();
}

} // namespace db
