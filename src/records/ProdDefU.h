#pragma once

#include "RecordForm.h"
#include "Records.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace tallyra {

class MoneyBox;

// "Product Definition": one product or service of Prod5. The identifier is stored in upper case
// and may not name another product; the two charge-line check boxes carry the captions of the
// charge lines in the settings record; the on-hand quantity is carried unchanged. "Delete"
// deletes the product and its inventory purchases at once. Works on Prod5, opened when no command
// has it open.
class TProdDef : public TRecordForm
{
    Q_OBJECT

public:
    // run() shows the form on a Prod5 record; a deleted product stays the selection.
    explicit TProdDef(db::Engine &engine, QWidget *parent = nullptr);

    const ProductRecord &product() const { return m_product; }

private:
    bool loadRecord(quint32 recNo) override;
    void showRecord() override;
    void BtnSaveClick() override;
    void BtnDeleteClick() override;
    bool takeAmount(MoneyBox *box, double *value);

    ProductRecord m_product;
    QString m_originalId;

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
};

} // namespace tallyra
