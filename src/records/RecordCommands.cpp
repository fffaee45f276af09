#include "RecordCommands.h"

#include "BrowseEdit.h"
#include "CustomerU.h"
#include "Database.h"
#include "GroupDefU.h"
#include "PickCustU.h"
#include "PickGroupU.h"
#include "PickProdU.h"
#include "ProdDefU.h"

namespace tallyra {

namespace {

// A kind's pick list and edit window, each made for the call on the engine the program has then.
template <typename List, typename Form> RecordWindows programWindowsOf()
{
    RecordWindows w;
    w.pick = [](QWidget *parent, qint64 selection, bool allowNew) {
        List list(database(), parent);
        return list.pick(selection, allowNew);
    };
    w.edit = [](QWidget *parent, qint64 selection) {
        Form form(database(), parent);
        return form.run(selection);
    };
    return w;
}

} // namespace

void registerRecordWindows()
{
    setRecordWindows(RecordKind::Customer, programWindowsOf<TPickCust, TCustomer>());
    setRecordWindows(RecordKind::Group, programWindowsOf<TPickGroup, TGroupDef>());
    setRecordWindows(RecordKind::Product, programWindowsOf<TPickProd, TProdDef>());
}

} // namespace tallyra
