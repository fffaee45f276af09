#pragma once

// The customer-group question of labels, bulk e-mail, the mail-merge export and the customer
// reports: one or more groups picked from GROUPS. The answer is left in the program-wide
// selectedGroups() for the caller.

#include <QDialog>
#include <QList>
#include <QString>

class QListWidget;
class QPushButton;

namespace db {
class Table;
}

namespace tallyra {

// The numbers of the groups picked; empty when none was picked or the question was cancelled.
QList<qint64> &selectedGroups();

struct GroupChoice
{
    qint64 number = 0;
    QString text; // the group number right-aligned in two characters, " - " and the name
};

// Every GROUPS record not marked deleted, in group-number order (tag NGroup). The table's tag and
// record are restored afterwards. REQUIRES: GROUPS open.
QList<GroupChoice> groupChoices(db::Table &groups);

// "Select One or More Groups": a list allowing several choices, "Run", "All" and "Cancel".
class TMultGroup : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char *kCaption = "Select One or More Groups";

    explicit TMultGroup(QWidget *parent = nullptr);

    // The one group window of the program, made on first use.
    static TMultGroup &instance();
    // Fills instance() from `groups` and shows it modally; true when groups were picked
    // (selectedGroups() holds them).
    static bool ask(db::Table &groups);

    // Empties selectedGroups() and lists the groups; a single group is selected at once.
    void load(db::Table &groups);
    // Shows the window modally on what load() listed; true when groups were picked.
    bool run();

private Q_SLOTS:
    void BtnRunClick();
    void BtnAllClick();
    void BtnCancelClick();

private:
    QListWidget *m_list;
    QPushButton *m_run;
    QPushButton *m_all;
    QPushButton *m_cancel;
};

} // namespace tallyra
