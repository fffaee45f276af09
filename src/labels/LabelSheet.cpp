#include "LabelSheet.h"

#include "LabelStock.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>

namespace tallyra {

namespace {

int toPixels(double points, int dpi)
{
    return int(double(dpi) * points / 72.0); // cut toward zero
}

} // namespace

DevicePage devicePage(QPagedPaintDevice *device)
{
    DevicePage page;
    page.dpiX = device->logicalDpiX();
    page.dpiY = device->logicalDpiY();
    const QPageLayout layout = device->pageLayout();
    // Pixels at the horizontal resolution; devices that print at different resolutions across
    // and down are rare enough that the layout's own single resolution is used for the rectangle.
    page.paper = layout.fullRectPixels(page.dpiX);
    page.printable = layout.paintRectPixels(page.dpiX);
    return page;
}

LabelGeometry measureLabels(const LabelRecord &stock, const DevicePage &page, QPaintDevice *device,
                            const QFont &reportFont)
{
    LabelGeometry g;
    const int offsetX = page.printable.left() - page.paper.left();
    const int offsetY = page.printable.top() - page.paper.top();
    const int belowPrintable = page.paper.bottom() - page.printable.bottom();
    const int rightOfPrintable = page.paper.right() - page.printable.right();
    g.top = qMax(0, toPixels(stock.TopM, page.dpiY) - offsetY);
    g.left = qMax(0, toPixels(stock.LeftM, page.dpiX) - offsetX);
    g.bottom = qMax(0, toPixels(stock.BottomM, page.dpiY) - belowPrintable);
    g.right = qMax(0, toPixels(stock.RightM, page.dpiX) - rightOfPrintable);
    g.width = toPixels(stock.Width, page.dpiX);
    g.height = toPixels(stock.Height, page.dpiY);
    g.hgap = toPixels(stock.HGap, page.dpiX);
    g.vgap = toPixels(stock.VGap, page.dpiY);

    QFont font = reportFont;
    if (font.pointSize() < kMinLabelPointSize)
        font.setPointSize(kMinLabelPointSize);
    const auto widthOfSample = [&] {
        return 6 * QFontMetrics(font, device).horizontalAdvance(QStringLiteral("Abcde"));
    };
    while (widthOfSample() > g.width && font.pointSize() > kMinLabelPointSize)
        font.setPointSize(font.pointSize() - 1);
    while (kLabelLines * QFontMetrics(font, device).height() > g.height &&
           font.pointSize() > kMinLabelPointSize)
        font.setPointSize(font.pointSize() - 1);
    const QFontMetrics metrics(font, device);
    g.font = font;
    g.lineHeight = metrics.height();
    g.ascent = metrics.ascent();

    const int pitch = g.height + g.vgap;
    const int usable = page.printable.height() - g.top - g.bottom;
    if (pitch > 0 && usable > 0) {
        g.rowsPerPage = usable / pitch;
        if (usable >= g.rowsPerPage * pitch + g.height)
            ++g.rowsPerPage;
    }
    return g;
}

LabelSheet::LabelSheet(const LabelRecord &stock, QPagedPaintDevice *device, const QFont &reportFont,
                       Options options)
    : m_stock(stock)
    , m_device(device)
    , m_reportFont(reportFont)
    , m_options(options)
{
    const int across = int(qMax<qint64>(1, m_stock.NAcross));
    m_column = qBound(1, m_options.startColumn, across);
    m_rowNo = qMax(1, m_options.startRow);
    m_row = QList<QStringList>(across);
}

LabelSheet::~LabelSheet()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

bool LabelSheet::beginJob()
{
    const DevicePage page = devicePage(m_device);
    m_geometry = measureLabels(m_stock, page, m_device, m_reportFont);
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_device)) {
        m_failed = true;
        return false;
    }
    m_painter->setFont(m_geometry.font);
    m_metrics = std::make_unique<QFontMetrics>(m_geometry.font, m_device);
    m_jobBegun = true;
    m_pages = 1;
    return true;
}

bool LabelSheet::printRow()
{
    if (!m_jobBegun && !beginJob())
        return false;
    const LabelGeometry &g = m_geometry;
    if (!m_stock.Continuous && m_rowNo > g.rowsPerPage) {
        if (!m_device->newPage()) {
            m_failed = true;
            return false;
        }
        ++m_pages;
        m_rowNo = 1;
    }
    const int rowTop = (m_rowNo - 1) * (g.height + g.vgap) + g.top;
    for (int j = 0; j < m_row.size(); ++j) {
        const int x = j * (g.width + g.hgap) + g.left;
        if (m_options.outline) {
            m_painter->save();
            m_painter->setPen(QPen(Qt::gray, 0, Qt::DotLine));
            m_painter->drawRect(QRect(x, rowTop, g.width, g.height));
            m_painter->restore();
        }
        // A line wider than its label may run into the gap, never onto the next label. Most
        // lines fit, and clipping costs the PDF output dearly, so only long lines are clipped.
        const QRect room(x, rowTop, g.width + g.hgap, kLabelLines * g.lineHeight + g.vgap);
        int y = rowTop;
        for (const QString &line : m_row[j]) {
            if (!line.isEmpty()) {
                if (m_metrics->horizontalAdvance(line) <= room.width()) {
                    m_painter->drawText(x, y + g.ascent, line);
                } else {
                    m_painter->save();
                    m_painter->setClipRect(room);
                    m_painter->drawText(x, y + g.ascent, line);
                    m_painter->restore();
                }
            }
            y += g.lineHeight;
        }
    }
    return true;
}

bool LabelSheet::addLabel(const QStringList &lines)
{
    if (m_failed)
        return false;
    m_row[m_column - 1] = lines.mid(0, kLabelLines);
    ++m_placed;
    if (m_column < m_row.size()) {
        ++m_column;
        return true;
    }
    const bool printed = printRow();
    for (QStringList &cell : m_row)
        cell.clear();
    m_column = 1;
    ++m_rowNo;
    return printed;
}

bool LabelSheet::finish()
{
    if (m_failed)
        return false;
    if (m_column > 1 && !printRow())
        return false;
    if (m_painter && m_painter->isActive())
        return m_painter->end();
    return true;
}

QPoint LabelSheet::nextPosition() const
{
    int row = m_rowNo;
    if (!m_stock.Continuous && m_geometry.rowsPerPage > 0 && row > m_geometry.rowsPerPage)
        row = 1;
    return {m_column, row};
}

} // namespace tallyra
