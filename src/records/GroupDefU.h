#pragma once

#include "RecordForm.h"
#include "Records.h"

class QLineEdit;

namespace tallyra {

// "Customer Group Definition": the number (read-only) and name of one group, with "Save",
// "Delete" (existing groups only; the group's customers are first moved to a group the user
// picks) and "Cancel". Works on GROUPS (and CUST5 for the move), opened when no command has them
// open.
class TGroupDef : public TRecordForm
{
    Q_OBJECT

public:
    // run() shows the form on a GROUPS record; it leaves 0 after a delete.
    explicit TGroupDef(db::Engine &engine, QWidget *parent = nullptr);

private:
    bool loadRecord(quint32 recNo) override;
    void showRecord() override;
    void showNumber();
    void BtnSaveClick() override;
    void BtnDeleteClick() override;

    GroupRecord m_group;

    QLineEdit *m_number;
    QLineEdit *m_name;
};

} // namespace tallyra
