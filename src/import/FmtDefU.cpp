#include "FmtDefU.h"

#include "EnterMovesFocus.h"
#include "Help.h"
#include "Prompt.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

namespace {

constexpr int kSlotBoxes = 13;
constexpr int kFirstColumn = 7; // slots 1..7 in the first column, 8..13 in the second

// Character codes a delimiter cannot be: no code, the line ends, and the quote.
bool usableDelimiter(qint64 code)
{
    return code >= 1 && code <= 255 && code != '\n' && code != '\r' && code != '"';
}

} // namespace

TFmtDef::TFmtDef(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("fmtDefDialog"));
    setWindowTitle(QStringLiteral("Import Format Definition"));
    setModal(true);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("formatNameEdit"));
    m_name->setMaxLength(30);
    m_name->setMinimumWidth(m_name->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 22);
    connect(m_name, &QLineEdit::textEdited, this, [this] { m_changed = true; });

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    for (int c = 0; c < 2; ++c) {
        auto *field = new QLabel(QStringLiteral("Field"), this);
        auto *number = new QLabel(QStringLiteral("Number"), this);
        field->setObjectName(QStringLiteral("fieldHeading%1").arg(c + 1));
        number->setObjectName(QStringLiteral("numberHeading%1").arg(c + 1));
        QFont bold = field->font();
        bold.setBold(true);
        field->setFont(bold);
        number->setFont(bold);
        grid->addWidget(field, 0, c * 2);
        grid->addWidget(number, 0, c * 2 + 1);
        if (c == 1) {
            m_secondHeading[0] = field;
            m_secondHeading[1] = number;
        }
    }
    const QStringList labels = slotLabels(ImportKind::Customers);
    for (int i = 0; i < kSlotBoxes; ++i) {
        auto *label = new QLabel(labels[i], this);
        label->setObjectName(QStringLiteral("slotLabel%1").arg(i + 1));
        QLineEdit *box = numberBox(QStringLiteral("slotEdit%1").arg(i + 1), 2);
        label->setBuddy(box);
        const int column = i < kFirstColumn ? 0 : 1;
        const int row = 1 + (i < kFirstColumn ? i : i - kFirstColumn);
        grid->addWidget(label, row, column * 2);
        grid->addWidget(box, row, column * 2 + 1);
        m_slots << box;
        m_slotLabels << label;
    }
    m_delimiter = numberBox(QStringLiteral("delimiterEdit"), 3);
    m_fields = numberBox(QStringLiteral("fieldCountEdit"), 2);

    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_help = new QPushButton(QStringLiteral("Help"), this);
    m_help->setObjectName(QStringLiteral("helpButton"));
    for (QPushButton *b : {m_save, m_cancel, m_help})
        b->setAutoDefault(true); // Enter on a focused button presses it

    auto *nameRow = new QHBoxLayout;
    auto *nameLabel = new QLabel(QStringLiteral("Format Name"), this);
    nameLabel->setBuddy(m_name);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(m_name, 1);

    auto *delimRow = new QGridLayout;
    auto *delimLabel = new QLabel(QStringLiteral("ASCII Value of Delimiter"), this);
    delimLabel->setBuddy(m_delimiter);
    delimRow->addWidget(delimLabel, 0, 0);
    delimRow->addWidget(m_delimiter, 0, 1);
    auto *hints = new QLabel(QStringLiteral("9 = Tab    44 = Comma"), this);
    hints->setObjectName(QStringLiteral("delimiterHints"));
    delimRow->addWidget(hints, 0, 2);
    auto *fieldsLabel = new QLabel(QStringLiteral("Total Fields/Record"), this);
    fieldsLabel->setBuddy(m_fields);
    delimRow->addWidget(fieldsLabel, 1, 0);
    delimRow->addWidget(m_fields, 1, 1);
    delimRow->setColumnStretch(3, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_help);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(nameRow);
    layout->addSpacing(6);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addLayout(delimRow);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Tab goes down the first column, then the second, then the delimiter boxes and buttons.
    QWidget *previous = m_name;
    for (QWidget *w : m_slots) {
        setTabOrder(previous, w);
        previous = w;
    }
    for (QWidget *w : std::initializer_list<QWidget *>{m_delimiter, m_fields, m_save, m_cancel, m_help}) {
        setTabOrder(previous, w);
        previous = w;
    }

    EnterMovesFocus::install(this);
    connect(m_save, &QPushButton::clicked, this, &TFmtDef::BtnSaveClick);
    connect(m_cancel, &QPushButton::clicked, this, &TFmtDef::reject);
    connect(m_help, &QPushButton::clicked, this, [this] {
        Help::showContext(this, m_format.FmtType == 2 ? Help::kImportProducts : Help::kImportCustomers);
    });
}

QLineEdit *TFmtDef::numberBox(const QString &name, int digits)
{
    auto *box = new QLineEdit(this);
    box->setObjectName(name);
    box->setMaxLength(digits);
    box->setAlignment(Qt::AlignRight);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QString(digits + 1, QLatin1Char('0'))) + 14);
    connect(box, &QLineEdit::editingFinished, this, &TFmtDef::NumberBoxExit);
    connect(box, &QLineEdit::textEdited, this, [this] { m_changed = true; });
    return box;
}

quint32 TFmtDef::run(db::Table &formats, ImportKind kind, quint32 selection)
{
    m_table = &formats;
    m_selection = selection;
    m_format = newImportFormat(kind);
    if (selection > 0) {
        const db::Status read = readFormat(formats, selection, &m_format);
        if (!read) {
            Prompt::info(this, QStringLiteral("The import format could not be read:\n") + read.toString());
            return selection;
        }
    }
    showFormat();
    exec();
    m_table = nullptr;
    return m_selection;
}

void TFmtDef::showFormat()
{
    const bool customers = m_format.FmtType != 2;
    const QStringList &labels = slotLabels(customers ? ImportKind::Customers : ImportKind::Products);
    for (int i = 0; i < kSlotBoxes; ++i) {
        const bool shown = i < labels.size();
        m_slots[i]->setVisible(shown);
        m_slotLabels[i]->setVisible(shown);
        if (shown)
            m_slotLabels[i]->setText(labels[i]);
        m_slots[i]->setText(QString::number(m_format.Fld[i]));
    }
    m_secondHeading[0]->setVisible(customers);
    m_secondHeading[1]->setVisible(customers);
    m_name->setText(m_format.FmtName.trimmed());
    m_delimiter->setText(QString::number(m_format.DELIM));
    m_fields->setText(QString::number(m_format.nFields));
    m_changed = false;
    m_name->setFocus();
}

void TFmtDef::NumberBoxExit()
{
    auto *box = qobject_cast<QLineEdit *>(sender());
    if (!box)
        return;
    bool ok = false;
    const QString text = box->text().trimmed();
    text.toLongLong(&ok);
    const QString shown =
        ok && !text.startsWith(QLatin1Char('+')) ? QString::number(text.toLongLong()) : QStringLiteral("0");
    if (box->text() != shown)
        box->setText(shown);
}

void TFmtDef::BtnSaveClick()
{
    if (!m_table)
        return;
    ImportFormatRecord f = m_format;
    f.FmtName = m_name->text();
    for (int i = 0; i < kSlotBoxes; ++i)
        f.Fld[i] = m_slots[i]->text().trimmed().toLongLong();
    f.DELIM = m_delimiter->text().trimmed().toLongLong();
    f.nFields = m_fields->text().trimmed().toLongLong();
    if (!usableDelimiter(f.DELIM)) {
        Prompt::info(this,
                     QStringLiteral("The delimiter must be a character code from 1 to 255 other than 10, "
                                    "13 and 34 (line ends and the double quote)."));
        m_delimiter->setFocus();
        m_delimiter->selectAll();
        return;
    }
    quint32 recNo = m_selection;
    const db::Status saved = saveFormat(*m_table, f, &recNo);
    if (!saved) {
        qWarning("%s", qPrintable(saved.toString()));
        Prompt::info(this,
                     m_selection == 0
                         ? QStringLiteral("Unable to add record at this time. Please try later.")
                         : QStringLiteral("The import format could not be saved:\n") + saved.toString());
        return;
    }
    m_format = f;
    m_selection = recNo;
    m_changed = false;
    accept();
}

void TFmtDef::reject()
{
    if (m_changed && !Prompt::yesNo(this, QStringLiteral("Discard the changes?")))
        return;
    QDialog::reject();
}

} // namespace tallyra
