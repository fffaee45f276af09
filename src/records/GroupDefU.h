#pragma once

#include "Records.h"
#include "Schema.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace db {
class Engine;
class Table;
} // namespace db

namespace tallyra {

// "Customer Group Definition": the number (read-only) and name of one group, with "Save",
// "Delete" (existing groups only; the group's customers are first moved to a group the user
// picks) and "Cancel". Works on GROUPS (and CUST5 for the move), opened when no command has them
// open.
class TGroupDef : public QDialog
{
    Q_OBJECT

public:
    explicit TGroupDef(db::Engine &engine, QWidget *parent = nullptr);

    // Shows the form modally on GROUPS record `selection` (0: a new group). Returns the selection
    // it leaves: the saved record; 0 after a delete; for a new group closed unsaved -1; for an
    // existing group closed unsaved its record.
    qint64 run(qint64 selection);
    qint64 selection() const { return m_selection; }

    // Cancel, Escape and closing the window: asks "Discard the changes?" when anything changed.
    void reject() override;

private Q_SLOTS:
    void BtnSaveClick();
    void BtnDeleteClick();
    void BtnCancelClick();

private:
    db::Table *table(TableId id);
    void showGroup();

    db::Engine &m_engine;
    GroupRecord m_group;
    quint32 m_recNo = 0;
    qint64 m_selection = -1;

    QLineEdit *m_number;
    QLineEdit *m_name;
    QPushButton *m_save;
    QPushButton *m_delete;
    QPushButton *m_cancel;
};

} // namespace tallyra
