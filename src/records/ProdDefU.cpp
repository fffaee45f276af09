#include "ProdDefU.h"

#include "Conversions.h"
#include "MoneyBox.h"
#include "ProductCatalog.h"
#include "Prompt.h"
#include "Settings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

namespace {

QLineEdit *box(QWidget *parent, const char *name, int maxLength)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(maxLength);
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('n')) * maxLength + 12);
    return e;
}

} // namespace

TProdDef::TProdDef(db::Engine &engine, QWidget *parent)
    : TRecordForm(engine, QStringLiteral("product"), "productDialog", QStringLiteral("Product Definition"),
                  parent)
{

    m_id = box(this, "productIdEdit", 10);
    m_desc1 = box(this, "description1Edit", 27);
    m_desc2 = box(this, "description2Edit", 27);
    m_price = new MoneyBox(8, 5, 2, this);
    m_price->setObjectName(QStringLiteral("unitPriceEdit"));
    m_licence = box(this, "licenseCodeEdit", 10);
    m_shipLine = new QCheckBox(this);
    m_shipLine->setObjectName(QStringLiteral("shipLineCheckBox"));
    m_taxLine = new QCheckBox(this);
    m_taxLine->setObjectName(QStringLiteral("taxLineCheckBox"));
    m_inventory = new QCheckBox(QStringLiteral("Inventory Item"), this);
    m_inventory->setObjectName(QStringLiteral("inventoryCheckBox"));
    m_reorder = new MoneyBox(9, 6, 2, this);
    m_reorder->setObjectName(QStringLiteral("reorderLevelEdit"));
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("productTextEdit"));
    m_text->setTabChangesFocus(true);
    m_text->setFixedHeight(m_text->fontMetrics().lineSpacing() * 4 + 12);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Product ID"), m_id);
    form->addRow(QStringLiteral("Description"), m_desc1);
    form->addRow(QString(), m_desc2);
    form->addRow(QStringLiteral("Unit Price"), m_price);
    form->addRow(QStringLiteral("License Code:"), m_licence);
    auto *flags = new QHBoxLayout;
    flags->addWidget(m_shipLine);
    flags->addWidget(m_taxLine);
    flags->addWidget(m_inventory);
    flags->addStretch(1);
    form->addRow(QString(), flags);
    form->addRow(QStringLiteral("Reorder Level:"), m_reorder);
    auto *textLabel = new QLabel(QStringLiteral("Product Text (Printed at the Bottom of Invoices)"), this);
    textLabel->setBuddy(m_text);
    auto *body = new QVBoxLayout;
    body->addLayout(form);
    body->addWidget(textLabel);
    body->addWidget(m_text);
    finishForm(body);

    setTabOrder(m_id, m_desc1);
    setTabOrder(m_desc1, m_desc2);
    setTabOrder(m_desc2, m_price);
    setTabOrder(m_price, m_licence);
    setTabOrder(m_licence, m_shipLine);
    setTabOrder(m_shipLine, m_taxLine);
    setTabOrder(m_taxLine, m_inventory);
    setTabOrder(m_inventory, m_reorder);
    setTabOrder(m_reorder, m_text);
    setTabOrder(m_text, saveButton());
}

bool TProdDef::loadRecord(quint32 recNo)
{
    m_product = ProductRecord{};
    db::Table *products = table(TableId::Products);
    if (!products)
        return false;
    if (recNo != 0 && !ProductCatalog(m_engine, *products).load(recNo, &m_product))
        return recordUnreadable(recNo);
    m_originalId = m_product.PrID;
    return true;
}

void TProdDef::showRecord()
{
    m_id->setText(m_product.PrID);
    m_desc1->setText(m_product.PDesc);
    m_desc2->setText(m_product.IComm);
    m_price->setValue(m_product.UPrice);
    m_licence->setText(m_product.RCode);
    m_shipLine->setText(settings().ShipLine.trimmed());
    m_taxLine->setText(settings().TaxLine.trimmed());
    m_shipLine->setChecked(m_product.LTax1);
    m_taxLine->setChecked(m_product.LTax2);
    m_inventory->setChecked(m_product.lInven);
    m_reorder->setValue(m_product.REORDER);
    m_text->setPlainText(m_product.PMemo);
    m_id->setFocus();
}

// The figure of an amount box; a box without one has told the user so when it was left, and
// gets the focus back (a box still holding the focus tells it now).
bool TProdDef::takeAmount(MoneyBox *box, double *value)
{
    bool ok = false;
    const bool hadFocus = box->hasFocus();
    if (box->normalise())
        *value = box->value(&ok);
    if (ok)
        return true;
    if (hadFocus)
        Prompt::info(this, box->invalidMessage());
    box->setFocus();
    return false;
}

void TProdDef::BtnSaveClick()
{
    db::Table *products = table(TableId::Products);
    if (!products)
        return;
    ProductRecord p = m_product;
    if (!takeAmount(m_price, &p.UPrice) || !takeAmount(m_reorder, &p.REORDER))
        return;
    p.PrID = m_id->text();
    p.RCode = m_licence->text().trimmed();
    p.PDesc = m_desc1->text().trimmed();
    p.IComm = m_desc2->text().trimmed();
    p.PMemo = memoText(m_text->toPlainText());
    p.LTax1 = m_shipLine->isChecked();
    p.LTax2 = m_taxLine->isChecked();
    p.lInven = m_inventory->isChecked();

    if (!takeSave(ProductCatalog(m_engine, *products).save(p, m_recNo, m_originalId)))
        return;
    m_product = p;
    accept();
}

void TProdDef::BtnDeleteClick()
{
    db::Table *products = table(TableId::Products);
    if (products && m_recNo != 0)
        acceptDeletion(ProductCatalog(m_engine, *products).remove(m_recNo).status);
}

} // namespace tallyra
