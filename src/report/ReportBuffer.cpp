#include "ReportBuffer.h"

#include "Clock.h"

#include <QLocale>

namespace tallyra {

namespace {

const QString kEmpty;

bool inGrid(int cell, int row, int cellCount, int rowCount)
{
    return cell >= 0 && cell < cellCount && row >= 0 && row < rowCount;
}

} // namespace

ReportBuffer::ReportBuffer(LinesPerPageSource source)
    : m_source(std::move(source))
{}

void ReportBuffer::reportStart(int reportWidth, int cellCount)
{
    m_reportWidth = reportWidth;
    m_cellCount = qMax(1, cellCount);
    m_cells.clear();
    m_pageLines = -1;
    m_pageNo = 0;
    m_titles.clear();
    m_colCodes = QStringList(m_cellCount - 1, QString());
    m_headings.assign(size_t(m_cellCount), QString());
    m_linesPerPage = m_source ? m_source() : kDefaultLinesPerPage;
    m_headerDate = QDate();
}

void ReportBuffer::newRow()
{
    m_cells.resize(m_cells.size() + size_t(m_cellCount));
    ++m_pageLines;
}

void ReportBuffer::reserveRows(int rows, bool withHeadings)
{
    if (rows <= 0)
        return;
    // A page break adds "EJECT", the page line, a blank, the titles, two blanks and with headings
    // a blank and the heading rows; the rest of the page holds body rows.
    const int header = 4 + int(m_titles.size()) + (withHeadings ? 1 + headingRowCount() : 0);
    const int body = qMax(1, m_linesPerPage - header);
    const size_t pages = size_t(rows / body) + 2;
    const size_t total = size_t(rows) + pages * size_t(header + 1);
    m_cells.reserve(m_cells.size() + total * size_t(m_cellCount));
}

bool ReportBuffer::pageCheck(int needed, bool withHeadings)
{
    if (m_pageNo != 0 && needed <= m_linesPerPage)
        return false;

    ++m_pageNo;
    if (m_pageNo > 1) {
        if (withHeadings)
            setFlags(curRow(), QStringLiteral("U"));
        newRow();
        setCell(0, QStringLiteral("EJECT"));
    }

    m_pageLines = 0;
    newRow();
    setCell(0, QStringLiteral("L00Page ") + QString::number(m_pageNo));
    if (m_cellCount > 2) {
        // Formatting the date in the locale costs more than the rest of the page header.
        const QDate day = today();
        if (day != m_headerDate || m_headerDateCell.isEmpty()) {
            m_headerDate = day;
            m_headerDateCell = QStringLiteral("R") + column(m_reportWidth) + dateText();
        }
        setCell(1, m_headerDateCell);
    }
    newRow();
    for (const QString &title : std::as_const(m_titles)) {
        newRow();
        setCell(0, QStringLiteral("C") + column(m_reportWidth / 2) + title);
        setFlags(curRow(), QStringLiteral("B"));
    }
    newRow();
    newRow();
    // A code without text: the row prints as a blank line but keeps its bold flag.
    setCell(0, QStringLiteral("L00"));
    setFlags(curRow(), QStringLiteral("B"));
    if (withHeadings) {
        newRow();
        const int headingRows = headingRowCount();
        for (int h = 0; h < headingRows; ++h) {
            newRow();
            const int row = curRow();
            for (int c = 0; c < m_cellCount; ++c)
                m_cells[size_t(row) * size_t(m_cellCount) + size_t(c)] =
                    m_headings[size_t(h) * size_t(m_cellCount) + size_t(c)];
        }
    }
    return true;
}

void ReportBuffer::reportClear()
{
    m_headerDate = QDate();
    std::vector<QString>().swap(m_cells);
    std::vector<QString>().swap(m_headings);
    m_titles.clear();
    m_colCodes.clear();
    m_pageLines = -1;
    m_pageNo = 0;
}

void ReportBuffer::discardRows()
{
    m_headerDate = QDate();
    m_cells.clear();
    m_pageLines = -1;
    m_pageNo = 0;
}

const QString &ReportBuffer::cell(int cell, int row) const
{
    if (!inGrid(cell, row, m_cellCount, rowCount()))
        return kEmpty;
    return m_cells[size_t(row) * size_t(m_cellCount) + size_t(cell)];
}

bool ReportBuffer::setCell(int cell, int row, const QString &text)
{
    if (!inGrid(cell, row, m_cellCount, rowCount()))
        return false;
    m_cells[size_t(row) * size_t(m_cellCount) + size_t(cell)] = text;
    return true;
}

bool ReportBuffer::setCell(int cell, int row, QString &&text)
{
    if (!inGrid(cell, row, m_cellCount, rowCount()))
        return false;
    m_cells[size_t(row) * size_t(m_cellCount) + size_t(cell)] = std::move(text);
    return true;
}

bool ReportBuffer::put(int cell, const QString &value)
{
    return setCell(cell, colCode(cell) + value);
}

const QString &ReportBuffer::colCode(int cell) const
{
    if (cell < 0 || cell >= m_colCodes.size())
        return kEmpty;
    return m_colCodes.at(cell);
}

bool ReportBuffer::setColCode(int cell, const QString &code)
{
    if (cell < 0 || cell >= m_colCodes.size())
        return false;
    m_colCodes[cell] = code;
    return true;
}

void ReportBuffer::setHeadingRowCount(int rows)
{
    m_headings.resize(size_t(qMax(0, rows)) * size_t(m_cellCount));
}

const QString &ReportBuffer::heading(int cell, int row) const
{
    if (!inGrid(cell, row, m_cellCount, headingRowCount()))
        return kEmpty;
    return m_headings[size_t(row) * size_t(m_cellCount) + size_t(cell)];
}

bool ReportBuffer::setHeading(int cell, int row, const QString &text)
{
    if (!inGrid(cell, row, m_cellCount, headingRowCount()))
        return false;
    m_headings[size_t(row) * size_t(m_cellCount) + size_t(cell)] = text;
    return true;
}

QString ReportBuffer::column(int col)
{
    return QString::number(col).rightJustified(2, QLatin1Char(' '));
}

QString ReportBuffer::imageFlags(double heightInches, double widthInches)
{
    return QStringLiteral("S") + QString::asprintf("%5.2f%5.2f", heightInches, widthInches);
}

QString ReportBuffer::dateText()
{
    return QLocale().toString(today(), QLocale::ShortFormat);
}

} // namespace tallyra
