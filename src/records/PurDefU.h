#pragma once

#include "Records.h"

#include <QDialog>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace db {
class Engine;
class Table;
} // namespace db

namespace tallyra {

class MoneyBox;

// "Inventory Purchase Definition": one purchase of Pur5, the stock bought of a product, when, how
// many and at what total cost. "Product" picks the product from the product list (which can add
// one); saving marks the product picked as an inventory item. A negative quantity is a return
// to the supplier. Works on Pur5 and Prod5, opened when no command has them open.
class TPurDef : public QDialog
{
    Q_OBJECT

public:
    explicit TPurDef(db::Engine &engine, QWidget *parent = nullptr);

    // Shows the form modally on Pur5 record `selection` (0: a new purchase dated today). Returns
    // the selection it leaves: the saved (or deleted) record; for a new purchase closed unsaved -1;
    // for an existing one closed unsaved its record.
    qint64 run(qint64 selection);
    qint64 selection() const { return m_selection; }

    // Leaving by Escape, "Cancel" or the window's close button asks "Discard the changes?" when
    // something was changed.
    void reject() override;

private Q_SLOTS:
    void BtnProductClick();
    void BtnSaveClick();
    void BtnDeleteClick();
    void BtnCancelClick();
    void QuantityChange();

private:
    db::Table *purchases();
    void showPurchase();
    PurchaseRecord shownPurchase(bool *amountsOk);
    bool changed();

    db::Engine &m_engine;
    PurchaseRecord m_purchase;
    quint32 m_recNo = 0;
    quint32 m_pickedProduct = 0; // Prod5 record picked with "Product" while the form is open
    qint64 m_selection = -1;
    bool m_leaving = false;

    QPushButton *m_productButton;
    QLineEdit *m_product;
    QDateEdit *m_date;
    MoneyBox *m_quantity;
    QLabel *m_returnNote;
    MoneyBox *m_cost;
    QPushButton *m_save;
    QPushButton *m_delete;
    QPushButton *m_cancel;
};

} // namespace tallyra
