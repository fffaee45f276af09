// The browse-and-edit loop and its pick step on a real customer table, with pick lists and edit
// windows that play back what a user does.

#include "AppTestSupport.h"
#include "BrowseEdit.h"
#include "Prompt.h"
#include "Tables.h"

#include <QTest>

using namespace tallyra;
using testsupport::TempDataDir;

namespace {

// Pick lists and edit windows answering from scripts, recording every call.
struct Script
{
    QList<qint64> pickAnswers;        // consumed in order; -1 once exhausted
    QList<qint64> editAnswers;        // consumed in order; the selection given once exhausted
    QList<QPair<qint64, bool>> picks; // selection and allowNew of each pick
    QList<qint64> edits;
    std::function<void(qint64)> onEdit; // what the edit window does to the table

    RecordWindows windows()
    {
        RecordWindows w;
        w.pick = [this](QWidget *, qint64 selection, bool allowNew) {
            picks.append({selection, allowNew});
            return pickAnswers.isEmpty() ? qint64(-1) : pickAnswers.takeFirst();
        };
        w.edit = [this](QWidget *, qint64 selection) {
            edits << selection;
            if (onEdit)
                onEdit(selection);
            return editAnswers.isEmpty() ? selection : editAnswers.takeFirst();
        };
        return w;
    }
};

} // namespace

class TstBrowseEdit : public QObject
{
    Q_OBJECT

private:
    TempDataDir m_empty;
    TempDataDir m_demo;
    std::unique_ptr<db::Engine> m_emptyEngine;
    std::unique_ptr<db::Engine> m_demoEngine;
    db::Table *m_none = nullptr; // CUST5 without records
    db::Table *m_some = nullptr; // CUST5 of the sample business

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(apptest::makeBusiness(m_empty));
        QVERIFY(apptest::makeBusiness(m_demo, true));
        m_emptyEngine = std::make_unique<db::Engine>(m_empty.path());
        m_demoEngine = std::make_unique<db::Engine>(m_demo.path());
        m_none = openCustomers(*m_emptyEngine).table;
        m_some = openCustomers(*m_demoEngine).table;
        QVERIFY(m_none && m_some);
        QVERIFY(m_some->recordCount() > 10);
    }

    void init()
    {
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    void emptyTableWithoutNewSaysSoAndPicksNothing()
    {
        Script script;
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        const PickStepResult step =
            pickStep(*m_none, RecordKind::Customer, script.windows(), 3, false, nullptr);
        QCOMPARE(step.selection, -1);
        QVERIFY(!step.picked());
        QVERIFY(script.picks.isEmpty());
        QCOMPARE(Prompt::takeShown(), QStringList{QStringLiteral("Customer Database is Empty")});
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        pickStep(*m_none, RecordKind::Purchase, script.windows(), 0, false, nullptr);
        QCOMPARE(Prompt::takeShown(), QStringList{QStringLiteral("Purchase Database is Empty")});
    }

    void emptyTableWithNewOpensTheListOnZeroAndNewRecordCountsAsEdited()
    {
        Script script;
        script.pickAnswers = {0};
        script.editAnswers = {1};
        const PickStepResult step =
            pickStep(*m_none, RecordKind::Customer, script.windows(), 7, true, nullptr);
        QCOMPARE(script.picks, (QList<QPair<qint64, bool>>{{0, true}}));
        QCOMPARE(script.edits, QList<qint64>{0});
        QVERIFY(step.picked());
        QVERIFY(step.created);
        QCOMPARE(step.selection, 1);
        QVERIFY(Prompt::takeShown().isEmpty());
    }

    void loopOnAnEmptyTableComesBackToTheListAfterASave()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        db::Engine engine(dir.path());
        db::Table *customers = openCustomers(engine).table;
        QVERIFY(customers);
        Script script;
        script.pickAnswers = {0, -1}; // "New", then "Cancel"
        script.editAnswers = {1};     // the new customer saved as record 1
        script.onEdit = [&](qint64) {
            CustomerRecord c;
            c.CuNo = 1;
            c.Last = QStringLiteral("First");
            QVERIFY(customers->appendBlank().isOk());
            QVERIFY(writeCustomer(*customers, c).isOk());
        };
        const qint64 end = browseAndEdit(*customers, RecordKind::Customer, script.windows(), 0, nullptr);
        QCOMPARE(end, -1);
        QCOMPARE(script.edits, QList<qint64>{0}); // not opened a second time
        QCOMPARE(script.picks, (QList<QPair<qint64, bool>>{{0, true}, {1, true}}));
    }

    void leavingANewRecordUnsavedEndsTheLoop()
    {
        Script script;
        script.pickAnswers = {12, 0, 4};
        script.editAnswers = {12, 0};
        const qint64 end = browseAndEdit(*m_some, RecordKind::Customer, script.windows(), 3, nullptr);
        QCOMPARE(end, 0);
        QCOMPARE(script.picks, (QList<QPair<qint64, bool>>{{3, true}, {12, true}}));
        QCOMPARE(script.edits, (QList<qint64>{12, 0}));
    }

    void theListReopensOnWhatTheEditWindowLeft()
    {
        Script script;
        script.pickAnswers = {5, 9, -1};
        script.editAnswers = {5, 20}; // the second edit moved on to record 20 (e.g. after a delete)
        browseAndEdit(*m_some, RecordKind::Customer, script.windows(), 2, nullptr);
        QCOMPARE(script.picks, (QList<QPair<qint64, bool>>{{2, true}, {5, true}, {20, true}}));
        QCOMPARE(script.edits, (QList<qint64>{5, 9}));
    }

    void aListWithoutNewNeverOpensTheEditWindow()
    {
        Script script;
        script.pickAnswers = {0};
        const PickStepResult step =
            pickStep(*m_some, RecordKind::Customer, script.windows(), 1, false, nullptr);
        QVERIFY(!step.picked());
        QVERIFY(script.edits.isEmpty());
        QCOMPARE(script.picks, (QList<QPair<qint64, bool>>{{1, false}}));
    }

    void registeredWindowsAreUsedByKind()
    {
        Script script;
        script.pickAnswers = {8};
        QVERIFY(!hasRecordWindows(RecordKind::Product));
        setRecordWindows(RecordKind::Product, script.windows());
        QVERIFY(hasRecordWindows(RecordKind::Product));
        const PickStepResult step = pickStep(*m_some, RecordKind::Product, 0, false, nullptr);
        QCOMPARE(step.selection, 8);
        setRecordWindows(RecordKind::Product, {});
        QVERIFY(!hasRecordWindows(RecordKind::Product));
    }

    void preselectionFollowsTheTableOrder()
    {
        QCOMPARE(firstRecordNumber(*m_none), 0);
        QCOMPARE(lastRecordNumber(*m_none), 0);
        QVERIFY(m_some->selectTag(QStringLiteral("CCNO")));
        QVERIFY(m_some->top());
        const qint64 lowest = m_some->recNo();
        QVERIFY(m_some->bottom());
        const qint64 highest = m_some->recNo();
        QVERIFY(m_some->selectTag(QStringLiteral("CName")));
        QVERIFY(m_some->top());
        const qint64 firstByName = m_some->recNo();
        QVERIFY(firstByName != lowest); // the sample's first name is not its first number
        QCOMPARE(firstRecordNumber(*m_some), firstByName);
        QVERIFY(m_some->selectTag(QStringLiteral("CCNO")));
        QCOMPARE(firstRecordNumber(*m_some), lowest);
        QCOMPARE(lastRecordNumber(*m_some), highest);
    }
};

QTEST_MAIN(TstBrowseEdit)
#include "tst_browse_edit.moc"
