#pragma once

// The letterhead every invoice, bill, statement and packing list begins with, and the printer
// measurements that decide how many rows cover the top margin and the logo and how long texts
// wrap. No widgets: the measurements come from any paint device (the current printer, a PDF page).

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QString>
#include <array>
#include <memory>

class QPageLayout;
class QPaintDevice;

namespace tallyra {

class ReportBuffer;
struct SettingsRecord;

// The stationery settings the letterhead prints.
struct Letterhead
{
    QString company;
    QString addr1;
    QString addr2;
    QString addr3;
    QString addr4;
    QString logoFile;
    double logoHeight = 0; // inches
    double logoWidth = 0;  // inches
    int justify = 1;       // 1 left, 2 centre, 3 right
    double topMargin = 0;  // inches

    static Letterhead from(const SettingsRecord &settings);
};

// What documents measure on the printer: its vertical resolution, the height of the report font's
// line there, and the printed width of text in the report font made small enough for a line of a
// given number of characters to fit the page (as printing does).
//
// A default-made measure is a character grid: six lines to the inch, every character one unit
// wide and a line of reportWidth units; tests and the text output use it where the printer does
// not matter.
class DocumentMeasure
{
public:
    DocumentMeasure() = default;
    // Measures `font` on `device` (a printer or PDF writer), whose printable width is pageWidth
    // device pixels.
    DocumentMeasure(const QFont &font, const QPaintDevice *device, int pageWidth);
    // The same for a page layout at a resolution (dots per inch), without a printer.
    static DocumentMeasure forPage(const QFont &font, const QPageLayout &layout, int resolution);

    int dpiY() const { return m_dpiY; }
    int lineHeight() const { return m_lineHeight; }
    // The width available to a line of reportWidth characters, and the printed width of `text`
    // (the sum of its characters' advances, kerning left aside).
    int availableWidth(int reportWidth) const;
    int textWidth(const QString &text, int reportWidth) const;

private:
    const QFontMetrics &fitted(int reportWidth) const;

    int m_dpiY = 6;
    int m_lineHeight = 1;
    int m_pageWidth = 0;
    bool m_grid = true;
    QFont m_font;
    std::shared_ptr<QPaintDevice> m_device; // a resolution-only device the font is measured on
    mutable int m_fittedWidth = -1;
    mutable std::shared_ptr<QFontMetrics> m_fitted;
    // Advances of the characters met so far in the fitted font: shaping every prefix of a long
    // text again would make wrapping quadratic in the font engine.
    mutable std::shared_ptr<QHash<char16_t, int>> m_advances;
    mutable std::array<int, 256> m_latin1{}; // advances of Latin-1 characters; 0 until measured
};

// The letterhead at the end of the buffer, which restarts the page count (pageLines() 0, pageNo()
// 1): empty rows covering the top margin, the logo row and empty rows covering its height, the
// company name and address lines in bold with a rule under the last, then today's date at the right
// edge and an empty row. Lines and logo are placed by the justification: column 0, the middle of
// the line, or its right end.
void addLetterhead(ReportBuffer &buffer, const Letterhead &letterhead, const DocumentMeasure &measure);

} // namespace tallyra
