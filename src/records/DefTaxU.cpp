#include "DefTaxU.h"

#include "MoneyBox.h"
#include "Prompt.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tallyra {

namespace {

constexpr int kCaptionLength = 20;

// A radio group whose buttons have ids 1, 2, 3: the setting's own values.
QGroupBox *radioGroup(QWidget *parent, const QString &title, const QString &name, const QStringList &choices,
                      const QStringList &names, QButtonGroup **group)
{
    auto *box = new QGroupBox(title, parent);
    box->setObjectName(name);
    auto *layout = new QVBoxLayout(box);
    *group = new QButtonGroup(box);
    for (int i = 0; i < choices.size(); ++i) {
        auto *button = new QRadioButton(choices.at(i), box);
        button->setObjectName(names.at(i));
        layout->addWidget(button);
        (*group)->addButton(button, i + 1);
    }
    return box;
}

void check(QButtonGroup *group, int id)
{
    if (QAbstractButton *b = group->button(id)) {
        b->setChecked(true);
        return;
    }
    // A stored value outside the choices shows none checked.
    group->setExclusive(false);
    for (QAbstractButton *b : group->buttons())
        b->setChecked(false);
    group->setExclusive(true);
}

} // namespace

TTaxDef::TTaxDef(QWidget *parent)
    : TEntryForm("taxDefDialog", QStringLiteral("Tax Definition"), parent)
{

    m_shipLine = new QLineEdit(this);
    m_shipLine->setObjectName(QStringLiteral("shipLineEdit"));
    m_shipLine->setMaxLength(kCaptionLength);
    m_taxLine = new QLineEdit(this);
    m_taxLine->setObjectName(QStringLiteral("taxLineEdit"));
    m_taxLine->setMaxLength(kCaptionLength);
    m_rate1 = new MoneyBox(5, 2, 2, this);
    m_rate1->setObjectName(QStringLiteral("taxRate1Box"));
    m_rate2 = new MoneyBox(5, 2, 2, this);
    m_rate2->setObjectName(QStringLiteral("taxRate2Box"));

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Line Label"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Percentage"), this), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Computed 1"), this), 1, 0);
    grid->addWidget(m_shipLine, 1, 1);
    grid->addWidget(m_rate1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Computed 2"), this), 2, 0);
    grid->addWidget(m_taxLine, 2, 1);
    grid->addWidget(m_rate2, 2, 2);

    QGroupBox *shipTax =
        radioGroup(this, QStringLiteral("Tax 2 charged on Tax 1"), QStringLiteral("shipTaxGroupBox"),
                   {QStringLiteral("No"), QStringLiteral("Yes"), QStringLiteral("When Tax on Items")},
                   {QStringLiteral("shipTaxNoRadioButton"), QStringLiteral("shipTaxYesRadioButton"),
                    QStringLiteral("shipTaxOnItemsRadioButton")},
                   &m_shipTax);
    QGroupBox *taxRound =
        radioGroup(this, QStringLiteral(" Round Computed Tax "), QStringLiteral("taxRoundGroupBox"),
                   {QStringLiteral("Normal"), QStringLiteral("Up"), QStringLiteral("Down")},
                   {QStringLiteral("roundNormalRadioButton"), QStringLiteral("roundUpRadioButton"),
                    QStringLiteral("roundDownRadioButton")},
                   &m_taxRound);

    auto *groups = new QHBoxLayout;
    groups->addWidget(shipTax);
    groups->addWidget(taxRound);
    auto *body = new QVBoxLayout;
    body->addLayout(grid);
    body->addLayout(groups);
    finishForm(body, Buttons::SaveCancel);

    // Row by row, as the form reads: each caption, then its rate.
    setTabOrder(m_shipLine, m_rate1);
    setTabOrder(m_rate1, m_taxLine);
    setTabOrder(m_taxLine, m_rate2);
}

void TTaxDef::setValues(const ChargeSettings &settings)
{
    m_settings = settings;
    m_shipLine->setText(settings.shipLine.trimmed());
    m_taxLine->setText(settings.taxLine.trimmed());
    m_rate1->setValue(settings.taxRate1);
    m_rate2->setValue(settings.taxRate2);
    check(m_shipTax, settings.shipTax);
    check(m_taxRound, int(settings.taxRound));
}

ChargeSettings TTaxDef::values() const
{
    ChargeSettings s = m_settings;
    s.shipLine = m_shipLine->text().trimmed();
    s.taxLine = m_taxLine->text().trimmed();
    s.taxRate1 = m_rate1->value();
    s.taxRate2 = m_rate2->value();
    if (m_shipTax->checkedId() > 0)
        s.shipTax = m_shipTax->checkedId();
    if (m_taxRound->checkedId() > 0)
        s.taxRound = chargeRoundingFromStored(m_taxRound->checkedId());
    return s;
}

bool TTaxDef::run()
{
    m_saved = false;
    m_shipLine->setFocus();
    exec();
    return m_saved;
}

void TTaxDef::BtnSaveClick()
{
    for (MoneyBox *box : {m_rate1, m_rate2}) {
        const double rate = box->value();
        if (!box->normalise()) {
            Prompt::info(this, box->invalidMessage());
            box->setFocus();
            return;
        }
        if (rate < 0) {
            // A negative rate would turn every computed charge into a credit.
            Prompt::info(this, QStringLiteral("A percentage must be between 0 and 99.99"));
            box->setFocus();
            return;
        }
    }
    const ChargeSettings settings = values();
    QString error;
    if (m_saver && !m_saver(settings, &error)) {
        if (!error.isEmpty())
            Prompt::info(this, error);
        if (!isVisible())
            reject(); // the saver ended the program
        return;
    }
    m_settings = settings;
    m_saved = true;
    accept();
}

} // namespace tallyra
