#include "PickPmtU.h"

#include "EnterMovesFocus.h"
#include "FormRules.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tallyra {

namespace {
constexpr int kDateLetters = 7;
constexpr int kAmountLetters = 10;
constexpr int kScrollRoom = 16; // room for the scroll bar beyond eleven rows
constexpr int kRowsWithoutScroll = 11;
} // namespace

TPickPmt::TPickPmt(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("pickPmtDialog"));
    setWindowTitle(QStringLiteral("Select Payment"));

    m_grid = new QTableWidget(this);
    m_grid->setObjectName(QStringLiteral("paymentGrid"));
    m_grid->setColumnCount(2);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("Date"), QStringLiteral("Amount")});
    m_grid->verticalHeader()->hide();
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setStretchLastSection(true);

    m_select = new QPushButton(QStringLiteral("Select"), this);
    m_select->setObjectName(QStringLiteral("selectButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_select->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_select);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_grid);
    layout->addLayout(buttons);

    connect(m_select, &QPushButton::clicked, this, &TPickPmt::BtnSelectClick);
    connect(m_cancel, &QPushButton::clicked, this, &TPickPmt::BtnCancelClick);
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, &TPickPmt::BtnSelectClick);
    EnterMovesFocus::install(this);
}

void TPickPmt::setPayments(const QList<InvoicePayment> &payments)
{
    m_grid->clearContents();
    m_grid->setRowCount(int(payments.size()));
    const QLocale locale;
    for (int row = 0; row < payments.size(); ++row) {
        const InvoicePayment &p = payments.at(row);
        auto *date = new QTableWidgetItem(locale.toString(p.date, QLocale::ShortFormat));
        auto *amount = new QTableWidgetItem(formatAmount(p.amount));
        amount->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_grid->setItem(row, 0, date);
        m_grid->setItem(row, 1, amount);
    }
    if (!payments.isEmpty())
        m_grid->selectRow(0);

    // Columns of 7 and 10 letters M, wider when the font in use needs more for the longest date
    // or amount; the grid as wide as both plus a pixel, with room for the scroll bar when the rows
    // do not all fit, and the window wide enough for its caption.
    constexpr int kCellMargins = 14;
    const QFontMetrics metrics = m_grid->fontMetrics();
    const int letter = fontMetrics().horizontalAdvance(QLatin1Char('M'));
    int dateWidth =
        qMax(kDateLetters * letter, metrics.horizontalAdvance(m_grid->horizontalHeaderItem(0)->text()));
    int amountWidth = qMax(kAmountLetters * letter, widthFor(m_grid, 10, TextKind::Figures));
    for (int row = 0; row < m_grid->rowCount(); ++row) {
        dateWidth = qMax(dateWidth, metrics.horizontalAdvance(m_grid->item(row, 0)->text()) + kCellMargins);
        amountWidth =
            qMax(amountWidth, metrics.horizontalAdvance(m_grid->item(row, 1)->text()) + kCellMargins);
    }
    m_grid->setColumnWidth(0, dateWidth);
    m_grid->setColumnWidth(1, amountWidth);
    int width = dateWidth + amountWidth + 1 + 2 * m_grid->frameWidth();
    if (payments.size() > kRowsWithoutScroll)
        width += kScrollRoom;
    m_grid->setMinimumWidth(width);
    const int margins = layout()->contentsMargins().left();
    // The caption with room for the title bar's buttons.
    constexpr int kTitleButtons = 120;
    const int captionWidth = fontMetrics().horizontalAdvance(windowTitle()) + kTitleButtons;
    const int needed = qMax(margins + width + kScrollRoom, captionWidth);
    if (this->width() < needed)
        resize(needed, height());
    setMinimumWidth(needed);
}

int TPickPmt::run()
{
    m_chosen = -1;
    m_grid->setFocus();
    exec();
    return m_chosen;
}

void TPickPmt::BtnSelectClick()
{
    const int row = m_grid->currentRow();
    if (row < 0 || row >= m_grid->rowCount())
        return;
    m_chosen = row;
    accept();
}

void TPickPmt::BtnCancelClick()
{
    m_chosen = -1;
    reject();
}

} // namespace tallyra
