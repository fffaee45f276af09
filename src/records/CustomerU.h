#pragma once

#include "RecordForm.h"
#include "Records.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tallyra {

// "Customer": one customer of CUST5 with its group (chosen through the group pick list, which
// may create a group), name, address, postal code, note, phone, fax, e-mail and comments.
// "Save" numbers a new customer and recalls a deleted one; "Delete" marks the record deleted at
// once. Works on CUST5 and GROUPS, opened when no command has them open.
class TCustomer : public TRecordForm
{
    Q_OBJECT

public:
    explicit TCustomer(db::Engine &engine, QWidget *parent = nullptr);

    // run() shows the form on a CUST5 record; a deleted customer stays the selection.
    // The customer as the form holds it (after a save: as stored, with its number).
    const CustomerRecord &customer() const { return m_customer; }

private Q_SLOTS:
    void BtnGroupClick();

private:
    bool loadRecord(quint32 recNo) override;
    void showRecord() override;
    void BtnSaveClick() override;
    void BtnDeleteClick() override;
    void takeBoxes();
    void showNumber();

    CustomerRecord m_customer;

    QLineEdit *m_number;
    QPushButton *m_groupButton;
    QLineEdit *m_group;
    QLineEdit *m_title;
    QLineEdit *m_first;
    QLineEdit *m_last;
    QLineEdit *m_addr[4];
    QLineEdit *m_zip;
    QLineEdit *m_note;
    QLineEdit *m_phone;
    QLineEdit *m_fax;
    QLineEdit *m_email;
    QPlainTextEdit *m_comments;
};

} // namespace tallyra
