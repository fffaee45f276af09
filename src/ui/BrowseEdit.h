#pragma once

// The browse-and-edit loop: how customers, groups, products, purchases, invoices and label stock
// are maintained. A pick list chooses a record, its edit window edits it, and the pick list comes
// back, until the list is cancelled. Pick lists and edit windows talk to their callers through a
// selection: a record number, 0 for a new record, -1 for none or cancelled.
//
// The record windows register themselves once (setRecordWindows); the main window's commands and
// every other caller of a pick step then reach them through the kind.

#include <QString>
#include <functional>

class QWidget;

namespace db {
class Table;
}

namespace tallyra {

enum class RecordKind
{
    Customer,
    Group,
    Product,
    Invoice,
    Purchase,
    Label
};

// The message a pick step without "New" shows for an empty table: "Customer Database is Empty",
// "Group Database is Empty", "Product Database is Empty", "Invoice Database is Empty",
// "Purchase Database is Empty", "Label Database is Empty".
QString emptyTableMessage(RecordKind kind);

// A kind's pick list and edit window.
struct RecordWindows
{
    // Shows the pick list modally, opened on record `selection` (0 or less: the first record),
    // with its "New" button enabled exactly when allowNew. Returns the picked record number, 0 for
    // "New", -1 for "Cancel" (or the window closed).
    std::function<qint64(QWidget *parent, qint64 selection, bool allowNew)> pick;
    // Shows the edit window modally on record `selection` (0: a new, empty record). Returns the
    // selection it leaves: the record saved or shown last; for a new record 0 (or less) when it was
    // left without saving.
    std::function<qint64(QWidget *parent, qint64 selection)> edit;

    bool complete() const { return pick && edit; }
};

// The process-wide registry. Registering replaces what was there; an empty RecordWindows removes
// the kind.
void setRecordWindows(RecordKind kind, RecordWindows windows);
const RecordWindows &recordWindows(RecordKind kind);
bool hasRecordWindows(RecordKind kind);

// The outcome of one pick step.
struct PickStepResult
{
    qint64 selection = -1; // record number; 0 for a new record not saved; -1 none or cancelled
    bool created = false;  // a new record was made and saved in the edit window during the step

    // True when the selection is above 0: a record is picked (or was just created).
    bool picked() const { return selection > 0; }
};

// One pick step on the kind's main table, which must be open in its order.
// - When adding is not allowed and the table holds no record, emptyTableMessage() is shown
//   (information box, "OK") and the selection becomes -1; no list is shown.
// - Otherwise the pick list is shown (opened on `selection`, or with selection 0 when the table is
//   empty). "New" (0) opens the edit window at once for a new record; when it leaves a selection
//   above 0 the record was saved: `created` is set and the caller must not edit it again.
// The windows are the registered ones for the kind, or the ones given.
PickStepResult pickStep(db::Table &table, RecordKind kind, qint64 selection, bool allowNew, QWidget *parent);
PickStepResult pickStep(db::Table &table, RecordKind kind, const RecordWindows &windows, qint64 selection,
                        bool allowNew, QWidget *parent);

// The loop the main window runs (adding always allowed): pick step; while it picks a record, edit
// it (unless the step just created it) and pick again, opened on the selection the edit window
// left. Cancelling the list, or leaving the edit window of a new record without saving, ends it.
// Returns the selection the loop ended with.
qint64 browseAndEdit(db::Table &table, RecordKind kind, qint64 preselect, QWidget *parent);
qint64 browseAndEdit(db::Table &table, RecordKind kind, const RecordWindows &windows, qint64 preselect,
                     QWidget *parent);

// The record to preselect before the loop: the first (or last) in the table's current order, 0
// when the table holds no record.
qint64 firstRecordNumber(db::Table &table);
qint64 lastRecordNumber(db::Table &table);

} // namespace tallyra
