#include "InvoiceU.h"

#include "Clock.h"
#include "EnterMovesFocus.h"
#include "FormRules.h"
#include "ItemDefU.h"
#include "MoneyBox.h"
#include "PickPmtU.h"
#include "PmtDefU.h"
#include "Prompt.h"
#include "ZoneLookup.h"

#include <QApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tallyra {

namespace {

constexpr int kNoteLength = 30;
constexpr int kCustomerNoteLength = 34;
constexpr int kDepartmentLength = 20;
constexpr int kStartRows = 4; // item rows of an empty grid
// The grid's columns: how many characters of which kind the widest value of each takes
// (Product ID and Description as their fields hold them; Price "%8.2f" and Quantity "%9.2f" with
// a sign; Total "%10.2f" with its two flags, for the largest amount the field holds).
struct GridColumn
{
    int characters;
    TextKind kind;
};
constexpr GridColumn kColumns[] = {{10, TextKind::Codes},
                                   {27, TextKind::Text},
                                   {9, TextKind::Figures},
                                   {10, TextKind::Figures},
                                   {15, TextKind::Figures}};

QString numberText(qint64 number)
{
    return QString::number(number).rightJustified(6, QLatin1Char(' '));
}

MoneyBox *amountBox(QWidget *parent, const char *name, bool readOnly)
{
    // Nine whole digits: as much as the invoice's money fields hold.
    auto *box = new MoneyBox(10, 9, 2, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(readOnly);
    if (readOnly)
        box->setFocusPolicy(Qt::NoFocus);
    return box;
}

QPushButton *button(QWidget *parent, const QString &text, const char *name)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

TInvoice::TInvoice(db::Engine &engine, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
    , m_store(engine)
    , m_invoice(currentInvoice())
    , m_totals(currentInvoice(), ChargeSettings())
{
    setObjectName(QStringLiteral("invoiceDialog"));
    setWindowTitle(QStringLiteral("Invoice"));
    m_itemDialog = new TItemDef(this);
    m_paymentDialog = new TPmtDef(this);
    m_paymentList = new TPickPmt(this);
    buildForm();
    EnterMovesFocus::install(this);
    // Items, payments and the customer are changes too, beside what the boxes hold.
    DiscardGuard::of(this)->setExtraState([this] {
        QStringList state{QString::number(m_invoice.customerNumber)};
        for (int i = 0; i < m_invoice.items.size(); ++i)
            state << m_totals.gridRow(i).join(QLatin1Char('|'));
        for (const InvoicePayment &p : std::as_const(m_invoice.payments))
            state << p.date.toString(Qt::ISODate) + QLatin1Char('|') + QString::number(p.amount, 'f', 2);
        return state.join(QLatin1Char('\n'));
    });
}

void TInvoice::reject()
{
    if (!DiscardGuard::of(this)->confirmDiscard())
        return;
    QDialog::reject();
}

TInvoice::~TInvoice() = default;

void TInvoice::buildForm()
{
    m_customerButton = button(this, QStringLiteral("Customer"), "customerButton");
    m_editCustomerButton = button(this, QStringLiteral("Edit"), "editCustomerButton");
    m_address = new QPlainTextEdit(this);
    m_address->setObjectName(QStringLiteral("addressEdit"));
    m_address->setReadOnly(true);
    m_address->setFocusPolicy(Qt::NoFocus);
    m_address->setFixedHeight(6 * fontMetrics().lineSpacing());
    m_customerNote = new QLineEdit(this);
    m_customerNote->setObjectName(QStringLiteral("customerNoteEdit"));
    m_customerNote->setMaxLength(kCustomerNoteLength);
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("invoiceNumberEdit"));
    m_number->setReadOnly(true);
    m_number->setFocusPolicy(Qt::NoFocus);
    m_number->setAlignment(Qt::AlignRight);
    m_date = new QDateEdit(this);
    m_date->setObjectName(QStringLiteral("dateSoldEdit"));
    m_date->setCalendarPopup(true);
    setupDateBox(m_date);
    m_department = new QLineEdit(this);
    m_department->setObjectName(QStringLiteral("departmentEdit"));
    m_department->setMaxLength(kDepartmentLength);
    m_note = new QLineEdit(this);
    m_note->setObjectName(QStringLiteral("noteEdit"));
    m_note->setMaxLength(kNoteLength);

    m_grid = new QTableWidget(kStartRows, 5, this);
    m_grid->setObjectName(QStringLiteral("itemGrid"));
    m_grid->setHorizontalHeaderLabels({QStringLiteral("Product ID"), QStringLiteral("Description"),
                                       QStringLiteral("Price"), QStringLiteral("Quantity"),
                                       QStringLiteral("Total")});
    m_grid->verticalHeader()->hide();
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_grid->setWordWrap(false);
    m_grid->setTextElideMode(Qt::ElideNone);
    QFont fixed = m_grid->font();
    fixed.setFamily(QStringLiteral("DejaVu Sans Mono"));
    fixed.setStyleHint(QFont::Monospace);
    m_grid->setFont(fixed);
    // Widths by the grid's own font, so the widest value of each column shows on one line; the
    // last column takes what the window gives beyond that.
    int gridWidth = 0;
    for (int c = 0; c < 5; ++c) {
        const int width = widthFor(m_grid, kColumns[c].characters, kColumns[c].kind);
        m_grid->setColumnWidth(c, width);
        gridWidth += width;
    }
    m_grid->horizontalHeader()->setStretchLastSection(true);
    // One text line per row; the header and four item rows in view at the least.
    const int rowHeight = m_grid->fontMetrics().height() + 6;
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    m_grid->setMinimumHeight(m_grid->horizontalHeader()->sizeHint().height() + 4 * rowHeight +
                             2 * m_grid->frameWidth());
    m_grid->setMinimumWidth(gridWidth + m_grid->verticalScrollBar()->sizeHint().width() +
                            2 * m_grid->frameWidth());
    m_grid->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    m_addItem = button(this, QStringLiteral("Add Item"), "addItemButton");
    m_editItem = button(this, QStringLiteral("Edit Item"), "editItemButton");
    m_addPayment = button(this, QStringLiteral("Add Paym't"), "addPaymentButton");
    m_editPayment = button(this, QStringLiteral("Edit Paym't"), "editPaymentButton");

    m_discount = new MoneyBox(5, 2, 2, this);
    m_discount->setObjectName(QStringLiteral("discountBox"));
    m_discountAmount = amountBox(this, "discountAmountBox", true);
    m_subtotal = amountBox(this, "subtotalBox", true);
    m_ship = amountBox(this, "shipBox", false);
    m_tax = amountBox(this, "taxBox", false);
    m_total = amountBox(this, "totalBox", true);
    m_payments = amountBox(this, "paymentsBox", true);
    m_due = amountBox(this, "amountDueBox", true);
    m_shipLabel = new QLabel(this);
    m_shipLabel->setObjectName(QStringLiteral("shipLabel"));
    m_taxLabel = new QLabel(this);
    m_taxLabel->setObjectName(QStringLiteral("taxLabel"));

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("memoEdit"));
    m_memo->setTabChangesFocus(true);

    m_print = button(this, QStringLiteral("Print"), "printButton");
    m_email = button(this, QStringLiteral("EMail"), "emailButton");
    m_packingList = button(this, QStringLiteral("Packing List"), "packingListButton");
    m_save = button(this, QStringLiteral("Save"), "saveButton");
    m_delete = button(this, QStringLiteral("Delete"), "deleteButton");
    m_cancel = button(this, QStringLiteral("Cancel"), "cancelButton");

    // Customer and invoice header.
    auto *customer = new QGridLayout;
    customer->addWidget(m_customerButton, 0, 0);
    customer->addWidget(m_editCustomerButton, 1, 0, Qt::AlignTop);
    customer->addWidget(m_address, 0, 1, 3, 1);
    customer->addWidget(new QLabel(QStringLiteral("Customer Note"), this), 3, 0);
    customer->addWidget(m_customerNote, 3, 1);
    auto *header = new QGridLayout;
    header->addWidget(new QLabel(QStringLiteral("Invoice"), this), 0, 0);
    header->addWidget(m_number, 0, 1);
    header->addWidget(new QLabel(QStringLiteral("Date Sold"), this), 1, 0);
    header->addWidget(m_date, 1, 1);
    header->addWidget(new QLabel(QStringLiteral("Department"), this), 2, 0);
    header->addWidget(m_department, 2, 1);
    header->addWidget(new QLabel(QStringLiteral("Credit Card or Note"), this), 3, 0);
    header->addWidget(m_note, 3, 1);
    auto *top = new QHBoxLayout;
    top->addLayout(customer, 3);
    top->addLayout(header, 2);

    // Items and payments buttons beside the grid.
    auto *itemsBox = new QGroupBox(QStringLiteral("Line Items"), this);
    auto *itemsLayout = new QVBoxLayout(itemsBox);
    itemsLayout->addWidget(m_addItem);
    itemsLayout->addWidget(m_editItem);
    auto *paymentsBox = new QGroupBox(QStringLiteral("Payments"), this);
    auto *paymentsLayout = new QVBoxLayout(paymentsBox);
    paymentsLayout->addWidget(m_addPayment);
    paymentsLayout->addWidget(m_editPayment);
    auto *side = new QVBoxLayout;
    side->addWidget(itemsBox);
    side->addWidget(paymentsBox);
    side->addStretch();
    auto *middle = new QHBoxLayout;
    middle->addWidget(m_grid, 1);
    middle->addLayout(side);

    // Memo and the totals column.
    auto *totals = new QGridLayout;
    totals->addWidget(new QLabel(QStringLiteral("% Discount:"), this), 0, 0, Qt::AlignRight);
    auto *discountRow = new QHBoxLayout;
    discountRow->addWidget(m_discount);
    discountRow->addWidget(m_discountAmount);
    totals->addLayout(discountRow, 0, 1);
    totals->addWidget(new QLabel(QStringLiteral("Subtotal:"), this), 1, 0, Qt::AlignRight);
    totals->addWidget(m_subtotal, 1, 1, Qt::AlignRight);
    totals->addWidget(m_shipLabel, 2, 0, Qt::AlignRight);
    totals->addWidget(m_ship, 2, 1, Qt::AlignRight);
    totals->addWidget(m_taxLabel, 3, 0, Qt::AlignRight);
    totals->addWidget(m_tax, 3, 1, Qt::AlignRight);
    totals->addWidget(new QLabel(QStringLiteral("Total:"), this), 4, 0, Qt::AlignRight);
    totals->addWidget(m_total, 4, 1, Qt::AlignRight);
    totals->addWidget(new QLabel(QStringLiteral("Payments:"), this), 5, 0, Qt::AlignRight);
    totals->addWidget(m_payments, 5, 1, Qt::AlignRight);
    totals->addWidget(new QLabel(QStringLiteral("Amount Due:"), this), 6, 0, Qt::AlignRight);
    totals->addWidget(m_due, 6, 1, Qt::AlignRight);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_memo, 3);
    bottom->addLayout(totals, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_print);
    buttons->addWidget(m_email);
    buttons->addWidget(m_packingList);
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);
    layout->addLayout(buttons);

    // The tab order follows the form from the customer down to the totals.
    setTabOrder(m_customerButton, m_editCustomerButton);
    setTabOrder(m_editCustomerButton, m_customerNote);
    setTabOrder(m_customerNote, m_date);
    setTabOrder(m_date, m_department);
    setTabOrder(m_department, m_note);
    setTabOrder(m_note, m_grid);
    setTabOrder(m_grid, m_addItem);
    setTabOrder(m_addItem, m_editItem);
    setTabOrder(m_editItem, m_addPayment);
    setTabOrder(m_addPayment, m_editPayment);
    setTabOrder(m_editPayment, m_memo);
    setTabOrder(m_memo, m_discount);
    setTabOrder(m_discount, m_ship);
    setTabOrder(m_ship, m_tax);
    setTabOrder(m_tax, m_save);

    connect(m_customerButton, &QPushButton::clicked, this, &TInvoice::BtnCustomerClick);
    connect(m_editCustomerButton, &QPushButton::clicked, this, &TInvoice::BtnEditCustomerClick);
    connect(m_addItem, &QPushButton::clicked, this, &TInvoice::BtnAddItemClick);
    connect(m_editItem, &QPushButton::clicked, this, &TInvoice::BtnEditItemClick);
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, &TInvoice::BtnEditItemClick);
    connect(m_addPayment, &QPushButton::clicked, this, &TInvoice::BtnAddPaymentClick);
    connect(m_editPayment, &QPushButton::clicked, this, &TInvoice::BtnEditPaymentClick);
    connect(m_save, &QPushButton::clicked, this, &TInvoice::BtnSaveClick);
    connect(m_delete, &QPushButton::clicked, this, &TInvoice::BtnDeleteClick);
    connect(m_cancel, &QPushButton::clicked, this, &TInvoice::BtnCancelClick);
    connect(m_print, &QPushButton::clicked, this, &TInvoice::BtnPrintClick);
    connect(m_email, &QPushButton::clicked, this, &TInvoice::BtnEMailClick);
    connect(m_packingList, &QPushButton::clicked, this, &TInvoice::BtnPackingListClick);
    connect(m_discount, &MoneyBox::left, this, &TInvoice::DiscountExit);
    connect(m_ship, &MoneyBox::left, this, &TInvoice::ShipExit);
    connect(m_tax, &MoneyBox::left, this, &TInvoice::TaxExit);
    connect(m_customerNote, &QLineEdit::editingFinished, this, &TInvoice::CustomerNoteExit);
}

void TInvoice::setChargeSettings(const ChargeSettings &settings)
{
    m_totals.setSettings(settings);
}

qint64 TInvoice::run(qint64 selection)
{
    m_selection = selection;
    FormShow();
    if (m_selection < 0)
        return m_selection;
    exec();
    // Saved, deleted or cancelled: the invoice in memory is done with.
    m_invoice.items.clear();
    m_invoice.payments.clear();
    return m_selection;
}

void TInvoice::FormShow()
{
    const ChargeSettings &settings = m_totals.settings();
    m_shipLabel->setText(settings.shipLine.trimmed() + QLatin1Char(':'));
    m_taxLabel->setText(settings.taxLine.trimmed() + QLatin1Char(':'));
    clearCustomer();
    clearGrid();
    if (m_selection <= 0) {
        m_selection = 0;
        startNewInvoice();
    } else {
        const db::Status s = m_store.load(quint32(m_selection), m_invoice);
        if (!s.isOk()) {
            Prompt::info(this, QStringLiteral("Unable to read this invoice.\n") + s.toString());
            m_selection = -1;
            return;
        }
        InvoiceCustomer c;
        if (m_store.findCustomer(m_invoice.customerNumber, &c))
            m_customer = c;
        showInvoice();
    }
    m_delete->setEnabled(m_selection > 0);
    m_customerButton->setFocus();
    DiscardGuard::of(this)->snapshot();
}

void TInvoice::startNewInvoice()
{
    m_store.startNew(m_invoice);
    clearCustomer();
    clearGrid();
    showInvoice();
    m_delete->setEnabled(false);
}

// The header as stored, the customer, then the totals refreshed (nothing recalculated).
void TInvoice::showInvoice()
{
    m_number->setText(numberText(m_invoice.number));
    m_date->setDate(m_invoice.date.isValid() ? m_invoice.date : today());
    m_department->setText(m_invoice.department);
    m_note->setText(m_invoice.note);
    m_memo->setPlainText(m_invoice.memo);
    m_discount->setValue(m_invoice.discountPercent);
    m_ship->setValue(m_invoice.shipAmount);
    m_tax->setValue(m_invoice.taxAmount);
    m_due->setValue(m_invoice.amountDue);
    showCustomer();
    m_totals.shown();
    showTotals();
}

void TInvoice::clearCustomer()
{
    m_customer = InvoiceCustomer();
    showCustomer();
}

void TInvoice::showCustomer()
{
    const ChargeSettings &settings = m_totals.settings();
    m_address->setPlainText(m_customer.address.join(QStringLiteral("\r\n")));
    m_customerNote->setText(m_customer.note);
    if (m_customer.recNo != 0) {
        db::Status status;
        const QString zone = bulkMailZone(m_engine, m_customer.zip, &status);
        // "Zone 4 Shipping:" with a zone, "Shipping:" without one.
        const QString prefix = zone.trimmed().isEmpty()
                                   ? QString()
                                   : QStringLiteral("Zone ") + zone.trimmed() + QLatin1Char(' ');
        m_shipLabel->setText(prefix + settings.shipLine.trimmed() + QLatin1Char(':'));
    } else {
        m_shipLabel->setText(settings.shipLine.trimmed() + QLatin1Char(':'));
    }
    updateDocumentButtons();
}

void TInvoice::updateDocumentButtons()
{
    // An address with "@" after its first character can take mail.
    const bool mailable = m_customer.recNo != 0 && m_customer.email.indexOf(QLatin1Char('@')) > 0;
    m_print->setEnabled(bool(m_hooks.printInvoice));
    m_packingList->setEnabled(bool(m_hooks.printPackingList));
    m_email->setEnabled(bool(m_hooks.emailInvoice) && mailable);
}

void TInvoice::useCustomer(quint32 recNo)
{
    InvoiceCustomer c;
    if (!m_store.loadCustomer(recNo, &c))
        return;
    m_customer = c;
    m_invoice.customerNumber = c.number;
    showCustomer();
}

void TInvoice::clearGrid()
{
    m_grid->clearContents();
    m_grid->setRowCount(kStartRows);
}

void TInvoice::showCharges()
{
    m_ship->setValue(m_invoice.shipAmount);
    m_tax->setValue(m_invoice.taxAmount);
}

void TInvoice::showTotals()
{
    // The grid: all rows blanked, grown to hold every item and one blank row, never shrunk.
    m_grid->clearContents();
    if (m_grid->rowCount() < m_invoice.items.size() + 1)
        m_grid->setRowCount(int(m_invoice.items.size()) + 1);
    for (int i = 0; i < m_invoice.items.size(); ++i) {
        const QStringList cells = m_totals.gridRow(i);
        for (int c = 0; c < cells.size(); ++c) {
            auto *cell = new QTableWidgetItem(cells.at(c));
            if (c >= 2)
                cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_grid->setItem(i, c, cell);
        }
    }
    const double discount = m_totals.discountAmount();
    // The amount taken off, shown as a negative figure (red by its sign); 0.0 - x keeps a zero
    // discount from showing as "-0.00".
    m_discountAmount->setValue(0.0 - discount);
    m_subtotal->setValue(m_totals.subtotal());
    m_total->setValue(m_totals.total());
    showPayments();
}

void TInvoice::showPayments()
{
    m_payments->setValue(m_totals.paymentsTotal());
    m_due->setValue(m_invoice.amountDue);
}

void TInvoice::itemsChanged()
{
    if (m_totals.recalculateCharges(true))
        showCharges();
    m_totals.refreshTotals();
    showTotals();
}

void TInvoice::BtnCustomerClick()
{
    if (!m_hooks.pickCustomer)
        return;
    const qint64 picked = m_hooks.pickCustomer(this, m_customer.recNo);
    if (picked > 0)
        useCustomer(quint32(picked));
}

void TInvoice::BtnEditCustomerClick()
{
    if (m_customer.recNo == 0) {
        Prompt::info(this, QStringLiteral("Customer not selected"));
        return;
    }
    if (m_hooks.editCustomer)
        m_hooks.editCustomer(this, m_customer.recNo);
    useCustomer(m_customer.recNo);
}

void TInvoice::BtnAddItemClick()
{
    if (!m_hooks.pickProduct)
        return;
    const qint64 picked = m_hooks.pickProduct(this);
    InvoiceItem item;
    if (picked <= 0 || !m_store.productItem(quint32(picked), &item))
        return;
    m_itemDialog->setItem(item, item.unitPrice, m_totals.settings(), false);
    if (m_itemDialog->run() == TItemDef::Saved)
        m_invoice.items << m_itemDialog->item();
    itemsChanged();
}

void TInvoice::BtnEditItemClick()
{
    const int row = m_grid->currentRow();
    if (row < 0 || row >= m_invoice.items.size())
        return;
    const InvoiceItem &item = m_invoice.items.at(row);
    m_itemDialog->setItem(item, item.lineTotal(), m_totals.settings(), true);
    switch (m_itemDialog->run()) {
    case TItemDef::Saved:
        m_invoice.items[row] = m_itemDialog->item();
        break;
    case TItemDef::Deleted:
        m_invoice.items.removeAt(row);
        break;
    default:
        return;
    }
    itemsChanged();
}

void TInvoice::BtnAddPaymentClick()
{
    m_paymentDialog->setPayment({today(), 0}, false);
    if (m_paymentDialog->run() == TPmtDef::Saved)
        m_invoice.payments << m_paymentDialog->payment();
    m_totals.refreshPayments();
    showPayments();
}

void TInvoice::BtnEditPaymentClick()
{
    if (m_invoice.payments.isEmpty())
        return;
    m_paymentList->setPayments(m_invoice.payments);
    const int row = m_paymentList->run();
    if (row >= 0 && row < m_invoice.payments.size()) {
        m_paymentDialog->setPayment(m_invoice.payments.at(row), true);
        switch (m_paymentDialog->run()) {
        case TPmtDef::Saved:
            m_invoice.payments[row] = m_paymentDialog->payment();
            break;
        case TPmtDef::Deleted:
            m_invoice.payments.removeAt(row);
            break;
        default:
            break;
        }
    }
    m_totals.refreshPayments();
    showPayments();
}

void TInvoice::DiscountExit(bool valid)
{
    bool ok = false;
    const double percent = m_discount->value(&ok);
    if (!valid || !ok)
        return; // the box has said what is wrong; the rest of the event is skipped
    m_invoice.discountPercent = percent;
    if (m_totals.recalculateCharges(false))
        showCharges();
    m_totals.refreshTotals();
    showTotals();
}

void TInvoice::ShipExit(bool valid)
{
    bool ok = false;
    const double amount = m_ship->value(&ok);
    if (!valid || !ok)
        return;
    m_invoice.shipAmount = amount;
    if (m_totals.recalculateCharges(false))
        showCharges();
    m_totals.shortRefresh();
    m_total->setValue(m_totals.total());
    m_due->setValue(m_invoice.amountDue);
}

void TInvoice::TaxExit(bool valid)
{
    bool ok = false;
    const double amount = m_tax->value(&ok);
    if (!valid || !ok)
        return;
    m_totals.taxEntered(amount);
    m_total->setValue(m_totals.total());
    m_due->setValue(m_invoice.amountDue);
}

void TInvoice::CustomerNoteExit()
{
    m_customerNote->setText(m_customerNote->text().trimmed());
}

// Every amount box must hold a figure before the invoice is saved or handed on.
bool TInvoice::boxesHoldFigures()
{
    for (MoneyBox *box : {m_discount, m_ship, m_tax}) {
        if (!box->hasFigure()) {
            Prompt::info(this, box->invalidMessage());
            box->setFocus();
            return false;
        }
    }
    return true;
}

void TInvoice::takeScreenValues()
{
    m_invoice.date = m_date->date();
    m_invoice.department = m_department->text();
    m_invoice.note = m_note->text();
    m_invoice.memo = m_memo->toPlainText();
    m_invoice.shipAmount = m_ship->value();
    m_invoice.taxAmount = m_tax->value();
    m_invoice.amountDue = m_due->value();
}

void TInvoice::BtnSaveClick()
{
    if (m_invoice.customerNumber == 0) {
        Prompt::info(this, QStringLiteral("Customer selection required before saving."));
        return;
    }
    if (!boxesHoldFigures())
        return;
    takeScreenValues();
    if (const QString tooLarge = m_totals.overflowMessage(); !tooLarge.isEmpty()) {
        Prompt::info(this, tooLarge);
        return;
    }
    const qint64 selectionBefore = m_selection;
    auto askStart = [this] {
        QString answer = QStringLiteral("1");
        Prompt::input(this, QStringLiteral("FIRST INVOICE"),
                      QStringLiteral("What invoice number would you like to start with?"), &answer);
        return answer;
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const InvoiceSaveResult result =
        m_store.save(m_invoice, quint32(qMax<qint64>(m_selection, 0)), m_customerNote->text(), askStart);
    QApplication::restoreOverrideCursor();
    m_number->setText(numberText(m_invoice.number));
    if (!result.ok()) {
        // Once the header is on disk the invoice is no longer new: saving again rewrites that
        // record instead of adding a second invoice.
        if (result.recNo != 0) {
            m_selection = result.recNo;
            m_delete->setEnabled(true);
        }
        Prompt::info(this, result.message);
        return;
    }

    m_invoice.items.clear();
    m_invoice.payments.clear();
    m_customer.address.clear();
    clearGrid();
    if (selectionBefore > 0) {
        m_selection = result.recNo;
        accept();
        return;
    }
    if (Prompt::yesNo(this, QStringLiteral("Add another invoice?"))) {
        m_selection = 0;
        startNewInvoice();
        m_customerButton->setFocus();
        DiscardGuard::of(this)->snapshot();
        return;
    }
    m_selection = result.recNo;
    accept();
}

void TInvoice::BtnDeleteClick()
{
    if (m_selection <= 0)
        return; // a new invoice has no stored record to delete
    if (!Prompt::okCancel(this, QStringLiteral("Are you sure you want to delete this invoice?")))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    quint32 after = 0;
    const db::Status s = m_store.remove(quint32(m_selection), &after);
    QApplication::restoreOverrideCursor();
    if (!s.isOk()) {
        Prompt::info(this, QStringLiteral("Unable to delete this invoice.\n") + s.toString());
        return;
    }
    m_invoice.items.clear();
    m_invoice.payments.clear();
    m_invoice.customerNumber = 0;
    clearGrid();
    m_selection = after;
    accept();
}

void TInvoice::BtnCancelClick()
{
    reject();
}

void TInvoice::handOff(const std::function<void(QWidget *, const CurrentInvoice &)> &document)
{
    if (m_invoice.customerNumber == 0) {
        Prompt::info(this, QStringLiteral("Customer must be selected to print"));
        return;
    }
    if (!document || !boxesHoldFigures())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    takeScreenValues();
    QApplication::restoreOverrideCursor();
    document(this, m_invoice);
}

void TInvoice::BtnPrintClick()
{
    handOff(m_hooks.printInvoice);
}

void TInvoice::BtnEMailClick()
{
    handOff(m_hooks.emailInvoice);
}

void TInvoice::BtnPackingListClick()
{
    handOff(m_hooks.printPackingList);
}

} // namespace tallyra
