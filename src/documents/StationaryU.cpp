#include "StationaryU.h"

#include "MoneyBox.h"
#include "Prompt.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace tallyra {

namespace {

QLineEdit *textBox(QWidget *parent, const char *name, int maxLength, int widthChars)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    if (maxLength > 0)
        box->setMaxLength(maxLength);
    // Wide enough for the widest text the box takes, in the font actually used.
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QString(widthChars, QLatin1Char('W'))) * 3 / 4 +
                         12);
    return box;
}

MoneyBox *inchBox(QWidget *parent, const char *name)
{
    auto *box = new MoneyBox(5, 2, 2, parent);
    box->setObjectName(QLatin1String(name));
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("-99.99")) + 16);
    box->setMaximumWidth(box->minimumWidth() + 20);
    return box;
}

} // namespace

TStationary::TStationary(QWidget *parent)
    : TEntryForm("stationaryDialog", QStringLiteral("Stationery Setup"), parent)
{

    m_logoButton = new QPushButton(QStringLiteral("Logo File"), this);
    m_logoButton->setObjectName(QStringLiteral("logoFileButton"));
    m_logoFile = textBox(this, "logoFileEdit", 0, 35);
    m_logoFile->setReadOnly(true);
    m_logoFile->setFocusPolicy(Qt::ClickFocus); // skipped by Tab
    m_topMargin = inchBox(this, "topMarginBox");
    m_logoHeight = inchBox(this, "logoHeightBox");
    m_logoWidth = inchBox(this, "logoWidthBox");
    m_company = textBox(this, "companyEdit", 35, 35);
    const char *addrNames[4] = {"addr1Edit", "addr2Edit", "addr3Edit", "addr4Edit"};
    for (int i = 0; i < 4; ++i)
        m_addr[i] = textBox(this, addrNames[i], i == 3 ? 25 : 35, 35);
    m_closing = textBox(this, "closingLineEdit", 25, 25);
    m_signature = textBox(this, "signatureLineEdit", 0, 35);

    auto *justify = new QGroupBox(QStringLiteral(" Justification "), this);
    justify->setObjectName(QStringLiteral("justificationGroupBox"));
    auto *justifyLayout = new QHBoxLayout(justify);
    m_justify = new QButtonGroup(justify);
    const QStringList choices = {QStringLiteral("Left"), QStringLiteral("Center"), QStringLiteral("Right")};
    const QStringList names = {QStringLiteral("leftRadioButton"), QStringLiteral("centerRadioButton"),
                               QStringLiteral("rightRadioButton")};
    for (int i = 0; i < 3; ++i) {
        auto *b = new QRadioButton(choices[i], justify);
        b->setObjectName(names[i]);
        justifyLayout->addWidget(b);
        m_justify->addButton(b, i + 1);
    }
    m_logoButton->setAutoDefault(false);

    auto *grid = new QGridLayout;
    int row = 0;
    grid->addWidget(m_logoButton, row, 0);
    grid->addWidget(m_logoFile, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Top Margin:"), this), row, 0);
    auto *top = new QHBoxLayout;
    top->addWidget(m_topMargin);
    top->addWidget(new QLabel(QStringLiteral("Inches"), this));
    top->addStretch();
    grid->addLayout(top, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Logo Height:"), this), row, 0);
    auto *size = new QHBoxLayout;
    size->addWidget(m_logoHeight);
    size->addWidget(new QLabel(QStringLiteral("Width:"), this));
    size->addWidget(m_logoWidth);
    size->addWidget(new QLabel(QStringLiteral("Inches"), this));
    size->addStretch();
    grid->addLayout(size, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Company Name:"), this), row, 0);
    grid->addWidget(m_company, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Address:"), this), row, 0);
    for (QLineEdit *box : m_addr)
        grid->addWidget(box, row++, 1, 1, 3);
    grid->addWidget(justify, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Closing Line:"), this), row, 0);
    grid->addWidget(m_closing, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Signature Line:"), this), row, 0);
    grid->addWidget(m_signature, row++, 1, 1, 3);
    finishForm(grid, Buttons::SaveCancel);

    // Tab follows the order on screen; the logo path box is left out.
    QWidget *order[] = {m_logoButton, m_topMargin, m_logoHeight, m_logoWidth,   m_company,
                        m_addr[0],    m_addr[1],   m_addr[2],    m_addr[3],     m_justify->button(1),
                        m_closing,    m_signature, saveButton(), cancelButton()};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_logoButton, &QPushButton::clicked, this, &TStationary::BtnLogoFileClick);
}

void TStationary::setValues(const SettingsRecord &settings)
{
    m_settings = settings;
    const StationeryEntry e = StationeryEntry::from(settings);
    m_logoFile->setText(e.logoFile);
    m_topMargin->setText(e.topMargin);
    m_logoHeight->setText(e.logoHeight);
    m_logoWidth->setText(e.logoWidth);
    m_company->setText(e.company);
    m_addr[0]->setText(e.addr1);
    m_addr[1]->setText(e.addr2);
    m_addr[2]->setText(e.addr3);
    m_addr[3]->setText(e.addr4);
    m_closing->setText(e.closingLine);
    m_signature->setText(e.signatureLine);
    m_justify->button(e.justify)->setChecked(true);
    m_shown = entry();
}

StationeryEntry TStationary::entry() const
{
    StationeryEntry e;
    e.logoFile = m_logoFile->text();
    e.topMargin = m_topMargin->text();
    e.logoHeight = m_logoHeight->text();
    e.logoWidth = m_logoWidth->text();
    e.company = m_company->text();
    e.addr1 = m_addr[0]->text();
    e.addr2 = m_addr[1]->text();
    e.addr3 = m_addr[2]->text();
    e.addr4 = m_addr[3]->text();
    e.closingLine = m_closing->text();
    e.signatureLine = m_signature->text();
    e.justify = qMax(1, m_justify->checkedId());
    return e;
}

bool TStationary::run()
{
    m_saved = false;
    m_logoButton->setFocus();
    exec();
    return m_saved;
}

void TStationary::BtnLogoFileClick()
{
    // The data files are found relative to the working directory; the dialog must not move it.
    const QString workingDir = QDir::currentPath();
    const QString chosen =
        Prompt::openFile(this, QStringLiteral("Logo File"), m_logoFile->text().trimmed(), logoFileFilter());
    QDir::setCurrent(workingDir);
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen);
    m_logoFile->setText(file.isFile() ? file.absoluteFilePath() : QString());
}

void TStationary::BtnSaveClick()
{
    QString error;
    SettingsRecord changed = m_settings;
    if (!entry().applyTo(changed, &error)) {
        Prompt::info(this, error);
        MoneyBox *box = error.startsWith(QStringLiteral("Top"))           ? m_topMargin
                        : error.startsWith(QStringLiteral("Logo Height")) ? m_logoHeight
                                                                          : m_logoWidth;
        box->setFocus();
        return;
    }
    if (m_saver && !m_saver(changed, &error)) {
        Prompt::info(this, error);
        return;
    }
    m_settings = changed;
    m_saved = true;
    accept();
}

bool TStationary::hasUnsavedChanges()
{
    const StationeryEntry now = entry();
    return now.logoFile != m_shown.logoFile || now.topMargin != m_shown.topMargin ||
           now.logoHeight != m_shown.logoHeight || now.logoWidth != m_shown.logoWidth ||
           now.company != m_shown.company || now.addr1 != m_shown.addr1 || now.addr2 != m_shown.addr2 ||
           now.addr3 != m_shown.addr3 || now.addr4 != m_shown.addr4 ||
           now.closingLine != m_shown.closingLine || now.signatureLine != m_shown.signatureLine ||
           now.justify != m_shown.justify;
}

} // namespace tallyra
