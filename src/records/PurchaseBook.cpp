#include "PurchaseBook.h"

#include "Database.h"

namespace tallyra {

PurchaseBook::PurchaseBook(db::Table &purchases)
    : m_purchases(purchases)
{}

QString PurchaseBook::refusal(const PurchaseRecord &purchase)
{
    if (purchase.PURProd.trimmed().isEmpty())
        return QString::fromLatin1(kProductSelectionRequiredMessage);
    if (purchase.PURQty < 0 && purchase.PURCost > 0)
        return QString::fromLatin1(kReturnCostMessage);
    if (purchase.PURQty > 0 && purchase.PURCost < 0)
        return QString::fromLatin1(kNegativeCostMessage);
    return {};
}

bool PurchaseBook::load(quint32 recNo, PurchaseRecord *purchase, bool *deleted)
{
    if (recNo == 0 || !m_purchases.go(recNo)) {
        m_purchases.takeError();
        return false;
    }
    if (!loadPurchase(m_purchases, *purchase).isOk()) {
        m_purchases.takeError();
        return false;
    }
    purchase->PURProd = purchase->PURProd.trimmed();
    if (deleted)
        *deleted = m_purchases.isDeleted();
    return true;
}

RecordSave PurchaseBook::save(PurchaseRecord &purchase, quint32 recNo)
{
    const QString refused = refusal(purchase);
    if (!refused.isEmpty())
        return RecordSave::refused(refused);
    purchase.PURProd = purchase.PURProd.trimmed().toUpper();

    bool appended = false;
    if (recNo != 0) {
        if (!m_purchases.go(recNo)) {
            const db::Status s = m_purchases.takeError();
            return RecordSave::refused(QStringLiteral("The purchase's record could not be read.\n") +
                                       s.toString());
        }
    } else {
        if (!m_purchases.appendBlank().isOk()) {
            m_purchases.takeError();
            return RecordSave::refused(QString::fromLatin1(kPurchaseAppendFailedMessage));
        }
        appended = true;
    }
    const quint32 written = m_purchases.recNo();
    db::Status s = writePurchase(m_purchases, purchase);
    if (s.isOk() && m_purchases.isDeleted()) {
        s = m_purchases.recall();
        if (s.isOk())
            s = m_purchases.flush();
    }
    if (!s.isOk()) {
        if (appended) {
            // Never leave half a purchase behind: the blank record goes with the next pack.
            m_purchases.markDeleted();
            m_purchases.flush();
            setPackNeeded(true);
        }
        m_purchases.takeError();
        return RecordSave::refused(QStringLiteral("The purchase could not be saved.\n") + s.toString());
    }
    return RecordSave::saved(written);
}

db::Status PurchaseBook::remove(quint32 recNo)
{
    db::Status s;
    if (!m_purchases.go(recNo))
        s = m_purchases.takeError();
    if (s.isOk())
        s = m_purchases.markDeleted();
    if (s.isOk())
        s = m_purchases.flush();
    if (!s.isOk()) {
        m_purchases.takeError();
        return s;
    }
    setPackNeeded(true);
    return s;
}

db::Status PurchaseBook::markInventoryItem(db::Table &products, quint32 recNo)
{
    const int field = products.fieldIndex("lInven");
    if (field < 0)
        return db::Status::invalid(products.fileName() + QStringLiteral(": the field lInven is missing"));
    db::Status s;
    if (!products.go(recNo))
        s = products.takeError();
    if (s.isOk() && products.eof())
        s = db::Status::notFound(QStringLiteral("%1: no record %2").arg(products.fileName()).arg(recNo));
    if (s.isOk() && !products.logical(field)) {
        s = products.setLogical(field, true);
        if (s.isOk())
            s = products.flush();
    }
    if (!s.isOk())
        products.takeError();
    return s;
}

} // namespace tallyra
