#include "ReportRender.h"

#include "ReportBuffer.h"
#include "ReportCell.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <cmath>

namespace tallyra {

namespace {

int charWidthOf(const QFont &font, const QPaintDevice *device)
{
    return QFontMetrics(font, device).horizontalAdvance(QLatin1Char('B'));
}

QPen solidPen(int width)
{
    return QPen(Qt::black, width, Qt::SolidLine, Qt::FlatCap);
}

} // namespace

ReportGeometry measureReport(const QFont &font, const QPaintDevice *device, int reportWidth, int areaWidth)
{
    const QFontMetrics metrics(font, device);
    ReportGeometry g;
    g.charWidth = metrics.horizontalAdvance(QLatin1Char('B'));
    g.lineHeight = metrics.height();
    g.ascent = metrics.ascent();
    g.areaWidth = areaWidth;
    const int lineWidth = reportWidth * g.charWidth;
    g.leftMargin = int(std::trunc(areaWidth / 2.0 - lineWidth / 2.0));
    g.rightMargin = lineWidth + g.leftMargin;
    // About one screen pixel on any device, so rules stay visible on paper.
    g.penWidth = qMax(1, int(std::lround(device->logicalDpiX() / 96.0)));
    return g;
}

QFont fitReportFont(QFont font, const QPaintDevice *device, int reportWidth, int areaWidth, int minPointSize)
{
    minPointSize = qMax(1, minPointSize);
    int width = charWidthOf(font, device);
    while (areaWidth < reportWidth * width && font.pointSize() > minPointSize) {
        font.setPointSize(font.pointSize() - 1);
        width = charWidthOf(font, device);
    }
    return font;
}

const QImage &ReportImageCache::image(const QString &fileName)
{
    auto it = m_images.constFind(fileName);
    if (it == m_images.constEnd())
        it = m_images.insert(fileName, QImage(fileName));
    return *it;
}

ReportRowPainter::ReportRowPainter(QPainter *painter, const ReportBuffer &buffer, const QFont &font,
                                   const ReportGeometry &geometry, Target target, ReportImageCache *images)
    : m_painter(painter)
    , m_buffer(buffer)
    , m_regular(font)
    , m_bold(font)
    , m_geometry(geometry)
    , m_target(target)
    , m_images(images)
{
    m_bold.setBold(true);
    if (QPaintDevice *device = painter->device()) {
        m_dpiX = device->logicalDpiX();
        m_dpiY = device->logicalDpiY();
    }
}

int ReportRowPainter::drawRow(int row, int y)
{
    QPainter &p = *m_painter;
    const ReportGeometry &g = m_geometry;
    const QString &flags = m_buffer.flags(row);
    const QFont &font = flagsBold(flags) ? m_bold : m_regular;
    p.setFont(font);
    const QFontMetrics metrics(font, p.device());
    const int cells = m_buffer.flagsCell();

    for (int c = 0; c < cells; ++c) {
        const QString &raw = m_buffer.cell(c, row);
        if (raw.isEmpty())
            continue;
        const ReportCell cell = ReportCell::parse(raw);
        switch (cell.kind) {
        case ReportCell::Kind::Empty:
            break;
        case ReportCell::Kind::Eject:
            if (m_target == Target::Paper) {
                if (m_pageBreak)
                    y = m_pageBreak();
            } else {
                p.setPen(QPen(Qt::black, g.penWidth, Qt::DotLine));
                const int lineY = y + g.lineHeight / 2;
                p.drawLine(0, lineY, g.areaWidth - 1, lineY);
            }
            break;
        case ReportCell::Kind::Image: {
            const QImage &image = m_images ? m_images->image(cell.text) : QImage();
            if (image.isNull())
                break;
            const int x = g.x(cell.col);
            if (m_target == Target::Screen) {
                int left = x;
                if (cell.align == QLatin1Char('C'))
                    left = x - image.width() / 2;
                else if (cell.align == QLatin1Char('R'))
                    left = x - image.width();
                p.drawImage(QPoint(left, y), image);
                break;
            }
            double heightInches = 0;
            double widthInches = 0;
            if (!imageSizeFromFlags(flags, &heightInches, &widthInches)) {
                // No size given: the image's own physical size.
                widthInches =
                    image.width() / (image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() * 0.0254 : 96.0);
                heightInches =
                    image.height() / (image.dotsPerMeterY() > 0 ? image.dotsPerMeterY() * 0.0254 : 96.0);
            }
            const int width = int(std::trunc(m_dpiX * widthInches));
            const int height = int(std::trunc(m_dpiY * heightInches));
            int left = x;
            if (cell.align == QLatin1Char('C'))
                left = x - int(std::trunc(m_dpiX * widthInches / 2));
            else if (cell.align == QLatin1Char('R'))
                left = x - width;
            p.drawImage(QRect(left, y, width, height), image);
            break;
        }
        case ReportCell::Kind::VRule: {
            p.setPen(solidPen(g.penWidth));
            const int x = g.x(cell.col);
            p.drawLine(x, y, x, y + g.lineHeight);
            break;
        }
        case ReportCell::Kind::HRule:
            p.setPen(solidPen(g.penWidth));
            p.drawLine(g.x(cell.col), y, g.x(cell.toCol), y);
            break;
        case ReportCell::Kind::Left:
        case ReportCell::Kind::Right:
        case ReportCell::Kind::Centre:
        case ReportCell::Kind::Other: {
            if (cell.text.isEmpty())
                break;
            int x = 0;
            if (cell.kind == ReportCell::Kind::Left) {
                x = g.x(cell.col);
            } else if (cell.kind == ReportCell::Kind::Right) {
                x = g.x(cell.col) - metrics.horizontalAdvance(cell.text);
            } else if (cell.kind == ReportCell::Kind::Centre) {
                x = g.x(cell.col) - metrics.horizontalAdvance(cell.text) / 2;
            }
            p.setPen(Qt::black);
            p.drawText(QPoint(x, y + g.ascent), cell.text);
            break;
        }
        }
    }

    y += g.lineHeight;
    if (flagsUnderline(flags)) {
        p.setPen(solidPen(g.penWidth));
        p.drawLine(g.leftMargin, y, g.rightMargin, y);
    }
    return y;
}

bool printReport(const ReportBuffer &buffer, QPagedPaintDevice *device, const QFont &font)
{
    QPainter painter;
    if (!painter.begin(device))
        return false;
    const int pageWidth = device->width();
    const QFont fitted = fitReportFont(font, device, buffer.reportWidth(), pageWidth, 1);
    const ReportGeometry geometry = measureReport(fitted, device, buffer.reportWidth(), pageWidth);
    const int top = 3 * geometry.lineHeight;
    painter.setBackgroundMode(Qt::TransparentMode);

    ReportImageCache images;
    ReportRowPainter rows(&painter, buffer, fitted, geometry, ReportRowPainter::Target::Paper, &images);
    rows.setPageBreak([&] {
        device->newPage();
        return top - geometry.lineHeight;
    });
    int y = top;
    for (int row = 0; row < buffer.rowCount(); ++row)
        y = rows.drawRow(row, y);
    return painter.end();
}

bool saveReportPdf(const ReportBuffer &buffer, const QString &path, const QPageLayout &layout, int resolution,
                   const QFont &font, const QString &title)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    bool printed = false;
    {
        QPdfWriter writer(&file);
        writer.setResolution(resolution);
        writer.setPageLayout(layout);
        writer.setCreator(QStringLiteral("Tallyra"));
        writer.setTitle(title);
        printed = printReport(buffer, &writer, font);
    }
    if (!printed) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace tallyra
