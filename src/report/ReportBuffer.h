#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace tallyra {

// The grid of positioned text cells that every report and document is built into before it is
// shown, printed, exported or mailed. Pure data: nothing here draws or measures.
//
// Every row has exactly cellCount() cells; the last one is the row's flags cell. A cell is empty
// or begins with a position code (see ReportCell.h): "L12text", "R51 12.50", "C32Title", "V12",
// "H6073", "IL00logo.bmp", "EJECT".
//
// Row and cell indexes are 0-based. Writes outside the grid are ignored (and reported by a false
// result), so a generator's slip never corrupts memory.
class ReportBuffer
{
public:
    // Gives the rows that fit on one printed page; called by reportStart().
    using LinesPerPageSource = std::function<int()>;

    // Without a source every report is paginated at kDefaultLinesPerPage. The program's one buffer,
    // reportBuffer(), measures the current printer.
    explicit ReportBuffer(LinesPerPageSource source = {});

    static constexpr int kDefaultLinesPerPage = 60;

    void setLinesPerPageSource(LinesPerPageSource source) { m_source = std::move(source); }

    // Empties the buffer and begins a report of the given line width (in character cells) and
    // cells per row (flags cell included, at least 1): no rows, curRow() -1, pageLines() -1,
    // pageNo() 0, cellCount() - 1 empty column codes, one empty heading row, no titles; then asks
    // the source for linesPerPage().
    void reportStart(int reportWidth, int cellCount);
    // Appends a row of empty cells; curRow() and pageLines() grow by one.
    void newRow();
    // Makes room at once for `rows` more rows and the page breaks and headers pageCheck() puts
    // among them: a generator that knows its length spares the buffer's repeated growth.
    void reserveRows(int rows, bool withHeadings);
    // Starts a new page when `needed` rows do not fit on the current one, or when no page has
    // begun yet. `needed` is an absolute count, normally pageLines() + the rows about to be added,
    // so a block is never split. On a new page after the first: with headings the last row's
    // flags cell becomes "U"; an "EJECT" row follows. Then the page header: "Page n" and the date,
    // a blank row, each title centred and bold, two blank lines, and with headings a blank row and
    // a copy of the heading rows. Returns whether a page was started.
    bool pageCheck(int needed, bool withHeadings);
    // Releases rows, titles, column codes and headings.
    void reportClear();
    // Drops the rows only, keeping width, titles, column codes and headings: the next document of
    // a run that sends each one alone starts in an empty buffer (curRow() -1, pageLines() -1,
    // pageNo() 0).
    void discardRows();
    // Documents restart the page count under their letterhead.
    void setPageLines(int lines) { m_pageLines = lines; }
    void setPageNo(int page) { m_pageNo = page; }

    int reportWidth() const { return m_reportWidth; }
    int cellCount() const { return m_cellCount; }
    int flagsCell() const { return m_cellCount - 1; }
    int rowCount() const { return int(m_cells.size() / size_t(m_cellCount)); }
    int curRow() const { return rowCount() - 1; }
    int pageLines() const { return m_pageLines; }
    int pageNo() const { return m_pageNo; }
    int linesPerPage() const { return m_linesPerPage; }
    bool isEmpty() const { return m_cells.empty(); }

    // Cells of the report. cell() is empty outside the grid.
    const QString &cell(int cell, int row) const;
    bool setCell(int cell, int row, const QString &text);
    bool setCell(int cell, int row, QString &&text);
    // The cell of the current (last) row.
    bool setCell(int cell, const QString &text) { return setCell(cell, curRow(), text); }
    bool setCell(int cell, QString &&text) { return setCell(cell, curRow(), std::move(text)); }
    // Writes the column code of `cell` followed by `value` into the current row.
    bool put(int cell, const QString &value);
    const QString &flags(int row) const { return cell(flagsCell(), row); }
    bool setFlags(int row, const QString &flags) { return setCell(flagsCell(), row, flags); }

    // The title lines repeated at the top of every page.
    QStringList &titles() { return m_titles; }
    const QStringList &titles() const { return m_titles; }

    // The column code of each non-flag cell ("L00", "R51", ...).
    const QString &colCode(int cell) const;
    bool setColCode(int cell, const QString &code);
    const QStringList &colCodes() const { return m_colCodes; }

    // The heading block repeated under the titles of every page of a report with headings.
    // reportStart() leaves one empty row; setHeadingRowCount() grows or shrinks it.
    int headingRowCount() const { return int(m_headings.size() / size_t(m_cellCount)); }
    void setHeadingRowCount(int rows);
    const QString &heading(int cell, int row) const;
    bool setHeading(int cell, int row, const QString &text);

    // Cell texts the buffer writes itself, for generators and tests alike.
    // Column numbers as two characters padded with leading blanks (5 -> " 5", 64 -> "64").
    static QString column(int col);
    // The flags cell of an image row: "S", the height and the width in inches, each "%5.2f".
    static QString imageFlags(double heightInches, double widthInches);
    static QString dateText(); // today in the locale's short date format

private:
    LinesPerPageSource m_source;
    int m_reportWidth = 0;
    int m_cellCount = 1;
    int m_pageLines = -1;
    int m_pageNo = 0;
    int m_linesPerPage = kDefaultLinesPerPage;
    std::vector<QString> m_cells;    // row-major, cellCount per row
    std::vector<QString> m_headings; // row-major, cellCount per row
    QStringList m_titles;
    QStringList m_colCodes;
    // The page header's date cell, made once per report (and again should the day change).
    QDate m_headerDate;
    QString m_headerDateCell;
};

// The program's one report buffer: generators fill it, the viewer shows it. Its page length is
// measured on the current printer with the report font (CurrentPrinter.h).
ReportBuffer &reportBuffer();

} // namespace tallyra
