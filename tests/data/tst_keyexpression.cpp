// Index key expressions: the text each form gives for the bytes a record holds.

#include "engine/KeyExpression.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

using namespace db;

namespace {

// Fields laid out one after the other behind the deletion flag, as in a table record.
struct Layout
{
    QList<FieldLayout> fields;
    int length = 1;

    Layout &add(const char *name, FieldType type, int len, int dec = 0)
    {
        FieldLayout f;
        f.def = {name, type, len, dec};
        f.offset = length;
        length += len;
        fields.append(f);
        return *this;
    }

    QByteArray blank() const { return QByteArray(length, ' '); }

    void set(QByteArray &record, const char *name, const QByteArray &raw) const
    {
        for (const FieldLayout &f : fields) {
            if (f.def.name == name) {
                record.replace(f.offset, f.def.length, raw.leftJustified(f.def.length, ' ', true));
                return;
            }
        }
        qFatal("no field %s", name);
    }
};

// What a numeric field of this width holds for the value, right-aligned.
QByteArray numberField(double value, int len, int dec)
{
    return QByteArray::number(value, 'f', dec).rightJustified(len, ' ');
}

QByteArray keyOf(const Layout &layout, const QString &expression, const QByteArray &record)
{
    KeyExpression expr;
    Status s = KeyExpression::compile(expression, layout.fields, &expr);
    if (!s) {
        qWarning() << s.toString();
        return "<invalid>";
    }
    return expr.evaluate(record.constData());
}

} // namespace

class TestKeyExpression : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void strText_data();
    void strText();
    void upperFoldsAsciiOnly();
    void dtos();
    void concatenationAndKeySize();
    void badExpressions_data();
    void badExpressions();
    void bareNumericKeysSortByValue();
    void bareDateAndLogicalKeys();
    void evaluateIntoAppends();
};

void TestKeyExpression::strText_data()
{
    QTest::addColumn<int>("len");
    QTest::addColumn<int>("dec");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QByteArray>("key");

    QTest::newRow("integer") << 6 << 0 << QByteArray("  1234") << "Str(A, 6)" << QByteArray("  1234");
    QTest::newRow("blank is zero") << 6 << 0 << QByteArray("      ") << "Str(A, 6)" << QByteArray("     0");
    QTest::newRow("blank with decimals")
        << 8 << 2 << QByteArray("        ") << "Str(A,8,2)" << QByteArray("    0.00");
    QTest::newRow("negative") << 6 << 0 << QByteArray("    -5") << "Str(A,6,0)" << QByteArray("    -5");
    QTest::newRow("negative fills the width")
        << 6 << 0 << QByteArray("   -12") << "Str(A,3)" << QByteArray("-12");
    QTest::newRow("negative too wide") << 6 << 0 << QByteArray("   -12") << "Str(A,2)" << QByteArray("**");
    QTest::newRow("too wide") << 6 << 0 << QByteArray("999999") << "Str(A, 4)" << QByteArray("****");
    QTest::newRow("wider than the field")
        << 6 << 0 << QByteArray("    42") << "Str(A, 10)" << QByteArray("        42");
    QTest::newRow("leading zeros") << 6 << 0 << QByteArray("000012") << "Str(A,6)" << QByteArray("    12");
    QTest::newRow("half rounds away from zero")
        << 8 << 3 << QByteArray("   2.675") << "Str(A, 6, 2)" << QByteArray("  2.68");
    QTest::newRow("negative half") << 8 << 3 << QByteArray("  -2.125") << "Str(A,6,2)"
                                   << QByteArray(" -2.13");
    QTest::newRow("below half") << 8 << 3 << QByteArray("   2.674") << "Str(A,6,2)" << QByteArray("  2.67");
    QTest::newRow("carry into a new digit")
        << 8 << 3 << QByteArray("   9.995") << "Str(A,5,2)" << QByteArray("10.00");
    QTest::newRow("carry that no longer fits")
        << 8 << 3 << QByteArray("   9.995") << "Str(A,4,2)" << QByteArray("****");
    QTest::newRow("no decimals given rounds")
        << 10 << 2 << QByteArray("     12.50") << "Str(A, 6)" << QByteArray("    13");
    QTest::newRow("more decimals than stored")
        << 6 << 2 << QByteArray(" 12.34") << "Str(A, 8, 4)" << QByteArray(" 12.3400");
    QTest::newRow("field width by default")
        << 5 << 2 << QByteArray(" 1.50") << "Str(A)" << QByteArray(" 1.50");
    QTest::newRow("fraction only") << 5 << 2 << QByteArray("  .50") << "Str(A,5,2)" << QByteArray(" 0.50");
    QTest::newRow("spaces inside the call")
        << 6 << 0 << QByteArray("     7") << "  str ( a ,  6 , 0 ) " << QByteArray("     7");
}

void TestKeyExpression::strText()
{
    QFETCH(int, len);
    QFETCH(int, dec);
    QFETCH(QByteArray, field);
    QFETCH(QString, expression);
    QFETCH(QByteArray, key);
    Layout layout;
    layout.add("A", FieldType::Numeric, len, dec);
    QByteArray record = layout.blank();
    layout.set(record, "A", field);
    KeyExpression expr;
    QVERIFY(KeyExpression::compile(expression, layout.fields, &expr));
    QCOMPARE(expr.keySize(), key.size());
    QCOMPARE(expr.keyDecimals(), 0);
    QCOMPARE(expr.evaluate(record.constData()), key);
}

void TestKeyExpression::upperFoldsAsciiOnly()
{
    Layout layout;
    layout.add("LAST", FieldType::Character, 12);
    QByteArray record = layout.blank();
    layout.set(record, "LAST",
               "Ren\x82"
               "e m\xc3\xbcz");
    // Bytes outside a-z stay as they are: 0x82 from an old code page, UTF-8 for u-umlaut.
    QCOMPARE(keyOf(layout, QStringLiteral("Upper(Last)"), record), QByteArray("REN\x82"
                                                                              "E M\xc3\xbcZ  "));
    QCOMPARE(keyOf(layout, QStringLiteral("UPPER(last)"), record),
             keyOf(layout, QStringLiteral("upper(LAST)"), record));
    QCOMPARE(upperAscii("abc{xyz}\x82\xe9`@"), QByteArray("ABC{XYZ}\x82\xe9`@"));
}

void TestKeyExpression::dtos()
{
    Layout layout;
    layout.add("IDATE", FieldType::Date, 8);
    QByteArray record = layout.blank();
    const QString e = QStringLiteral("DTOS(IDate)");
    QCOMPARE(keyOf(layout, e, record), QByteArray(8, ' '));
    layout.set(record, "IDATE", "20240229");
    QCOMPARE(keyOf(layout, e, record), QByteArray("20240229"));
    // Dates that cannot be are empty dates.
    layout.set(record, "IDATE", "20230229");
    QCOMPARE(keyOf(layout, e, record), QByteArray(8, ' '));
    layout.set(record, "IDATE", "2023AB01");
    QCOMPARE(keyOf(layout, e, record), QByteArray(8, ' '));
}

void TestKeyExpression::concatenationAndKeySize()
{
    Layout layout;
    layout.add("FIRST", FieldType::Character, 13).add("LAST", FieldType::Character, 20);
    layout.add("PRID", FieldType::Character, 10).add("IVNO", FieldType::Numeric, 6);
    layout.add("NOTE", FieldType::Character, 200).add("ADDR1", FieldType::Character, 100);
    QByteArray record = layout.blank();
    layout.set(record, "FIRST", "anna");
    layout.set(record, "LAST", "Smith");
    layout.set(record, "PRID", "WID-001");
    layout.set(record, "IVNO", "  1003");

    KeyExpression name;
    const QString text = QStringLiteral("  upper ( LAST+first ) ");
    QVERIFY(KeyExpression::compile(text, layout.fields, &name));
    QCOMPARE(name.text(), text);
    QCOMPARE(name.keySize(), 33);
    QCOMPARE(name.evaluate(record.constData()), QByteArray("SMITH               ANNA         "));

    KeyExpression item;
    QVERIFY(KeyExpression::compile(QStringLiteral("PrID + Str(IvNo,6,0)"), layout.fields, &item));
    QCOMPARE(item.keySize(), 16);
    QCOMPARE(item.evaluate(record.constData()), QByteArray("WID-001     1003"));
    // The key size comes from the blank record.
    QCOMPARE(item.evaluate(layout.blank().constData()), QByteArray("               0"));

    // Keys longer than an index can hold are cut.
    KeyExpression longKey;
    QVERIFY(KeyExpression::compile(QStringLiteral("Note + Addr1"), layout.fields, &longKey));
    QCOMPARE(longKey.keySize(), 256);
    layout.set(record, "ADDR1", QByteArray(100, 'x'));
    QCOMPARE(longKey.evaluate(record.constData()), QByteArray(200, ' ') + QByteArray(56, 'x'));

    KeyExpression grouped;
    QVERIFY(
        KeyExpression::compile(QStringLiteral("(Last) + (PrID + Upper(First))"), layout.fields, &grouped));
    QCOMPARE(grouped.evaluate(record.constData()), QByteArray("Smith               WID-001   ANNA         "));
}

void TestKeyExpression::badExpressions_data()
{
    QTest::addColumn<QString>("expression");
    const char *bad[] = {"",
                         "   ",
                         "Nope",
                         "Upper(",
                         "Upper(Last",
                         "Last +",
                         "+ Last",
                         "Last First",
                         "Last)",
                         "Str(Last, 6)",
                         "Upper(CuNo)",
                         "DTOS(Last)",
                         "Str(CuNo, 0)",
                         "Str(CuNo, 6, 6)",
                         "Str(CuNo, -1)",
                         "Str(CuNo, x)",
                         "Foo(Last)",
                         "Comments",
                         "CuNo + Last",
                         "IDate + Last",
                         "Last - First",
                         "Upper(Last, First)",
                         "Last->First"};
    for (const char *e : bad)
        QTest::newRow(*e ? e : "(empty)") << QString::fromLatin1(e);
    QTest::newRow("non-ASCII") << QStringLiteral("L\u00e4st");
}

void TestKeyExpression::badExpressions()
{
    QFETCH(QString, expression);
    Layout layout;
    layout.add("LAST", FieldType::Character, 20).add("FIRST", FieldType::Character, 13);
    layout.add("CUNO", FieldType::Numeric, 6)
        .add("IDATE", FieldType::Date, 8)
        .add("COMMENTS", FieldType::Memo, 10);
    KeyExpression expr;
    Status s = KeyExpression::compile(expression, layout.fields, &expr);
    QCOMPARE(s.code(), Status::Code::Invalid);
    QVERIFY2(s.message().contains(QLatin1Char('"') + expression + QLatin1Char('"')), qPrintable(s.message()));
}

void TestKeyExpression::bareNumericKeysSortByValue()
{
    Layout layout;
    layout.add("AMOUNT", FieldType::Numeric, 8, 2);
    KeyExpression expr;
    QVERIFY(KeyExpression::compile(QStringLiteral("Amount"), layout.fields, &expr));
    QCOMPARE(expr.keySize(), 8);
    QCOMPARE(expr.keyDecimals(), 2);

    QRandomGenerator rng(99);
    std::vector<std::pair<double, QByteArray>> keyed;
    for (int i = 0; i < 2000; ++i) {
        const double v = (int(rng.bounded(200000)) - 100000) / 100.0;
        QByteArray record = layout.blank();
        layout.set(record, "AMOUNT", numberField(v, 8, 2));
        keyed.push_back({v, expr.evaluate(record.constData())});
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.second < b.second; });
    for (std::size_t i = 1; i < keyed.size(); ++i)
        QVERIFY2(keyed[i - 1].first <= keyed[i].first,
                 qPrintable(QStringLiteral("%1 sorts after %2").arg(keyed[i - 1].first).arg(keyed[i].first)));

    QByteArray record = layout.blank();
    QCOMPARE(expr.evaluate(record.constData()), QByteArray("00000.00"));
    layout.set(record, "AMOUNT", "   -1.25");
    // Each digit d of a negative number becomes 0x2C - d; the sign and the blanks become zeros first.
    QCOMPARE(expr.evaluate(record.constData()), QByteArray(",,,,+.*'"));
}

void TestKeyExpression::bareDateAndLogicalKeys()
{
    Layout layout;
    layout.add("WHEN", FieldType::Date, 8).add("OK", FieldType::Logical, 1);
    QByteArray record = layout.blank();
    QCOMPARE(keyOf(layout, QStringLiteral("When"), record), QByteArray(8, ' '));
    QCOMPARE(keyOf(layout, QStringLiteral("ok"), record), QByteArray("F"));
    layout.set(record, "WHEN", "19991231");
    layout.set(record, "OK", "y");
    QCOMPARE(keyOf(layout, QStringLiteral("When"), record), QByteArray("19991231"));
    QCOMPARE(keyOf(layout, QStringLiteral("ok"), record), QByteArray("T"));
}

void TestKeyExpression::evaluateIntoAppends()
{
    Layout layout;
    layout.add("ZIP", FieldType::Character, 5).add("CUNO", FieldType::Numeric, 4);
    QByteArray record = layout.blank();
    layout.set(record, "ZIP", "0111");
    layout.set(record, "CUNO", "  -3");
    KeyExpression expr;
    QVERIFY(KeyExpression::compile(QStringLiteral("Zip+Str(CuNo,5)"), layout.fields, &expr));
    QByteArray out("head:");
    expr.evaluateInto(record.constData(), out);
    QCOMPARE(out, QByteArray("head:0111    -3"));
    QCOMPARE(out.mid(5), expr.evaluate(record.constData()));

    // A moved expression keeps working.
    KeyExpression moved = std::move(expr);
    QCOMPARE(moved.evaluate(record.constData()), QByteArray("0111    -3"));
}

QTEST_GUILESS_MAIN(TestKeyExpression)
#include "tst_keyexpression.moc"
