#include "PickGrid.h"

#include "Conversions.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tallyra {

namespace {

// Keeps estimated tops clear of the ends, so that a page move from an estimated top can never
// pass for a move to either end.
constexpr qint64 kMinExactLimit = 2 * PickGrid::kRows + 12;
// Invoice numbers are keyed right-aligned in six characters.
constexpr int kInvoiceKeyWidth = 6;

} // namespace

void PickGrid::setExactLimit(qint64 limit)
{
    m_exactLimit = std::max({limit, kMinExactLimit, 2 * qint64(m_rowCount) + 12});
}

void PickGrid::setRowCount(int rows)
{
    rows = std::max(rows, kRows);
    if (rows == m_rowCount)
        return;
    m_rowCount = rows;
    m_exactLimit = std::max(m_exactLimit, 2 * qint64(m_rowCount) + 12);
    if (!m_table || m_count == 0)
        return;
    m_lastTop = m_count > m_rowCount ? m_count - m_rowCount : 0;
    m_target = currentRecNo();
    if (!scrollable() || m_top <= 0) {
        placeAnchorAtStart();
        m_top = 0;
        m_exact = true;
    } else if (!m_exact || m_top < m_lastTop) {
        // The first row stays; an estimated top is kept clear of the end as before.
    } else {
        placeAnchorAtEnd();
        m_top = m_lastTop;
        m_exact = true;
    }
    fill();
}

int PickGrid::scrollPosition() const
{
    if (m_lastTop <= 0)
        return 0;
    return static_cast<int>(std::clamp<qint64>(m_top * kScrollRange / m_lastTop, 0, kScrollRange));
}

void PickGrid::setCurrentRow(int row)
{
    if (m_rows.isEmpty()) {
        m_current = -1;
        return;
    }
    m_current = std::clamp(row, 0, static_cast<int>(m_rows.size()) - 1);
}

quint32 PickGrid::currentRecNo() const
{
    if (m_current < 0 || m_current >= m_rows.size())
        return 0;
    return m_rows[m_current].recNo;
}

db::Status PickGrid::takeError()
{
    noteError();
    db::Status e = m_error;
    m_error = db::Status::ok();
    return e;
}

void PickGrid::noteError()
{
    if (!m_table)
        return;
    db::Status e = m_table->takeError();
    if (m_error.isOk() && !e.isOk())
        m_error = e;
}

QByteArray PickGrid::searchKey(const QString &text, SearchKind kind)
{
    if (kind == SearchKind::InvoiceNumber) {
        QString digits = text;
        digits.remove(QLatin1Char('_')); // the mask's blank character
        QByteArray key = digits.trimmed().toUtf8();
        if (key.size() < kInvoiceKeyWidth)
            key.prepend(QByteArray(kInvoiceKeyWidth - key.size(), ' '));
        return key;
    }
    return keyUpper(text.trimmed());
}

void PickGrid::open(db::Table *table, qint64 target)
{
    m_table = table;
    m_lastSearch.clear();
    m_seeks = 0;
    m_rows.clear();
    m_current = -1;
    m_top = 0;
    m_exact = true;
    m_anchor = 0;
    m_target = 0;
    m_count = table ? table->recordCount() : 0;
    m_lastTop = m_count > m_rowCount ? m_count - m_rowCount : 0;
    if (m_count == 0) {
        noteError();
        return;
    }
    m_current = 0;

    quint32 t = target > 0 && target <= m_count ? static_cast<quint32>(target) : 0;
    if (t != 0 && !m_table->go(t))
        t = 0;
    if (t == 0 || !scrollable()) {
        placeAnchorAtStart();
        m_target = t != 0 ? t : m_anchor;
        fill();
        return;
    }
    m_target = t;
    showTarget();
}

void PickGrid::showTarget()
{
    const Place p = positionOf(m_target);
    if (p.exact && p.pos >= m_lastTop) {
        placeAnchorAtEnd();
        m_top = m_lastTop;
        m_exact = true;
    } else {
        m_anchor = m_target;
        m_top = p.pos;
        m_exact = p.exact;
    }
    fill();
}

// The number of records in front of recNo in the selected order, when it is at most `limit`;
// -1 when there are more (or on failure). skip(-k) succeeds exactly when k records lie in front,
// so the count is found by galloping and halving over bounded skips, never by reading records.
qint64 PickGrid::countBefore(quint32 recNo, qint64 limit)
{
    if (!m_table->go(recNo) || m_table->skip(-(limit + 1)))
        return -1;
    qint64 lo = 0;         // a skip of lo records backward succeeds
    qint64 hi = limit + 1; // a skip of hi fails
    for (qint64 step = 1; lo + step < hi; step *= 2) {
        m_table->go(recNo);
        if (m_table->skip(-(lo + step))) {
            lo += step;
        } else {
            hi = lo + step;
            break;
        }
    }
    while (hi - lo > 1) {
        const qint64 mid = lo + (hi - lo) / 2;
        m_table->go(recNo);
        if (m_table->skip(-mid))
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

// The number of records after recNo, when it is at most `limit`; -1 when there are more.
qint64 PickGrid::countAfter(quint32 recNo, qint64 limit)
{
    if (!m_table->go(recNo) || m_table->skip(limit + 1))
        return -1;
    qint64 lo = 0;
    qint64 hi = limit + 1;
    for (qint64 step = 1; lo + step < hi; step *= 2) {
        m_table->go(recNo);
        if (m_table->skip(lo + step)) {
            lo += step;
        } else {
            hi = lo + step;
            break;
        }
    }
    while (hi - lo > 1) {
        const qint64 mid = lo + (hi - lo) / 2;
        m_table->go(recNo);
        if (m_table->skip(mid))
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

// The position of recNo in the selected order: exact near either end, else the index's estimate
// kept clear of both ends (where the exact count would have found it).
PickGrid::Place PickGrid::positionOf(quint32 recNo)
{
    const qint64 limit = m_exactLimit;
    m_table->go(recNo);
    const double fraction = m_table->relativePosition();
    const bool nearEnd = fraction >= 0.5;
    for (int pass = 0; pass < 2; ++pass) {
        if ((pass == 0) == nearEnd) {
            const qint64 after = countAfter(recNo, limit);
            if (after >= 0)
                return {std::max<qint64>(0, m_count - 1 - after), true};
        } else {
            const qint64 before = countBefore(recNo, limit);
            if (before >= 0)
                return {before, true};
        }
    }
    const qint64 estimate = static_cast<qint64>(std::floor(static_cast<double>(m_count) * fraction));
    return {std::clamp(estimate, limit + 1, std::max(limit + 1, m_count - limit - 2)), false};
}

bool PickGrid::placeAnchorAtEnd()
{
    const bool ok = m_table->bottom();
    m_table->skip(-(m_rowCount - 1));
    m_anchor = ok ? m_table->recNo() : 0;
    return ok;
}

bool PickGrid::placeAnchorAtStart()
{
    const bool ok = m_table->top();
    m_anchor = ok ? m_table->recNo() : 0;
    return ok;
}

void PickGrid::requestTop(qint64 newTop)
{
    if (!m_table || !scrollable() || newTop == m_top)
        return;
    if (newTop <= 0) {
        placeAnchorAtStart();
        m_top = 0;
        m_exact = true;
    } else if (newTop >= m_lastTop) {
        placeAnchorAtEnd();
        m_top = m_lastTop;
        m_exact = true;
    } else if (m_exact) {
        placeExactly(newTop);
    } else {
        // An estimated top moves with its anchor, a few records at a time.
        const qint64 delta = newTop - m_top;
        m_table->go(m_anchor);
        if (m_table->skip(delta)) {
            settleAnchor(newTop);
        } else if (delta < 0) {
            placeAnchorAtStart();
            m_top = 0;
            m_exact = true;
        } else {
            placeAnchorAtEnd();
            m_top = m_lastTop;
            m_exact = true;
        }
    }
    fill();
}

void PickGrid::thumbReleased(int position)
{
    if (!m_table || !scrollable())
        return;
    position = std::clamp(position, 0, kScrollRange);
    const qint64 newTop = static_cast<qint64>(position) * m_lastTop / kScrollRange;
    if (newTop <= 0 || newTop >= m_lastTop || newTop == m_top) {
        requestTop(newTop);
        return;
    }
    placeExactly(newTop);
    fill();
}

// Puts the anchor on position newTop (0 < newTop < lastTop) by the shortest bounded walk from a
// place whose position is known; when every walk is long, by the index's relative position.
void PickGrid::placeExactly(qint64 newTop)
{
    constexpr qint64 kFar = std::numeric_limits<qint64>::max();
    const qint64 fromFirst = newTop;
    const qint64 fromLast = m_lastTop - newTop;
    const qint64 fromAnchor = m_exact ? std::abs(newTop - m_top) : kFar;
    const qint64 best = std::min({fromFirst, fromLast, fromAnchor});
    if (best <= m_exactLimit) {
        bool ok;
        if (best == fromAnchor) {
            m_table->go(m_anchor);
            ok = m_table->skip(newTop - m_top);
        } else if (best == fromFirst) {
            ok = m_table->top() && m_table->skip(newTop);
        } else {
            ok = m_table->bottom() && m_table->skip(-(m_rowCount - 1 + fromLast));
        }
        if (ok) {
            m_anchor = m_table->recNo();
            m_top = newTop;
            m_exact = true;
            return;
        }
        // The index holds fewer entries than the table has records: fall back on counting.
    } else {
        m_table->setRelativePosition(static_cast<double>(newTop) / static_cast<double>(m_count - 1));
    }
    if (m_table->eof())
        m_table->bottom();
    settleAnchor(newTop);
}

// Takes the current record as the anchor and finds its top: exact when it lies near either end
// (clamped to lastTop at the end), otherwise the nominal top kept clear of both ends.
void PickGrid::settleAnchor(qint64 nominalTop)
{
    m_anchor = m_table->recNo();
    if (m_anchor == 0) {
        placeAnchorAtStart();
        m_top = 0;
        m_exact = true;
        return;
    }
    const quint32 anchor = m_anchor;
    const qint64 after = countAfter(anchor, m_exactLimit);
    if (after >= 0) {
        const qint64 pos = std::max<qint64>(0, m_count - 1 - after);
        if (pos >= m_lastTop) {
            placeAnchorAtEnd();
            m_top = m_lastTop;
        } else {
            m_top = pos;
        }
        m_exact = true;
        return;
    }
    const qint64 before = countBefore(anchor, m_exactLimit);
    if (before >= 0) {
        m_top = before;
        m_exact = true;
        return;
    }
    m_top = std::clamp(nominalTop, m_exactLimit + 1, std::max(m_exactLimit + 1, m_count - m_exactLimit - 2));
    m_exact = false;
}

void PickGrid::keyDown()
{
    if (m_rows.isEmpty())
        return;
    if (m_current < m_rows.size() - 1) {
        ++m_current;
        return;
    }
    if (!scrollable())
        return;
    m_table->go(m_rows.last().recNo);
    if (!m_table->skip(1)) {
        noteError();
        return;
    }
    m_target = m_table->recNo();
    requestTop(m_top + 1);
}

void PickGrid::keyUp()
{
    if (m_rows.isEmpty())
        return;
    if (m_current > 0) {
        --m_current;
        return;
    }
    if (!scrollable())
        return;
    m_table->go(m_rows.first().recNo);
    if (!m_table->skip(-1)) {
        noteError();
        return;
    }
    m_target = m_table->recNo();
    requestTop(m_top - 1);
}

bool PickGrid::search(const QString &text)
{
    const QByteArray key = searchKey(text, m_layout.search);
    if (key == m_lastSearch)
        return false;
    m_lastSearch = key;
    ++m_seeks;
    if (!m_table || m_count == 0)
        return true;
    const db::SeekResult r = m_table->seek(key);
    if (r == db::SeekResult::Found || r == db::SeekResult::Next) {
        m_target = m_table->recNo();
        if (scrollable()) {
            showTarget();
        } else {
            placeAnchorAtStart();
            fill();
        }
    }
    noteError();
    return true;
}

void PickGrid::fill()
{
    m_rows.clear();
    if (m_anchor != 0 && m_table->go(m_anchor)) {
        for (int i = 0; i < m_rowCount; ++i) {
            PickRow row;
            row.recNo = m_table->recNo();
            row.deleted = m_table->isDeleted();
            if (m_layout.cells)
                row.cells = m_layout.cells(*m_table);
            if (row.deleted && m_layout.markerColumn >= 0) {
                while (row.cells.size() <= m_layout.markerColumn)
                    row.cells.append(QString());
                row.cells[m_layout.markerColumn] = m_layout.marker;
            }
            m_rows.append(row);
            if (!m_table->skip(1))
                break;
        }
    }
    int selected = -1;
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_target != 0 && m_rows[i].recNo == m_target) {
            selected = i;
            break;
        }
    }
    if (m_rows.isEmpty())
        m_current = -1;
    else if (selected >= 0)
        m_current = selected;
    else if (m_layout.firstRowWhenTargetAbsent || m_current < 0)
        m_current = 0;
    else
        m_current = std::min(m_current, static_cast<int>(m_rows.size()) - 1);
    m_target = 0;
    noteError();
}

} // namespace tallyra
