#include "BrowseEdit.h"

#include "Prompt.h"
#include "engine/Table.h"

#include <array>

namespace tallyra {

namespace {

constexpr int kKinds = 6;

std::array<RecordWindows, kKinds> &registry()
{
    static std::array<RecordWindows, kKinds> windows;
    return windows;
}

bool isEmpty(const db::Table &table)
{
    return table.recordCount() == 0;
}

} // namespace

QString emptyTableMessage(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Customer:
        return QStringLiteral("Customer Database is Empty");
    case RecordKind::Group:
        return QStringLiteral("Group Database is Empty");
    case RecordKind::Product:
        return QStringLiteral("Product Database is Empty");
    case RecordKind::Invoice:
        return QStringLiteral("Invoice Database is Empty");
    case RecordKind::Purchase:
        return QStringLiteral("Purchase Database is Empty");
    case RecordKind::Label:
        return QStringLiteral("Label Database is Empty");
    }
    return {};
}

void setRecordWindows(RecordKind kind, RecordWindows windows)
{
    registry()[static_cast<int>(kind)] = std::move(windows);
}

const RecordWindows &recordWindows(RecordKind kind)
{
    return registry()[static_cast<int>(kind)];
}

bool hasRecordWindows(RecordKind kind)
{
    return recordWindows(kind).complete();
}

PickStepResult pickStep(db::Table &table, RecordKind kind, qint64 selection, bool allowNew, QWidget *parent)
{
    return pickStep(table, kind, recordWindows(kind), selection, allowNew, parent);
}

PickStepResult pickStep(db::Table &table, RecordKind kind, const RecordWindows &windows, qint64 selection,
                        bool allowNew, QWidget *parent)
{
    PickStepResult result;
    if (isEmpty(table)) {
        if (!allowNew) {
            Prompt::info(parent, emptyTableMessage(kind));
            return result; // -1
        }
        selection = 0;
    }
    if (!windows.complete())
        return result;
    result.selection = windows.pick(parent, selection, allowNew);
    if (result.selection == 0) {
        if (!allowNew) {
            // A list without "New" cannot answer 0; treat it as cancelled.
            result.selection = -1;
            return result;
        }
        result.selection = windows.edit(parent, 0);
        result.created = result.selection > 0;
    }
    return result;
}

qint64 browseAndEdit(db::Table &table, RecordKind kind, qint64 preselect, QWidget *parent)
{
    return browseAndEdit(table, kind, recordWindows(kind), preselect, parent);
}

qint64 browseAndEdit(db::Table &table, RecordKind kind, const RecordWindows &windows, qint64 preselect,
                     QWidget *parent)
{
    qint64 selection = preselect;
    for (;;) {
        const PickStepResult step = pickStep(table, kind, windows, selection, true, parent);
        selection = step.selection;
        if (!step.picked())
            return selection;
        if (!step.created)
            selection = windows.edit(parent, selection);
    }
}

qint64 firstRecordNumber(db::Table &table)
{
    if (isEmpty(table) || !table.top())
        return 0;
    return table.recNo();
}

qint64 lastRecordNumber(db::Table &table)
{
    if (isEmpty(table) || !table.bottom())
        return 0;
    return table.recNo();
}

} // namespace tallyra
