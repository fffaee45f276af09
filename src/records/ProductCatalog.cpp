#include "ProductCatalog.h"

#include "Conversions.h"
#include "Database.h"
#include "Tables.h"
#include "TagScope.h"

namespace tallyra {

namespace {

QString failure(const QString &what, const db::Status &status)
{
    return what + QLatin1Char('\n') + status.toString();
}

} // namespace

ProductCatalog::ProductCatalog(db::Engine &engine, db::Table &products)
    : m_engine(engine)
    , m_products(products)
{}

QString ProductCatalog::normaliseId(const QString &typed)
{
    return typed.trimmed().toUpper();
}

bool ProductCatalog::load(quint32 recNo, ProductRecord *product, bool *deleted)
{
    if (recNo == 0 || !m_products.go(recNo) || !loadProduct(m_products, *product).isOk()) {
        m_products.takeError();
        return false;
    }
    for (QString *text : {&product->PrID, &product->RCode, &product->PDesc, &product->IComm})
        *text = text->trimmed();
    product->PMemo = memoText(product->PMemo);
    if (deleted)
        *deleted = m_products.isDeleted();
    return true;
}

bool ProductCatalog::isDuplicate(const QString &id, const QString &originalId, quint32 ownRecNo)
{
    const QString wanted = normaliseId(id);
    if (wanted.isEmpty() || wanted == normaliseId(originalId))
        return false;
    const int field = m_products.fieldIndex("PrID");
    if (field < 0)
        return false;
    const QByteArray key = keyUpper(wanted);
    bool duplicate = false;
    {
        const TagScope order(m_products, QStringLiteral("Prod"));
        // Every key that begins with the identifier, the exact one first: "AB" sorts before "AB-1"
        // and "ABC" because blanks pad the shorter key.
        if (order.ok() && m_products.seek(key) == db::SeekResult::Found) {
            do {
                const QString stored = m_products.text(field).trimmed();
                if (!keyUpper(stored).startsWith(key))
                    break;
                if (keyUpper(stored) == key && m_products.recNo() != ownRecNo) {
                    duplicate = true;
                    break;
                }
            } while (m_products.skip(1));
        }
    }
    m_products.takeError();
    return duplicate;
}

RecordSave ProductCatalog::save(ProductRecord &product, quint32 recNo, const QString &originalId)
{
    const QString id = normaliseId(product.PrID);
    if (id.isEmpty())
        return RecordSave::refused(QString::fromLatin1(kBlankProductIdMessage));
    if (isDuplicate(id, originalId, recNo))
        return RecordSave::refused(QString::fromLatin1(kDuplicateProductIdMessage));
    product.PrID = id;

    bool appended = false;
    if (recNo != 0) {
        if (!m_products.go(recNo))
            return RecordSave::refused(
                failure(QStringLiteral("The product's record could not be read."), m_products.takeError()));
        const int onHand = m_products.fieldIndex("ONHAND");
        product.ONHAND = onHand >= 0 ? m_products.number(onHand) : 0.0;
    } else {
        if (!m_products.appendBlank().isOk()) {
            m_products.takeError();
            return RecordSave::refused(QString::fromLatin1(kProductAppendFailedMessage));
        }
        product.ONHAND = 0;
        appended = true;
    }
    const quint32 written = m_products.recNo();
    db::Status s = writeProduct(m_products, product);
    if (s.isOk() && m_products.isDeleted()) {
        s = m_products.recall();
        if (s.isOk())
            s = m_products.flush();
    }
    if (!s.isOk()) {
        if (appended) {
            m_products.markDeleted();
            m_products.flush();
            setPackNeeded(true);
        }
        m_products.takeError();
        return RecordSave::refused(failure(QStringLiteral("The product could not be saved."), s));
    }
    return RecordSave::saved(written);
}

ProductCatalog::Removal ProductCatalog::remove(quint32 recNo)
{
    Removal result;
    ProductRecord product;
    if (!load(recNo, &product)) {
        result.status =
            db::Status::notFound(QStringLiteral("%1: no record %2").arg(m_products.fileName()).arg(recNo));
        return result;
    }

    const QString id = normaliseId(product.PrID);
    if (!id.isEmpty()) {
        db::Table *purchases = openedTable(m_engine, TableId::Purchases);
        const bool wasOpen = purchases != nullptr;
        if (!wasOpen) {
            const OpenResult opened = openPurchases(m_engine);
            if (!opened) {
                result.status = opened.status.isOk() ? db::Status::ioError(opened.message()) : opened.status;
                return result;
            }
            purchases = opened.table;
        }
        const quint32 wasAt = purchases->recNo();
        {
            const TagScope order(*purchases, QStringLiteral("Pur"));
            const int field = purchases->fieldIndex("PURProd");
            const QByteArray key = keyUpper(id);
            if (!order.ok() || field < 0) {
                result.status =
                    db::Status::invalid(QStringLiteral("%1: tag Pur is not open").arg(purchases->fileName()));
            } else if (purchases->seek(key) == db::SeekResult::Found) {
                do {
                    if (keyUpper(purchases->text(field).trimmed()) != key)
                        break;
                    result.status = purchases->markDeleted();
                    if (result.status.isOk())
                        result.status = purchases->flush();
                    if (!result.status.isOk())
                        break;
                    ++result.purchases;
                } while (purchases->skip(1));
            }
        }
        const db::Status pending = purchases->takeError();
        if (result.status.isOk())
            result.status = pending;
        if (result.purchases > 0)
            setPackNeeded(true);
        if (wasOpen) {
            if (wasAt != 0)
                purchases->go(wasAt);
        } else {
            const QString name = purchases->name();
            const db::Status closed = m_engine.close(name);
            if (result.status.isOk())
                result.status = closed;
        }
        if (!result.status.isOk())
            return result;
    }

    if (!m_products.go(recNo)) {
        result.status = m_products.takeError();
        return result;
    }
    result.status = m_products.markDeleted();
    if (result.status.isOk())
        result.status = m_products.flush();
    if (result.status.isOk())
        setPackNeeded(true);
    m_products.takeError();
    return result;
}

} // namespace tallyra
