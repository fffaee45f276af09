#pragma once

#include "ReportBuffer.h"
#include "ReportRender.h"
#include "ReportText.h"

#include <QDialog>
#include <QFont>

class QAction;
class QScrollBar;

namespace tallyra {

// The report viewer: a maximized white window showing the report buffer, with a vertical scroll
// bar on the right and the menu "E&xit", "Print", "&Export" ("Ascii &Text", "Tab &Delimited",
// "PDF"). The screen font is the report font, made smaller (down to 8 points) until the report's
// line fits the window; a report still wider is cut at the right.
//
// The viewer only reads the buffer; printing and exporting can be repeated.
class TReportF : public QDialog
{
    Q_OBJECT

public:
    explicit TReportF(const ReportBuffer &buffer, QWidget *parent = nullptr);

    // What every generator calls once the buffer is filled: shows the buffer maximized and
    // modally, and returns when the viewer is closed. An empty buffer is not shown. `pdfFileName`
    // is the name the PDF export and printing to a file propose ("Invoice 1001.pdf"); empty
    // proposes none.
    static void showReport(QWidget *parent, const ReportBuffer &buffer = reportBuffer(),
                           const QString &pdfFileName = {});

    void setPdfFileName(const QString &name) { m_pdfFileName = name; }
    QString pdfFileName() const { return m_pdfFileName; }

    // The screen layout, as computed for the current window size.
    QFont screenFont() const { return m_font; }
    const ReportGeometry &geometry() const { return m_geometry; }
    int rowsPerScreen() const { return m_rowsPerScreen; }
    int firstRow() const { return m_firstRow; }
    void scrollToRow(int row);

    // Paints the visible rows as the window does (the drawing area is the painter's device).
    void paintRows(QPainter *painter);

public Q_SLOTS:
    void MenuExitClick();
    void MenuPrintClick();
    void MenuAsciiTextClick();
    void MenuTabDelimitedClick();
    void MenuPdfClick();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    class Canvas;

    void layoutReport();
    void ScrollBarChange(int value);
    void exportText(TextLayout layout);
    // Asks for a file name with the working directory kept; empty when cancelled.
    QString askFileName(const QString &caption, const QString &filter, const QString &suffix,
                        const QString &proposal = {});
    bool writePdf(const QString &path);
    QString documentTitle() const;

    const ReportBuffer &m_buffer;
    Canvas *m_canvas = nullptr;
    QScrollBar *m_scrollBar = nullptr;
    QFont m_font;
    ReportGeometry m_geometry;
    ReportImageCache m_images;
    int m_rowsPerScreen = 0;
    int m_firstRow = 0;
    QString m_pdfFileName;
};

} // namespace tallyra
