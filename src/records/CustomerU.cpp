#include "CustomerU.h"

#include "BrowseEdit.h"
#include "Conversions.h"
#include "CustomerBook.h"
#include "FormRules.h"
#include "GroupDefU.h"
#include "PickGroupU.h"
#include "Schema.h"
#include "Tables.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace tallyra {

namespace {

QLineEdit *box(QWidget *parent, const char *name, int maxLength)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(maxLength);
    e->setMinimumWidth(widthFor(e, std::min(maxLength, 36), TextKind::Text));
    return e;
}

} // namespace

TCustomer::TCustomer(db::Engine &engine, QWidget *parent)
    : TRecordForm(engine, QStringLiteral("customer"), "customerDialog", QStringLiteral("Customer"), parent)
{

    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("customerNumberEdit"));
    m_number->setReadOnly(true);
    m_number->setFocusPolicy(Qt::NoFocus);
    m_number->setAlignment(Qt::AlignRight);
    m_number->setMaximumWidth(m_number->fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 12);
    m_groupButton = new QPushButton(QStringLiteral("Group"), this);
    m_groupButton->setObjectName(QStringLiteral("groupButton"));
    m_group = new QLineEdit(this);
    m_group->setObjectName(QStringLiteral("groupEdit"));
    m_group->setReadOnly(true);
    m_group->setFocusPolicy(Qt::NoFocus);

    m_title = box(this, "titleEdit", 3);
    m_first = box(this, "firstNameEdit", 13);
    m_last = box(this, "lastNameEdit", 20);
    m_addr[0] = box(this, "address1Edit", 34);
    m_addr[1] = box(this, "address2Edit", 34);
    m_addr[2] = box(this, "address3Edit", 34);
    m_addr[3] = box(this, "address4Edit", 19);
    m_zip = box(this, "postalCodeEdit", 10);
    m_note = box(this, "noteEdit", 34);
    m_phone = box(this, "phoneEdit", 20);
    m_fax = box(this, "faxEdit", 20);
    m_email = box(this, "emailEdit", kEmailTextLimit);
    m_comments = new QPlainTextEdit(this);
    m_comments->setObjectName(QStringLiteral("commentsEdit"));
    m_comments->setTabChangesFocus(true);
    m_comments->setFixedHeight(m_comments->fontMetrics().lineSpacing() * 4 + 12);

    m_groupButton->setAutoDefault(false);

    auto *grid = new QGridLayout;
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Customer No."), this), row, 0);
    grid->addWidget(m_number, row, 1, Qt::AlignLeft);
    auto *groupRow = new QHBoxLayout;
    groupRow->addWidget(m_groupButton);
    groupRow->addWidget(m_group, 1);
    grid->addLayout(groupRow, row++, 2);
    // The three name boxes, each captioned above it.
    auto *nameRow = new QGridLayout;
    nameRow->setVerticalSpacing(0);
    const QString captions[] = {QStringLiteral("Title"), QStringLiteral("First"), QStringLiteral("Last")};
    QLineEdit *const nameBoxes[] = {m_title, m_first, m_last};
    for (int i = 0; i < 3; ++i) {
        auto *caption = new QLabel(captions[i], this);
        caption->setBuddy(nameBoxes[i]);
        nameRow->addWidget(caption, 0, i);
        nameRow->addWidget(nameBoxes[i], 1, i);
    }
    // A title is a few letters ("Dr.", "Mx."): its box stays narrow, the names take the rest.
    m_title->setMaximumWidth(widthFor(m_title, 6, TextKind::Text));
    nameRow->setColumnStretch(1, 13);
    nameRow->setColumnStretch(2, 20);
    grid->addWidget(new QLabel(QStringLiteral("Name"), this), row, 0, Qt::AlignBottom);
    grid->addLayout(nameRow, row++, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Address"), this), row, 0);
    grid->addWidget(m_addr[0], row++, 1, 1, 2);
    // The further address rows have no label of their own.
    grid->addWidget(m_addr[1], row++, 1, 1, 2);
    grid->addWidget(m_addr[2], row++, 1, 1, 2);
    auto *townRow = new QHBoxLayout;
    townRow->addWidget(m_addr[3], 1);
    townRow->addWidget(new QLabel(QStringLiteral("Postal Code"), this));
    townRow->addWidget(m_zip);
    grid->addLayout(townRow, row++, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Note"), this), row, 0);
    grid->addWidget(m_note, row++, 1, 1, 2);
    auto *phoneRow = new QHBoxLayout;
    phoneRow->addWidget(m_phone, 1);
    phoneRow->addWidget(new QLabel(QStringLiteral("Fax"), this));
    phoneRow->addWidget(m_fax, 1);
    grid->addWidget(new QLabel(QStringLiteral("Phone"), this), row, 0);
    grid->addLayout(phoneRow, row++, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Email"), this), row, 0);
    grid->addWidget(m_email, row++, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Comments"), this), row, 0, Qt::AlignTop);
    grid->addWidget(m_comments, row++, 1, 1, 2);
    finishForm(grid);

    setTabOrder(m_groupButton, m_title);
    setTabOrder(m_title, m_first);
    setTabOrder(m_first, m_last);
    setTabOrder(m_last, m_addr[0]);
    setTabOrder(m_addr[0], m_addr[1]);
    setTabOrder(m_addr[1], m_addr[2]);
    setTabOrder(m_addr[2], m_addr[3]);
    setTabOrder(m_addr[3], m_zip);
    setTabOrder(m_zip, m_note);
    setTabOrder(m_note, m_phone);
    setTabOrder(m_phone, m_fax);
    setTabOrder(m_fax, m_email);
    setTabOrder(m_email, m_comments);
    setTabOrder(m_comments, saveButton());

    // A group chosen with "Group" is a change too.
    DiscardGuard::of(this)->setExtraState([this] { return QString::number(m_customer.NGroup); });
    connect(m_groupButton, &QPushButton::clicked, this, &TCustomer::BtnGroupClick);
}

bool TCustomer::loadRecord(quint32 recNo)
{
    m_customer = CustomerRecord{};
    db::Table *customers = table(TableId::Customers);
    db::Table *groups = customers ? table(TableId::Groups) : nullptr;
    if (!customers || !groups)
        return false;
    if (recNo != 0 && !CustomerBook(*customers, *groups).load(recNo, &m_customer))
        return recordUnreadable(recNo);
    return true;
}

void TCustomer::showNumber()
{
    m_number->setText(QString::fromLatin1(numberKey(m_customer.CuNo, 6)));
}

void TCustomer::showRecord()
{
    showNumber();
    QString groupName;
    if (db::Table *customers = table(TableId::Customers)) {
        if (db::Table *groups = table(TableId::Groups)) {
            CustomerBook book(*customers, *groups);
            // A group deleted elsewhere leaves the customer without one until a group is chosen.
            if (!book.groupName(m_customer.NGroup, &groupName))
                m_customer.NGroup = 0;
        }
    }
    m_group->setText(groupName);
    m_title->setText(m_customer.Title);
    m_first->setText(m_customer.First);
    m_last->setText(m_customer.Last);
    m_addr[0]->setText(m_customer.Addr1);
    m_addr[1]->setText(m_customer.Addr2);
    m_addr[2]->setText(m_customer.Addr3);
    m_addr[3]->setText(m_customer.Addr4);
    m_zip->setText(m_customer.Zip);
    m_note->setText(m_customer.Note);
    m_phone->setText(m_customer.Phone);
    m_fax->setText(m_customer.Fax);
    m_email->setText(m_customer.EMail);
    m_comments->setPlainText(m_customer.Comments);
    m_title->setFocus();
}

void TCustomer::takeBoxes()
{
    m_customer.Title = m_title->text().trimmed();
    m_customer.First = m_first->text().trimmed();
    m_customer.Last = m_last->text().trimmed();
    m_customer.Addr1 = m_addr[0]->text().trimmed();
    m_customer.Addr2 = m_addr[1]->text().trimmed();
    m_customer.Addr3 = m_addr[2]->text().trimmed();
    m_customer.Addr4 = m_addr[3]->text().trimmed();
    m_customer.Zip = m_zip->text().trimmed();
    m_customer.Note = m_note->text().trimmed();
    m_customer.Phone = m_phone->text().trimmed();
    m_customer.Fax = m_fax->text().trimmed();
    m_customer.EMail = m_email->text().trimmed();
    m_customer.Comments = memoText(m_comments->toPlainText());
}

void TCustomer::BtnGroupClick()
{
    db::Table *groups = table(TableId::Groups);
    if (!groups)
        return;
    qint64 current = 0;
    if (m_customer.NGroup > 0 && findGroupByNumber(*groups, m_customer.NGroup))
        current = groups->recNo();

    RecordWindows windows;
    windows.pick = [this](QWidget *parent, qint64 selection, bool allowNew) {
        TPickGroup picker(m_engine, parent);
        return picker.pick(selection, allowNew);
    };
    windows.edit = [this](QWidget *parent, qint64 selection) {
        TGroupDef form(m_engine, parent);
        return form.run(selection);
    };
    const PickStepResult step = pickStep(*groups, RecordKind::Group, windows, current, true, this);
    if (!step.picked())
        return;
    GroupBook book(*groups, nullptr);
    GroupRecord group;
    if (!book.load(static_cast<quint32>(step.selection), &group))
        return;
    m_customer.NGroup = group.nGroup;
    m_group->setText(group.cGroup.trimmed());
}

void TCustomer::BtnSaveClick()
{
    db::Table *customers = table(TableId::Customers);
    db::Table *groups = customers ? table(TableId::Groups) : nullptr;
    if (!customers || !groups)
        return;
    takeBoxes();
    const bool saved = takeSave(CustomerBook(*customers, *groups).save(m_customer, m_recNo));
    showNumber();
    if (saved)
        accept();
}

void TCustomer::BtnDeleteClick()
{
    db::Table *customers = table(TableId::Customers);
    db::Table *groups = customers ? table(TableId::Groups) : nullptr;
    if (!customers || !groups || m_recNo == 0)
        return;
    acceptDeletion(CustomerBook(*customers, *groups).remove(m_recNo));
}

} // namespace tallyra
