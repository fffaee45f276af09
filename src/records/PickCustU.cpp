#include "PickCustU.h"

#include "Records.h"
#include "Settings.h"
#include "Tables.h"

#include <QLineEdit>

namespace tallyra {

TPickCust::TPickCust(db::Engine &engine, QWidget *parent)
    : PickGridDialog(engine, customerPickList(settings().ByCust), parent)
    , m_group(addInfoBox(QStringLiteral("Group:"), QStringLiteral("groupEdit")))
{}

void TPickCust::aboutToShow()
{
    // The preference may have changed since the list was last shown.
    const PickListDef def = customerPickList(settings().ByCust);
    if (def.tag != definition().tag)
        setDefinition(def);
}

void TPickCust::currentRowChanged()
{
    QString name;
    db::Table *customers = openedTable(m_engine, TableId::Customers);
    db::Table *groups = openedTable(m_engine, TableId::Groups);
    const quint32 recNo = grid().currentRecNo();
    if (customers && groups && recNo != 0 && customers->go(recNo)) {
        const int field = customers->fieldIndex("NGroup");
        if (field >= 0 && findGroupByNumber(*groups, customers->integer(field)))
            name = groupBuffer().cGroup.trimmed();
    }
    m_group->setText(name);
}

} // namespace tallyra
