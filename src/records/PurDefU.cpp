#include "PurDefU.h"

#include "BrowseEdit.h"
#include "Clock.h"
#include "FormRules.h"
#include "MoneyBox.h"
#include "PickProdU.h"
#include "Prompt.h"
#include "PurchaseBook.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

namespace tallyra {

namespace {

constexpr int kIdLetters = 10;

// The product list with its registered windows (so "New" adds a product); a bare list while
// none are registered.
RecordWindows productWindows(db::Engine &engine)
{
    if (hasRecordWindows(RecordKind::Product))
        return recordWindows(RecordKind::Product);
    RecordWindows bare;
    bare.pick = [&engine](QWidget *parent, qint64 selection, bool) {
        TPickProd list(engine, parent);
        return list.pick(selection, false);
    };
    bare.edit = [](QWidget *, qint64) { return qint64(-1); };
    return bare;
}

} // namespace

TPurDef::TPurDef(db::Engine &engine, QWidget *parent)
    : TRecordForm(engine, QStringLiteral("purchase"), "purchaseDialog",
                  QStringLiteral("Inventory Purchase Definition"), parent)
{

    m_productButton = new QPushButton(QStringLiteral("Product"), this);
    m_productButton->setObjectName(QStringLiteral("productButton"));
    m_product = new QLineEdit(this);
    m_product->setObjectName(QStringLiteral("productIdEdit"));
    m_product->setMaxLength(kIdLetters);
    m_product->setMinimumWidth(m_product->fontMetrics().horizontalAdvance(QLatin1Char('W')) * kIdLetters +
                               12);
    m_date = new QDateEdit(this);
    m_date->setObjectName(QStringLiteral("dateAcquiredEdit"));
    m_date->setCalendarPopup(true);
    setupDateBox(m_date);
    m_quantity = new MoneyBox(10, 7, 2, this);
    m_quantity->setObjectName(QStringLiteral("quantityEdit"));
    m_returnNote = new QLabel(QStringLiteral("Return to the supplier"), this);
    m_returnNote->setObjectName(QStringLiteral("returnNote"));
    // The note's place is kept while it is hidden, so showing it moves nothing.
    QSizePolicy notePolicy = m_returnNote->sizePolicy();
    notePolicy.setRetainSizeWhenHidden(true);
    m_returnNote->setSizePolicy(notePolicy);
    m_returnNote->setVisible(false);
    m_cost = new MoneyBox(12, 9, 2, this);
    m_cost->setObjectName(QStringLiteral("totalCostEdit"));
    // The widest figure each box holds ("-9999999.99", "-999999999.99") shows whole.
    for (MoneyBox *box : {m_quantity, m_cost})
        box->setMinimumWidth(
            box->fontMetrics().horizontalAdvance(QString(box->formatWidth() + 1, QLatin1Char('9'))) + 16);
    m_productButton->setAutoDefault(false);

    auto *form = new QFormLayout;
    auto *productRow = new QHBoxLayout;
    productRow->addWidget(m_product);
    productRow->addStretch(1);
    form->addRow(m_productButton, productRow);
    form->addRow(QStringLiteral("Date Acquired"), m_date);
    auto *quantityRow = new QHBoxLayout;
    quantityRow->addWidget(m_quantity);
    quantityRow->addWidget(m_returnNote);
    quantityRow->addStretch(1);
    form->addRow(QStringLiteral("Quantity"), quantityRow);
    form->addRow(QStringLiteral("Total Cost"), m_cost);
    finishForm(form);

    setTabOrder(m_productButton, m_product);
    setTabOrder(m_product, m_date);
    setTabOrder(m_date, m_quantity);
    setTabOrder(m_quantity, m_cost);
    setTabOrder(m_cost, saveButton());
    setTabOrder(saveButton(), deleteButton());
    setTabOrder(deleteButton(), cancelButton());

    connect(m_productButton, &QPushButton::clicked, this, &TPurDef::BtnProductClick);
    connect(m_quantity, &QLineEdit::textChanged, this, &TPurDef::QuantityChange);
}

bool TPurDef::loadRecord(quint32 recNo)
{
    m_purchase = PurchaseRecord{};
    m_purchase.PURDate = today();
    m_pickedProduct = 0;
    db::Table *purchases = table(TableId::Purchases);
    if (!purchases)
        return false;
    if (recNo != 0 && !PurchaseBook(*purchases).load(recNo, &m_purchase))
        return recordUnreadable(recNo);
    return true;
}

void TPurDef::showRecord()
{
    m_product->setText(m_purchase.PURProd);
    m_date->setDate(m_purchase.PURDate.isValid() ? m_purchase.PURDate : today());
    m_quantity->setValue(m_purchase.PURQty);
    m_cost->setValue(m_purchase.PURCost);
    m_productButton->setFocus();
}

void TPurDef::QuantityChange()
{
    bool ok = false;
    const double qty = m_quantity->value(&ok);
    m_returnNote->setVisible(ok && qty < 0);
}

// The purchase as the boxes show it; *amountsOk is false (and the box holding no figure has the
// focus, its message shown) when an amount cannot be taken.
PurchaseRecord TPurDef::shownPurchase(bool *amountsOk)
{
    PurchaseRecord p = m_purchase;
    p.PURProd = m_product->text().trimmed();
    p.PURDate = m_date->date();
    *amountsOk = true;
    for (MoneyBox *box : {m_quantity, m_cost}) {
        bool ok = false;
        const bool hadFocus = box->hasFocus();
        const double value = box->normalise() ? box->value(&ok) : 0.0;
        if (!ok) {
            if (hadFocus)
                Prompt::info(this, box->invalidMessage());
            box->setFocus();
            *amountsOk = false;
            return p;
        }
        (box == m_quantity ? p.PURQty : p.PURCost) = value;
    }
    return p;
}

bool TPurDef::hasUnsavedChanges()
{
    if (m_pickedProduct != 0 || m_product->text().trimmed() != m_purchase.PURProd)
        return true;
    const QDate shownDate = m_purchase.PURDate.isValid() ? m_purchase.PURDate : today();
    if (m_date->date() != shownDate)
        return true;
    bool ok1 = false, ok2 = false;
    const double qty = m_quantity->value(&ok1);
    const double cost = m_cost->value(&ok2);
    return !ok1 || !ok2 || m_quantity->format(qty) != m_quantity->format(m_purchase.PURQty) ||
           m_cost->format(cost) != m_cost->format(m_purchase.PURCost);
}

void TPurDef::BtnProductClick()
{
    db::Table *products = table(TableId::Products);
    if (!products)
        return;
    const PickStepResult step =
        pickStep(*products, RecordKind::Product, productWindows(m_engine), 0, true, this);
    if (!step.picked())
        return;
    if (!products->go(quint32(step.selection))) {
        Prompt::info(this,
                     QStringLiteral("The product could not be read.\n") + products->takeError().toString());
        return;
    }
    const int id = products->fieldIndex("PrID");
    m_product->setText(id >= 0 ? products->text(id).trimmed() : QString());
    m_pickedProduct = quint32(step.selection);
    m_date->setFocus();
}

void TPurDef::BtnSaveClick()
{
    db::Table *purchases = table(TableId::Purchases);
    if (!purchases)
        return;
    // An empty product box is told first, whatever the amounts hold.
    if (m_product->text().trimmed().isEmpty()) {
        Prompt::info(this, QString::fromLatin1(kProductSelectionRequiredMessage));
        m_productButton->setFocus();
        return;
    }
    bool amountsOk = false;
    PurchaseRecord p = shownPurchase(&amountsOk);
    if (!amountsOk)
        return;
    if (!takeSave(PurchaseBook(*purchases).save(p, m_recNo)))
        return;
    m_purchase = p;
    if (m_pickedProduct != 0) {
        db::Table *products = table(TableId::Products);
        const db::Status marked = products ? PurchaseBook::markInventoryItem(*products, m_pickedProduct)
                                           : db::Status::ioError(QStringLiteral("Prod5 is not open"));
        if (!marked)
            Prompt::info(this,
                         QStringLiteral("The purchase is saved, but the product could not be marked as an "
                                        "inventory item.\n") +
                             marked.toString());
    }
    accept();
}

void TPurDef::BtnDeleteClick()
{
    db::Table *purchases = table(TableId::Purchases);
    if (purchases && m_recNo != 0)
        acceptDeletion(PurchaseBook(*purchases).remove(m_recNo));
}

} // namespace tallyra
