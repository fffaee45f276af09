#pragma once

#include "EntryForm.h"
#include "InvoiceModel.h"

class QDateEdit;

namespace tallyra {

class MoneyBox;

// "Payment": the date and amount of one payment received against an invoice. Leaves an edit
// result: 1 save, 2 delete, 3 cancel (also when the window is closed).
class TPmtDef : public TEntryForm
{
    Q_OBJECT

public:
    enum EditResult
    {
        Saved = 1,
        Deleted = 2,
        Cancelled = 3
    };

    explicit TPmtDef(QWidget *parent = nullptr);

    // Fills the boxes; Delete is offered only for a payment already on the invoice.
    void setPayment(const InvoicePayment &payment, bool canDelete);
    InvoicePayment payment() const;
    int editResult() const { return m_result; }
    // Shows the dialog modally, the focus on the date, and returns the edit result.
    int run();

private:
    void BtnSaveClick() override;
    void BtnDeleteClick() override;

    int m_result = Cancelled;
    QDateEdit *m_date;
    MoneyBox *m_amount;
};

} // namespace tallyra
