// The invoice's charge lines and totals, computed without a display: the worked figures a user
// would check on a calculator, the three rounding modes, and which typed amounts survive which
// later changes.

#include "Conversions.h"
#include "InvoiceModel.h"

#include <QLocale>
#include <QTest>

using namespace tallyra;

namespace {

InvoiceItem item(const QString &id, double qty, double price, bool ship, bool tax)
{
    InvoiceItem i;
    i.productId = id;
    i.quantity = qty;
    i.unitPrice = price;
    i.shipLine = ship;
    i.taxLine = tax;
    i.description1 = id + QStringLiteral(" description");
    return i;
}

InvoicePayment payment(int day, double amount)
{
    return {QDate(2024, 3, day), amount};
}

// Cents of k thousandths rounded half away from zero, in integers: the reference for rounding.
qint64 referenceCents(qint64 thousandths)
{
    const qint64 magnitude = thousandths < 0 ? -thousandths : thousandths;
    const qint64 cents = (magnitude + 5) / 10;
    return thousandths < 0 ? -cents : cents;
}

} // namespace

class TestInvoiceTotals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale::c()); }

    void discountedTaxBase();
    void chargeRoundingModes_data();
    void chargeRoundingModes();
    void lineTotalsRoundHalfAwayFromZero();
    void roundToCentsMatchesDecimalArithmetic();
    void negativeDiscountOnlyChangesSubtotal();
    void paymentsAndAmountDue();
    void typedAmountsAndWhatReplacesThem();
    void ratesZeroLeaveTypedAmountsAlone();
    void taxOnShipSetting();
    void emptyInvoiceAndShownFiguresKept();
    void gridRowTexts();
    void amountsFollowTheLocale();
};

// Tax line 6 %, no ship rate; two items of 10.00, only the first taxed; 10 % discount.
void TestInvoiceTotals::discountedTaxBase()
{
    CurrentInvoice inv;
    ChargeSettings settings;
    settings.taxRate2 = 6.00;
    InvoiceTotals totals(inv, settings);

    inv.items << item("A", 1, 10.00, false, true);
    totals.itemsChanged();
    inv.items << item("B", 1, 10.00, false, false);
    totals.itemsChanged();
    QCOMPARE(inv.taxAmount, 0.60);
    QCOMPARE(inv.shipAmount, 0.0); // no ship rate: nothing computed
    QCOMPARE(totals.total(), 20.60);

    totals.discountEntered(10);
    QCOMPARE(inv.discountPercent, 10.0);
    QCOMPARE(totals.discountAmount(), 2.00);
    QCOMPARE(formatAmount(-totals.discountAmount()), QStringLiteral("     -2.00"));
    QCOMPARE(totals.subtotal(), 18.00);
    QCOMPARE(inv.taxAmount, 0.54); // 6 % of 10.00 - 1.00
    QCOMPARE(formatAmount(totals.total()), QStringLiteral("     18.54"));
    QCOMPARE(inv.amountDue, 18.54);
}

void TestInvoiceTotals::chargeRoundingModes_data()
{
    QTest::addColumn<double>("base");
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("tax");
    // 7 % of 7.77 is 0.5439; of 7.79 is 0.5453.
    QTest::newRow("0.5439 normal") << 7.77 << 1 << 0.54;
    QTest::newRow("0.5439 up") << 7.77 << 2 << 0.55;
    QTest::newRow("0.5439 down") << 7.77 << 3 << 0.54;
    QTest::newRow("0.5453 normal") << 7.79 << 1 << 0.55;
    QTest::newRow("0.5453 up") << 7.79 << 2 << 0.55;
    QTest::newRow("0.5453 down") << 7.79 << 3 << 0.54;
    // Exact cents stay: 7 % of 10.00 is 0.70 in every mode, although 0.07 * 10 is 0.7000000000000001.
    QTest::newRow("0.70 up") << 10.00 << 2 << 0.70;
    QTest::newRow("0.70 down") << 10.00 << 3 << 0.70;
    // 7 % of 7.50 is 0.525, a half cent that binary doubles hold just below the half.
    QTest::newRow("0.525 normal") << 7.50 << 1 << 0.53;
}

void TestInvoiceTotals::chargeRoundingModes()
{
    QFETCH(double, base);
    QFETCH(int, mode);
    QFETCH(double, tax);
    CurrentInvoice inv;
    ChargeSettings settings;
    settings.taxRate2 = 7.00;
    settings.taxRound = chargeRoundingFromStored(mode);
    InvoiceTotals totals(inv, settings);
    inv.items << item("X", 1, base, false, true);
    totals.itemsChanged();
    QCOMPARE(inv.taxAmount, tax);
    QCOMPARE(totals.total(), base + tax);
}

void TestInvoiceTotals::lineTotalsRoundHalfAwayFromZero()
{
    QCOMPARE(item("Q", 1.50, 0.75, false, false).lineTotal(), 1.13);
    QCOMPARE(item("Q", -1.50, 0.75, false, false).lineTotal(), -1.13);
    QCOMPARE(item("Q", 3, 0.35, false, false).lineTotal(), 1.05); // 1.0499999999999998 in binary

    // A negative line (a return) lowers the subtotal and the charge bases.
    CurrentInvoice inv;
    ChargeSettings settings;
    settings.taxRate2 = 10;
    InvoiceTotals totals(inv, settings);
    inv.items << item("A", 1.50, 0.75, false, true) << item("R", -1, 0.50, false, true);
    totals.itemsChanged();
    QCOMPARE(totals.subtotal(), 0.63);
    QCOMPARE(inv.taxAmount, 0.06); // 10 % of 0.63 = 0.063
}

void TestInvoiceTotals::roundToCentsMatchesDecimalArithmetic()
{
    // Every thousandth from -1000.000 to 1000.000, including all the half cents.
    for (qint64 k = -1000000; k <= 1000000; ++k) {
        const double rounded = roundToCents(double(k) / 1000.0);
        const double expected = double(referenceCents(k)) / 100.0;
        if (rounded != expected)
            QFAIL(qPrintable(QStringLiteral("%1/1000 rounded to %2, expected %3")
                                 .arg(k)
                                 .arg(rounded, 0, 'g', 17)
                                 .arg(expected, 0, 'g', 17)));
    }
    QCOMPARE(roundToCents(1.125), 1.13);
    QCOMPARE(roundToCents(-2.125), -2.13);
    QCOMPARE(roundToCents(2.125), 2.13);
    QCOMPARE(roundToCents(99999999.995), 100000000.00);
    // Products of two-decimal figures, as line totals and discounts produce them.
    QCOMPARE(roundToCents(8.75 * 0.06), 0.53);
    QCOMPARE(roundToCents(1.15 * 1.5), 1.73); // 1.725
    QCOMPARE(roundToCents(-8.75 * 0.06), -0.53);

    // Up adds 0.0099 and Down cuts, both toward zero whatever the sign; Normal is the nearest cent
    // for credits too (x + 0.005 cut toward zero would turn -0.5449 into -0.53).
    QCOMPARE(roundCharge(-0.5439, ChargeRounding::Normal), -0.54);
    QCOMPARE(roundCharge(-0.5449, ChargeRounding::Normal), -0.54);
    QCOMPARE(roundCharge(-0.5439, ChargeRounding::Up), -0.53);
    QCOMPARE(roundCharge(-0.5439, ChargeRounding::Down), -0.54);
    QCOMPARE(roundCharge(0.5401, ChargeRounding::Up), 0.55);
    QCOMPARE(roundCharge(0.54, ChargeRounding::Up), 0.54);
    QCOMPARE(roundCharge(0.57, ChargeRounding::Down), 0.57); // 0.56999999999999995 in binary
}

// A "-" typed in the discount box: the bases keep their full value, the subtotal rises.
void TestInvoiceTotals::negativeDiscountOnlyChangesSubtotal()
{
    CurrentInvoice inv;
    ChargeSettings settings;
    settings.taxRate2 = 6.00;
    InvoiceTotals totals(inv, settings);
    inv.items << item("A", 1, 10.00, false, true) << item("B", 1, 10.00, false, false);
    totals.itemsChanged();
    totals.discountEntered(-10);
    QCOMPARE(inv.taxAmount, 0.60);
    QCOMPARE(totals.discountAmount(), -2.00);
    QCOMPARE(formatAmount(-totals.discountAmount()), QStringLiteral("      2.00"));
    QCOMPARE(totals.subtotal(), 22.00);
    QCOMPARE(totals.total(), 22.60);
}

void TestInvoiceTotals::paymentsAndAmountDue()
{
    CurrentInvoice inv;
    InvoiceTotals totals(inv, ChargeSettings());
    inv.items << item("A", 2, 12.50, false, false);
    totals.itemsChanged();
    QCOMPARE(totals.total(), 25.00);

    inv.payments << payment(1, 10.00) << payment(2, 5.50) << payment(3, 4.50);
    totals.paymentsChanged();
    QCOMPARE(totals.paymentsTotal(), 20.00);
    QCOMPARE(inv.amountDue, 5.00);

    inv.payments.removeAt(1);
    totals.paymentsChanged();
    QCOMPARE(inv.amountDue, 10.50);
    QCOMPARE(inv.payments.size(), 2);
    QCOMPARE(inv.payments.at(1).date, QDate(2024, 3, 3));
    QCOMPARE(inv.payments.at(1).amount, 4.50);

    inv.payments << payment(4, 30.00); // more than is due
    totals.paymentsChanged();
    QCOMPARE(inv.amountDue, -19.50);

    inv.payments << payment(5, -19.50); // a refund
    totals.paymentsChanged();
    QCOMPARE(totals.paymentsTotal(), 25.00);
    QCOMPARE(inv.amountDue, 0.0);
    QCOMPARE(formatAmount(inv.amountDue), QStringLiteral("      0.00"));

    // The due is worked from the figures as shown: 0.1 + 0.2 paid on 0.30 leaves nothing.
    CurrentInvoice small;
    InvoiceTotals smallTotals(small, ChargeSettings());
    small.items << item("S", 1, 0.30, false, false);
    smallTotals.itemsChanged();
    small.payments << payment(1, 0.10) << payment(2, 0.20);
    smallTotals.paymentsChanged();
    QCOMPARE(small.amountDue, 0.0);
}

// A typed ship amount survives discount changes; a computed one is recomputed only when items
// change; a typed tax amount is replaced whenever a tax rate is set and anything it depends on
// changes.
void TestInvoiceTotals::typedAmountsAndWhatReplacesThem()
{
    CurrentInvoice inv;
    ChargeSettings settings;
    settings.taxRate1 = 10.00;
    settings.taxRate2 = 5.00;
    settings.shipTax = 2;
    InvoiceTotals totals(inv, settings);
    inv.items << item("A", 1, 40.00, true, true);
    totals.itemsChanged();
    QCOMPARE(inv.shipAmount, 4.00);
    QCOMPARE(inv.taxAmount, 2.20); // 5 % of 40.00 + 4.00

    totals.shipEntered(7.00);
    QCOMPARE(inv.shipAmount, 7.00);
    QCOMPARE(inv.taxAmount, 2.35); // recomputed on the typed ship amount
    QCOMPARE(totals.total(), 49.35);
    QCOMPARE(inv.amountDue, 49.35);

    totals.discountEntered(50);
    QCOMPARE(inv.shipAmount, 7.00); // typed ship amount survives
    QCOMPARE(inv.taxAmount, 1.35);  // 5 % of (40.00 - 20.00 + 7.00)
    QCOMPARE(totals.total(), 28.35);

    totals.taxEntered(9.99); // typed tax amount: short refresh only
    QCOMPARE(inv.taxAmount, 9.99);
    QCOMPARE(totals.total(), 36.99);
    QCOMPARE(totals.subtotal(), 20.00);

    inv.items << item("B", 1, 20.00, true, false);
    totals.itemsChanged();          // items changed: the ship line is computed again, the tax too
    QCOMPARE(inv.shipAmount, 3.00); // 10 % of 60.00 - 30.00
    QCOMPARE(inv.taxAmount, 1.15);  // 5 % of 20.00 + 3.00
    QCOMPARE(totals.total(), 34.15);
}

void TestInvoiceTotals::ratesZeroLeaveTypedAmountsAlone()
{
    CurrentInvoice inv;
    InvoiceTotals totals(inv, ChargeSettings());
    totals.shipEntered(4.95);
    totals.taxEntered(1.10);
    inv.items << item("A", 3, 2.00, true, true);
    totals.itemsChanged();
    totals.discountEntered(10);
    inv.items.removeFirst();
    inv.items << item("B", 1, 100.00, true, true);
    totals.itemsChanged();
    QCOMPARE(inv.shipAmount, 4.95);
    QCOMPARE(inv.taxAmount, 1.10);
    QCOMPARE(totals.subtotal(), 90.00);
    QCOMPARE(totals.total(), 96.05);
}

void TestInvoiceTotals::taxOnShipSetting()
{
    ChargeSettings settings;
    settings.taxRate2 = 10.00;
    settings.shipTax = 3; // only when items give the tax line a base
    {
        CurrentInvoice inv;
        InvoiceTotals totals(inv, settings);
        totals.shipEntered(5.00);
        inv.items << item("A", 1, 20.00, false, false);
        totals.itemsChanged();
        QCOMPARE(inv.taxAmount, 0.0); // the ship amount alone is not taxed
        inv.items << item("B", 1, 10.00, false, true);
        totals.itemsChanged();
        QCOMPARE(inv.taxAmount, 1.50); // 10 % of 10.00 + 5.00
    }
    settings.shipTax = 2; // always
    {
        CurrentInvoice inv;
        InvoiceTotals totals(inv, settings);
        totals.shipEntered(5.00);
        inv.items << item("A", 1, 20.00, false, false);
        totals.itemsChanged();
        QCOMPARE(inv.taxAmount, 0.50);
    }
    settings.shipTax = 1; // never
    {
        CurrentInvoice inv;
        InvoiceTotals totals(inv, settings);
        totals.shipEntered(5.00);
        inv.items << item("B", 1, 10.00, false, true);
        totals.itemsChanged();
        QCOMPARE(inv.taxAmount, 1.00);
    }
}

void TestInvoiceTotals::emptyInvoiceAndShownFiguresKept()
{
    // An invoice stored with figures the current rates would not give keeps them when shown.
    ChargeSettings settings;
    settings.taxRate1 = 10;
    settings.taxRate2 = 10;
    CurrentInvoice inv;
    inv.items << item("A", 1, 10.00, true, true);
    inv.shipAmount = 3.33;
    inv.taxAmount = 0.44;
    inv.amountDue = 99.99; // stale: the refresh recomputes it
    inv.payments << payment(1, 5.00);
    InvoiceTotals totals(inv, settings);
    totals.shown();
    QCOMPARE(inv.shipAmount, 3.33);
    QCOMPARE(inv.taxAmount, 0.44);
    QCOMPARE(totals.total(), 13.77);
    QCOMPARE(inv.amountDue, 8.77);

    // Removing the last item leaves charges as they were (nothing to compute on).
    inv.items.clear();
    totals.itemsChanged();
    QCOMPARE(inv.shipAmount, 3.33);
    QCOMPARE(totals.subtotal(), 0.0);
    QCOMPARE(totals.total(), 3.77);

    // reset() gives a new, empty invoice.
    inv.reset(1002, QDate(2024, 5, 1));
    QCOMPARE(inv.number, 1002);
    QCOMPARE(inv.customerNumber, 0);
    QVERIFY(inv.items.isEmpty() && inv.payments.isEmpty());
    QCOMPARE(inv.shipAmount, 0.0);
}

void TestInvoiceTotals::gridRowTexts()
{
    CurrentInvoice inv;
    InvoiceTotals totals(inv, ChargeSettings());
    inv.items << item("WIDGET", 1, 25.00, true, false) << item("NEG", -1.5, 0.75, false, true);
    totals.itemsChanged();
    QCOMPARE(totals.gridRow(0),
             (QStringList{"WIDGET", "WIDGET description", "   25.00", "     1.00", "     25.00 tf"}));
    QCOMPARE(totals.gridRow(1).at(4), QStringLiteral("     -1.13 ft"));
    QCOMPARE(totals.gridRow(1).at(3), QStringLiteral("    -1.50"));
}

void TestInvoiceTotals::amountsFollowTheLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(formatAmount(1234.5), QStringLiteral("   1234,50"));
    QCOMPARE(formatAmount(7.5, 5), QStringLiteral(" 7,50"));
    double v = 0;
    QVERIFY(parseAmount(QStringLiteral("    12,75"), &v));
    QCOMPARE(v, 12.75);
    QVERIFY(parseAmount(QStringLiteral("- 3,5"), &v));
    QCOMPARE(v, -3.5);
    QVERIFY(!parseAmount(QStringLiteral("12.75"), &v)); // a point is no separator here

    // The due, worked from the shown figures, is right in a comma locale too.
    CurrentInvoice inv;
    InvoiceTotals totals(inv, ChargeSettings());
    inv.items << item("A", 2, 12.50, false, false);
    inv.payments << payment(1, 5.25);
    totals.itemsChanged();
    QCOMPARE(inv.amountDue, 19.75);

    QLocale::setDefault(QLocale::c());
    v = 42;
    for (const char *bad : {"", "   ", "-", ".", "abc", "1.2.3", "1e5", "nan", "--1"})
        QVERIFY2(!parseAmount(QString::fromLatin1(bad), &v), bad);
    QCOMPARE(v, 42.0); // left alone on failure
    QVERIFY(parseAmount(QStringLiteral("-0.50"), &v));
    QCOMPARE(v, -0.5);
    QVERIFY(parseAmount(QStringLiteral("  5."), &v));
    QCOMPARE(v, 5.0);
}

QTEST_GUILESS_MAIN(TestInvoiceTotals)
#include "tst_invoice_totals.moc"
