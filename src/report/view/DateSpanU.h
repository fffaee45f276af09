#pragma once

// The date-span question of reports, documents, labels and bulk commands: a start date and an end
// date, or a single date. The answer is left in the program-wide dateSpan() for the caller.

#include <QDate>
#include <QDialog>

class QDateEdit;
class QLabel;
class QPushButton;

namespace tallyra {

struct DateSpanValues
{
    QDate start;           // first day of the span, or the single date
    QDate end;             // last day of the span
    bool cancelled = true; // left by "Cancel" or by closing the window
};

// The shared answer. Callers preset start and end before asking.
DateSpanValues &dateSpan();

// The current-month preset for `day`: the first of its month to the last day of that month
// (found as the first + 31 days, moved back a day at a time into the same month).
DateSpanValues currentMonthSpan(const QDate &day);
// Presets dateSpan() to today (both dates) / to the current month of today.
void presetToday();
void presetCurrentMonth();

// "DateSpan": "Print Beginning:" and "Ending:" with a date picker each, "OK" and "Cancel".
// Showing it loads the pickers from dateSpan() and marks it cancelled (closing the window counts as
// cancelling). "OK" takes both dates and, when the end picker is shown and start is after end,
// says "Ending Date must be greater than or equal to Starting Date." and stays open; otherwise it
// clears cancelled and closes. "Cancel" takes both dates too, leaves cancelled set and closes.
class TDateSpan : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char *kCaption = "DateSpan";
    static constexpr const char *kBeginLabel = "Print Beginning:";

    explicit TDateSpan(QWidget *parent = nullptr);

    // The one date-span window of the program, made on first use.
    static TDateSpan &instance();
    // Shows instance() modally; true when it was left by "OK" (dateSpan() then holds the span).
    static bool ask();

    // The single-date form: hides "Ending:" and its picker and labels the first picker
    // ("Inventory as Of:", "Delete If No Order After"). The caption is the caller's to change.
    void useSingleDate(const QString &label);
    // Back to the span form: both pickers shown, the first labelled "Print Beginning".
    void useSpan();
    bool singleDate() const;

private Q_SLOTS:
    void BtnOkClick();
    void BtnCancelClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void takeDates();

    QLabel *m_beginLabel;
    QDateEdit *m_begin;
    QLabel *m_endLabel;
    QDateEdit *m_end;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};

} // namespace tallyra
