#include "ReportU.h"

#include "CurrentPrinter.h"
#include "Prompt.h"
#include "ReportFont.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tallyra {

namespace {

constexpr int kMinScreenPointSize = 8;
const QString kExportCaption = QStringLiteral("Export Report");
const QString kUnableToSave = QStringLiteral("Unable to save to: ");

// Keeps the wait cursor up while a long print or export runs.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

// The white drawing area left of the scroll bar.
class TReportF::Canvas : public QWidget
{
public:
    Canvas(TReportF *owner, QScrollBar *scrollBar)
        : QWidget(owner)
        , m_owner(owner)
        , m_scrollBar(scrollBar)
    {
        setObjectName(QStringLiteral("reportCanvasWidget"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        m_owner->paintRows(&painter);
    }
    void wheelEvent(QWheelEvent *event) override { QCoreApplication::sendEvent(m_scrollBar, event); }

private:
    TReportF *m_owner;
    QScrollBar *m_scrollBar;
};

TReportF::TReportF(const ReportBuffer &buffer, QWidget *parent)
    : QDialog(parent)
    , m_buffer(buffer)
{
    setObjectName(QStringLiteral("reportDialog"));
    setWindowTitle(QStringLiteral("Report"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    auto *menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("reportMenuBar"));
    QAction *exitAction = menuBar->addAction(QStringLiteral("E&xit"));
    exitAction->setObjectName(QStringLiteral("exitAction"));
    QAction *printAction = menuBar->addAction(QStringLiteral("Print"));
    printAction->setObjectName(QStringLiteral("printAction"));
    QMenu *exportMenu = menuBar->addMenu(QStringLiteral("&Export"));
    exportMenu->setObjectName(QStringLiteral("exportMenu"));
    QAction *textAction = exportMenu->addAction(QStringLiteral("Ascii &Text"));
    textAction->setObjectName(QStringLiteral("asciiTextAction"));
    QAction *tabAction = exportMenu->addAction(QStringLiteral("Tab &Delimited"));
    tabAction->setObjectName(QStringLiteral("tabDelimitedAction"));
    QAction *pdfAction = exportMenu->addAction(QStringLiteral("PDF"));
    pdfAction->setObjectName(QStringLiteral("pdfAction"));
    connect(exitAction, &QAction::triggered, this, &TReportF::MenuExitClick);
    connect(printAction, &QAction::triggered, this, &TReportF::MenuPrintClick);
    connect(textAction, &QAction::triggered, this, &TReportF::MenuAsciiTextClick);
    connect(tabAction, &QAction::triggered, this, &TReportF::MenuTabDelimitedClick);
    connect(pdfAction, &QAction::triggered, this, &TReportF::MenuPdfClick);

    m_scrollBar = new QScrollBar(Qt::Vertical, this);
    m_scrollBar->setObjectName(QStringLiteral("reportScrollBar"));
    m_canvas = new Canvas(this, m_scrollBar);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &TReportF::ScrollBarChange);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_canvas, 1);
    row->addWidget(m_scrollBar);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar);
    layout->addLayout(row);
}

void TReportF::showReport(QWidget *parent, const ReportBuffer &buffer, const QString &pdfFileName)
{
    if (buffer.isEmpty())
        return;
    TReportF viewer(buffer, parent);
    viewer.setPdfFileName(pdfFileName);
    viewer.setWindowState(viewer.windowState() | Qt::WindowMaximized);
    viewer.exec();
}

void TReportF::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_images.clear();
    layoutReport();
    m_scrollBar->setValue(0);
    m_firstRow = 0;
}

void TReportF::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    layoutReport();
}

void TReportF::layoutReport()
{
    // The layout may run before Qt has placed the children; settle the geometry first.
    if (QLayout *l = layout())
        l->activate();
    const int available = m_canvas->width();
    m_font =
        fitReportFont(ReportFont::font(), m_canvas, m_buffer.reportWidth(), available, kMinScreenPointSize);
    m_geometry = measureReport(m_font, m_canvas, m_buffer.reportWidth(), available);
    m_rowsPerScreen = m_geometry.lineHeight > 0 ? m_canvas->height() / m_geometry.lineHeight : 0;

    const int rows = m_buffer.rowCount();
    if (m_rowsPerScreen < rows) {
        m_scrollBar->setEnabled(true);
        m_scrollBar->setRange(0, rows - m_rowsPerScreen);
        m_scrollBar->setPageStep(qMax(1, m_rowsPerScreen - 1));
        m_scrollBar->setSingleStep(1);
    } else {
        m_scrollBar->setRange(0, 0);
        m_scrollBar->setEnabled(false);
    }
    m_firstRow = m_scrollBar->value();
    m_canvas->update();
}

void TReportF::scrollToRow(int row)
{
    m_scrollBar->setValue(row);
}

void TReportF::ScrollBarChange(int value)
{
    m_firstRow = value;
    m_canvas->update();
}

void TReportF::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Down:
        m_scrollBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return;
    case Qt::Key_Up:
        m_scrollBar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        return;
    case Qt::Key_PageDown:
        m_scrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        return;
    case Qt::Key_PageUp:
        m_scrollBar->triggerAction(QAbstractSlider::SliderPageStepSub);
        return;
    case Qt::Key_Home:
        m_scrollBar->triggerAction(QAbstractSlider::SliderToMinimum);
        return;
    case Qt::Key_End:
        m_scrollBar->triggerAction(QAbstractSlider::SliderToMaximum);
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TReportF::paintRows(QPainter *painter)
{
    const QPaintDevice *device = painter->device();
    painter->fillRect(QRect(0, 0, device->width(), device->height()), Qt::white);
    painter->setBackgroundMode(Qt::TransparentMode);
    ReportRowPainter rows(painter, m_buffer, m_font, m_geometry, ReportRowPainter::Target::Screen, &m_images);
    const int last = qMin(m_buffer.rowCount(), m_firstRow + m_rowsPerScreen) - 1;
    int y = 0;
    for (int row = m_firstRow; row <= last; ++row)
        y = rows.drawRow(row, y);
}

void TReportF::MenuExitClick()
{
    accept();
}

void TReportF::MenuPrintClick()
{
    QPrinter *printer = CurrentPrinter::printer();
    if (CurrentPrinter::isFilePrinter()) {
        const QString path = askFileName(QStringLiteral("Print to File"), QStringLiteral("PDF files (*.pdf)"),
                                         QStringLiteral("pdf"), m_pdfFileName);
        if (path.isEmpty())
            return;
        if (!writePdf(path))
            Prompt::info(this, kUnableToSave + path);
        return;
    }
    printer->setDocName(documentTitle());
    bool printed = false;
    {
        BusyCursor busy;
        printed = printReport(m_buffer, printer, ReportFont::font());
    }
    if (!printed)
        Prompt::info(this, QStringLiteral("Unable to print on ") + printer->printerName());
}

void TReportF::MenuAsciiTextClick()
{
    exportText(TextLayout::Padded);
}

void TReportF::MenuTabDelimitedClick()
{
    exportText(TextLayout::TabDelimited);
}

void TReportF::MenuPdfClick()
{
    const QString path = askFileName(kExportCaption, QStringLiteral("PDF files (*.pdf)"),
                                     QStringLiteral("pdf"), m_pdfFileName);
    if (path.isEmpty())
        return;
    if (!writePdf(path))
        Prompt::info(this, kUnableToSave + path);
}

void TReportF::exportText(TextLayout layout)
{
    const bool padded = layout == TextLayout::Padded;
    const QString path =
        askFileName(kExportCaption,
                    padded ? QStringLiteral("Text files (*.txt)") : QStringLiteral("Delimited files (*.asc)"),
                    padded ? QStringLiteral("txt") : QStringLiteral("asc"));
    if (path.isEmpty())
        return;
    bool saved = false;
    {
        BusyCursor busy;
        saved = saveReportText(m_buffer, layout, path);
    }
    if (!saved)
        Prompt::info(this, kUnableToSave + path);
}

QString TReportF::askFileName(const QString &caption, const QString &filter, const QString &suffix,
                              const QString &proposal)
{
    // The data files are found relative to the working directory; no dialog may move it.
    const QString workingDir = QDir::currentPath();
    const QString path = Prompt::saveFile(this, caption, proposal, filter, suffix);
    QDir::setCurrent(workingDir);
    return path;
}

bool TReportF::writePdf(const QString &path)
{
    BusyCursor busy;
    const QPrinter *printer = CurrentPrinter::printer();
    return saveReportPdf(m_buffer, path, printer->pageLayout(), printer->resolution(), ReportFont::font(),
                         documentTitle());
}

QString TReportF::documentTitle() const
{
    return m_buffer.titles().isEmpty() ? QStringLiteral("Report") : m_buffer.titles().constFirst();
}

} // namespace tallyra
