#pragma once

#include "EntryForm.h"
#include "InvoiceModel.h"

class QCheckBox;
class QLineEdit;

namespace tallyra {

class MoneyBox;

// "Invoice Line Item": one line of an invoice, filled by the caller from a product or an existing
// line. Leaves an edit result: 1 save, 2 delete, 3 cancel (also when the window is closed).
class TItemDef : public TEntryForm
{
    Q_OBJECT

public:
    enum EditResult
    {
        Saved = 1,
        Deleted = 2,
        Cancelled = 3
    };

    explicit TItemDef(QWidget *parent = nullptr);

    // Fills the boxes from item; the Total box shows `total`. The check boxes are captioned with
    // the charge lines' names. Delete is offered only for a line already on the invoice.
    void setItem(const InvoiceItem &item, double total, const ChargeSettings &settings, bool canDelete);
    // The line as the boxes hold it; the licence code and product text are those given to setItem.
    InvoiceItem item() const;
    int editResult() const { return m_result; }
    // Shows the dialog modally and returns the edit result.
    int run();

private Q_SLOTS:
    void PriceOrQuantityExit(bool valid);

private:
    void BtnSaveClick() override;
    void BtnDeleteClick() override;

    InvoiceItem m_item;
    int m_result = Cancelled;
    QLineEdit *m_product;
    QLineEdit *m_description1;
    QLineEdit *m_description2;
    QCheckBox *m_shipLine;
    QCheckBox *m_taxLine;
    MoneyBox *m_price;
    MoneyBox *m_quantity;
    MoneyBox *m_total;
};

} // namespace tallyra
