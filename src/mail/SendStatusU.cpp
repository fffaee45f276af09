#include "SendStatusU.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

TSendStatus::TSendStatus(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("sendStatusDialog"));
    setWindowTitle(QStringLiteral("Sending EMail"));
    setModal(true);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("statusLabel"));
    m_text->setTextFormat(Qt::PlainText);
    // Room for a server's reply line of ordinary length.
    m_text->setMinimumWidth(QFontMetrics(m_text->font()).horizontalAdvance(QLatin1Char('M')) * 40);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_cancel->setAutoDefault(true);
    m_cancel->setFocus();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    connect(m_cancel, &QPushButton::clicked, this, &TSendStatus::BtnCancelClick);
    // Escape (reject) cancels as the button does.
    connect(this, &QDialog::rejected, this, &TSendStatus::cancelRequested);
}

void TSendStatus::setText(const QString &text)
{
    m_text->setText(QFontMetrics(m_text->font()).elidedText(text, Qt::ElideRight, m_text->minimumWidth()));
}

QString TSendStatus::text() const
{
    return m_text->text();
}

void TSendStatus::BtnCancelClick()
{
    reject();
}

} // namespace tallyra
