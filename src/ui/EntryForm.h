#pragma once

#include <QDialog>

class QBoxLayout;
class QLayout;
class QShowEvent;
class QPushButton;

namespace tallyra {

// A button of a window's button row: captioned, named, added to `row` and never an auto-default
// button, so Enter in a box moves on (EnterMovesFocus) instead of pressing it.
QPushButton *addRowButton(QWidget *window, QBoxLayout *row, const QString &caption, const char *objectName);

// The frame every entry window shares: the window's own boxes above a row of "Save", "Delete"
// (when asked for) and "Cancel" at the bottom right, Enter moving the focus on from box to box,
// and Escape, "Cancel" and the window's close button leaving through reject(), which asks
// "Discard the changes?" while hasUnsavedChanges() says so and stays open on "No".
class TEntryForm : public QDialog
{
    Q_OBJECT

public:
    void reject() override;

protected:
    enum class Buttons
    {
        SaveCancel,
        SaveDeleteCancel
    };

    TEntryForm(const char *objectName, const QString &title, QWidget *parent);

    // Lays the window out with `body` (owned by the window from then on) over the button row,
    // wires the buttons to BtnSaveClick(), BtnDeleteClick() and BtnCancelClick() and installs
    // EnterMovesFocus. Call it once the window's own boxes exist: the buttons come after them in
    // the tab order. No button is an auto-default one, so Enter in a box never presses "Save".
    void finishForm(QLayout *body, Buttons buttons = Buttons::SaveDeleteCancel);

    QPushButton *saveButton() const { return m_save; }
    QPushButton *deleteButton() const { return m_delete; } // nullptr without "Delete"
    QPushButton *cancelButton() const { return m_cancel; }

    // Whether leaving now loses changes; by default what the DiscardGuard sees changed since the
    // window was shown, filled in by its caller (before it is shown, never).
    virtual bool hasUnsavedChanges();
    void showEvent(QShowEvent *event) override;

    virtual void BtnSaveClick() = 0;
    virtual void BtnDeleteClick() {}
    virtual void BtnCancelClick() { reject(); }

private:
    QPushButton *m_save = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_cancel = nullptr;
    bool m_guarded = false;
};

} // namespace tallyra
