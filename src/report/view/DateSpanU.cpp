#include "DateSpanU.h"

#include "Clock.h"
#include "EnterMovesFocus.h"
#include "Prompt.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>

namespace tallyra {

namespace {

TDateSpan *g_instance = nullptr;

void dropInstance()
{
    delete g_instance;
    g_instance = nullptr;
}

// The locale's short date format with the year always in four digits, so that no century is
// guessed in the picker.
QString pickerFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    static const QRegularExpression shortYear(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(shortYear, QStringLiteral("yyyy"));
    return format;
}

} // namespace

DateSpanValues &dateSpan()
{
    static DateSpanValues values;
    return values;
}

DateSpanValues currentMonthSpan(const QDate &day)
{
    DateSpanValues span;
    span.start = QDate(day.year(), day.month(), 1);
    span.end = span.start.addDays(31);
    while (span.end.month() != span.start.month())
        span.end = span.end.addDays(-1);
    return span;
}

void presetToday()
{
    dateSpan().start = today();
    dateSpan().end = today();
}

void presetCurrentMonth()
{
    const DateSpanValues month = currentMonthSpan(today());
    dateSpan().start = month.start;
    dateSpan().end = month.end;
}

TDateSpan::TDateSpan(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dateSpanDialog"));
    setWindowTitle(QString::fromLatin1(kCaption));

    m_beginLabel = new QLabel(QString::fromLatin1(kBeginLabel), this);
    m_beginLabel->setObjectName(QStringLiteral("beginLabel"));
    m_begin = new QDateEdit(this);
    m_begin->setObjectName(QStringLiteral("beginDateEdit"));
    m_endLabel = new QLabel(QStringLiteral("Ending:"), this);
    m_endLabel->setObjectName(QStringLiteral("endLabel"));
    m_end = new QDateEdit(this);
    m_end->setObjectName(QStringLiteral("endDateEdit"));
    for (QDateEdit *picker : {m_begin, m_end}) {
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(pickerFormat());
        picker->setMinimumWidth(130);
    }
    m_beginLabel->setBuddy(m_begin);
    m_endLabel->setBuddy(m_end);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));

    auto *grid = new QGridLayout;
    grid->addWidget(m_beginLabel, 0, 0);
    grid->addWidget(m_begin, 0, 1);
    grid->addWidget(m_endLabel, 1, 0);
    grid->addWidget(m_end, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_ok, &QPushButton::clicked, this, &TDateSpan::BtnOkClick);
    connect(m_cancel, &QPushButton::clicked, this, &TDateSpan::BtnCancelClick);
    EnterMovesFocus::install(this);
}

TDateSpan &TDateSpan::instance()
{
    if (!g_instance) {
        g_instance = new TDateSpan;
        qAddPostRoutine(dropInstance);
    }
    return *g_instance;
}

bool TDateSpan::ask()
{
    instance().exec();
    return !dateSpan().cancelled;
}

void TDateSpan::useSingleDate(const QString &label)
{
    m_endLabel->hide();
    m_end->hide();
    m_beginLabel->setText(label);
}

void TDateSpan::useSpan()
{
    m_endLabel->show();
    m_end->show();
    m_beginLabel->setText(QStringLiteral("Print Beginning"));
}

bool TDateSpan::singleDate() const
{
    return m_end->isHidden();
}

void TDateSpan::showEvent(QShowEvent *event)
{
    const DateSpanValues &span = dateSpan();
    m_begin->setDate(span.start.isValid() ? span.start : today());
    m_end->setDate(span.end.isValid() ? span.end : m_begin->date());
    dateSpan().cancelled = true;
    QDialog::showEvent(event);
    m_begin->setFocus(Qt::OtherFocusReason);
}

void TDateSpan::takeDates()
{
    dateSpan().start = m_begin->date();
    dateSpan().end = m_end->date();
}

void TDateSpan::BtnOkClick()
{
    takeDates();
    if (!m_end->isHidden() && dateSpan().start > dateSpan().end) {
        Prompt::info(this, QStringLiteral("Ending Date must be greater than or equal to Starting Date."));
        return;
    }
    dateSpan().cancelled = false;
    accept();
}

void TDateSpan::BtnCancelClick()
{
    takeDates();
    dateSpan().cancelled = true;
    reject();
}

} // namespace tallyra
