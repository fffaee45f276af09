#pragma once

#include "GroupPickList.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace db {
class Engine;
}

namespace tallyra {

// The group pick list: a list box of every group name in name order. GROUPS is shown on tag
// CGroup; the tag it had before is selected again when the list closes.
class TPickGroup : public QDialog
{
    Q_OBJECT

public:
    explicit TPickGroup(db::Engine &engine, QWidget *parent = nullptr);

    // Shows the list modally on the group of record `selection` (otherwise the first), with "New"
    // enabled exactly when allowNew. Returns the chosen GROUPS record, 0 for "New", -1 for
    // "Cancel" or the window closed.
    qint64 pick(qint64 selection, bool allowNew);
    qint64 selection() const { return m_selection; }
    const GroupPickList &groups() const { return m_list; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void BtnSelectClick();
    void BtnNewClick();
    void BtnCancelClick();
    void EditSearchChange(const QString &text);

private:
    db::Engine &m_engine;
    GroupPickList m_list;
    qint64 m_selection = -1;

    QLineEdit *m_search;
    QListWidget *m_names;
    QPushButton *m_select;
    QPushButton *m_new;
    QPushButton *m_cancel;
};

} // namespace tallyra
