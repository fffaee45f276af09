#pragma once

#include "GroupPickList.h"
#include "PickForm.h"

class QLineEdit;
class QListWidget;

namespace db {
class Engine;
}

namespace tallyra {

// The group pick list: a list box of every group name in name order. GROUPS is shown on tag
// CGroup; the tag it had before is selected again when the list closes.
class TPickGroup : public TPickForm
{
    Q_OBJECT

public:
    explicit TPickGroup(db::Engine &engine, QWidget *parent = nullptr);

    // Shows the list modally on the group of record `selection` (otherwise the first), with "New"
    // enabled exactly when allowNew. Returns the chosen GROUPS record, 0 for "New", -1 for
    // "Cancel" or the window closed.
    qint64 pick(qint64 selection, bool allowNew);
    const GroupPickList &groups() const { return m_list; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void EditSearchChange(const QString &text);

private:
    void BtnSelectClick() override;

    db::Engine &m_engine;
    GroupPickList m_list;

    QLineEdit *m_search;
    QListWidget *m_names;
};

} // namespace tallyra
