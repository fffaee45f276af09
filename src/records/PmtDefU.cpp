#include "PmtDefU.h"

#include "FormRules.h"
#include "MoneyBox.h"
#include "Prompt.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QLocale>
#include <QPushButton>

namespace tallyra {

TPmtDef::TPmtDef(QWidget *parent)
    : TEntryForm("pmtDefDialog", QStringLiteral("Payment"), parent)
{

    m_date = new QDateEdit(this);
    m_date->setObjectName(QStringLiteral("datePaidEdit"));
    m_date->setCalendarPopup(true);
    setupDateBox(m_date);
    // Nine whole digits: as much as the payment's amount field holds.
    m_amount = new MoneyBox(10, 9, 2, this);
    m_amount->setObjectName(QStringLiteral("amountBox"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Date Paid:"), m_date);
    form->addRow(QStringLiteral("Amount:"), m_amount);
    finishForm(form);
}

void TPmtDef::setPayment(const InvoicePayment &payment, bool canDelete)
{
    m_date->setDate(payment.date);
    m_amount->setValue(payment.amount);
    deleteButton()->setEnabled(canDelete);
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

} // namespace tallyra
