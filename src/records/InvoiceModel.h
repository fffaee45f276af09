#pragma once

// The invoice being edited and the rules that derive its charge lines and totals. No widgets here:
// the invoice window moves values between its boxes and these classes, and the documents read
// the same current invoice.

#include "Conversions.h"

#include <QDate>
#include <QList>
#include <QString>

namespace tallyra {

struct SettingsRecord;

// The five settings that shape the two charge lines of every invoice.
struct ChargeSettings
{
    QString shipLine = QStringLiteral("Shipping"); // caption of the first charge line
    QString taxLine = QStringLiteral("Sales Tax"); // caption of the second charge line
    double taxRate1 = 0; // percent of the items flagged for the ship line; 0: typed by hand
    double taxRate2 = 0; // percent of the items flagged for the tax line; 0: typed by hand
    int shipTax = 1;     // 1 no, 2 yes, 3 when the tax line has a non-zero item base: tax on ship
    ChargeRounding taxRound = ChargeRounding::Normal;

    // The charge-line fields of the settings record, and back.
    static ChargeSettings from(const SettingsRecord &settings);
    void applyTo(SettingsRecord &settings) const;
};

// One line of the invoice. Quantity and price hold the values of their boxes, which carry two
// decimals; the line total is derived, never stored.
struct InvoiceItem
{
    QString productId;     // PrID
    double quantity = 0;   // Qty
    double unitPrice = 0;  // UPR
    bool shipLine = false; // LTax1: counts toward the ship line
    bool taxLine = false;  // LTax2: counts toward the tax line
    QString description1;  // PDesc, at most 27 characters
    QString description2;  // IComm, at most 27 characters
    QString licenceCode;   // the product's RCode, trimmed; not stored with the item
    QString productText;   // the product's PMemo, trimmed; not stored with the item

    // round to cents of quantity × price, the product taken in double precision.
    double lineTotal() const;
};

struct InvoicePayment
{
    QDate date;
    double amount = 0;
};

// The invoice held in memory while the invoice window is open. Nothing here reaches the tables
// until the invoice is saved.
struct CurrentInvoice
{
    qint64 number = 0;          // IvNo
    qint64 customerNumber = 0;  // CuNo; 0 while no customer is chosen
    QDate date;                 // IDate, whole days
    QString department;         // Dept
    QString note;               // IMemo, at most 30 characters
    QString memo;               // REM
    double discountPercent = 0; // Discount
    double shipAmount = 0;      // Ship
    double taxAmount = 0;       // Tax
    double amountDue = 0;       // Due, as last computed
    QList<InvoiceItem> items;
    QList<InvoicePayment> payments;

    // Back to an empty invoice numbered `number`, dated `date`, without customer.
    void reset(qint64 number, const QDate &date);
};

// The process-wide invoice shared by the invoice window, the document builders and the mail
// sender.
CurrentInvoice &currentInvoice();

// "%<width>.<decimals>f" with the locale's decimal separator, as every amount box shows it.
QString formatAmount(double value, int width = 10, int decimals = 2);
// A number typed with the locale's decimal separator; blanks anywhere are ignored. False when
// nothing numeric remains.
bool parseAmount(const QString &text, double *value);

// The working values of the totals column and the rules that compute them. Each event of the
// invoice window calls one method below; afterwards the window shows the invoice's and these
// values again.
class InvoiceTotals
{
public:
    InvoiceTotals(CurrentInvoice &invoice, const ChargeSettings &settings);

    const ChargeSettings &settings() const { return m_settings; }
    void setSettings(const ChargeSettings &settings) { m_settings = settings; }
    CurrentInvoice &invoice() const { return m_invoice; }

    // Events, as the invoice window raises them.
    void shown();                         // stored figures kept; totals refreshed, no recalculation
    void itemsChanged();                  // an item added, edited or deleted (or the item dialog shown)
    void discountEntered(double percent); // the discount box was left
    void shipEntered(double amount);      // the ship box was left
    void taxEntered(double amount);       // the tax box was left
    void paymentsChanged();               // payments added, edited or deleted

    // The computations themselves.
    // Recomputes the tax amount (and with computeShip the ship amount) from the flagged items,
    // each base discounted on its own. Does nothing, and returns false, unless a rate is set and
    // there are items.
    bool recalculateCharges(bool computeShip);
    // Subtotal, discount and total from the items, then refreshPayments().
    void refreshTotals();
    // Payments total and amount due; the due is worked from the two-decimal figures shown.
    void refreshPayments();
    // Total and amount due after a typed charge amount, from the last subtotal and payments total.
    void shortRefresh();

    // Working values as last computed.
    double subtotal() const { return m_subtotal; }       // after discount
    double discountAmount() const { return m_discount; } // positive for a discount
    double total() const { return m_total; }
    double paymentsTotal() const { return m_paymentsTotal; }

    // The texts of one grid row: Product ID, Description, Price, Quantity, Total (the line total
    // "%10.2f", a blank and the two flags as t/f).
    QStringList gridRow(int item) const;

    // Empty when every line total and every total of the invoice fits its field (at most
    // kLargestAmount either way); otherwise what does not, naming the first such line
    // ("Line 2 (SVC-REPAIR): The amount is too large: at most 999,999,999.99") or total.
    QString overflowMessage() const;

private:
    CurrentInvoice &m_invoice;
    ChargeSettings m_settings;
    double m_subtotal = 0;
    double m_discount = 0;
    double m_total = 0;
    double m_paymentsTotal = 0;
};

} // namespace tallyra
