// The shared value conversions: stored dates and their 100-year window, number keys, money
// rounding on the decimal value a user sees, locale-aware number parsing, short date formats,
// numeric field bytes read as a decimal reader reads them.

#include "Clock.h"
#include "Conversions.h"
#include "Dbf.h"
#include "TestSupport.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

using namespace tallyra;
using testsupport::FixedClock;

namespace {

// The double nearest to cents / 100, as a correct decimal reader gives it.
double centsValue(long long cents)
{
    const std::string s = std::to_string(cents) + "e-2";
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

double decimalValue(long long units, int decimals)
{
    const std::string s = std::to_string(units) + "e-" + std::to_string(decimals);
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

// A numeric field's bytes as a plain decimal reader takes them: blanks and NULs around, one
// leading '+' dropped, the rest read by from_chars in full or not a number (0).
bool referenceNumber(const QByteArray &bytes, double *value)
{
    QByteArray t = bytes;
    while (!t.isEmpty() && (t.front() == ' ' || t.front() == '\0'))
        t.remove(0, 1);
    while (!t.isEmpty() && (t.back() == ' ' || t.back() == '\0'))
        t.chop(1);
    *value = 0;
    if (t.isEmpty())
        return true;
    if (t.front() == '+')
        t.remove(0, 1);
    const auto r = std::from_chars(t.constData(), t.constData() + t.size(), *value);
    if (r.ec != std::errc() || r.ptr != t.constData() + t.size()) {
        *value = 0;
        return false;
    }
    return true;
}

} // namespace

class TestConversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void datesRoundTripThroughStoredText()
    {
        FixedClock clock(QDate(2026, 3, 15)); // window 1966 .. 2065
        QCOMPARE(dateWindowStart(), 1966);
        QCOMPARE(dateToStored(QDate(2026, 3, 5)), QStringLiteral("20260305"));
        QCOMPARE(storedToDate(u"20260305"), QDate(2026, 3, 5));
        // No date is stored empty, never as "00000000", and reads back as no date.
        QCOMPARE(dateToStored(QDate()), QString());
        QVERIFY(storedToDate(u"        ").isNull());
        QVERIFY(storedToDate(u"").isNull());
        QVERIFY(storedToDate(u"00000000").isNull());
        // Short, non-digit and impossible texts are no date.
        QVERIFY(storedToDate(u"2026030").isNull());
        QVERIFY(storedToDate(u"2026-3-5").isNull());
        QVERIFY(storedToDate(u"20260230").isNull());
        QVERIFY(storedToDate(u"20261301").isNull());
        QCOMPARE(storedToDate(u" 20241231 "), QDate(2024, 12, 31));
        // Every day of a leap year survives the trip.
        for (QDate d(2024, 1, 1); d.year() == 2024; d = d.addDays(1))
            QCOMPARE(storedToDate(dateToStored(d)), d);
    }

    void onlyTwoDigitYearsFallIntoTheWindow()
    {
        FixedClock clock(QDate(2026, 3, 15)); // window 1966 .. 2065
        const struct
        {
            QDate given;
            const char *stored;
        } cases[] = {
            // A year typed as 24 (a date in year 24) is 2024; 66 is 1966; 65 is 2065.
            {QDate(24, 7, 4), "20240704"},
            {QDate(66, 1, 1), "19660101"},
            {QDate(65, 12, 31), "20651231"},
            {QDate(99, 6, 1), "19990601"},
            // Four-digit years, inside the window or not, are never moved.
            {QDate(1965, 12, 31), "19651231"},
            {QDate(2066, 1, 1), "20660101"},
            {QDate(1850, 12, 8), "18501208"},
            {QDate(2199, 12, 31), "21991231"},
            {QDate(2096, 2, 29), "20960229"},
            {QDate(1999, 5, 9), "19990509"},
        };
        for (const auto &c : cases) {
            QCOMPARE(dateToStored(c.given), QString::fromLatin1(c.stored));
            // Read back and stored again, as saving an unchanged record does: the same text.
            QCOMPARE(dateToStored(storedToDate(QString::fromLatin1(c.stored))),
                     QString::fromLatin1(c.stored));
        }
        // The window moves with today: in 2061 it is 2001 .. 2100.
        FixedClock later(QDate(2061, 1, 1));
        QCOMPARE(dateToStored(QDate(4, 2, 29)), QStringLiteral("20040229"));
        QCOMPARE(dateToStored(QDate(1, 3, 1)), QStringLiteral("20010301"));
        QCOMPARE(dateToStored(QDate(66, 3, 1)), QStringLiteral("20660301"));
        // Typed dates are accepted from 1900 to 2199 only.
        QVERIFY(dateInAcceptedRange(QDate(1900, 1, 1)) && dateInAcceptedRange(QDate(2199, 12, 31)));
        QVERIFY(!dateInAcceptedRange(QDate(1899, 12, 31)) && !dateInAcceptedRange(QDate(2200, 1, 1)));
        QVERIFY(!dateInAcceptedRange(QDate()));
    }

    void numberKeysAreRightAlignedAndNeverCut()
    {
        QCOMPARE(customerNumberKey(5), QByteArray("     5"));
        QCOMPARE(customerNumberKey(12), QByteArray("    12"));
        QCOMPARE(groupNumberKey(12), QByteArray("12"));
        QCOMPARE(groupNumberKey(3), QByteArray(" 3"));
        QCOMPARE(numberKey(1234567, 6), QByteArray("1234567"));
        QCOMPARE(numberKey(-5, 6), QByteArray("    -5"));
        QCOMPARE(numberKey(0, 2), QByteArray(" 0"));
        FixedClock clock(QDate(2026, 3, 15));
        QCOMPARE(dateKey(QDate(2026, 1, 9)), QByteArray("20260109"));
        QCOMPARE(keyUpper(QStringLiteral("ßmith-é abc")), QStringLiteral("ßMITH-é ABC").toUtf8());
    }

    void roundToCentsGivesTheHalvesAUserSees()
    {
        QCOMPARE(roundToCents(1.125), 1.13);
        QCOMPARE(roundToCents(-2.125), -2.13);
        QCOMPARE(roundToCents(2.125), 2.13);
        QCOMPARE(roundToCents(1.005), 1.01);
        QCOMPARE(roundToCents(1.015), 1.02);
        QCOMPARE(roundToCents(-0.005), -0.01);
        QCOMPARE(roundToCents(0.0049999), 0.0);
        QCOMPARE(roundToCents(0.0), 0.0);
        QCOMPARE(roundToCents(99999999.995), 100000000.0);
        QCOMPARE(roundToCents(-99999999.985), -99999999.99);
        // Computed values carry binary noise in their last digit: 3 x 0.335 is 1.0050000000000001,
        // 0.1 x 3 is 0.30000000000000004: each is rounded as the decimal it stands for.
        QCOMPARE(roundToCents(3 * 0.335), 1.01);
        QCOMPARE(roundToCents(1.1 * 1.1), 1.21);
        QCOMPARE(roundToCents(0.1 * 3), 0.3);
        QCOMPARE(roundToCents(4.35 * 100), 435.0);
        QCOMPARE(roundToCents(std::nextafter(1.125, 0.0)), 1.13); // 1.1249999999999998 means 1.125
    }

    // Every value with three decimals from -200.000 to 200.000: the result is the decimal
    // rounding half away from zero, as the double nearest to it.
    void roundToCentsOnEveryThreeDecimalValue()
    {
        for (long long k = -200000; k <= 200000; ++k) {
            const double x = decimalValue(k, 3);
            const long long magnitude = k < 0 ? -k : k;
            long long cents = magnitude / 10 + (magnitude % 10 >= 5 ? 1 : 0);
            if (k < 0)
                cents = -cents;
            if (roundToCents(x) != centsValue(cents))
                QFAIL(qPrintable(
                    QStringLiteral("%1 gave %2").arg(x, 0, 'g', 17).arg(roundToCents(x), 0, 'g', 17)));
        }
        // Large amounts with four decimals.
        for (long long k = 999999990000LL; k <= 999999999999LL; k += 7) {
            const double x = decimalValue(k, 4);
            const long long cents = k / 100 + (k % 100 >= 50 ? 1 : 0);
            QCOMPARE(roundToCents(x), centsValue(cents));
        }
    }

    void roundChargeByTheRoundingSetting()
    {
        // Normal: nearest cent, halves away from zero.
        QCOMPARE(roundCharge(1.125, ChargeRounding::Normal), 1.13);
        QCOMPARE(roundCharge(2.125, ChargeRounding::Normal), 2.13);
        QCOMPARE(roundCharge(-2.125, ChargeRounding::Normal), -2.13);
        QCOMPARE(roundCharge(1.124, ChargeRounding::Normal), 1.12);
        // Up: adds 0.0099 before cutting, so anything from a hundredth of a cent up goes up.
        QCOMPARE(roundCharge(1.1201, ChargeRounding::Up), 1.13);
        QCOMPARE(roundCharge(1.12001, ChargeRounding::Up), 1.12);
        QCOMPARE(roundCharge(1.12, ChargeRounding::Up), 1.12);
        QCOMPARE(roundCharge(0.29, ChargeRounding::Up), 0.29);
        // Down: cuts to cents; 0.29 is 0.28999... in binary but is shown, and kept, as 0.29.
        QCOMPARE(roundCharge(0.29, ChargeRounding::Down), 0.29);
        QCOMPARE(roundCharge(1.129, ChargeRounding::Down), 1.12);
        QCOMPARE(roundCharge(-1.129, ChargeRounding::Down), -1.12);
        // The stored setting: 1, 2 and 3 as their names, any other number rounds down.
        QCOMPARE(chargeRoundingFromStored(1), ChargeRounding::Normal);
        QCOMPARE(chargeRoundingFromStored(2), ChargeRounding::Up);
        QCOMPARE(chargeRoundingFromStored(3), ChargeRounding::Down);
        QCOMPARE(chargeRoundingFromStored(7), ChargeRounding::Down);
        QCOMPARE(chargeRoundingFromStored(0), ChargeRounding::Down);
        // A computed tax: 7.25 % of 19.80 is 1.4355.
        QCOMPARE(roundCharge(7.25 / 100 * 19.80, ChargeRounding::Normal), 1.44);
        QCOMPARE(roundCharge(7.25 / 100 * 19.80, ChargeRounding::Up), 1.44);
        QCOMPARE(roundCharge(7.25 / 100 * 19.80, ChargeRounding::Down), 1.43);
        // 8.25 % of 100 is 8.25 exactly as shown.
        QCOMPARE(roundCharge(8.25 / 100 * 100, ChargeRounding::Down), 8.25);
    }

    // Charges as the invoice computes them, rate / 100 * base, for common rates and every base
    // up to 1,000.00: each mode gives the rounding of the exact decimal product.
    void roundChargeOnComputedCharges()
    {
        const int ratesMilli[] = {7250, 8250, 6500, 8875, 5500, 2500, 12000}; // 7.25 % ...
        for (const int r : ratesMilli) {
            const double rate = decimalValue(r, 3);
            for (long long c = 0; c <= 100000; ++c) {
                const double base = centsValue(c);
                const double x = rate / 100 * base;
                const long long product = r * c; // the charge in units of 10^-7
                const long long normal = product / 100000 + (product % 100000 >= 50000 ? 1 : 0);
                const long long up = (product + 99000) / 100000;
                const long long down = product / 100000;
                if (roundCharge(x, ChargeRounding::Normal) != centsValue(normal) ||
                    roundCharge(x, ChargeRounding::Up) != centsValue(up) ||
                    roundCharge(x, ChargeRounding::Down) != centsValue(down))
                    QFAIL(qPrintable(QStringLiteral("rate %1 base %2: %3 %4 %5")
                                         .arg(rate)
                                         .arg(base)
                                         .arg(roundCharge(x, ChargeRounding::Normal))
                                         .arg(roundCharge(x, ChargeRounding::Up))
                                         .arg(roundCharge(x, ChargeRounding::Down))));
            }
        }
    }

    void numbersUseTheLocaleDecimalSeparator()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(isNumber(QStringLiteral("12.50")));
        QVERIFY(isNumber(QStringLiteral(" -3 ")));
        QVERIFY(isNumber(QStringLiteral(".5")));
        QVERIFY(!isNumber(QStringLiteral("12,50")));
        QVERIFY(!isNumber(QStringLiteral("1,234.50")));
        QVERIFY(!isNumber(QString()));
        QVERIFY(!isNumber(QStringLiteral("-")));
        QVERIFY(!isNumber(QStringLiteral("12.5.1")));
        QVERIFY(!isNumber(QStringLiteral("abc")));
        QCOMPARE(toNumber(QStringLiteral("1234.56")), 1234.56);

        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(isNumber(QStringLiteral("12,50")));
        QVERIFY(!isNumber(QStringLiteral("12.50")));
        bool ok = false;
        QCOMPARE(toNumber(QStringLiteral("-1234,5"), &ok), -1234.5);
        QVERIFY(ok);
        toNumber(QStringLiteral("1.234,5"), &ok);
        QVERIFY(!ok);
    }

    void shortDateFormatHasTwoLettersPerPart()
    {
        QCOMPARE(shortDateFormat(QStringLiteral("M/d/yy")), QStringLiteral("MM/DD/YY"));
        QCOMPARE(shortDateFormat(QStringLiteral("dd.MM.yyyy")), QStringLiteral("DD.MM.YYYY"));
        QCOMPARE(shortDateFormat(QStringLiteral("y-M-d")), QStringLiteral("YY-MM-DD"));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(shortDateFormat(), QStringLiteral("MM/DD/YY"));
        QCOMPARE(formatShortDate(QDate(2026, 3, 5)), QStringLiteral("3/5/26"));
        QCOMPARE(formatShortDate(QDate()), QString());
    }

    // Numeric fields are read with a shortcut for plain decimals; it must give the very double
    // (sign of zero included) and the same verdict as a full decimal reader on every form.
    void numericFieldsReadAsADecimalReaderReadsThem_data()
    {
        QTest::addColumn<QList<QByteArray>>("fields");
        QRandomGenerator rng(11);
        QList<QByteArray> money, digits, forms;
        for (int i = 0; i < 100000; ++i) {
            const qint64 cents = qint64(rng.bounded(2000000000)) * (i % 3 ? 1 : 50000) - 1000000000;
            money << QByteArray::number(double(cents) / 100, 'f', 2).rightJustified(17, ' ');
            const int dec = int(rng.bounded(8));
            money << QByteArray::number(double(rng.bounded(100000000)) / std::pow(10.0, dec), 'f', dec);
        }
        // 14 to 17 significant digits: the shortcut's limit and beyond it.
        for (int n = 14; n <= 17; ++n)
            for (int i = 0; i < 2000; ++i) {
                QByteArray d;
                for (int k = 0; k < n; ++k)
                    d += char('0' + rng.bounded(10));
                const int point = int(rng.bounded(n + 1));
                digits << (i % 2 ? "-" : "") + d.left(point) + (point < n ? "." : "") + d.mid(point);
            }
        forms << ""
              << "     " << QByteArray("\0\0", 2) << "0"
              << "-0"
              << "-0.00"
              << "+5"
              << "+-5"
              << "5."
              << ".5"
              << "-.5"
              << "."
              << "-"
              << "+"
              << "1 2"
              << "1.2.3"
              << "1e5"
              << "abc"
              << "12a"
              << " 0012.50 "
              << "999999999999999"
              << "9999999999999999"
              << "0.000000000000001"
              << "123456789012345.6"
              << "1.7976931348623157e308"
              << "inf"
              << "nan"
              << "--1";
        QTest::newRow("money and decimals") << money;
        QTest::newRow("long digit strings") << digits;
        QTest::newRow("odd forms") << forms;
    }

    void numericFieldsReadAsADecimalReaderReadsThem()
    {
        QFETCH(QList<QByteArray>, fields);
        for (const QByteArray &f : fields) {
            double ours = -1, reference = -1;
            const bool ok = db::fieldcodec::parseNumber(f, &ours);
            const bool refOk = referenceNumber(f, &reference);
            if (ok != refOk || std::memcmp(&ours, &reference, sizeof ours) != 0) // the very bits
                QFAIL(qPrintable(QString::asprintf("\"%s\": %d %.17g, reader %d %.17g", f.constData(), ok,
                                                   ours, refOk, reference)));
        }
    }

    void textHelpers()
    {
        QCOMPARE(blanks(3), QStringLiteral("   "));
        QCOMPARE(blanks(-1), QString());
        QCOMPARE(lastPosition(QStringLiteral("\\"), QStringLiteral("a\\b\\c")), 4);
        QCOMPARE(lastPosition(QStringLiteral("x"), QStringLiteral("abc")), 0);
        QCOMPARE(indexInList(7, {3, 7, 7}), 1);
        QCOMPARE(indexInList(0, {3, 7}), -1);
        // A cut never splits a character made of two UTF-16 units.
        const QString clef = QStringLiteral("ab") + QString::fromUcs4(U"\U0001D11E");
        QCOMPARE(cutText(clef, 3), QStringLiteral("ab"));
        QCOMPARE(cutText(QStringLiteral("Zoë"), 59), QStringLiteral("Zoë"));
        QCOMPARE(memoText(QStringLiteral("line 1\r\nline 2 \r\n\t \n")), QStringLiteral("line 1\r\nline 2"));
    }
};

QTEST_GUILESS_MAIN(TestConversions)
#include "tst_conversions.moc"
