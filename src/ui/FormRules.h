#pragma once

// Rules every window of the program applies to its boxes: keystrokes a box cannot take are
// refused visibly, dates are typed with four-digit years inside the accepted range, widths follow
// the font in use, and a window with unsaved changes asks before it discards them.

#include <QObject>
#include <QString>
#include <functional>

class QDateEdit;
class QKeyEvent;
class QLineEdit;
class QWidget;

namespace tallyra {

// --- Refused keystrokes ------------------------------------------------------------------------

// Beeps and flashes the box's background for a moment. Counts the refusals in the box's
// "refusals" property, which tests read.
void refuseVisibly(QWidget *box);
// Whether the box is flashing now.
bool isFlashing(const QWidget *box);
// The text the edit would hold if it took the typed text of `event` (replacing its selection).
QString textAfterKey(const QLineEdit *edit, const QKeyEvent *event);

// --- Dates -------------------------------------------------------------------------------------

// "The date must be between 1/1/1900 and 12/31/2199." in the locale's short date format.
QString dateRangeMessage();
// Makes a date box show and take four-digit years (the locale's short format with "yyyy") and
// refuse, with dateRangeMessage(), a date outside 1900 to 2199 typed or picked in it; the box
// then goes back to its last accepted date. Dates the window sets itself are not checked.
void setupDateBox(QDateEdit *box);

// --- Widths ------------------------------------------------------------------------------------

// The pixels a column or box needs to show `characters` characters of its kind on one line in
// the widget's font, margins included: figures (digits, sign, separators), codes (capitals and
// digits, as product ids) or free text (an average mix of letters).
enum class TextKind
{
    Figures,
    Codes,
    Text
};
int widthFor(const QWidget *widget, int characters, TextKind kind);

// --- Unsaved changes ---------------------------------------------------------------------------

// Remembers what a window's boxes hold (texts, dates, checks, choices, plus any state the window
// adds) and tells whether the user has changed it since.
class DiscardGuard : public QObject
{
    Q_OBJECT

public:
    // The guard of `window`, owned by it (made at the first call).
    static DiscardGuard *of(QWidget *window);

    // State beyond the boxes (e.g. an invoice's item lines), compared as text.
    void setExtraState(std::function<QString()> state) { m_extra = std::move(state); }
    // Takes the present contents as the saved state.
    void snapshot();
    bool changed() const;
    // True when nothing changed, or when the user answers "Yes" to "Discard the changes?".
    bool confirmDiscard();

    static QString question() { return QStringLiteral("Discard the changes?"); }

private:
    explicit DiscardGuard(QWidget *window);
    QString state() const;

    QWidget *m_window;
    std::function<QString()> m_extra;
    QString m_saved;
};

} // namespace tallyra
