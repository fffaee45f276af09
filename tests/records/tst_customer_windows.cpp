// Customers and groups as a user keeps them: the main window's "Customers" loop, the customer and
// group forms and the group pick list driven offscreen on a real business in a temporary
// directory, with the stored files read back by our engine and by Debian's python3-dbfread.

#include "BrowseEdit.h"
#include "CustomerBook.h"
#include "CustomerU.h"
#include "Database.h"
#include "GroupDefU.h"
#include "NewBusiness.h"
#include "PickGridDialog.h"
#include "ProductCatalog.h"
#include "Prompt.h"
#include "RecordCommands.h"
#include "RecordTestSupport.h"
#include "Records.h"
#include "Settings.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <memory>

using namespace tallyra;
using namespace testsupport;
using namespace recordtest;

namespace {

QStringList rowTexts(QWidget *list)
{
    auto *grid = child<QTableWidget>(list, "pickGrid");
    QStringList rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid->columnCount(); ++c)
            cells << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

void selectRow(QWidget *list, const QString &lastName)
{
    auto *grid = child<QTableWidget>(list, "pickGrid");
    for (int r = 0; r < grid->rowCount(); ++r) {
        if (grid->item(r, 0)->text() == lastName) {
            grid->setCurrentCell(r, 0);
            return;
        }
    }
    qWarning("no row %s", qPrintable(lastName));
}

void selectGroup(QWidget *list, const QString &name)
{
    auto *names = child<QListWidget>(list, "groupList");
    const auto found = names->findItems(name, Qt::MatchExactly);
    if (found.isEmpty())
        qWarning("no group %s", qPrintable(name));
    else
        names->setCurrentItem(found.first());
}

} // namespace

class TestCustomerWindows : public QObject
{
    Q_OBJECT

private:
    EmptyBusiness m_business;
    db::Engine *m_engine = nullptr;

    quint32 addGroup(qint64 number, const QString &name)
    {
        return appendRecord(openGroups(*m_engine), GroupRecord{number, name}, writeGroup);
    }

    quint32 addCustomer(qint64 number, const QString &last, qint64 group,
                        const QString &first = QStringLiteral("Jo"))
    {
        CustomerRecord c;
        c.CuNo = number;
        c.Last = last;
        c.First = first;
        c.NGroup = group;
        return appendRecord(openCustomers(*m_engine), c, writeCustomer);
    }

    CustomerRecord storedCustomer(quint32 recNo, bool *deleted = nullptr)
    {
        CustomerRecord c;
        db::Table *t = openCustomers(*m_engine).table;
        if (t && t->go(recNo)) {
            loadCustomer(*t, c);
            if (deleted)
                *deleted = t->isDeleted();
        }
        return c;
    }

    QString file(const QString &name) const { return m_business.file(name); }

    // The main window's "Customers": GROUPS open too, CUST5 by name.
    bool customersLoop(ModalDriver &driver)
    {
        return openGroups(*m_engine) && runLoop(driver, openCustomers(*m_engine), RecordKind::Customer);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_business.open());
        m_engine = &database();
        settings().ByCust = true;
    }

    void cleanup() { m_business.close(); }

    // "Customers" on an empty CUST5: the list opens with nothing to select; "New" opens an empty
    // form; its "Group" button makes the first group through the group list's "New"; the saved
    // customer is number 1 and the list comes back showing it.
    void browseLoopOnAnEmptyTable()
    {
        ModalDriver driver;
        driver
            .then("pickCustomerDialog",
                  [](QWidget *w) {
                      QCOMPARE(child<QTableWidget>(w, "pickGrid")->rowCount(), 0);
                      QVERIFY(!child<QWidget>(w, "selectButton")->isEnabled());
                      QVERIFY(!child<QWidget>(w, "pickGrid")->isEnabled());
                      QVERIFY(child<QWidget>(w, "newButton")->isEnabled());
                      QCOMPARE(w->windowTitle(), QStringLiteral("Select Customer"));
                      clickLater(w, "newButton");
                  })
            .then("customerDialog",
                  [](QWidget *w) {
                      QCOMPARE(child<QLineEdit>(w, "customerNumberEdit")->text(), QStringLiteral("     0"));
                      QVERIFY(!child<QWidget>(w, "deleteButton")->isEnabled());
                      QVERIFY(child<QLineEdit>(w, "groupEdit")->text().isEmpty());
                      type(w, "titleEdit", "Ms");
                      type(w, "firstNameEdit", "Ann");
                      type(w, "lastNameEdit", "Lee");
                      clickLater(w, "groupButton");
                  })
            .then("pickGroupDialog",
                  [](QWidget *w) {
                      QCOMPARE(child<QListWidget>(w, "groupList")->count(), 0);
                      clickLater(w, "newButton");
                  })
            .then("groupDefDialog",
                  [](QWidget *w) {
                      QVERIFY(!child<QWidget>(w, "deleteButton")->isEnabled());
                      type(w, "groupNameEdit", "Retail");
                      click(w, "saveButton");
                  })
            .then("customerDialog",
                  [](QWidget *w) {
                      QCOMPARE(child<QLineEdit>(w, "groupEdit")->text(), QStringLiteral("Retail"));
                      type(w, "address1Edit", "  Lee Trading  ");
                      type(w, "postalCodeEdit", "90210");
                      child<QPlainTextEdit>(w, "commentsEdit")->setPlainText("Pays early.  \n\n");
                      click(w, "saveButton");
                  })
            .then("pickCustomerDialog", [](QWidget *w) {
                QCOMPARE(rowTexts(w), QStringList{"Lee|Ann||1"});
                QCOMPARE(child<QTableWidget>(w, "pickGrid")->currentRow(), 0);
                QVERIFY(child<QTableWidget>(w, "pickGrid")->isColumnHidden(3));
                QCOMPARE(child<QLineEdit>(w, "groupEdit")->text(), QStringLiteral("Retail"));
                click(w, "cancelButton");
            });
        QVERIFY(customersLoop(driver));
        QVERIFY(Prompt::takeShown().isEmpty());

        const QJsonArray customers = peerRead(file("CUST5.DBF"));
        QCOMPARE(customers.size(), 1);
        const QJsonObject c = customers[0].toObject();
        QCOMPARE(c["CUNO"].toInt(), 1);
        QCOMPARE(c["TITLE"].toString(), QStringLiteral("Ms"));
        QCOMPARE(c["LAST"].toString(), QStringLiteral("Lee"));
        QCOMPARE(c["ADDR1"].toString(), QStringLiteral("Lee Trading"));
        QCOMPARE(c["NGROUP"].toInt(), 1);
        QCOMPARE(c["COMMENTS"].toString(), QStringLiteral("Pays early."));
        const QJsonArray groups = peerRead(file("GROUPS.DBF"));
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].toObject()["NGROUP"].toInt(), 1);
        QCOMPARE(groups[0].toObject()["CGROUP"].toString(), QStringLiteral("Retail"));
    }

    // The first customer gets 1; after 1, 2 and 5 the next gets 6 (gaps are not reused); a
    // re-saved customer keeps its number; a record that lost its number gets the next one.
    void customerNumbersAreHighestPlusOne()
    {
        addGroup(1, QStringLiteral("Retail"));
        db::Table *customers = openCustomers(*m_engine).table;
        db::Table *groups = openGroups(*m_engine).table;
        CustomerBook book(*customers, *groups);
        CustomerRecord first;
        first.Last = QStringLiteral("First");
        first.NGroup = 1;
        const RecordSave one = book.save(first, 0);
        QVERIFY(one.ok);
        QCOMPARE(first.CuNo, 1);
        addCustomer(2, QStringLiteral("Two"), 1);
        const quint32 five = addCustomer(5, QStringLiteral("Five"), 1);
        CustomerRecord next;
        next.Last = QStringLiteral("Next");
        next.NGroup = 1;
        QVERIFY(book.save(next, 0).ok);
        QCOMPARE(next.CuNo, 6);

        CustomerRecord again;
        QVERIFY(book.load(five, &again));
        again.Note = QStringLiteral("changed");
        const RecordSave resaved = book.save(again, five);
        QVERIFY(resaved.ok);
        QCOMPARE(resaved.recNo, five);
        QCOMPARE(storedCustomer(five).CuNo, 5);
        QCOMPARE(storedCustomer(five).Note, QStringLiteral("changed"));

        const quint32 unnumbered = addCustomer(0, QStringLiteral("Imported"), 1);
        CustomerRecord imported;
        QVERIFY(book.load(unnumbered, &imported));
        QVERIFY(book.save(imported, unnumbered).ok);
        QCOMPARE(storedCustomer(unnumbered).CuNo, 7);
        QCOMPARE(customers->recordCount(), 5u); // saved in place, no copy appended
    }

    // No group: "Please Select Customer Group" and nothing saved. A customer whose group was
    // deleted elsewhere shows an empty group box and is refused the same way until a group is
    // chosen.
    void customerWithoutGroupIsRefused()
    {
        ModalDriver driver;
        driver.then("customerDialog", [](QWidget *w) {
            type(w, "lastNameEdit", "Nogroup");
            Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
            click(w, "saveButton");
            QVERIFY(w->isVisible());
            // What was typed is given up only on request.
            Prompt::setNextAnswers({answer(Prompt::Answer::Yes)});
            click(w, "cancelButton");
        });
        TCustomer form(*m_engine);
        QCOMPARE(runForm(form, 0, driver), -1);
        QCOMPARE(Prompt::takeShown(), (QStringList{"Please Select Customer Group", "Discard the changes?"}));
        QCOMPARE(openCustomers(*m_engine).table->recordCount(), 0u);

        const quint32 retail = addGroup(1, QStringLiteral("Retail"));
        const quint32 orphan = addCustomer(1, QStringLiteral("Orphan"), 7);
        ModalDriver second;
        second
            .then("customerDialog",
                  [](QWidget *w) {
                      QVERIFY(child<QLineEdit>(w, "groupEdit")->text().isEmpty());
                      QCOMPARE(child<QLineEdit>(w, "lastNameEdit")->text(), QStringLiteral("Orphan"));
                      QVERIFY(child<QWidget>(w, "deleteButton")->isEnabled());
                      Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
                      click(w, "saveButton");
                      QVERIFY(w->isVisible());
                      clickLater(w, "groupButton");
                  })
            .then("pickGroupDialog",
                  [](QWidget *w) {
                      QCOMPARE(child<QListWidget>(w, "groupList")->currentRow(), 0);
                      click(w, "selectButton");
                  })
            .then("customerDialog", [](QWidget *w) {
                QCOMPARE(child<QLineEdit>(w, "groupEdit")->text(), QStringLiteral("Retail"));
                click(w, "saveButton");
            });
        QCOMPARE(runForm(form, orphan, second), qint64(orphan));
        QCOMPARE(Prompt::takeShown(), QStringList{"Please Select Customer Group"});
        QCOMPARE(storedCustomer(orphan).NGroup, 1);
        QVERIFY(retail != 0);
    }

    // The address block of customers typed into the form: a 30-character first address line
    // puts the postal code on the next line after 20 blanks; a 15-character one takes it after
    // two blanks.
    void addressBlockFollowsTheLengthOfTheLastLine()
    {
        addGroup(1, QStringLiteral("Retail"));
        const auto enter = [this](const QString &addr1, const QString &zip) -> quint32 {
            ModalDriver driver;
            driver.then("customerDialog", [&](QWidget *w) {
                type(w, "titleEdit", "Mr");
                type(w, "firstNameEdit", " Jo ");
                type(w, "lastNameEdit", "Lee");
                type(w, "address1Edit", addr1);
                type(w, "postalCodeEdit", zip);
                clickLater(w, "groupButton");
            });
            driver.then("pickGroupDialog", [](QWidget *w) { click(w, "selectButton"); });
            driver.then("customerDialog", [](QWidget *w) { click(w, "saveButton"); });
            TCustomer form(*m_engine);
            const qint64 recNo = runForm(form, 0, driver);
            return recNo > 0 ? quint32(recNo) : 0;
        };
        const quint32 longOne =
            enter(QStringLiteral("Quite A Long Company Name 1234"), QStringLiteral("90210"));
        const quint32 shortOne = enter(QStringLiteral("Short Co Ltd 15"), QStringLiteral("1000"));
        QVERIFY(longOne && shortOne);
        QCOMPARE(CustomerBook::addressBlock(storedCustomer(longOne)),
                 (QStringList{"Mr Jo Lee", "Quite A Long Company Name 1234", QString(20, ' ') + "90210"}));
        QCOMPARE(CustomerBook::addressBlock(storedCustomer(shortOne)),
                 (QStringList{"Mr Jo Lee", "Short Co Ltd 15  1000"}));
        QCOMPARE(storedCustomer(shortOne).CuNo, 2);
    }

    // Deleting a group asks first, then moves all of its customers to the group picked (the list
    // offers no "New"; picking the group itself does nothing), and only then marks it deleted.
    void deletingAGroupMovesItsCustomersFirst()
    {
        const quint32 retail = addGroup(1, QStringLiteral("Retail"));
        addGroup(2, QStringLiteral("Trade"));
        QList<quint32> customers;
        for (const char *name : {"Ames", "Baker", "Cole"})
            customers << addCustomer(customers.size() + 1, QString::fromLatin1(name), 1);
        customers << addCustomer(4, QStringLiteral("Dane"), 2);
        closeAllTables(*m_engine);

        ModalDriver driver;
        driver
            .then("groupDefDialog",
                  [](QWidget *w) {
                      QCOMPARE(child<QLineEdit>(w, "groupNumberEdit")->text(), QStringLiteral(" 1"));
                      Prompt::setNextAnswers({answer(Prompt::Answer::Cancel)});
                      click(w, "deleteButton");
                      QVERIFY(w->isVisible());
                      Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
                      clickLater(w, "deleteButton");
                  })
            .then("pickGroupDialog",
                  [](QWidget *w) {
                      QVERIFY(!child<QWidget>(w, "newButton")->isEnabled());
                      selectGroup(w, "Retail");
                      click(w, "selectButton");
                  })
            .then("groupDefDialog",
                  [](QWidget *w) {
                      QVERIFY(w->isVisible());
                      Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
                      clickLater(w, "deleteButton");
                  })
            .then("pickGroupDialog", [](QWidget *w) {
                selectGroup(w, "Trade");
                click(w, "selectButton");
            });
        TGroupDef form(*m_engine);
        QCOMPARE(runForm(form, retail, driver), 0);
        const QString question = QStringLiteral("Move Customers in Retail to a selected group");
        QCOMPARE(Prompt::takeShown(), (QStringList{question, question, question}));
        QVERIFY(packNeeded());
        for (quint32 c : customers)
            QCOMPARE(storedCustomer(c).NGroup, 2);
        closeAllTables(*m_engine);

        const QJsonArray groups = peerRead(file("GROUPS.DBF"));
        QCOMPARE(groups.size(), 2);
        for (const QJsonValue &g : groups)
            QCOMPARE(g.toObject()["_deleted"].toBool(),
                     g.toObject()["CGROUP"].toString() == QLatin1String("Retail"));
    }

    // A customer deleted in its form stays in the list with "< DELETED >" (until the command packs
    // CUST5); saving it again undeletes it.
    void deletedCustomerIsListedAndRecalledByASave()
    {
        addGroup(1, QStringLiteral("Retail"));
        addCustomer(1, QStringLiteral("Ames"), 1);
        const quint32 baker = addCustomer(2, QStringLiteral("Baker"), 1);
        addCustomer(3, QStringLiteral("Cole"), 1);
        closeAllTables(*m_engine);

        ModalDriver driver;
        driver
            .then("pickCustomerDialog",
                  [](QWidget *w) {
                      selectRow(w, "Baker");
                      clickLater(w, "selectButton");
                  })
            .then("customerDialog", [](QWidget *w) { click(w, "deleteButton"); })
            .then("pickCustomerDialog",
                  [](QWidget *w) {
                      QCOMPARE(rowTexts(w),
                               (QStringList{"Ames|Jo||1", "Baker|Jo|< DELETED >|2", "Cole|Jo||3"}));
                      QCOMPARE(child<QTableWidget>(w, "pickGrid")->currentRow(), 1);
                      QTest::keyClick(child<QWidget>(w, "pickGrid"), Qt::Key_Return); // opens the form later
                  })
            .then("customerDialog",
                  [](QWidget *w) {
                      type(w, "noteEdit", "back again");
                      click(w, "saveButton");
                  })
            .then("pickCustomerDialog",
                  [](QWidget *w) {
                      QCOMPARE(rowTexts(w)[1], QStringLiteral("Baker|Jo|back again|2"));
                      auto *grid = child<QTableWidget>(w, "pickGrid");
                      const QPoint cole = grid->visualItemRect(grid->item(2, 0)).center();
                      QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cole);
                      QCOMPARE(grid->currentRow(), 2);
                      QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cole);
                  })
            .then("customerDialog", [](QWidget *w) { click(w, "deleteButton"); })
            .then("pickCustomerDialog", [](QWidget *w) {
                QCOMPARE(rowTexts(w)[2], QStringLiteral("Cole|Jo|< DELETED >|3"));
                click(w, "cancelButton");
            });
        QVERIFY(customersLoop(driver));
        QVERIFY(packNeeded());

        // Cole is marked deleted, Baker is back.
        const QJsonArray stored = peerRead(file("CUST5.DBF"));
        QStringList live;
        QStringList deletedNames;
        for (const QJsonValue &c : stored)
            (c.toObject()["_deleted"].toBool() ? deletedNames : live) << c.toObject()["LAST"].toString();
        QCOMPARE(live, (QStringList{"Ames", "Baker"}));
        QCOMPARE(deletedNames, QStringList{"Cole"});
        bool deleted = true;
        QCOMPARE(storedCustomer(2, &deleted).Note, QStringLiteral("back again"));
        QVERIFY(!deleted);
        QVERIFY(baker == 2);
    }

    // A disk that is full when a new customer, group or product is saved: the save is refused
    // with a message, the number given back, and once the files are closed and read again
    // the records stored before are all there and no empty record has appeared.
    void fullDiskRefusesTheSaveAndLosesNothing()
    {
        addGroup(1, QStringLiteral("Retail"));
        addCustomer(1, QStringLiteral("Ames"), 1);
        addCustomer(2, QStringLiteral("Baker"), 1);
        QVERIFY(appendRecord(openProducts(*m_engine), ProductRecord{QStringLiteral("BOLT")}, writeProduct));
        closeDatabase();

        auto disk = std::make_shared<FailingFileSystem>(1 << 30);
        openDatabase(m_business.path(), disk);
        m_engine = &database();
        db::Table *customers = openCustomers(*m_engine).table;
        db::Table *groups = openGroups(*m_engine).table;
        db::Table *products = openProducts(*m_engine).table;
        QVERIFY(customers && groups && products);
        disk->setBudget(0);

        CustomerBook book(*customers, *groups);
        CustomerRecord cole;
        cole.Last = QStringLiteral("Cole");
        cole.NGroup = 1;
        const RecordSave refused = book.save(cole, 0);
        QVERIFY(!refused.ok);
        QVERIFY(!refused.message.isEmpty());
        QCOMPARE(cole.CuNo, 0);

        GroupRecord trade;
        trade.cGroup = QStringLiteral("Trade");
        QVERIFY(!GroupBook(*groups, customers).save(trade, 0).ok);
        ProductRecord nut;
        nut.PrID = QStringLiteral("nut");
        QVERIFY(!ProductCatalog(*m_engine, *products).save(nut, 0, QString()).ok);

        closeAllTables(*m_engine);
        closeDatabase();
        openDatabase(m_business.path());
        m_engine = &database();
        const QJsonArray stored = peerRead(file("CUST5.DBF"));
        QStringList live;
        for (const QJsonValue &c : stored) {
            if (!c.toObject()["_deleted"].toBool())
                live << QString::number(c.toObject()["CUNO"].toInt()) + c.toObject()["LAST"].toString();
        }
        QCOMPARE(live, (QStringList{"1Ames", "2Baker"}));
        QCOMPARE(stored.size(), 2);
        QCOMPARE(peerRead(file("GROUPS.DBF")).size(), 1);
        QCOMPARE(peerRead(file("Prod5.DBF")).size(), 1);
        QStringList ids;
        for (const QJsonValue &p : peerRead(file("Prod5.DBF")))
            if (!p.toObject()["_deleted"].toBool())
                ids << p.toObject()["PRID"].toString();
        QCOMPARE(ids, QStringList{"BOLT"});
    }

    // Group numbers fill the first gap from 1; a blank name is refused; a re-saved deleted group
    // is recalled; every group number in use is refused, not written as "**".
    void groupNumberingAndSaving()
    {
        db::Table *groups = openGroups(*m_engine).table;
        GroupBook book(*groups, nullptr);
        QCOMPARE(book.nextGroupNumber(), 1);
        for (qint64 n : {4, 2, 1})
            addGroup(n, QStringLiteral("G%1").arg(n));
        QCOMPARE(book.nextGroupNumber(), 3);
        QCOMPARE(groups->selectedTag().toUpper(), QStringLiteral("NGROUP"));

        GroupRecord blank;
        blank.cGroup = QStringLiteral("   ");
        QCOMPARE(book.save(blank, 0).message, QStringLiteral("Can't Save Blank Name"));
        QCOMPARE(groups->recordCount(), 3u);

        GroupRecord spaced;
        spaced.cGroup = QStringLiteral("  Wholesale");
        const RecordSave saved = book.save(spaced, 0);
        QVERIFY(saved.ok);
        QCOMPARE(spaced.nGroup, 3);
        GroupRecord back;
        QVERIFY(book.load(saved.recNo, &back));
        QCOMPARE(back.cGroup, QStringLiteral("  Wholesale")); // kept as typed

        QVERIFY(book.remove(saved.recNo).isOk());
        QCOMPARE(book.nextGroupNumber(), 5); // not reused before the pack
        bool deleted = false;
        QVERIFY(book.load(saved.recNo, &back, &deleted));
        QVERIFY(deleted);
        QVERIFY(book.save(back, saved.recNo).ok);
        QVERIFY(book.load(saved.recNo, &back, &deleted));
        QVERIFY(!deleted);

        // Numbers 2 and 3 only: 1 is free.
        closeAllTables(*m_engine);
        TempDataDir other;
        QVERIFY(createBusiness(other.path(), false).ok());
        db::Engine engine(other.path());
        db::Table *t = openGroups(engine).table;
        for (qint64 n = 2; n <= 99; ++n) {
            QVERIFY(t->appendBlank().isOk());
            QVERIFY(writeGroup(*t, {n, QStringLiteral("G%1").arg(n)}).isOk());
        }
        GroupBook full(*t, nullptr);
        QCOMPARE(full.nextGroupNumber(), 1);
        GroupRecord one;
        one.cGroup = QStringLiteral("One");
        QVERIFY(full.save(one, 0).ok);
        GroupRecord hundred;
        hundred.cGroup = QStringLiteral("Too many");
        const RecordSave refused = full.save(hundred, 0);
        QVERIFY(!refused.ok);
        QVERIFY(refused.message.contains(QLatin1String("99")));
        QCOMPARE(t->recordCount(), 99u);
        closeAllTables(engine);
    }
};

QTEST_MAIN(TestCustomerWindows)
#include "tst_customer_windows.moc"
