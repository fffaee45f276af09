#include "InvoiceModel.h"

#include "Conversions.h"
#include "Settings.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace tallyra {

QString formatAmount(double value, int width, int decimals)
{
    QString text = QString::asprintf("%*.*f", width, decimals, value);
    // A figure that rounds to zero is shown without a sign ("-0.00" would read as a debt).
    static const QRegularExpression negativeZero(QStringLiteral("^\\s*-0\\.0*$"));
    if (negativeZero.match(text).hasMatch())
        text = QString::asprintf("%*.*f", width, decimals, 0.0);
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

bool parseAmount(const QString &text, double *value)
{
    QString cleaned;
    cleaned.reserve(text.size());
    for (QChar c : text) {
        if (!c.isSpace() && c != QLatin1Char('_'))
            cleaned += c;
    }
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String(".")) {
        if (cleaned.contains(QLatin1Char('.')))
            return false; // a point is no decimal separator in this locale
        cleaned.replace(point, QStringLiteral("."));
    }
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)$"));
    if (!number.match(cleaned).hasMatch())
        return false;
    bool ok = false;
    const double v = QLocale::c().toDouble(cleaned, &ok);
    if (!ok)
        return false;
    *value = v;
    return true;
}

ChargeSettings ChargeSettings::from(const SettingsRecord &settings)
{
    ChargeSettings c;
    c.shipLine = settings.ShipLine;
    c.taxLine = settings.TaxLine;
    c.taxRate1 = settings.TaxRate1;
    c.taxRate2 = settings.TaxRate2;
    c.shipTax = int(settings.ShipTax);
    c.taxRound = settings.TaxRound;
    return c;
}

void ChargeSettings::applyTo(SettingsRecord &settings) const
{
    settings.ShipLine = shipLine;
    settings.TaxLine = taxLine;
    settings.TaxRate1 = taxRate1;
    settings.TaxRate2 = taxRate2;
    settings.ShipTax = shipTax;
    settings.TaxRound = taxRound;
}

double InvoiceItem::lineTotal() const
{
    return roundToCents(quantity * unitPrice);
}

void CurrentInvoice::reset(qint64 newNumber, const QDate &newDate)
{
    *this = CurrentInvoice();
    number = newNumber;
    date = newDate;
}

CurrentInvoice &currentInvoice()
{
    static CurrentInvoice invoice;
    return invoice;
}

InvoiceTotals::InvoiceTotals(CurrentInvoice &invoice, const ChargeSettings &settings)
    : m_invoice(invoice)
    , m_settings(settings)
{}

void InvoiceTotals::shown()
{
    refreshTotals();
}

void InvoiceTotals::itemsChanged()
{
    recalculateCharges(true);
    refreshTotals();
}

void InvoiceTotals::discountEntered(double percent)
{
    m_invoice.discountPercent = percent;
    recalculateCharges(false);
    refreshTotals();
}

void InvoiceTotals::shipEntered(double amount)
{
    m_invoice.shipAmount = amount;
    recalculateCharges(false);
    shortRefresh();
}

void InvoiceTotals::taxEntered(double amount)
{
    m_invoice.taxAmount = amount;
    shortRefresh();
}

void InvoiceTotals::paymentsChanged()
{
    refreshPayments();
}

bool InvoiceTotals::recalculateCharges(bool computeShip)
{
    if ((m_settings.taxRate1 == 0 && m_settings.taxRate2 == 0) || m_invoice.items.isEmpty())
        return false;

    double base1 = 0;
    double base2 = 0;
    for (const InvoiceItem &item : std::as_const(m_invoice.items)) {
        const double line = item.lineTotal();
        if (item.shipLine)
            base1 += line;
        if (item.taxLine)
            base2 += line;
    }
    const double percent = m_invoice.discountPercent;
    if (percent > 0) {
        base1 -= roundToCents(base1 * percent / 100);
        base2 -= roundToCents(base2 * percent / 100);
    }
    if (computeShip && m_settings.taxRate1 != 0)
        m_invoice.shipAmount = roundCharge(m_settings.taxRate1 / 100 * base1, m_settings.taxRound);
    if (m_settings.shipTax == 2 || (m_settings.shipTax == 3 && base2 != 0))
        base2 += m_invoice.shipAmount;
    if (m_settings.taxRate2 != 0)
        m_invoice.taxAmount = roundCharge(m_settings.taxRate2 / 100 * base2, m_settings.taxRound);
    return true;
}

void InvoiceTotals::refreshTotals()
{
    double subtotal = 0;
    for (const InvoiceItem &item : std::as_const(m_invoice.items))
        subtotal += item.lineTotal();
    m_discount = roundToCents(subtotal * m_invoice.discountPercent / 100);
    m_subtotal = subtotal - m_discount;
    m_total = m_subtotal + m_invoice.shipAmount + m_invoice.taxAmount;
    refreshPayments();
}

void InvoiceTotals::refreshPayments()
{
    double sum = 0;
    for (const InvoicePayment &payment : std::as_const(m_invoice.payments))
        sum += payment.amount;
    m_paymentsTotal = sum;
    // The due is the difference of the two figures as shown, each read back from "%10.2f".
    double shownTotal = 0;
    double shownPayments = 0;
    parseAmount(formatAmount(m_total), &shownTotal);
    parseAmount(formatAmount(m_paymentsTotal), &shownPayments);
    m_invoice.amountDue = shownTotal - shownPayments;
}

void InvoiceTotals::shortRefresh()
{
    m_total = m_subtotal + m_invoice.shipAmount + m_invoice.taxAmount;
    m_invoice.amountDue = m_total - m_paymentsTotal;
}

QStringList InvoiceTotals::gridRow(int index) const
{
    const InvoiceItem &item = m_invoice.items.at(index);
    return {item.productId, item.description1, formatAmount(item.unitPrice, 8),
            formatAmount(item.quantity, 9),
            formatAmount(item.lineTotal()) + QLatin1Char(' ') + QLatin1Char(item.shipLine ? 't' : 'f') +
                QLatin1Char(item.taxLine ? 't' : 'f')};
}

QString InvoiceTotals::overflowMessage() const
{
    const auto tooLarge = [](double value) { return !(std::fabs(value) <= kLargestAmount); };
    for (int i = 0; i < m_invoice.items.size(); ++i) {
        const InvoiceItem &item = m_invoice.items.at(i);
        if (tooLarge(item.lineTotal()) || tooLarge(item.unitPrice) || tooLarge(item.quantity))
            return QStringLiteral("Line %1 (%2): %3")
                .arg(i + 1)
                .arg(item.productId.trimmed(), tooLargeAmountMessage());
    }
    const struct
    {
        const char *name;
        double value;
    } totals[] = {{"Subtotal", m_subtotal},
                  {"Discount", m_discount},
                  {"Total", m_total},
                  {"Payments", m_paymentsTotal},
                  {"Amount Due", m_invoice.amountDue},
                  {"Shipping", m_invoice.shipAmount},
                  {"Tax", m_invoice.taxAmount}};
    for (const auto &t : totals) {
        if (tooLarge(t.value))
            return QStringLiteral("%1: %2").arg(QString::fromLatin1(t.name), tooLargeAmountMessage());
    }
    return {};
}

} // namespace tallyra
