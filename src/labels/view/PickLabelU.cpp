#include "PickLabelU.h"

#include "Prompt.h"
#include "RecordTables.h"
#include "Records.h"
#include "Schema.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

TPickLab::TPickLab(db::Engine &engine, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("pickLabDialog"));
    setWindowTitle(QStringLiteral("Label Stock"));
    setModal(true);
    m_names = new QListWidget(this);
    m_names->setObjectName(QStringLiteral("labelNamesList"));
    // Room for the longest name with its deleted mark, and for ten entries.
    const QFontMetrics metrics = m_names->fontMetrics();
    m_names->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 34, metrics.height() * 11);
    m_select = new QPushButton(QStringLiteral("Select"), this);
    m_select->setObjectName(QStringLiteral("selectButton"));
    m_new = new QPushButton(QStringLiteral("New"), this);
    m_new->setObjectName(QStringLiteral("newButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_select->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *b : {m_select, m_new, m_cancel})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_names, 1);
    layout->addLayout(buttons);

    connect(m_select, &QPushButton::clicked, this, &TPickLab::BtnSelectClick);
    connect(m_names, &QListWidget::itemActivated, this, &TPickLab::BtnSelectClick);
    connect(m_new, &QPushButton::clicked, this, &TPickLab::BtnNewClick);
    connect(m_cancel, &QPushButton::clicked, this, &TPickLab::BtnCancelClick);
}

qint64 TPickLab::pick(qint64 selection, bool allowNew)
{
    m_names->clear();
    m_recNos.clear();
    db::Table *labels = commandTable(m_engine, TableId::Labels, this);
    if (!labels)
        return -1;
    labels->selectTag(QStringLiteral("Labels"));
    LabelRecord stock;
    const int width = findTableDef(QStringLiteral("LABELS"))->fields.value(0).length / 2;
    int current = 0;
    for (bool more = labels->top(); more; more = labels->skip(1)) {
        if (!loadLabel(*labels, stock).isOk())
            break;
        QString text = stock.Name.leftJustified(width, QLatin1Char(' '));
        if (labels->isDeleted())
            text += QStringLiteral("<DELETED>");
        if (qint64(labels->recNo()) == selection)
            current = m_names->count();
        m_names->addItem(text);
        m_recNos << labels->recNo();
    }
    labels->takeError();
    if (m_names->count() > 0)
        m_names->setCurrentRow(current);
    m_new->setEnabled(allowNew);
    m_selection = -1;
    m_names->setFocus();
    exec();
    return m_selection;
}

void TPickLab::BtnSelectClick()
{
    const int row = m_names->currentRow();
    if (row < 0 || row >= m_recNos.size()) {
        Prompt::info(this, QStringLiteral("Item Not Selected"));
        return;
    }
    m_selection = m_recNos[row];
    accept();
}

void TPickLab::BtnNewClick()
{
    m_selection = 0;
    accept();
}

void TPickLab::BtnCancelClick()
{
    m_selection = -1;
    reject();
}

} // namespace tallyra
