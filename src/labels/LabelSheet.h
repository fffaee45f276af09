#pragma once

// Drawing address labels onto sheets: the geometry of a stock on a printing device and the run
// that fills rows of labels and prints them. No widgets: the program prints on its current
// printer, the command line and the preview on PDF files and preview pages.

#include "LabelRuns.h"
#include "Records.h"

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QStringList>
#include <memory>

class QPagedPaintDevice;
class QFontMetrics;
class QPainter;

namespace tallyra {

inline constexpr int kLabelLines = kLabelLineCount;
inline constexpr int kMinLabelPointSize = 6;

// A stock measured on a device, in device pixels, relative to the printable area of the page.
struct LabelGeometry
{
    int top = 0, left = 0, bottom = 0, right = 0; // margins measured from the printable area
    int width = 0, height = 0, hgap = 0, vgap = 0;
    int rowsPerPage = 0;
    QFont font; // the report font, shrunk until labels hold it
    int lineHeight = 0;
    int ascent = 0;
};

// The page of a device in its own pixels: the whole sheet and the part the device can print on.
struct DevicePage
{
    int dpiX = 72, dpiY = 72;
    QRect paper;     // the whole sheet
    QRect printable; // where the device prints, inside paper
};

DevicePage devicePage(QPagedPaintDevice *device);

// Dimensions in points become pixels at the device's resolution (cut toward zero); margins are
// measured from the printable area and never go below 0. The font starts as `reportFont` and
// loses a point while six times "Abcde" is wider than a label or five lines are higher than it,
// but never goes below kMinLabelPointSize. Rows per page as many label rows as the printable
// height holds between the margins (a last row needs no gap under it).
// REQUIRES: labelStockProblem(stock) is empty.
LabelGeometry measureLabels(const LabelRecord &stock, const DevicePage &page, QPaintDevice *device,
                            const QFont &reportFont);

// One label run on one device. Labels are placed left to right in rows of NAcross, starting at
// the given column and row of the first sheet; a row is printed when it is full and at finish().
// The print job begins with the first printed row: a run that places no label prints nothing.
class LabelSheet
{
public:
    struct Options
    {
        int startColumn = 1;  // limited to 1 .. NAcross
        int startRow = 1;     // at least 1
        bool outline = false; // draw each label's border too, for checking a stock on plain paper
    };

    // REQUIRES: labelStockProblem(stock) is empty; device outlives the sheet.
    LabelSheet(const LabelRecord &stock, QPagedPaintDevice *device, const QFont &reportFont, Options options);
    ~LabelSheet();

    // Puts a label (up to five lines; more are ignored) in the current column. False when the
    // print job cannot begin or a new page cannot be started.
    bool addLabel(const QStringList &lines);
    // Prints a pending row and ends the job. False when the job failed.
    bool finish();

    int labelsPlaced() const { return m_placed; }
    int pagesPrinted() const { return m_pages; }
    // Where the next label would go on the sheet in the printer: column and row (1-based), the
    // row counted on the current page. Meaningful after finish(); a run that ended a sheet's last
    // row gives row 1 of the next sheet.
    QPoint nextPosition() const;
    const LabelGeometry &geometry() const { return m_geometry; }
    // True when the page in the printer is full: the next label would begin a new sheet.
    bool sheetFull() const
    {
        return m_jobBegun && !m_stock.Continuous && m_column == 1 && m_rowNo > m_geometry.rowsPerPage;
    }

private:
    bool beginJob();
    bool printRow();

    LabelRecord m_stock;
    QPagedPaintDevice *m_device;
    QFont m_reportFont;
    Options m_options;
    LabelGeometry m_geometry;
    std::unique_ptr<QPainter> m_painter;
    std::unique_ptr<QFontMetrics> m_metrics;
    QList<QStringList> m_row; // NAcross cells of five lines
    int m_column = 1;
    int m_rowNo = 1;
    bool m_jobBegun = false;
    bool m_failed = false;
    int m_placed = 0;
    int m_pages = 0;
};

} // namespace tallyra
