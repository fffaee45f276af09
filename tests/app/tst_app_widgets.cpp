// The shared widgets every window uses, driven as a user drives them: the money box, Enter moving
// the focus, the progress display's painting and the help pages.

#include "EnterMovesFocus.h"
#include "Help.h"
#include "MoneyBox.h"
#include "ProgressStatus.h"
#include "Prompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using tallyra::EnterMovesFocus;
using tallyra::Help;
using tallyra::MoneyBox;
using tallyra::ProgressStatus;
using tallyra::Prompt;

namespace {

// A window with a money box and a line edit after it, shown and active so focus moves are real.
struct BoxWindow
{
    QWidget window;
    MoneyBox *box;
    QLineEdit *next;

    BoxWindow(int width, int integerDigits, int decimals = 2)
    {
        auto *layout = new QVBoxLayout(&window);
        box = new MoneyBox(width, integerDigits, decimals, &window);
        box->setObjectName(QStringLiteral("amountBox"));
        next = new QLineEdit(&window);
        layout->addWidget(box);
        layout->addWidget(next);
        window.show();
        QApplication::setActiveWindow(&window);
        box->setFocus();
    }
    bool ready() { return QTest::qWaitForWindowActive(&window) && box->hasFocus(); }
    void clear()
    {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
    }
};

bool isRed(const QLineEdit *box)
{
    return box->palette().color(QPalette::Text) == QColor(Qt::red);
}

QRgb pixel(const QImage &image, int x, int y)
{
    return image.pixel(x, y) & 0xffffff;
}

} // namespace

class TstAppWidgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    void minusThenSeparatorGivesRedMinusZero()
    {
        BoxWindow w(10, 7);
        QVERIFY(w.ready());
        w.clear();
        QTest::keyClick(w.box, Qt::Key_Minus);
        QVERIFY(isRed(w.box));
        QTest::keyClick(w.box, '.');
        QCOMPARE(w.box->text(), QStringLiteral("     -0.00"));
        QVERIFY(w.box->alignment() & Qt::AlignRight);
        QVERIFY(isRed(w.box));
        // The cents are selected: typing replaces them.
        QTest::keyClicks(w.box, QStringLiteral("5"));
        QTest::keyClick(w.box, Qt::Key_Tab);
        QCOMPARE(w.box->text(), QStringLiteral("     -0.50"));
        QCOMPARE(w.box->value(), -0.5);
        QVERIFY(w.next->hasFocus());
    }

    void typedFigureIsTidiedOnSeparatorAndOnLeaving()
    {
        BoxWindow w(10, 7);
        QVERIFY(w.ready());
        QSignalSpy left(w.box, &MoneyBox::left);
        w.clear();
        QTest::keyClicks(w.box, QStringLiteral("1234"));
        QTest::keyClick(w.box, '.');
        QCOMPARE(w.box->text(), QStringLiteral("   1234.00"));
        QTest::keyClicks(w.box, QStringLiteral("5"));
        QCOMPARE(w.box->text(), QStringLiteral("   1234.5"));
        QTest::keyClick(w.box, Qt::Key_Tab);
        QCOMPARE(w.box->text(), QStringLiteral("   1234.50"));
        QVERIFY(!isRed(w.box));
        QCOMPARE(left.count(), 1);
        QCOMPARE(left.at(0).at(0).toBool(), true);
        // More digits than the box takes, and a second separator, are refused as typed.
        w.box->setFocus();
        w.clear();
        QTest::keyClicks(w.box, QStringLiteral("123456789"));
        QCOMPARE(w.box->text(), QStringLiteral("1234567"));
        QTest::keyClicks(w.box, QStringLiteral(".5"));
        QTest::keyClick(w.box, '.'); // a second separator tidies again, it is never typed twice
        QCOMPARE(w.box->text(), QStringLiteral("1234567.50"));
        QTest::keyClick(w.box, Qt::Key_Tab);
        QCOMPARE(w.box->value(), 1234567.5);
    }

    void separatorComesFromTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        BoxWindow w(5, 2);
        QVERIFY(w.ready());
        QCOMPARE(w.box->text(), QStringLiteral(" 0,00"));
        w.clear();
        QTest::keyClicks(w.box, QStringLiteral("7.5")); // the point is not this locale's separator
        QCOMPARE(w.box->text(), QStringLiteral("75"));
        QTest::keyClick(w.box, ',');
        QCOMPARE(w.box->text(), QStringLiteral("75,00"));
        w.clear();
        QTest::keyClick(w.box, Qt::Key_Minus);
        QTest::keyClick(w.box, ',');
        QCOMPARE(w.box->text(), QStringLiteral("-0,00"));
        QVERIFY(isRed(w.box));
        bool ok = false;
        w.box->setText(QStringLiteral(" 12,25"));
        QCOMPARE(w.box->value(&ok), 12.25);
        QVERIFY(ok);
        w.box->setValue(-3.5);
        QCOMPARE(w.box->text(), QStringLiteral("-3,50"));
        QVERIFY(isRed(w.box));
    }

    void leavingWithoutAFigureSaysSoAndKeepsTheText()
    {
        BoxWindow w(10, 7);
        QVERIFY(w.ready());
        QSignalSpy left(w.box, &MoneyBox::left);
        w.clear();
        QTest::keyClick(w.box, Qt::Key_Minus);
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        QTest::keyClick(w.box, Qt::Key_Tab);
        QCOMPARE(left.count(), 1);
        QCOMPARE(left.at(0).at(0).toBool(), false);
        QStringList shown;
        QTRY_VERIFY(!(shown += Prompt::takeShown()).isEmpty());
        QCOMPARE(shown, QStringList{QStringLiteral("'-' is not a valid floating point value")});
        QCOMPARE(w.box->text(), QStringLiteral("-"));
        bool ok = true;
        QCOMPARE(w.box->value(&ok), 0.0);
        QVERIFY(!ok);
        // Removing the minus turns the box back from red.
        w.box->setFocus();
        QTest::keyClick(w.box, Qt::Key_End);
        QTest::keyClick(w.box, Qt::Key_Backspace);
        QVERIFY(!isRed(w.box));
    }

    void threeDecimalDimensions()
    {
        BoxWindow w(8, 4, 3);
        QVERIFY(w.ready());
        w.clear();
        QTest::keyClicks(w.box, QStringLiteral("12"));
        QTest::keyClick(w.box, '.');
        QCOMPARE(w.box->text(), QStringLiteral("  12.000"));
        w.box->setText(QStringLiteral("1.5"));
        QTest::keyClick(w.box, Qt::Key_Tab);
        QCOMPARE(w.box->text(), QStringLiteral("   1.500"));
    }

    void enterMovesToTheNextControlAndIsSwallowed()
    {
        QDialog dialog;
        auto *layout = new QVBoxLayout(&dialog);
        auto *first = new QLineEdit(&dialog);
        auto *disabled = new QLineEdit(&dialog);
        disabled->setEnabled(false);
        auto *hidden = new QLineEdit(&dialog);
        auto *date = new QDateEdit(&dialog);
        auto *money = new MoneyBox(10, 7, 2, &dialog);
        auto *check = new QCheckBox(QStringLiteral("Continuous"), &dialog);
        auto *memo = new QPlainTextEdit(&dialog);
        auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        for (QWidget *w :
             std::initializer_list<QWidget *>{first, disabled, hidden, date, money, check, memo, ok})
            layout->addWidget(w);
        EnterMovesFocus::install(&dialog);
        dialog.show();
        hidden->hide();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QSignalSpy accepted(&dialog, &QDialog::accepted);

        first->setFocus();
        QTest::keyClick(first, Qt::Key_Return);
        QVERIFY(date->hasFocus());
        QTest::keyClick(date, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(money->hasFocus());
        QTest::keyClick(money, Qt::Key_Return);
        QVERIFY(check->hasFocus());
        QTest::keyClick(check, Qt::Key_Return);
        QVERIFY(memo->hasFocus());
        // A multi-line box keeps its Enter.
        QTest::keyClicks(memo, QStringLiteral("a"));
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, QStringLiteral("b"));
        QCOMPARE(memo->toPlainText(), QStringLiteral("a\nb"));
        QVERIFY(memo->hasFocus());
        QCOMPARE(accepted.count(), 0);
        // Shift+Enter is not the plain key.
        first->setFocus();
        QTest::keyClick(first, Qt::Key_Return, Qt::ShiftModifier);
        QVERIFY(!date->hasFocus());
    }

    void progressBarIsPaintedOnePixelPerPercent()
    {
        QMainWindow window;
        auto *status = new ProgressStatus(&window);
        window.setStatusBar(status);
        window.resize(400, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(ProgressStatus::current(), status);
        QCOMPARE(status->panel()->width(), 110);

        tallyra::progressStart(QStringLiteral("Packing Data Files"));
        QCOMPARE(status->message(), QStringLiteral("Packing Data Files"));
        tallyra::progressSet(40);
        QImage image = status->panel()->grab().toImage();
        const QRgb blue = 0x0000ff;
        const QRgb silver = 0xc0c0c0;
        const int bottom = status->panel()->height() - 2; // last painted row
        QCOMPARE(pixel(image, 5, 3), blue);
        QCOMPARE(pixel(image, 44, bottom), blue);
        QCOMPARE(pixel(image, 45, 3), silver);
        QCOMPARE(pixel(image, 104, bottom), silver);
        QVERIFY(pixel(image, 4, 5) != blue);
        QVERIFY(pixel(image, 20, 2) != blue);
        QVERIFY(pixel(image, 20, bottom + 1) != blue);
        QVERIFY(pixel(image, 105, 5) != silver);

        tallyra::progressSet(100);
        image = status->panel()->grab().toImage();
        QCOMPARE(pixel(image, 104, 3), blue);
        QVERIFY(pixel(image, 105, 3) != blue);

        tallyra::progressSet(0);
        image = status->panel()->grab().toImage();
        QCOMPARE(pixel(image, 5, 3), silver);
        QCOMPARE(pixel(image, 104, 3), silver);

        tallyra::progressSet(70);
        tallyra::progressEnd();
        QCOMPARE(status->message(), QString());
        QCOMPARE(status->percent(), 0);
    }

    void helpOpensThePageOfEachContext()
    {
        QList<QUrl> opened;
        Help::setOpener([&](const QUrl &url) {
            opened << url;
            return true;
        });
        const int contexts[] = {Help::kMainWindow,       Help::kInvoices,    Help::kCustomersAndProducts,
                                Help::kReportGeneration, Help::kPreferences, Help::kFileMaintenance};
        QSet<QString> pages;
        for (int context : contexts) {
            QVERIFY(Help::showContext(nullptr, context));
            const QString path = opened.last().toLocalFile();
            QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
            QVERIFY2(QFileInfo(path).size() > 500, qPrintable(path));
            pages << QFileInfo(path).fileName();
        }
        QCOMPARE(pages.size(), 6);
        QVERIFY(Help::showContents(nullptr));
        QCOMPARE(QFileInfo(opened.last().toLocalFile()).fileName(), QStringLiteral("index.html"));
        // A browser that cannot be started is reported, not ignored.
        Help::setOpener([](const QUrl &) { return false; });
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        QVERIFY(!Help::showContents(nullptr));
        QCOMPARE(Prompt::takeShown().size(), 1);
        Help::setOpener({});
    }
};

QTEST_MAIN(TstAppWidgets)
#include "tst_app_widgets.moc"
