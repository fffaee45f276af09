#include "MultGroupU.h"

#include "Conversions.h"
#include "Records.h"
#include "engine/Table.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

namespace {

TMultGroup *g_instance = nullptr;

void dropInstance()
{
    delete g_instance;
    g_instance = nullptr;
}

} // namespace

QList<qint64> &selectedGroups()
{
    static QList<qint64> groups;
    return groups;
}

QList<GroupChoice> groupChoices(db::Table &groups)
{
    QList<GroupChoice> choices;
    const QString previousTag = groups.selectedTag();
    const quint32 previousRecord = groups.recNo();
    if (groups.selectTag(QStringLiteral("NGroup"))) {
        GroupRecord group;
        for (bool more = groups.top(); more; more = groups.skip(1)) {
            if (groups.isDeleted())
                continue;
            if (!loadGroup(groups, group).isOk())
                break;
            choices.append({group.nGroup, QString::fromLatin1(numberKey(group.nGroup, 2)) +
                                              QStringLiteral(" - ") + group.cGroup.trimmed()});
        }
    }
    if (previousTag.isEmpty())
        groups.selectNatural();
    else
        groups.selectTag(previousTag);
    if (previousRecord > 0)
        groups.go(previousRecord);
    else
        groups.top();
    return choices;
}

TMultGroup::TMultGroup(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("multGroupDialog"));
    setWindowTitle(QString::fromLatin1(kCaption));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("groupList"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setMinimumSize(260, 200);
    m_run = new QPushButton(QStringLiteral("Run"), this);
    m_run->setObjectName(QStringLiteral("runButton"));
    m_run->setDefault(true);
    m_all = new QPushButton(QStringLiteral("All"), this);
    m_all->setObjectName(QStringLiteral("allButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_run);
    buttons->addWidget(m_all);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);

    connect(m_run, &QPushButton::clicked, this, &TMultGroup::BtnRunClick);
    connect(m_all, &QPushButton::clicked, this, &TMultGroup::BtnAllClick);
    connect(m_cancel, &QPushButton::clicked, this, &TMultGroup::BtnCancelClick);
}

TMultGroup &TMultGroup::instance()
{
    if (!g_instance) {
        g_instance = new TMultGroup;
        qAddPostRoutine(dropInstance);
    }
    return *g_instance;
}

bool TMultGroup::ask(db::Table &groups)
{
    TMultGroup &window = instance();
    window.load(groups);
    return window.run();
}

void TMultGroup::load(db::Table &groups)
{
    m_list->clear();
    selectedGroups().clear();
    const QList<GroupChoice> choices = groupChoices(groups);
    for (const GroupChoice &choice : choices) {
        auto *item = new QListWidgetItem(choice.text, m_list);
        item->setData(Qt::UserRole, choice.number);
    }
    if (m_list->count() == 1)
        m_list->item(0)->setSelected(true);
}

bool TMultGroup::run()
{
    exec();
    return !selectedGroups().isEmpty();
}

void TMultGroup::BtnRunClick()
{
    // In list order, whatever order the items were clicked in. The number travels with the item,
    // so it is never read back from the text.
    selectedGroups().clear();
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->isSelected())
            selectedGroups().append(m_list->item(i)->data(Qt::UserRole).toLongLong());
    }
    accept();
}

void TMultGroup::BtnAllClick()
{
    m_list->selectAll();
}

void TMultGroup::BtnCancelClick()
{
    selectedGroups().clear();
    reject();
}

} // namespace tallyra
