#pragma once

// The window of a grid pick list: the search box, a grid of ten rows (more when the window is
// enlarged) with a hidden "RecNo" column, the scroll bar beside it and the "Select", "New" and
// "Cancel" buttons. The paging logic is PickGrid's; this class shows its rows and passes it the
// user's keys, clicks and typing. From the search box, Down moves into the grid and Enter chooses
// the current row, as Enter in the grid does.
// TPickCust, TPickProd, TPickInv and TPickPur are this window with their own columns.

#include "PickForm.h"
#include "PickGrid.h"
#include "PickLists.h"

class QLabel;
class QLineEdit;
class QScrollBar;
class QTableWidget;

namespace db {
class Engine;
class Table;
} // namespace db

namespace tallyra {

class PickGridDialog : public TPickForm
{
    Q_OBJECT

public:
    PickGridDialog(db::Engine &engine, const PickListDef &def, QWidget *parent = nullptr);

    // Shows the list modally over its table (opened when no command has it open), on record
    // `selection` (0 or less: the first record), with "New" enabled exactly when allowNew.
    // Returns the chosen record number, 0 for "New", -1 for "Cancel" or the window closed.
    qint64 pick(qint64 selection, bool allowNew);

    PickGrid &grid() { return m_grid; }
    const PickListDef &definition() const { return m_def; }

protected:
    // Another list layout (the customer list changes with the ByCust preference).
    void setDefinition(const PickListDef &def);
    // The table the list is shown over, found in (or opened on) the engine; nullptr after a
    // failed open, which has been reported.
    db::Table *listTable();
    // A read-only box under the grid ("Group:", "Customer:").
    QLineEdit *addInfoBox(const QString &label, const QString &objectName);
    // The current row changed: refresh the boxes that describe it.
    virtual void currentRowChanged() {}
    // Called first when the list is about to be shown (before its tag is selected).
    virtual void aboutToShow() {}
    bool eventFilter(QObject *watched, QEvent *event) override;

    db::Engine &m_engine;

private Q_SLOTS:
    void EditSearchChange(const QString &text);
    void StringGrid1DblClick(int row, int column);
    void StringGrid1SelectCell(int row, int column, int previousRow, int previousColumn);
    void ScrollBar1Scroll(int action);
    void ScrollBar1Released();

private:
    void BtnSelectClick() override;
    void buildWindow();
    void applyColumns();
    void refresh();
    void reportError();
    // As many rows as the grid's height shows whole, at least ten.
    void fitRows();

    PickListDef m_def;
    PickGrid m_grid;
    bool m_refreshing = false;

    QLabel *m_searchLabel;
    QLineEdit *m_search;
    QTableWidget *m_table;
    QScrollBar *m_scroll;
    QWidget *m_infoArea;
};

} // namespace tallyra
