#pragma once

#include "Records.h"
#include "Schema.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace db {
class Engine;
class Table;
} // namespace db

namespace tallyra {

// "Customer": one customer of CUST5 with its group (chosen through the group pick list, which
// may create a group), name, address, postal code, note, phone, fax, e-mail and comments.
// "Save" numbers a new customer and recalls a deleted one; "Delete" marks the record deleted at
// once. Works on CUST5 and GROUPS, opened when no command has them open.
class TCustomer : public QDialog
{
    Q_OBJECT

public:
    explicit TCustomer(db::Engine &engine, QWidget *parent = nullptr);

    // Shows the form modally on CUST5 record `selection` (0: a new customer). Returns the
    // selection it leaves: the saved (or deleted) record; for a new customer closed unsaved -1;
    // for an existing customer closed unsaved its record.
    qint64 run(qint64 selection);
    qint64 selection() const { return m_selection; }
    // The customer as the form holds it (after a save: as stored, with its number).
    const CustomerRecord &customer() const { return m_customer; }

    // Cancel, Escape and closing the window: asks "Discard the changes?" when anything changed.
    void reject() override;

private Q_SLOTS:
    void BtnGroupClick();
    void BtnSaveClick();
    void BtnDeleteClick();
    void BtnCancelClick();

private:
    db::Table *table(TableId id);
    void showCustomer();
    void takeBoxes();
    void showNumber();

    db::Engine &m_engine;
    CustomerRecord m_customer;
    quint32 m_recNo = 0;
    qint64 m_selection = -1;

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
    QPushButton *m_save;
    QPushButton *m_delete;
    QPushButton *m_cancel;
};

} // namespace tallyra
