#include "Letterhead.h"

#include "ReportBuffer.h"
#include "ReportRender.h"
#include "Settings.h"

#include <QImage>
#include <QPageLayout>
#include <cmath>

namespace tallyra {

Letterhead Letterhead::from(const SettingsRecord &s)
{
    Letterhead l;
    l.company = s.Company;
    l.addr1 = s.Addr1;
    l.addr2 = s.Addr2;
    l.addr3 = s.Addr3;
    l.addr4 = s.Addr4;
    l.logoFile = s.LogoFile;
    l.logoHeight = s.LogoHeight;
    l.logoWidth = s.LogoWidth;
    l.justify = int(s.LHJustify);
    l.topMargin = s.TopMargin;
    return l;
}

namespace {

// A device that only carries a resolution, so fonts are measured as they print there.
std::shared_ptr<QPaintDevice> resolutionDevice(int dpiX, int dpiY)
{
    auto image = std::make_shared<QImage>(1, 1, QImage::Format_Mono);
    image->setDotsPerMeterX(int(std::lround(dpiX / 0.0254)));
    image->setDotsPerMeterY(int(std::lround(dpiY / 0.0254)));
    return image;
}

} // namespace

DocumentMeasure::DocumentMeasure(const QFont &font, const QPaintDevice *device, int pageWidth)
    : m_dpiY(device->logicalDpiY())
    , m_lineHeight(qMax(1, QFontMetrics(font, device).height()))
    , m_pageWidth(pageWidth)
    , m_grid(false)
    , m_font(font)
    , m_device(resolutionDevice(device->logicalDpiX(), device->logicalDpiY()))
{
    m_dpiY = m_device->logicalDpiY();
    m_lineHeight = qMax(1, QFontMetrics(font, m_device.get()).height());
}

DocumentMeasure DocumentMeasure::forPage(const QFont &font, const QPageLayout &layout, int resolution)
{
    const auto device = resolutionDevice(resolution, resolution);
    return DocumentMeasure(font, device.get(), layout.paintRectPixels(resolution).width());
}

const QFontMetrics &DocumentMeasure::fitted(int reportWidth) const
{
    if (!m_fitted || m_fittedWidth != reportWidth) {
        const QFont font = fitReportFont(m_font, m_device.get(), reportWidth, m_pageWidth, 1);
        m_fitted = std::make_shared<QFontMetrics>(font, m_device.get());
        m_advances = std::make_shared<QHash<char16_t, int>>();
        m_latin1.fill(0);
        m_fittedWidth = reportWidth;
    }
    return *m_fitted;
}

int DocumentMeasure::availableWidth(int reportWidth) const
{
    if (m_grid)
        return reportWidth;
    return reportWidth * fitted(reportWidth).horizontalAdvance(QLatin1Char('B'));
}

int DocumentMeasure::textWidth(const QString &text, int reportWidth) const
{
    if (m_grid)
        return int(text.size());
    const QFontMetrics &metrics = fitted(reportWidth);
    int width = 0;
    for (const QChar c : text) {
        if (c.unicode() < 256) {
            int &advance = m_latin1[c.unicode()];
            if (advance == 0)
                advance = qMax(1, metrics.horizontalAdvance(c));
            width += advance;
            continue;
        }
        auto it = m_advances->constFind(c.unicode());
        if (it == m_advances->constEnd())
            it = m_advances->insert(c.unicode(), metrics.horizontalAdvance(c));
        width += *it;
    }
    return width;
}

void addLetterhead(ReportBuffer &b, const Letterhead &l, const DocumentMeasure &measure)
{
    b.setPageLines(0);
    b.setPageNo(1);
    const int width = b.reportWidth();
    QString prefix = QStringLiteral("L00");
    if (l.justify == 2)
        prefix = QStringLiteral("C") + ReportBuffer::column(width / 2);
    else if (l.justify == 3)
        prefix = QStringLiteral("R") + ReportBuffer::column(width);

    if (l.topMargin > 0) {
        while (double(measure.dpiY()) * l.topMargin > double(measure.lineHeight()) * b.pageLines())
            b.newRow();
    }

    const QString company = l.company.trimmed();
    const QString addr1 = l.addr1.trimmed();
    const QString addr2 = l.addr2.trimmed();
    const QString addr3 = l.addr3.trimmed();
    const QString addr4 = l.addr4.trimmed();
    const bool anyText =
        !(company.isEmpty() && addr1.isEmpty() && addr2.isEmpty() && addr3.isEmpty() && addr4.isEmpty());

    const QString logo = l.logoFile.trimmed();
    if (!logo.isEmpty()) {
        b.newRow();
        b.setCell(0, QStringLiteral("I") + prefix + logo);
        b.setFlags(b.curRow(), ReportBuffer::imageFlags(l.logoHeight, l.logoWidth));
        const int n = int(std::trunc(measure.dpiY() * l.logoHeight / measure.lineHeight()));
        for (int i = 0; i < n; ++i)
            b.newRow();
        if (n > 1 && !anyText)
            b.setFlags(b.curRow(), QStringLiteral("U"));
    }

    if (anyText) {
        QStringList lines = {company, addr1, addr2};
        if (!addr3.isEmpty() || !addr4.isEmpty())
            lines << addr3;
        if (!addr4.isEmpty())
            lines << addr4;
        for (const QString &line : std::as_const(lines)) {
            b.newRow();
            b.setCell(0, prefix + line);
            b.setFlags(b.curRow(), QStringLiteral("B"));
        }
        b.setFlags(b.curRow(), QStringLiteral("BU"));
    }
    b.newRow();
    b.setCell(0, QStringLiteral("R") + ReportBuffer::column(width) + ReportBuffer::dateText());
    b.newRow();
}

} // namespace tallyra
