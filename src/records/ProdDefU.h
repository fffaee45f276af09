#pragma once

#include "Records.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace db {
class Engine;
class Table;
} // namespace db

namespace tallyra {

class MoneyBox;

// "Product Definition": one product or service of Prod5. The identifier is stored in upper case
// and may not name another product; the two charge-line check boxes carry the captions of the
// charge lines in the settings record; the on-hand quantity is carried unchanged. "Delete"
// deletes the product and its inventory purchases at once. Works on Prod5, opened when no command
// has it open.
class TProdDef : public QDialog
{
    Q_OBJECT

public:
    explicit TProdDef(db::Engine &engine, QWidget *parent = nullptr);

    // Shows the form modally on Prod5 record `selection` (0: a new product). Returns the
    // selection it leaves: the saved (or deleted) record; for a new product closed unsaved -1;
    // for an existing product closed unsaved its record.
    qint64 run(qint64 selection);
    qint64 selection() const { return m_selection; }
    const ProductRecord &product() const { return m_product; }

    // Cancel, Escape and closing the window: asks "Discard the changes?" when anything changed.
    void reject() override;

private Q_SLOTS:
    void BtnSaveClick();
    void BtnDeleteClick();
    void BtnCancelClick();

private:
    db::Table *products();
    void showProduct();
    bool takeAmount(MoneyBox *box, double *value);

    db::Engine &m_engine;
    ProductRecord m_product;
    QString m_originalId;
    quint32 m_recNo = 0;
    qint64 m_selection = -1;

    QLineEdit *m_id;
    QLineEdit *m_desc1;
    QLineEdit *m_desc2;
    MoneyBox *m_price;
    QLineEdit *m_licence;
    QCheckBox *m_shipLine;
    QCheckBox *m_taxLine;
    QCheckBox *m_inventory;
    MoneyBox *m_reorder;
    QPlainTextEdit *m_text;
    QPushButton *m_save;
    QPushButton *m_delete;
    QPushButton *m_cancel;
};

} // namespace tallyra
