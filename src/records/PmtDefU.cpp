#include "PmtDefU.h"

#include "EnterMovesFocus.h"
#include "FormRules.h"
#include "MoneyBox.h"
#include "Prompt.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

TPmtDef::TPmtDef(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("pmtDefDialog"));
    setWindowTitle(QStringLiteral("Payment"));

    m_date = new QDateEdit(this);
    m_date->setObjectName(QStringLiteral("datePaidEdit"));
    m_date->setCalendarPopup(true);
    setupDateBox(m_date);
    // Nine whole digits: as much as the payment's amount field holds.
    m_amount = new MoneyBox(10, 9, 2, this);
    m_amount->setObjectName(QStringLiteral("amountBox"));

    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_delete = new QPushButton(QStringLiteral("Delete"), this);
    m_delete->setObjectName(QStringLiteral("deleteButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    for (QPushButton *b : {m_save, m_delete, m_cancel})
        b->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Date Paid:"), m_date);
    form->addRow(QStringLiteral("Amount:"), m_amount);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(m_save, &QPushButton::clicked, this, &TPmtDef::BtnSaveClick);
    connect(m_delete, &QPushButton::clicked, this, &TPmtDef::BtnDeleteClick);
    connect(m_cancel, &QPushButton::clicked, this, &TPmtDef::BtnCancelClick);
    EnterMovesFocus::install(this);
}

void TPmtDef::setPayment(const InvoicePayment &payment, bool canDelete)
{
    m_date->setDate(payment.date);
    m_amount->setValue(payment.amount);
    m_delete->setEnabled(canDelete);
}

InvoicePayment TPmtDef::payment() const
{
    InvoicePayment p;
    p.date = m_date->date();
    p.amount = m_amount->value();
    return p;
}

int TPmtDef::run()
{
    m_result = Cancelled;
    m_date->setFocus();
    exec();
    return m_result;
}

void TPmtDef::BtnSaveClick()
{
    if (!m_amount->normalise()) {
        Prompt::info(this, m_amount->invalidMessage());
        m_amount->setFocus();
        return;
    }
    m_result = Saved;
    accept();
}

void TPmtDef::BtnDeleteClick()
{
    m_result = Deleted;
    accept();
}

void TPmtDef::BtnCancelClick()
{
    m_result = Cancelled;
    reject();
}

} // namespace tallyra
