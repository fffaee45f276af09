#include "MoneyBox.h"

#include "Conversions.h"
#include "FormRules.h"
#include "Prompt.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <charconv>
#include <cmath>

namespace tallyra {

namespace {

QString decimalPoint()
{
    return QLocale().decimalPoint();
}

QString withoutBlanks(QString text)
{
    text.remove(QLatin1Char(' '));
    return text;
}

} // namespace

MoneyBox::MoneyBox(int width, int integerDigits, int decimals, QWidget *parent)
    : QLineEdit(parent)
    , m_width(width)
    , m_integerDigits(integerDigits)
    , m_decimals(decimals)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const QString point = QRegularExpression::escape(decimalPoint());
    const QString shape =
        QStringLiteral("^ *[-+]? *\\d{0,%1} *(%2\\d{0,%3})? *$").arg(integerDigits).arg(point).arg(decimals);
    setValidator(new QRegularExpressionValidator(QRegularExpression(shape), this));
    setMaxLength(qMax(width, integerDigits + decimals + 2) + 4);
    connect(this, &QLineEdit::textChanged, this, &MoneyBox::updateColour);
    setValue(0);
}

QString MoneyBox::format(double value) const
{
    QString text = QString::asprintf("%*.*f", m_width, m_decimals, value);
    if (decimalPoint() != QLatin1String("."))
        text.replace(QLatin1Char('.'), decimalPoint());
    return text;
}

void MoneyBox::setValue(double value)
{
    setText(format(value));
    updateColour();
}

bool MoneyBox::parse(const QString &text, double *value)
{
    QString clean = withoutBlanks(text);
    const QString point = decimalPoint();
    if (point != QLatin1String("."))
        clean.replace(point, QStringLiteral("."));
    static const QRegularExpression number(QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)$"));
    if (!number.match(clean).hasMatch())
        return false;
    QByteArray bytes = clean.toLatin1();
    if (bytes.startsWith('+'))
        bytes.remove(0, 1);
    double v = 0;
    const auto [end, ec] = std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), v);
    if (ec != std::errc() || end != bytes.constData() + bytes.size())
        return false;
    *value = v;
    return true;
}

double MoneyBox::value(bool *ok) const
{
    double v = 0;
    const bool good = parse(text(), &v);
    if (ok)
        *ok = good;
    return good ? v : 0.0;
}

bool MoneyBox::hasFigure() const
{
    double v;
    return parse(text(), &v);
}

bool MoneyBox::normalise()
{
    const QString clean = withoutBlanks(text());
    double v = 0;
    if (!parse(clean, &v)) {
        updateColour();
        return false;
    }
    QString formatted = format(v);
    // A minus typed before any digit stays, even on zero.
    if (clean.startsWith(QLatin1Char('-')) && !(v < 0) && !formatted.contains(QLatin1Char('-')))
        formatted =
            (QLatin1Char('-') + formatted.trimmed()).rightJustified(qMax<int>(text().size(), m_width));
    if (formatted != text())
        setText(formatted);
    updateColour();
    return true;
}

double MoneyBox::maximum() const
{
    return std::pow(10.0, m_integerDigits) - std::pow(10.0, -m_decimals);
}

QString MoneyBox::tooLargeMessage() const
{
    return tooLargeAmountMessage(maximum(), m_decimals);
}

bool MoneyBox::refuseKey(QKeyEvent *event)
{
    if (isReadOnly() || event->text().isEmpty() || !event->text().at(0).isPrint() ||
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    QString after = textAfterKey(this, event);
    int position = after.size();
    if (validator()->validate(after, position) != QValidator::Invalid && after.size() <= maxLength())
        return false;
    refuseVisibly(this);
    // Too many whole digits for the field: say what it holds.
    const QString point = QRegularExpression::escape(decimalPoint());
    const QRegularExpression anyWhole(
        QStringLiteral("^ *[-+]? *\\d+ *(%1\\d{0,%2})? *$").arg(point).arg(m_decimals));
    if (anyWhole.match(after).hasMatch()) {
        const QString message = tooLargeMessage();
        QPointer<MoneyBox> self(this);
        QTimer::singleShot(0, this, [self, message] {
            if (self)
                Prompt::info(self->window(), message);
        });
    }
    return true;
}

QString MoneyBox::invalidMessage() const
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(withoutBlanks(text()));
}

void MoneyBox::keyPressEvent(QKeyEvent *event)
{
    const QString point = decimalPoint();
    if (!isReadOnly() && event->text() == point && event->modifiers() == Qt::NoModifier) {
        // The separator tidies the figure and moves on to its decimals, which are selected so
        // that typing replaces them.
        QString clean = withoutBlanks(text());
        double v;
        if (!parse(clean, &v)) {
            if (clean.contains(QRegularExpression(QStringLiteral("\\d"))) || clean.size() > 1)
                return QLineEdit::keyPressEvent(event); // not a figure: left for the user to mend
            setText(clean + QLatin1Char('0'));          // "" or a sign: zero with that sign
        }
        normalise();
        const int at = text().lastIndexOf(point);
        setSelection(at + point.size(), m_decimals);
        event->accept();
        return;
    }
    if (refuseKey(event)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
    updateColour();
}

void MoneyBox::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (isReadOnly())
        return;
    // Only a move to another control of the window counts as leaving the box; switching to
    // another application or opening a menu does not.
    switch (event->reason()) {
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
    case Qt::MenuBarFocusReason:
        return;
    default:
        break;
    }
    const bool valid = normalise();
    if (!valid && m_reportInvalid && isVisible()) {
        // Shown once the focus change is over, so the box does not fight the message for it.
        QPointer<MoneyBox> self(this);
        const QString message = invalidMessage();
        QTimer::singleShot(0, this, [self, message] {
            if (self)
                Prompt::info(self->window(), message);
        });
    }
    Q_EMIT left(valid);
}

void MoneyBox::updateColour()
{
    QPalette p = palette();
    const QColor colour = text().contains(QLatin1Char('-'))
                              ? QColor(Qt::red)
                              : QApplication::palette(this).color(QPalette::Text);
    if (p.color(QPalette::Text) != colour) {
        p.setColor(QPalette::Text, colour);
        setPalette(p);
    }
}

} // namespace tallyra
