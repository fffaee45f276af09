#pragma once

#include <QObject>

class QWidget;

namespace tallyra {

// Enter (and the keypad's Enter) in an entry box moves the focus to the next control of the
// window, in tab order, and the key is swallowed, so it never reaches the dialog's default button;
// Enter on a focused push button presses it. Entry boxes are line edits (money boxes included),
// spin boxes and date editors, combo boxes and check boxes; multi-line text boxes keep their
// Enter. A character a line edit cannot take (past its maximum length, or refused by its
// validator) is refused visibly (refuseVisibly()). Tab and Shift+Tab leave a date box at once.
// Grids and lists of the window give Tab to the window (arrows move inside them).
class EnterMovesFocus : public QObject
{
    Q_OBJECT

public:
    // Installs the filter on every entry box now in `window` (call it once the window's widgets
    // exist). The filter is owned by the window.
    static EnterMovesFocus *install(QWidget *window);
    // Adds one more box, e.g. one created after install().
    void watch(QWidget *box);

    // Gives the focus to the control after `from` in the window's tab order that can take it
    // (visible, enabled, accepting tab focus). Returns that control, or nullptr when there is none.
    static QWidget *focusNext(QWidget *from);
    // The same backwards, as Shift+Tab does.
    static QWidget *focusPrevious(QWidget *from);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit EnterMovesFocus(QWidget *window);
};

} // namespace tallyra
