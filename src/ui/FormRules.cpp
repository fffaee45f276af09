#include "FormRules.h"

#include "Conversions.h"
#include "Prompt.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QTimer>

namespace tallyra {

namespace {

constexpr int kFlashMilliseconds = 250;
const char *const kRefusals = "refusals";
const char *const kFlashing = "flashing";
const char *const kLastAccepted = "lastAcceptedDate";

// The locale's short date format with a four-digit year, so the year shown is the year stored.
QString fourDigitYearFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

} // namespace

// --- Refused keystrokes ------------------------------------------------------------------------

void refuseVisibly(QWidget *box)
{
    QApplication::beep();
    box->setProperty(kRefusals, box->property(kRefusals).toInt() + 1);
    if (box->property(kFlashing).toBool())
        return;
    const QPalette before = box->palette();
    const bool hadOwnPalette = box->testAttribute(Qt::WA_SetPalette);
    QPalette flash = before;
    flash.setColor(QPalette::Base, QColor(255, 200, 200));
    box->setPalette(flash);
    box->setProperty(kFlashing, true);
    QPointer<QWidget> guard(box);
    QTimer::singleShot(kFlashMilliseconds, box, [guard, before, hadOwnPalette] {
        if (!guard)
            return;
        // The text colour may have changed meanwhile (a money box turning red): keep it.
        QPalette restored = before;
        restored.setColor(QPalette::Text, guard->palette().color(QPalette::Text));
        if (hadOwnPalette ||
            restored.color(QPalette::Text) != QApplication::palette(guard).color(QPalette::Text))
            guard->setPalette(restored);
        else
            guard->setPalette(QPalette());
        guard->setProperty(kFlashing, false);
    });
}

bool isFlashing(const QWidget *box)
{
    return box->property(kFlashing).toBool();
}

QString textAfterKey(const QLineEdit *edit, const QKeyEvent *event)
{
    QString text = edit->text();
    int at = edit->cursorPosition();
    if (edit->hasSelectedText()) {
        at = edit->selectionStart();
        text.remove(at, edit->selectedText().size());
    }
    text.insert(at, event->text());
    return text;
}

// --- Dates -------------------------------------------------------------------------------------

QString dateRangeMessage()
{
    const QString format = fourDigitYearFormat();
    return QStringLiteral("The date must be between %1 and %2.")
        .arg(QLocale().toString(kFirstAcceptedDate, format), QLocale().toString(kLastAcceptedDate, format));
}

void setupDateBox(QDateEdit *box)
{
    box->setDisplayFormat(fourDigitYearFormat());
    // Wider than the accepted range, so a four-digit year outside it can be typed and answered
    // with the message instead of being dropped without a word.
    box->setDateRange(QDate(1000, 1, 1), QDate(9999, 12, 31));
    box->setProperty(kLastAccepted, box->date());
    QObject::connect(box, &QDateEdit::dateChanged, box, [box](const QDate &date) {
        const bool byUser = box->hasFocus() || (box->calendarPopup() && box->calendarWidget()->isVisible());
        if (dateInAcceptedRange(date) || !byUser) {
            box->setProperty(kLastAccepted, date);
            return;
        }
        // Answered once the keystroke or the pick is over, so the box does not fight the message.
        QPointer<QDateEdit> self(box);
        QTimer::singleShot(0, box, [self] {
            if (!self || dateInAcceptedRange(self->date()))
                return;
            refuseVisibly(self);
            Prompt::info(self->window(), dateRangeMessage());
            const QDate last = self->property(kLastAccepted).toDate();
            self->setDate(dateInAcceptedRange(last) ? last : QDate::currentDate());
            self->setFocus();
        });
    });
}

// --- Widths ------------------------------------------------------------------------------------

int widthFor(const QWidget *widget, int characters, TextKind kind)
{
    const QFontMetrics metrics = widget->fontMetrics();
    int perCharacter = 0;
    switch (kind) {
    case TextKind::Figures:
        perCharacter = metrics.horizontalAdvance(QStringLiteral("0123456789")) / 10 + 1;
        break;
    case TextKind::Codes:
        perCharacter =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ-0123456789")) / 37 + 1;
        break;
    case TextKind::Text:
        perCharacter = metrics.averageCharWidth() + 1;
        break;
    }
    // A cell's and a frame's margins on both sides.
    constexpr int kMargins = 14;
    return perCharacter * characters + kMargins;
}

// --- Unsaved changes ---------------------------------------------------------------------------

DiscardGuard::DiscardGuard(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    setObjectName(QStringLiteral("discardGuard"));
}

DiscardGuard *DiscardGuard::of(QWidget *window)
{
    auto *guard =
        window->findChild<DiscardGuard *>(QStringLiteral("discardGuard"), Qt::FindDirectChildrenOnly);
    return guard ? guard : new DiscardGuard(window);
}

QString DiscardGuard::state() const
{
    QStringList parts;
    const auto widgets = m_window->findChildren<QWidget *>();
    for (const QWidget *w : widgets) {
        if (w->window() != m_window)
            continue;
        const QString name = w->objectName();
        if (auto *spin = qobject_cast<const QAbstractSpinBox *>(w)) {
            parts << name + QLatin1Char('=') + spin->text();
        } else if (auto *combo = qobject_cast<const QComboBox *>(w)) {
            parts << name + QLatin1Char('=') + combo->currentText();
        } else if (auto *edit = qobject_cast<const QLineEdit *>(w)) {
            // A spin box's or combo box's own line edit is counted with its owner.
            if (qobject_cast<const QAbstractSpinBox *>(w->parentWidget()) ||
                qobject_cast<const QComboBox *>(w->parentWidget()) || edit->isReadOnly())
                continue;
            parts << name + QLatin1Char('=') + edit->text().trimmed();
        } else if (auto *button = qobject_cast<const QAbstractButton *>(w); button && button->isCheckable()) {
            parts << name + QLatin1Char('=') + QString::number(button->isChecked());
        } else if (auto *plain = qobject_cast<const QPlainTextEdit *>(w); plain && !plain->isReadOnly()) {
            parts << name + QLatin1Char('=') + plain->toPlainText();
        } else if (auto *rich = qobject_cast<const QTextEdit *>(w); rich && !rich->isReadOnly()) {
            parts << name + QLatin1Char('=') + rich->toPlainText();
        }
    }
    if (m_extra)
        parts << m_extra();
    return parts.join(QChar(0x1f));
}

void DiscardGuard::snapshot()
{
    m_saved = state();
}

bool DiscardGuard::changed() const
{
    return state() != m_saved;
}

bool DiscardGuard::confirmDiscard()
{
    if (!changed())
        return true;
    return Prompt::yesNo(m_window, question());
}

} // namespace tallyra
