#pragma once

#include "InvoiceModel.h"
#include "InvoiceStore.h"

#include <QDialog>
#include <functional>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace tallyra {

class MoneyBox;
class TItemDef;
class TPickPmt;
class TPmtDef;

// The windows the invoice form reaches beyond its own dialogs. Each hook may be empty: an empty
// pick hook does nothing, an empty document hook leaves its button disabled.
struct InvoiceCollaborators
{
    // The customer pick list with "New" (which opens the customer form for a new customer),
    // opened at CUST5 record `current` (0: at the first customer by name). Returns the chosen or
    // created record, or -1 when cancelled.
    std::function<qint64(QWidget *parent, quint32 current)> pickCustomer;
    // The customer form on CUST5 record `record`; returns when it closes.
    std::function<void(QWidget *parent, quint32 record)> editCustomer;
    // The product pick list with "New" (a product saved from its form counts as picked). Returns
    // the Prod5 record, or -1 when none was picked.
    std::function<qint64(QWidget *parent)> pickProduct;
    // The documents built from the current invoice: print, e-mail, packing list.
    std::function<void(QWidget *parent, const CurrentInvoice &invoice)> printInvoice;
    std::function<void(QWidget *parent, const CurrentInvoice &invoice)> emailInvoice;
    std::function<void(QWidget *parent, const CurrentInvoice &invoice)> printPackingList;
};

// "Invoice": composes, numbers, saves and deletes one invoice at a time in the process-wide
// current invoice. The tables of the invoice command must be open (InvoiceStore::openTables).
class TInvoice : public QDialog
{
    Q_OBJECT

public:
    explicit TInvoice(db::Engine &engine, QWidget *parent = nullptr);
    ~TInvoice() override;

    void setCollaborators(const InvoiceCollaborators &collaborators) { m_hooks = collaborators; }
    // The charge-line settings in force; read when the form is shown.
    void setChargeSettings(const ChargeSettings &settings);

    // Shows the form modally on INV6 record `selection` (0: a new invoice). Returns the
    // selection left for the caller: the saved record, the last invoice after a delete, or the
    // selection given when the form was cancelled.
    qint64 run(qint64 selection);
    qint64 selection() const { return m_selection; }

    // Working values, as the boxes show them.
    const InvoiceTotals &totals() const { return m_totals; }
    const InvoiceCustomer &customer() const { return m_customer; }

    // Cancel, Escape and closing the window: asks "Discard the changes?" when anything changed.
    void reject() override;

private Q_SLOTS:
    void FormShow();
    void BtnCustomerClick();
    void BtnEditCustomerClick();
    void BtnAddItemClick();
    void BtnEditItemClick();
    void BtnAddPaymentClick();
    void BtnEditPaymentClick();
    void BtnSaveClick();
    void BtnDeleteClick();
    void BtnCancelClick();
    void BtnPrintClick();
    void BtnEMailClick();
    void BtnPackingListClick();
    void DiscountExit(bool valid);
    void ShipExit(bool valid);
    void TaxExit(bool valid);
    void CustomerNoteExit();

private:
    void buildForm();
    void startNewInvoice();
    void showInvoice();
    void showCustomer();
    void clearCustomer();
    void useCustomer(quint32 recNo);
    void showCharges();
    void showTotals();
    void showPayments();
    void itemsChanged();
    void clearGrid();
    bool boxesHoldFigures();
    void takeScreenValues();
    void handOff(const std::function<void(QWidget *, const CurrentInvoice &)> &document);
    void updateDocumentButtons();

    db::Engine &m_engine;
    InvoiceStore m_store;
    CurrentInvoice &m_invoice;
    InvoiceTotals m_totals;
    InvoiceCustomer m_customer;
    InvoiceCollaborators m_hooks;
    qint64 m_selection = 0;

    TItemDef *m_itemDialog;
    TPmtDef *m_paymentDialog;
    TPickPmt *m_paymentList;

    QPushButton *m_customerButton;
    QPushButton *m_editCustomerButton;
    QPlainTextEdit *m_address;
    QLineEdit *m_customerNote;
    QLineEdit *m_number;
    QDateEdit *m_date;
    QLineEdit *m_department;
    QLineEdit *m_note;
    QTableWidget *m_grid;
    QPushButton *m_addItem;
    QPushButton *m_editItem;
    QPushButton *m_addPayment;
    QPushButton *m_editPayment;
    MoneyBox *m_discount;
    MoneyBox *m_discountAmount;
    MoneyBox *m_subtotal;
    QLabel *m_shipLabel;
    QLabel *m_taxLabel;
    MoneyBox *m_ship;
    MoneyBox *m_tax;
    MoneyBox *m_total;
    MoneyBox *m_payments;
    MoneyBox *m_due;
    QPlainTextEdit *m_memo;
    QPushButton *m_print;
    QPushButton *m_email;
    QPushButton *m_packingList;
    QPushButton *m_save;
    QPushButton *m_delete;
    QPushButton *m_cancel;
};

} // namespace tallyra
