#include "ReportFontU.h"

#include "EnterMovesFocus.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

namespace {

QFont regular(QFont font)
{
    font.setStyleName(QString());
    font.setBold(false);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

} // namespace

TReportFontDialog::TReportFontDialog(const QFont &current, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("reportFontDialog"));
    setWindowTitle(QStringLiteral("Report Font"));

    m_family = new QFontComboBox(this);
    m_family->setObjectName(QStringLiteral("fontFamilyComboBox"));
    m_family->setCurrentFont(regular(current));
    m_size = new QComboBox(this);
    m_size->setObjectName(QStringLiteral("fontSizeComboBox"));
    m_size->setEditable(true);
    m_size->setValidator(new QIntValidator(4, 72, m_size));
    for (int size : {6, 7, 8, 9, 10, 11, 12, 14, 16, 18, 20, 24})
        m_size->addItem(QString::number(size));
    m_size->setCurrentText(QString::number(current.pointSize() > 0 ? current.pointSize() : 10));
    m_sample = new QLabel(QStringLiteral("Invoice 1234   12/31/2025   1,234.56"), this);
    m_sample->setObjectName(QStringLiteral("fontSampleLabel"));
    m_sample->setMinimumHeight(48);
    m_sample->setFrameShape(QFrame::StyledPanel);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Font:"), m_family);
    form->addRow(QStringLiteral("&Size:"), m_size);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_sample);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_family, &QFontComboBox::currentFontChanged, this, &TReportFontDialog::updateSample);
    connect(m_size, &QComboBox::currentTextChanged, this, &TReportFontDialog::updateSample);
    EnterMovesFocus::install(this);
    updateSample();
}

QFont TReportFontDialog::selectedFont() const
{
    QFont font = regular(m_family->currentFont());
    const int size = m_size->currentText().toInt();
    font.setPointSize(size >= 4 ? size : 10);
    return font;
}

void TReportFontDialog::updateSample()
{
    m_sample->setFont(selectedFont());
}

} // namespace tallyra
