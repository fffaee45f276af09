#pragma once

#include "RecordForm.h"
#include "Records.h"

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tallyra {

class MoneyBox;

// "Inventory Purchase Definition": one purchase of Pur5, the stock bought of a product, when, how
// many and at what total cost. "Product" picks the product from the product list (which can add
// one); saving marks the product picked as an inventory item. A negative quantity is a return
// to the supplier. Works on Pur5 and Prod5, opened when no command has them open.
class TPurDef : public TRecordForm
{
    Q_OBJECT

public:
    // run() shows the form on a Pur5 record (0: a new purchase dated today); a deleted purchase
    // stays the selection.
    explicit TPurDef(db::Engine &engine, QWidget *parent = nullptr);

private Q_SLOTS:
    void BtnProductClick();
    void QuantityChange();

private:
    bool loadRecord(quint32 recNo) override;
    void showRecord() override;
    void BtnSaveClick() override;
    void BtnDeleteClick() override;
    // Amounts count as changed only when their figure changed ("5" for "5.00" is no change).
    bool hasUnsavedChanges() override;
    PurchaseRecord shownPurchase(bool *amountsOk);

    PurchaseRecord m_purchase;
    quint32 m_pickedProduct = 0; // Prod5 record picked with "Product" while the form is open

    QPushButton *m_productButton;
    QLineEdit *m_product;
    QDateEdit *m_date;
    MoneyBox *m_quantity;
    QLabel *m_returnNote;
    MoneyBox *m_cost;
};

} // namespace tallyra
