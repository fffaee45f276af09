#include "InvoiceCommand.h"

#include "BrowseEdit.h"
#include "Database.h"
#include "PickCustU.h"
#include "PickInvU.h"
#include "PickProdU.h"
#include "Settings.h"

namespace tallyra {

namespace {

// The kind's registered windows; while none are registered, its bare pick list (without "New").
template <typename List> RecordWindows windowsFor(RecordKind kind, db::Engine &engine)
{
    if (hasRecordWindows(kind))
        return recordWindows(kind);
    RecordWindows bare;
    bare.pick = [&engine](QWidget *parent, qint64 selection, bool) {
        List list(engine, parent);
        return list.pick(selection, false);
    };
    bare.edit = [](QWidget *, qint64) { return qint64(0); };
    return bare;
}

} // namespace

InvoiceCollaborators &invoiceDocumentHooks()
{
    static InvoiceCollaborators hooks;
    return hooks;
}

InvoiceCollaborators programInvoiceCollaborators(db::Engine &engine)
{
    InvoiceCollaborators c;
    c.printInvoice = invoiceDocumentHooks().printInvoice;
    c.emailInvoice = invoiceDocumentHooks().emailInvoice;
    c.printPackingList = invoiceDocumentHooks().printPackingList;
    c.pickCustomer = [&engine](QWidget *parent, quint32 current) -> qint64 {
        db::Table *customers = openedTable(engine, TableId::Customers);
        if (!customers)
            return -1;
        if (current == 0) {
            // No customer yet: the list opens at the first customer by name.
            customers->selectTag(QStringLiteral("CName"));
            customers->takeError();
        }
        const PickStepResult step =
            pickStep(*customers, RecordKind::Customer, windowsFor<TPickCust>(RecordKind::Customer, engine),
                     current, true, parent);
        return step.picked() ? step.selection : -1;
    };
    c.editCustomer = [](QWidget *parent, quint32 record) {
        if (hasRecordWindows(RecordKind::Customer))
            recordWindows(RecordKind::Customer).edit(parent, record);
    };
    c.pickProduct = [&engine](QWidget *parent) -> qint64 {
        db::Table *products = openedTable(engine, TableId::Products);
        if (!products)
            return -1;
        const PickStepResult step =
            pickStep(*products, RecordKind::Product, windowsFor<TPickProd>(RecordKind::Product, engine), 0,
                     true, parent);
        return step.picked() ? step.selection : -1;
    };
    return c;
}

qint64 editInvoice(QWidget *parent, db::Engine &engine, qint64 selection)
{
    TInvoice form(engine, parent);
    form.setCollaborators(programInvoiceCollaborators(engine));
    form.setChargeSettings(ChargeSettings::from(settings()));
    return form.run(selection);
}

void registerInvoiceWindows()
{
    RecordWindows windows;
    windows.pick = [](QWidget *parent, qint64 selection, bool allowNew) {
        TPickInv list(database(), parent);
        return list.pick(selection, allowNew);
    };
    windows.edit = [](QWidget *parent, qint64 selection) {
        return editInvoice(parent, database(), selection);
    };
    setRecordWindows(RecordKind::Invoice, windows);
}

} // namespace tallyra
