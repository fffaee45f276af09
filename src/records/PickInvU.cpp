#include "PickInvU.h"

#include "Conversions.h"
#include "Tables.h"
#include "engine/Engine.h"

#include <QLineEdit>

namespace tallyra {

TPickInv::TPickInv(db::Engine &engine, QWidget *parent)
    : PickGridDialog(engine, invoicePickList(), parent)
    , m_customer(addInfoBox(QStringLiteral("Customer:"), QStringLiteral("customerEdit")))
{}

void TPickInv::currentRowChanged()
{
    QString name;
    db::Table *invoices = openedTable(m_engine, TableId::Invoices);
    db::Table *customers = openedTable(m_engine, TableId::Customers);
    const quint32 recNo = grid().currentRecNo();
    if (invoices && customers && recNo != 0 && invoices->go(recNo)) {
        const int cuNo = invoices->fieldIndex("CuNo");
        const QString previousTag = customers->selectedTag();
        if (cuNo >= 0 && customers->selectTag(QStringLiteral("CCNO"))) {
            const int first = customers->fieldIndex("First");
            const int last = customers->fieldIndex("Last");
            if (first >= 0 && last >= 0 &&
                customers->seek(customerNumberKey(invoices->integer(cuNo))) == db::SeekResult::Found)
                name = customers->text(first).trimmed() + QLatin1Char(' ') + customers->text(last).trimmed();
        }
        if (previousTag.isEmpty())
            customers->selectNatural();
        else
            customers->selectTag(previousTag);
        customers->takeError();
    }
    m_customer->setText(name);
}

} // namespace tallyra
