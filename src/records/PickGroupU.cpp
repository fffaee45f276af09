#include "PickGroupU.h"

#include "Prompt.h"
#include "RecordTables.h"
#include "Tables.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

TPickGroup::TPickGroup(db::Engine &engine, QWidget *parent)
    : TPickForm(QStringLiteral("pickGroupDialog"), QStringLiteral("Select Customer Group"), parent)
    , m_engine(engine)
{

    auto *label = new QLabel(QStringLiteral("Seek:"), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("searchEdit"));
    label->setBuddy(m_search);
    m_names = new QListWidget(this);
    m_names->setObjectName(QStringLiteral("groupList"));
    m_names->setSelectionMode(QAbstractItemView::SingleSelection);
    m_names->installEventFilter(this);

    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(label);
    searchRow->addWidget(m_search, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(searchRow);
    layout->addWidget(m_names, 1);
    layout->addLayout(pickButtons());
    resize(320, 360);

    // Installed after the Enter filter, so it sees the search box's keys first.
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, this, &TPickGroup::EditSearchChange);
    connect(m_names, &QListWidget::itemDoubleClicked, this, &TPickGroup::BtnSelectClick);
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
    const bool chosen = row >= 0 && row < m_list.items().size() && !m_names->selectedItems().isEmpty();
    choose(chosen ? m_list.items()[row].recNo : 0);
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
