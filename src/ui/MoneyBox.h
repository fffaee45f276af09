#pragma once

#include <QLineEdit>

namespace tallyra {

// The amount box every entry window uses for money, quantities, percentages and dimensions.
//
// It accepts blanks, one sign, up to `integerDigits` digits, the locale's decimal separator and up
// to `decimals` digits (the shape is built from the locale when the box is made). Its text is
// tidied ("normalised") when the decimal-separator key is pressed and again when the focus moves
// on: blanks are removed and the figure is written back right-aligned in its fixed format
// (`width` characters, `decimals` decimals, e.g. 10 and 2 give "%10.2f"), with the locale's
// separator. A minus typed before any digit is kept: "-" and the separator give minus zero,
// "-0.00". While the text holds a "-" it is drawn in red.
//
// A keystroke the shape cannot take is refused visibly (a beep and a flash, refuseVisibly()),
// never dropped silently; one more whole digit than the box holds also shows tooLargeMessage().
//
// Leaving a box that holds no figure (nothing numeric once blanks are removed) shows
// "'<text>' is not a valid floating point value" and leaves the text as it is; left(false) tells
// the window, which must not take the value.
class MoneyBox : public QLineEdit
{
    Q_OBJECT

public:
    // Common shapes: amounts (10, 7), unit prices (8, 5), quantities (9, 6), percentages (5, 2),
    // label dimensions (8, 4, 3).
    MoneyBox(int width, int integerDigits, int decimals = 2, QWidget *parent = nullptr);

    int formatWidth() const { return m_width; }
    int integerDigits() const { return m_integerDigits; }
    int decimals() const { return m_decimals; }

    // Shows the value in the box's format.
    void setValue(double value);
    // The figure the box holds; *ok (when given) is false, and the result 0, when it holds none.
    double value(bool *ok = nullptr) const;
    bool hasFigure() const;

    // The box's format applied to a value, with the locale's decimal separator.
    QString format(double value) const;
    // Rewrites the text in the box's format. Returns false, leaving the text, when it holds no
    // figure.
    bool normalise();
    // The largest figure the box takes: integerDigits nines with decimals nines after the point.
    double maximum() const;
    // "The amount is too large: at most 999,999,999.99", with the locale's separators.
    QString tooLargeMessage() const;

    // "'<text without blanks>' is not a valid floating point value"
    QString invalidMessage() const;

    // Whether leaving a box without a figure shows invalidMessage() (on by default).
    void setReportInvalidOnLeave(bool on) { m_reportInvalid = on; }

    // The figure in a text typed with the locale's separator, blanks ignored. False when nothing
    // numeric is in it.
    static bool parse(const QString &text, double *value);

Q_SIGNALS:
    // The focus moved on from the box; it has been normalised when valid.
    void left(bool valid);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void updateColour();
    // Refuses (visibly) a typed character that would leave a text the box cannot take.
    bool refuseKey(QKeyEvent *event);

    int m_width;
    int m_integerDigits;
    int m_decimals;
    bool m_reportInvalid = true;
};

} // namespace tallyra
