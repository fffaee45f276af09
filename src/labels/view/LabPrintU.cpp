#include "LabPrintU.h"

#include "AddressBlock.h"
#include "CurrentPrinter.h"
#include "EnterMovesFocus.h"
#include "LabelPositions.h"
#include "LabelStock.h"
#include "Prompt.h"
#include "ReportFont.h"
#include "Tables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace tallyra {

TLabPrint::TLabPrint(db::Engine &engine, const QString &dataDir, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
    , m_dataDir(dataDir)
{
    setObjectName(QStringLiteral("labPrintDialog"));
    setWindowTitle(QStringLiteral("Print Labels"));
    setModal(true);

    m_stockBox = new QComboBox(this);
    m_stockBox->setObjectName(QStringLiteral("labelStockCombo"));
    m_stockBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_column = new QSpinBox(this);
    m_column->setObjectName(QStringLiteral("startColumnSpin"));
    m_column->setRange(1, 9);
    m_row = new QSpinBox(this);
    m_row->setObjectName(QStringLiteral("startRowSpin"));
    m_row->setRange(1, 99);
    m_outline = new QCheckBox(QStringLiteral("Outline labels (to check a stock on plain paper)"), this);
    m_outline->setObjectName(QStringLiteral("outlineCheck"));

    m_preview = new QPushButton(QStringLiteral("Preview"), this);
    m_preview->setObjectName(QStringLiteral("previewButton"));
    m_print = new QPushButton(QStringLiteral("Print"), this);
    m_print->setObjectName(QStringLiteral("printButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_print->setDefault(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Label Stock:"), m_stockBox);
    form->addRow(QStringLiteral("Starting Column:"), m_column);
    form->addRow(QStringLiteral("Row:"), m_row);
    form->addRow(QString(), m_outline);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_preview);
    buttons->addStretch(1);
    buttons->addWidget(m_print);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    EnterMovesFocus::install(this);
    connect(m_stockBox, &QComboBox::currentIndexChanged, this, &TLabPrint::ComboStockChange);
    connect(m_print, &QPushButton::clicked, this, &TLabPrint::BtnPrintClick);
    connect(m_preview, &QPushButton::clicked, this, &TLabPrint::BtnPreviewClick);
    connect(m_cancel, &QPushButton::clicked, this, &TLabPrint::reject);
}

bool TLabPrint::ask(db::Table &labels, const QString &lastUsed)
{
    m_stocks.clear();
    const QSignalBlocker quiet(m_stockBox);
    m_stockBox->clear();
    labels.selectTag(QStringLiteral("Labels"));
    int preselect = 0;
    for (bool more = labels.top(); more; more = labels.skip(1)) {
        LabelRecord r;
        if (!loadLabel(labels, r).isOk())
            break;
        if (r.Name.trimmed() == lastUsed.trimmed())
            preselect = int(m_stocks.size());
        m_stocks << r;
        m_stockBox->addItem(r.Name);
    }
    labels.takeError();
    if (m_stocks.isEmpty())
        return false;
    m_stockBox->setCurrentIndex(preselect);
    ComboStockChange(preselect);
    m_outline->setChecked(false);
    m_stockBox->setFocus();
    return exec() == QDialog::Accepted;
}

void TLabPrint::ComboStockChange(int index)
{
    if (index < 0 || index >= m_stocks.size())
        return;
    m_stock = m_stocks[index];
    // The sheet of this stock in the printer is probably the one the last run left partly used.
    const QPoint next = rememberedLabelPosition(m_dataDir, m_stock.Name);
    m_column->setRange(1, int(std::clamp<qint64>(m_stock.NAcross, 1, 9)));
    m_column->setValue(next.x());
    m_row->setValue(next.y());
}

LabelSheet::Options TLabPrint::options() const
{
    return {m_column->value(), m_row->value(), m_outline->isChecked()};
}

void TLabPrint::BtnPrintClick()
{
    const int index = m_stockBox->currentIndex();
    if (index < 0) {
        reject();
        return;
    }
    m_stock = m_stocks[index];
    if (const QString problem = labelStockProblem(m_stock); !problem.isEmpty()) {
        Prompt::info(this, m_stock.Name.trimmed() + QStringLiteral(": ") + problem);
        return;
    }
    accept();
}

void TLabPrint::BtnPreviewClick()
{
    const int index = m_stockBox->currentIndex();
    if (index < 0)
        return;
    m_stock = m_stocks[index];
    if (const QString problem = labelStockProblem(m_stock); !problem.isEmpty()) {
        Prompt::info(this, m_stock.Name.trimmed() + QStringLiteral(": ") + problem);
        return;
    }
    QPrintPreviewDialog preview(CurrentPrinter::printer(), this);
    preview.setObjectName(QStringLiteral("labelPreviewDialog"));
    preview.setWindowTitle(QStringLiteral("Label Preview"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, &TLabPrint::drawPreview);
    preview.exec();
}

void TLabPrint::drawPreview(QPrinter *printer)
{
    // The first page as the run will fill it, with the business's first customers as samples.
    QList<QStringList> samples;
    const OpenResult customers = openCustomers(m_engine);
    if (customers) {
        CustomerRecord c;
        for (bool more = customers.table->top(); more && samples.size() < 50;
             more = customers.table->skip(1)) {
            if (!customers.table->isDeleted() && loadCustomer(*customers.table, c).isOk())
                samples << addressBlock(c.Title, c.First, c.Last, {c.Addr1, c.Addr2, c.Addr3, c.Addr4},
                                        c.Zip);
        }
        customers.table->takeError();
    }
    if (samples.isEmpty())
        samples << QStringList{QStringLiteral("Customer Name"), QStringLiteral("Street"),
                               QStringLiteral("Town  Zip")};
    LabelSheet sheet(m_stock, printer, ReportFont::font(), options());
    for (int i = 0; sheet.pagesPrinted() <= 1 && i < 2000; ++i) {
        if (!sheet.addLabel(samples[i % samples.size()]))
            break;
        if (sheet.sheetFull())
            break;
        if (m_stock.Continuous && i >= 30)
            break;
    }
    sheet.finish();
}

} // namespace tallyra
