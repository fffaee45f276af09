#include "PickGroupU.h"

#include "EnterMovesFocus.h"
#include "Prompt.h"
#include "RecordTables.h"
#include "Tables.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

TPickGroup::TPickGroup(db::Engine &engine, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("pickGroupDialog"));
    setWindowTitle(QStringLiteral("Select Customer Group"));
    setModal(true);

    auto *label = new QLabel(QStringLiteral("Seek:"), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("searchEdit"));
    label->setBuddy(m_search);
    m_names = new QListWidget(this);
    m_names->setObjectName(QStringLiteral("groupList"));
    m_names->setSelectionMode(QAbstractItemView::SingleSelection);
    m_names->installEventFilter(this);
    m_select = new QPushButton(QStringLiteral("Select"), this);
    m_select->setObjectName(QStringLiteral("selectButton"));
    m_new = new QPushButton(QStringLiteral("New"), this);
    m_new->setObjectName(QStringLiteral("newButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    for (QPushButton *b : {m_select, m_new, m_cancel})
        b->setAutoDefault(false);

    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(label);
    searchRow->addWidget(m_search, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_select);
    buttons->addWidget(m_new);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(searchRow);
    layout->addWidget(m_names, 1);
    layout->addLayout(buttons);
    resize(320, 360);

    EnterMovesFocus::install(this);
    // Installed after the Enter filter, so it sees the search box's keys first.
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, this, &TPickGroup::EditSearchChange);
    connect(m_names, &QListWidget::itemDoubleClicked, this, &TPickGroup::BtnSelectClick);
    connect(m_select, &QPushButton::clicked, this, &TPickGroup::BtnSelectClick);
    connect(m_new, &QPushButton::clicked, this, &TPickGroup::BtnNewClick);
    connect(m_cancel, &QPushButton::clicked, this, &TPickGroup::BtnCancelClick);
}

qint64 TPickGroup::pick(qint64 selection, bool allowNew)
{
    m_selection = -1;
    db::Table *groups = commandTable(m_engine, TableId::Groups, this);
    if (!groups)
        return -1;
    const QString previousTag = groups->selectedTag();
    if (!groups->selectTag(QStringLiteral("CGroup"))) {
        groups->takeError();
        Prompt::info(this, openFailureMessage(tableDef(TableId::Groups).tagFailFile));
        return -1;
    }
    const db::Status read = m_list.load(*groups);
    if (!read.isOk())
        Prompt::info(this, QStringLiteral("The list could not be read completely.\n%1").arg(read.toString()));

    {
        const QSignalBlocker block(m_search);
        m_search->clear();
    }
    m_names->clear();
    for (const GroupItem &item : m_list.items())
        m_names->addItem(item.text());
    if (!m_list.items().isEmpty()) {
        const int at = m_list.indexOfRecord(selection > 0 ? static_cast<quint32>(selection) : 0);
        m_names->setCurrentRow(at >= 0 ? at : 0);
    }
    m_new->setEnabled(allowNew);
    m_search->setFocus();
    exec();

    if (previousTag.isEmpty())
        groups->selectNatural();
    else
        groups->selectTag(previousTag);
    groups->takeError();
    return m_selection;
}

bool TPickGroup::eventFilter(QObject *watched, QEvent *event)
{
    // From the search box, Down moves into the list and Enter chooses the selected group.
    if (watched == m_search && event->type() == QEvent::KeyPress && m_names->count() > 0) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Down) {
            m_names->setFocus(Qt::TabFocusReason);
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BtnSelectClick();
            return true;
        }
    }
    if (watched == m_names && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BtnSelectClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TPickGroup::BtnSelectClick()
{
    const int row = m_names->currentRow();
    const QList<QListWidgetItem *> selected = m_names->selectedItems();
    if (row < 0 || row >= m_list.items().size() || selected.isEmpty()) {
        Prompt::info(this, QStringLiteral("Item Not Selected"));
        return;
    }
    m_selection = m_list.items()[row].recNo;
    accept();
}

void TPickGroup::BtnNewClick()
{
    m_selection = 0;
    accept();
}

void TPickGroup::BtnCancelClick()
{
    m_selection = -1;
    reject();
}

void TPickGroup::EditSearchChange(const QString &text)
{
    const int at = m_list.search(text);
    if (at >= 0) {
        m_names->setCurrentRow(at);
        return;
    }
    // No name starts so: the group selected stays selected (the first one when none is), so
    // "Select" always has one to take.
    if (m_names->count() > 0 && (m_names->currentRow() < 0 || m_names->selectedItems().isEmpty()))
        m_names->setCurrentRow(0);
}

} // namespace tallyra
