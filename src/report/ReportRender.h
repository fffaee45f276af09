#pragma once

#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>
#include <functional>

class QPageLayout;
class QPagedPaintDevice;
class QPaintDevice;
class QPainter;

namespace tallyra {

class ReportBuffer;

// Where a report line sits on a device: a column is a whole number of character widths from a
// left margin that centres the report's line on the available width.
struct ReportGeometry
{
    int charWidth = 0;  // width of "B" in device pixels
    int lineHeight = 0; // height of the font ("A") in device pixels
    int ascent = 0;
    int leftMargin = 0;
    int rightMargin = 0;
    int areaWidth = 0; // width available to the report
    int penWidth = 1;  // rules and frames

    int x(int col) const { return col * charWidth + leftMargin; }
};

// Measures `font` on `device` and centres reportWidth character cells on areaWidth.
ReportGeometry measureReport(const QFont &font, const QPaintDevice *device, int reportWidth, int areaWidth);

// Shrinks `font` one point at a time while reportWidth characters are wider than areaWidth and
// the size is above minPointSize.
QFont fitReportFont(QFont font, const QPaintDevice *device, int reportWidth, int areaWidth, int minPointSize);

// Images of "I" cells, loaded once per file. A file that is missing or unreadable gives a null
// image, which draws nothing.
class ReportImageCache
{
public:
    const QImage &image(const QString &fileName);
    void clear() { m_images.clear(); }

private:
    QHash<QString, QImage> m_images;
};

// Draws rows of the buffer with one painter, by the same rules on screen and on paper:
//  - bold rows ("B" in the flags cell), text cells at their placement with their top at y,
//    vertical rules one line high, horizontal rules on the row's top edge, and after a row
//    flagged "U" a rule from the left to the right margin under it;
//  - on screen, "EJECT" is a dotted line across the area and an image is drawn at its natural
//    pixel size; on paper, "EJECT" calls the page-break hook and an image is stretched to the
//    size in inches its row's flags cell gives, at the device's resolution.
class ReportRowPainter
{
public:
    enum class Target
    {
        Screen,
        Paper
    };

    ReportRowPainter(QPainter *painter, const ReportBuffer &buffer, const QFont &font,
                     const ReportGeometry &geometry, Target target, ReportImageCache *images);

    // Paper only: starts a new page and returns the y at which the "EJECT" row continues.
    void setPageBreak(std::function<int()> pageBreak) { m_pageBreak = std::move(pageBreak); }

    // Draws `row` with its top at y; returns the top of the next row.
    int drawRow(int row, int y);

private:
    QPainter *m_painter;
    const ReportBuffer &m_buffer;
    QFont m_regular;
    QFont m_bold;
    ReportGeometry m_geometry;
    Target m_target;
    ReportImageCache *m_images;
    std::function<int()> m_pageBreak;
    int m_dpiX = 96;
    int m_dpiY = 96;
};

// Prints the whole buffer on `device` as one job: the font shrinks (without lower limit, but
// never below one point) until the report's line fits the page width; printing starts three
// lines below the top of the page, and every "EJECT" row starts a new page. False when the job
// cannot be started.
bool printReport(const ReportBuffer &buffer, QPagedPaintDevice *device, const QFont &font);

// The printed report as a PDF file with the given page layout and resolution (those of the
// current printer, so it paginates as printing does). Written through a temporary file that
// replaces an existing file only once complete. False on any failure; an existing file keeps its
// old contents then.
bool saveReportPdf(const ReportBuffer &buffer, const QString &path, const QPageLayout &layout, int resolution,
                   const QFont &font, const QString &title = {});

} // namespace tallyra
