#include "GroupDefU.h"

#include "BrowseEdit.h"
#include "CustomerBook.h"
#include "EnterMovesFocus.h"
#include "FormRules.h"
#include "PickGroupU.h"
#include "Prompt.h"
#include "RecordTables.h"
#include "Schema.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

TGroupDef::TGroupDef(db::Engine &engine, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("groupDefDialog"));
    setWindowTitle(QStringLiteral("Customer Group Definition"));
    setModal(true);

    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("groupNumberEdit"));
    m_number->setReadOnly(true);
    m_number->setFocusPolicy(Qt::NoFocus);
    m_number->setMaximumWidth(m_number->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("groupNameEdit"));
    m_name->setMaxLength(kTextLimit);
    m_name->setMinimumWidth(m_name->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 24);

    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_delete = new QPushButton(QStringLiteral("Delete"), this);
    m_delete->setObjectName(QStringLiteral("deleteButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    for (QPushButton *b : {m_save, m_delete, m_cancel})
        b->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Group Number:"), m_number);
    form->addRow(QStringLiteral("Customer Group:"), m_name);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    EnterMovesFocus::install(this);
    connect(m_save, &QPushButton::clicked, this, &TGroupDef::BtnSaveClick);
    connect(m_delete, &QPushButton::clicked, this, &TGroupDef::BtnDeleteClick);
    connect(m_cancel, &QPushButton::clicked, this, &TGroupDef::BtnCancelClick);
}

db::Table *TGroupDef::table(TableId id)
{
    return commandTable(m_engine, id, this);
}

qint64 TGroupDef::run(qint64 selection)
{
    m_group = GroupRecord{};
    m_recNo = 0;
    m_selection = -1;
    db::Table *groups = table(TableId::Groups);
    if (!groups)
        return -1;
    if (selection > 0) {
        GroupBook book(*groups, nullptr);
        if (!book.load(static_cast<quint32>(selection), &m_group)) {
            Prompt::info(this, QStringLiteral("Group record %1 could not be read.").arg(selection));
            return -1;
        }
        m_recNo = static_cast<quint32>(selection);
        m_selection = selection;
    }
    showGroup();
    DiscardGuard::of(this)->snapshot();
    exec();
    return m_selection;
}

void TGroupDef::showGroup()
{
    m_number->setText(QString::number(m_group.nGroup).rightJustified(2, QLatin1Char(' ')));
    m_number->setAlignment(Qt::AlignRight);
    m_name->setText(m_group.cGroup.trimmed());
    m_delete->setEnabled(m_recNo != 0);
    m_name->setFocus();
}

void TGroupDef::BtnSaveClick()
{
    db::Table *groups = table(TableId::Groups);
    if (!groups)
        return;
    GroupBook book(*groups, nullptr);
    m_group.cGroup = m_name->text();
    const RecordSave saved = book.save(m_group, m_recNo);
    if (!saved.ok) {
        Prompt::info(this, saved.message);
        m_number->setText(QString::number(m_group.nGroup).rightJustified(2, QLatin1Char(' ')));
        return;
    }
    m_recNo = saved.recNo;
    m_selection = saved.recNo;
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
    const db::Status removed = book.remove(m_recNo);
    if (!removed.isOk()) {
        Prompt::info(this, QStringLiteral("The group could not be deleted.\n") + removed.toString());
        return;
    }
    m_selection = 0;
    accept();
}

void TGroupDef::BtnCancelClick()
{
    reject();
}

void TGroupDef::reject()
{
    if (!DiscardGuard::of(this)->confirmDiscard())
        return;
    QDialog::reject();
}

} // namespace tallyra
