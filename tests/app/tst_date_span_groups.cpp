// The date-span and group questions, answered through their real windows.

#include "AppTestSupport.h"
#include "DateSpanU.h"
#include "MultGroupU.h"
#include "Prompt.h"
#include "Tables.h"

#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace tallyra;
using testsupport::ModalDriver;
using testsupport::TempDataDir;

namespace {

template <typename T> T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

void click(QWidget *window, const char *name)
{
    QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton);
}

} // namespace

class TstDateSpanGroups : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    void currentMonthRunsToItsLastDay()
    {
        const auto month = [](int y, int m, int d) {
            const DateSpanValues span = currentMonthSpan(QDate(y, m, d));
            return QPair<QDate, QDate>(span.start, span.end);
        };
        QCOMPARE(month(2024, 2, 10), qMakePair(QDate(2024, 2, 1), QDate(2024, 2, 29)));
        QCOMPARE(month(2023, 2, 28), qMakePair(QDate(2023, 2, 1), QDate(2023, 2, 28)));
        QCOMPARE(month(2025, 1, 1), qMakePair(QDate(2025, 1, 1), QDate(2025, 1, 31)));
        QCOMPARE(month(2025, 4, 30), qMakePair(QDate(2025, 4, 1), QDate(2025, 4, 30)));
        QCOMPARE(month(2025, 12, 31), qMakePair(QDate(2025, 12, 1), QDate(2025, 12, 31)));

        testsupport::FixedClock clock(QDate(2024, 2, 14));
        presetCurrentMonth();
        QCOMPARE(dateSpan().start, QDate(2024, 2, 1));
        QCOMPARE(dateSpan().end, QDate(2024, 2, 29));
        presetToday();
        QCOMPARE(dateSpan().start, QDate(2024, 2, 14));
        QCOMPARE(dateSpan().end, QDate(2024, 2, 14));
    }

    void endBeforeStartIsRefusedAndEqualDatesAccepted()
    {
        dateSpan() = {QDate(2025, 3, 1), QDate(2025, 3, 31), false};
        QDate shownStart, shownEnd;
        bool beginFocused = false;
        bool stayedOpen = false;
        ModalDriver driver;
        driver.then<TDateSpan>([&](TDateSpan *window) {
            shownStart = child<QDateEdit>(window, "beginDateEdit")->date();
            shownEnd = child<QDateEdit>(window, "endDateEdit")->date();
            beginFocused = window->focusWidget() == child<QDateEdit>(window, "beginDateEdit");
            QVERIFY(dateSpan().cancelled); // closing the window now would count as cancelling
            child<QDateEdit>(window, "beginDateEdit")->setDate(QDate(2025, 4, 2));
            child<QDateEdit>(window, "endDateEdit")->setDate(QDate(2025, 4, 1));
            Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
            click(window, "okButton");
            stayedOpen = window->isVisible();
            child<QDateEdit>(window, "endDateEdit")->setDate(QDate(2025, 4, 2));
            click(window, "okButton");
        });
        driver.start();
        QVERIFY(TDateSpan::ask());
        QCOMPARE(shownStart, QDate(2025, 3, 1));
        QCOMPARE(shownEnd, QDate(2025, 3, 31));
        QVERIFY(beginFocused);
        QVERIFY(stayedOpen);
        QCOMPARE(Prompt::takeShown(),
                 QStringList{QStringLiteral("Ending Date must be greater than or equal to Starting Date.")});
        QCOMPARE(dateSpan().start, QDate(2025, 4, 2));
        QCOMPARE(dateSpan().end, QDate(2025, 4, 2));
        QVERIFY(!dateSpan().cancelled);
    }

    void cancelAndClosingCountAsCancelled()
    {
        dateSpan() = {QDate(2025, 5, 1), QDate(2025, 5, 2), false};
        ModalDriver driver;
        driver.then<TDateSpan>([](TDateSpan *window) {
            child<QDateEdit>(window, "beginDateEdit")->setDate(QDate(2025, 6, 9));
            click(window, "cancelButton");
        });
        driver.start();
        QVERIFY(!TDateSpan::ask());
        QVERIFY(dateSpan().cancelled);
        QCOMPARE(dateSpan().start, QDate(2025, 6, 9)); // the dates are taken all the same

        ModalDriver second;
        second.then<TDateSpan>([](TDateSpan *window) { window->close(); });
        second.start();
        QVERIFY(!TDateSpan::ask());
        QVERIFY(dateSpan().cancelled);
    }

    void singleDateFormTakesOneDate()
    {
        TDateSpan &window = TDateSpan::instance();
        window.useSingleDate(QStringLiteral("Inventory as Of:"));
        dateSpan() = {QDate(2025, 9, 30), QDate(2025, 1, 1), true};
        bool endHidden = false;
        QString label;
        ModalDriver driver;
        driver.then<TDateSpan>([&](TDateSpan *shown) {
            endHidden = !child<QDateEdit>(shown, "endDateEdit")->isVisible() &&
                        !child<QLabel>(shown, "endLabel")->isVisible();
            label = child<QLabel>(shown, "beginLabel")->text();
            click(shown, "okButton"); // start after the hidden end is no fault here
        });
        driver.start();
        QVERIFY(TDateSpan::ask());
        QVERIFY(endHidden);
        QCOMPARE(label, QStringLiteral("Inventory as Of:"));
        QCOMPARE(dateSpan().start, QDate(2025, 9, 30));
        QVERIFY(Prompt::takeShown().isEmpty());

        window.useSpan();
        QVERIFY(!window.singleDate());
        QCOMPARE(child<QLabel>(&window, "beginLabel")->text(), QStringLiteral("Print Beginning"));
    }

    void groupsAreOfferedByNumberWithoutDeletedOnes()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        QVERIFY(apptest::addGroups(dir.path(), {{3, QStringLiteral("Gamma")},
                                                {1, QStringLiteral("Alpha  ")},
                                                {2, QStringLiteral("Beta")},
                                                {12, QStringLiteral("Twelve")}}));
        QVERIFY(apptest::markDeleted(dir.path(), QStringLiteral("GROUPS"), 3));
        db::Engine engine(dir.path());
        db::Table *groups = openGroups(engine).table;
        QVERIFY(groups);
        QVERIFY(groups->selectTag(QStringLiteral("CGroup")));
        QVERIFY(groups->go(4));

        QStringList offered;
        ModalDriver driver;
        driver.then<TMultGroup>([&](TMultGroup *window) {
            auto *list = child<QListWidget>(window, "groupList");
            for (int i = 0; i < list->count(); ++i)
                offered << list->item(i)->text();
            QVERIFY(list->selectedItems().isEmpty());
            click(window, "runButton"); // nothing selected: as "Cancel"
        });
        driver.start();
        QVERIFY(!TMultGroup::ask(*groups));
        QCOMPARE(offered, (QStringList{QStringLiteral(" 1 - Alpha"), QStringLiteral(" 3 - Gamma"),
                                       QStringLiteral("12 - Twelve")}));
        QVERIFY(selectedGroups().isEmpty());
        // The caller's order and record are kept.
        QCOMPARE(groups->selectedTag().toUpper(), QStringLiteral("CGROUP"));
        QCOMPARE(groups->recNo(), 4u);

        ModalDriver second;
        second.then<TMultGroup>([](TMultGroup *window) {
            auto *list = child<QListWidget>(window, "groupList");
            list->item(2)->setSelected(true);
            list->item(0)->setSelected(true);
            click(window, "runButton");
        });
        second.start();
        QVERIFY(TMultGroup::ask(*groups));
        QCOMPARE(selectedGroups(), (QList<qint64>{1, 12}));

        ModalDriver third;
        third.then<TMultGroup>([](TMultGroup *window) {
            click(window, "allButton");
            click(window, "cancelButton");
        });
        third.start();
        QVERIFY(!TMultGroup::ask(*groups));
        QVERIFY(selectedGroups().isEmpty());

        ModalDriver fourth;
        fourth.then<TMultGroup>([](TMultGroup *window) {
            click(window, "allButton");
            click(window, "runButton");
        });
        fourth.start();
        QVERIFY(TMultGroup::ask(*groups));
        QCOMPARE(selectedGroups(), (QList<qint64>{1, 3, 12}));
    }

    void aSingleGroupIsSelectedAtOnce()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        QVERIFY(apptest::addGroups(dir.path(), {{7, QStringLiteral("Only")}}));
        db::Engine engine(dir.path());
        db::Table *groups = openGroups(engine).table;
        QVERIFY(groups);
        ModalDriver driver;
        driver.then<TMultGroup>([](TMultGroup *window) { click(window, "runButton"); });
        driver.start();
        QVERIFY(TMultGroup::ask(*groups));
        QCOMPARE(selectedGroups(), QList<qint64>{7});
    }
};

QTEST_MAIN(TstDateSpanGroups)
#include "tst_date_span_groups.moc"
