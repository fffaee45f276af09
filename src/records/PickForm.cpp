#include "PickForm.h"

#include "EnterMovesFocus.h"
#include "EntryForm.h"
#include "Prompt.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace tallyra {

TPickForm::TPickForm(const QString &objectName, const QString &title, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(objectName);
    setWindowTitle(title);
    setModal(true);
}

QHBoxLayout *TPickForm::pickButtons()
{
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    m_select = addRowButton(this, row, QStringLiteral("Select"), "selectButton");
    m_new = addRowButton(this, row, QStringLiteral("New"), "newButton");
    m_cancel = addRowButton(this, row, QStringLiteral("Cancel"), "cancelButton");
    connect(m_select, &QPushButton::clicked, this, &TPickForm::BtnSelectClick);
    connect(m_new, &QPushButton::clicked, this, &TPickForm::BtnNewClick);
    connect(m_cancel, &QPushButton::clicked, this, &TPickForm::BtnCancelClick);
    EnterMovesFocus::install(this);
    return row;
}

void TPickForm::choose(quint32 recNo)
{
    if (recNo == 0) {
        Prompt::info(this, QStringLiteral("Item Not Selected"));
        return;
    }
    m_selection = recNo;
    accept();
}

void TPickForm::BtnNewClick()
{
    m_selection = 0;
    accept();
}

void TPickForm::BtnCancelClick()
{
    m_selection = -1;
    reject();
}

} // namespace tallyra
