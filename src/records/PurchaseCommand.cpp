#include "PurchaseCommand.h"

#include "BrowseEdit.h"
#include "Database.h"
#include "PickPurU.h"
#include "PurDefU.h"

namespace tallyra {

void registerPurchaseWindows()
{
    RecordWindows w;
    w.pick = [](QWidget *parent, qint64 selection, bool allowNew) {
        TPickPur list(database(), parent);
        return list.pick(selection, allowNew);
    };
    w.edit = [](QWidget *parent, qint64 selection) {
        TPurDef form(database(), parent);
        return form.run(selection);
    };
    setRecordWindows(RecordKind::Purchase, w);
}

} // namespace tallyra
