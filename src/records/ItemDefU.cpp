#include "ItemDefU.h"

#include "Conversions.h"
#include "MoneyBox.h"
#include "Prompt.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

namespace tallyra {

namespace {
constexpr int kDescriptionLength = 27;
}

TItemDef::TItemDef(QWidget *parent)
    : TEntryForm("itemDefDialog", QStringLiteral("Invoice Line Item"), parent)
{

    m_product = new QLineEdit(this);
    m_product->setObjectName(QStringLiteral("productEdit"));
    m_product->setReadOnly(true);
    m_product->setFocusPolicy(Qt::NoFocus);
    m_description1 = new QLineEdit(this);
    m_description1->setObjectName(QStringLiteral("description1Edit"));
    m_description1->setMaxLength(kDescriptionLength);
    m_description2 = new QLineEdit(this);
    m_description2->setObjectName(QStringLiteral("description2Edit"));
    m_description2->setMaxLength(kDescriptionLength);
    m_shipLine = new QCheckBox(this);
    m_shipLine->setObjectName(QStringLiteral("shipLineCheckBox"));
    m_taxLine = new QCheckBox(this);
    m_taxLine->setObjectName(QStringLiteral("taxLineCheckBox"));
    m_price = new MoneyBox(8, 5, 2, this);
    m_price->setObjectName(QStringLiteral("unitPriceBox"));
    m_quantity = new MoneyBox(9, 6, 2, this);
    m_quantity->setObjectName(QStringLiteral("quantityBox"));
    m_total = new MoneyBox(10, 7, 2, this);
    m_total->setObjectName(QStringLiteral("totalBox"));
    m_total->setReadOnly(true);
    m_total->setFocusPolicy(Qt::NoFocus);

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Product"), this), 0, 0);
    grid->addWidget(m_product, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Description"), this), 1, 0);
    grid->addWidget(m_description1, 1, 1, 1, 3);
    grid->addWidget(m_description2, 2, 1, 1, 3);
    grid->addWidget(m_shipLine, 3, 1);
    grid->addWidget(m_taxLine, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("Unit Price"), this), 4, 0);
    grid->addWidget(m_price, 4, 1);
    grid->addWidget(new QLabel(QStringLiteral("Quantity"), this), 5, 0);
    grid->addWidget(m_quantity, 5, 1);
    grid->addWidget(new QLabel(QStringLiteral("Total"), this), 6, 0);
    grid->addWidget(m_total, 6, 1);
    finishForm(grid);

    connect(m_price, &MoneyBox::left, this, &TItemDef::PriceOrQuantityExit);
    connect(m_quantity, &MoneyBox::left, this, &TItemDef::PriceOrQuantityExit);
}

void TItemDef::setItem(const InvoiceItem &item, double total, const ChargeSettings &settings, bool canDelete)
{
    m_item = item;
    m_product->setText(item.productId);
    m_description1->setText(item.description1.left(kDescriptionLength));
    m_description2->setText(item.description2.left(kDescriptionLength));
    m_shipLine->setText(settings.shipLine.trimmed());
    m_shipLine->setChecked(item.shipLine);
    m_taxLine->setText(settings.taxLine.trimmed());
    m_taxLine->setChecked(item.taxLine);
    m_price->setValue(item.unitPrice);
    m_quantity->setValue(item.quantity);
    m_total->setValue(total);
    deleteButton()->setEnabled(canDelete);
}

InvoiceItem TItemDef::item() const
{
    InvoiceItem item = m_item;
    item.productId = m_product->text();
    item.description1 = m_description1->text().trimmed();
    item.description2 = m_description2->text().trimmed();
    item.shipLine = m_shipLine->isChecked();
    item.taxLine = m_taxLine->isChecked();
    item.unitPrice = m_price->value();
    item.quantity = m_quantity->value();
    return item;
}

int TItemDef::run()
{
    m_result = Cancelled;
    m_description1->setFocus();
    exec();
    return m_result;
}

void TItemDef::PriceOrQuantityExit(bool valid)
{
    bool priceOk = false;
    bool quantityOk = false;
    m_price->value(&priceOk);
    m_quantity->value(&quantityOk);
    if (!valid || !priceOk || !quantityOk)
        return; // the box has said what is wrong
    // The invoice's own line total, so the dialog and the grid never disagree.
    m_total->setValue(item().lineTotal());
}

void TItemDef::BtnSaveClick()
{
    for (MoneyBox *box : {m_price, m_quantity}) {
        if (!box->normalise()) {
            Prompt::info(this, box->invalidMessage());
            box->setFocus();
            return;
        }
    }
    // A line whose total its field cannot hold is refused here, before it reaches the invoice.
    if (!(std::fabs(item().lineTotal()) <= kLargestAmount)) {
        Prompt::info(this, tooLargeAmountMessage());
        m_quantity->setFocus();
        return;
    }
    m_result = Saved;
    accept();
}

void TItemDef::BtnDeleteClick()
{
    m_result = Deleted;
    accept();
}

} // namespace tallyra
