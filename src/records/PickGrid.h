#pragma once

// The paging logic behind the customer, product, invoice and purchase pick lists: ten rows (more
// when the window is enlarged) of a table in the order of its selected tag, the position ("top") of the first
// row, paging and scrolling, the search box, the deleted markers and the placing of a target record. No
// widgets: the list windows show what this class holds and forward the user's keys and clicks to it.
//
// Positions are counted in the selected tag, which holds every record of the table (deleted ones
// included), so the table's record count is the number of positions.
//
// Cost. The rows are always read from an anchor record (the one in the first row) by skipping
// along the index, so paging and searching read ten records whatever the table's size. The
// numeric top is exact whenever the anchor lies within exactLimit() records of either end of the
// order (every position of a table of up to twice that size), counted by bounded index walks; in
// the middle of a larger table it is estimated from the index's relative position. The rows
// shown are the same either way; only the scroll bar's percentage and the record a released
// scroll thumb lands on can differ by the estimate's error.

#include "engine/Status.h"
#include "engine/Table.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tallyra {

struct PickRow
{
    quint32 recNo = 0;
    bool deleted = false;
    QStringList cells; // the visible columns, the deleted marker already in place
};

class PickGrid
{
public:
    static constexpr int kRows = 10;
    static constexpr int kScrollRange = 100;
    static constexpr qint64 kDefaultExactLimit = 16384;

    enum class SearchKind
    {
        Text,          // upper-cased (ASCII letters, as the tags fold) and trimmed
        InvoiceNumber, // trimmed and left-padded with blanks to six characters
    };

    struct Layout
    {
        // The visible cells of the table's current record.
        std::function<QStringList(const db::Table &)> cells;
        int markerColumn = -1; // the cell replaced by the marker for a deleted record
        QString marker;
        SearchKind search = SearchKind::Text;
        // After a refill whose target is not among the rows: true selects the first row (customer
        // and invoice lists), false keeps the row that was current.
        bool firstRowWhenTargetAbsent = false;
    };

    PickGrid() = default;
    explicit PickGrid(Layout layout)
        : m_layout(std::move(layout))
    {}
    void setLayout(Layout layout) { m_layout = std::move(layout); }
    const Layout &layout() const { return m_layout; }

    // The rows shown at a time: kRows, or more for a list enlarged by the user. On an open list
    // the record in the current row stays current, the first row stays where it is unless the end
    // of the table comes into view, and the rows are read again.
    void setRowCount(int rows);
    int rowCount() const { return m_rowCount; }

    // Records within this many positions of either end get an exact top (at least 32).
    void setExactLimit(qint64 limit);
    qint64 exactLimit() const { return m_exactLimit; }

    // Opens the list on `table` in its selected order and brings `target` into view, selected
    // (a record number; 0 or less, or a record that does not exist, means the first record). The
    // last search text is cleared. REQUIRES: table stays open while the list is used.
    void open(db::Table *table, qint64 target);

    bool isEmpty() const { return m_count == 0; }
    qint64 count() const { return m_count; }
    // Positions of the first row: 0 .. lastTop(); lastTop is count - rows above that many records,
    // else 0.
    qint64 top() const { return m_top; }
    qint64 lastTop() const { return m_lastTop; }
    bool topExact() const { return m_exact; }
    // More records than rows: the scroll bar is shown and the paging inputs work.
    bool scrollable() const { return m_count > m_rowCount; }
    // The scroll bar's position, 0 .. 100: the whole part of top * 100 / lastTop.
    int scrollPosition() const;

    const QList<PickRow> &rows() const { return m_rows; }
    int currentRow() const { return m_current; } // 0-based; -1 when there is no row
    void setCurrentRow(int row);
    quint32 currentRecNo() const; // 0 when no data row is current

    // Scrolling. Each asks for a new top; the rows are refilled only when it differs from the
    // current one (and then it is clamped into 0 .. lastTop). With no more records than rows
    // nothing moves.
    void lineUp() { requestTop(m_top - 1); }
    void lineDown() { requestTop(m_top + 1); }
    void pageUp() { requestTop(m_top - m_rowCount); }
    void pageDown() { requestTop(m_top + m_rowCount); }
    void home() { requestTop(0); }
    void end() { requestTop(m_lastTop); }
    // The scroll thumb released at `position` (0 .. 100): top = position * lastTop / 100.
    void thumbReleased(int position);
    // The arrow keys in the grid: they move the current row, and on the last (first) row scroll
    // one record down (up), keeping the current row on the record that came into view.
    void keyDown();
    void keyUp();

    // The search box's text changed. Returns true when it was sought: the normalised text
    // differed from the last search text. When a record at or after the text is found it is
    // brought into view and selected; past the last key the list stays as it is.
    bool search(const QString &text);
    static QByteArray searchKey(const QString &text, SearchKind kind);
    const QByteArray &lastSearchText() const { return m_lastSearch; }
    // Seeks made by search() since open().
    int seeks() const { return m_seeks; }

    // The first engine failure met since the last call (a damaged index or record), cleared.
    db::Status takeError();

private:
    struct Place
    {
        qint64 pos = 0;
        bool exact = true;
    };

    void requestTop(qint64 newTop);
    void showTarget();
    Place positionOf(quint32 recNo);
    qint64 countBefore(quint32 recNo, qint64 limit);
    qint64 countAfter(quint32 recNo, qint64 limit);
    bool placeAnchorAtEnd();
    bool placeAnchorAtStart();
    void placeExactly(qint64 newTop);
    void settleAnchor(qint64 nominalTop);
    void fill();
    void noteError();

    Layout m_layout;
    db::Table *m_table = nullptr;
    qint64 m_exactLimit = kDefaultExactLimit;
    int m_rowCount = kRows;
    qint64 m_count = 0;
    qint64 m_lastTop = 0;
    qint64 m_top = 0;
    bool m_exact = true;
    quint32 m_anchor = 0; // record in the first row
    quint32 m_target = 0; // record to select at the next fill
    QList<PickRow> m_rows;
    int m_current = -1;
    QByteArray m_lastSearch;
    int m_seeks = 0;
    db::Status m_error;
};

} // namespace tallyra
