#include "GroupDefU.h"

#include "BrowseEdit.h"
#include "CustomerBook.h"
#include "PickGroupU.h"
#include "Prompt.h"
#include "Schema.h"

#include <QFormLayout>
#include <QLineEdit>

namespace tallyra {

TGroupDef::TGroupDef(db::Engine &engine, QWidget *parent)
    : TRecordForm(engine, QStringLiteral("group"), "groupDefDialog",
                  QStringLiteral("Customer Group Definition"), parent)
{
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("groupNumberEdit"));
    m_number->setReadOnly(true);
    m_number->setFocusPolicy(Qt::NoFocus);
    m_number->setMaximumWidth(m_number->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("groupNameEdit"));
    m_name->setMaxLength(kTextLimit);
    m_name->setMinimumWidth(m_name->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 24);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Group Number:"), m_number);
    form->addRow(QStringLiteral("Customer Group:"), m_name);
    finishForm(form);
}

bool TGroupDef::loadRecord(quint32 recNo)
{
    m_group = GroupRecord{};
    db::Table *groups = table(TableId::Groups);
    if (!groups)
        return false;
    if (recNo != 0 && !GroupBook(*groups, nullptr).load(recNo, &m_group))
        return recordUnreadable(recNo);
    return true;
}

void TGroupDef::showNumber()
{
    m_number->setText(QString::number(m_group.nGroup).rightJustified(2, QLatin1Char(' ')));
}

void TGroupDef::showRecord()
{
    showNumber();
    m_number->setAlignment(Qt::AlignRight);
    m_name->setText(m_group.cGroup.trimmed());
    m_name->setFocus();
}

void TGroupDef::BtnSaveClick()
{
    db::Table *groups = table(TableId::Groups);
    if (!groups)
        return;
    m_group.cGroup = m_name->text();
    if (!takeSave(GroupBook(*groups, nullptr).save(m_group, m_recNo))) {
        showNumber();
        return;
    }
    accept();
}

void TGroupDef::BtnDeleteClick()
{
    if (m_recNo == 0)
        return;
    const QString name = m_group.cGroup.trimmed();
    if (!Prompt::okCancel(this, QStringLiteral("Move Customers in ") + name +
                                    QStringLiteral(" to a selected group")))
        return;
    db::Table *groups = table(TableId::Groups);
    db::Table *customers = groups ? table(TableId::Customers) : nullptr;
    if (!groups || !customers)
        return;

    RecordWindows list;
    list.pick = [this](QWidget *parent, qint64 selection, bool allowNew) {
        TPickGroup picker(m_engine, parent);
        return picker.pick(selection, allowNew);
    };
    list.edit = [](QWidget *, qint64) -> qint64 { return -1; }; // no "New" here
    const PickStepResult step = pickStep(*groups, RecordKind::Group, list, 0, false, this);
    if (!step.picked() || step.selection == m_recNo)
        return;

    GroupBook book(*groups, customers);
    GroupRecord target;
    bool targetDeleted = false;
    if (!book.load(static_cast<quint32>(step.selection), &target, &targetDeleted))
        return;
    if (targetDeleted) {
        Prompt::info(this, QStringLiteral("The group ") + target.cGroup.trimmed() +
                               QStringLiteral(" is deleted. Please select another group."));
        return;
    }
    const db::Status moved = book.moveCustomers(m_group.nGroup, target.nGroup);
    if (!moved.isOk()) {
        Prompt::info(this, QStringLiteral("The customers could not all be moved; the group is kept.\n") +
                               moved.toString());
        return;
    }
    if (acceptDeletion(book.remove(m_recNo)))
        m_selection = 0;
}

} // namespace tallyra
