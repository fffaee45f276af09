#include "PickLabelU.h"

#include "RecordTables.h"
#include "Records.h"
#include "Schema.h"

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

TPickLab::TPickLab(db::Engine &engine, QWidget *parent)
    : TPickForm(QStringLiteral("pickLabDialog"), QStringLiteral("Label Stock"), parent)
    , m_engine(engine)
{
    m_names = new QListWidget(this);
    m_names->setObjectName(QStringLiteral("labelNamesList"));
    // Room for the longest name with its deleted mark, and for ten entries.
    const QFontMetrics metrics = m_names->fontMetrics();
    m_names->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 34, metrics.height() * 11);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_names, 1);
    layout->addLayout(pickButtons());
    m_select->setDefault(true);

    connect(m_names, &QListWidget::itemActivated, this, &TPickLab::BtnSelectClick);
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
    choose(row >= 0 && row < m_recNos.size() ? m_recNos[row] : 0);
}

} // namespace tallyra
