#include "EnterMovesFocus.h"

#include "FormRules.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

namespace tallyra {

namespace {

bool isEntryBox(const QWidget *w)
{
    // A spin box's own line edit hands its focus to the spin box, which takes the keys.
    if (qobject_cast<const QAbstractSpinBox *>(w->parentWidget()) ||
        qobject_cast<const QComboBox *>(w->parentWidget()))
        return false;
    return qobject_cast<const QLineEdit *>(w) || qobject_cast<const QAbstractSpinBox *>(w) ||
           qobject_cast<const QComboBox *>(w) || qobject_cast<const QCheckBox *>(w);
}

bool takesTabFocus(const QWidget *w, const QWidget *window)
{
    return w->window() == window && !w->focusProxy() && w->isVisible() && w->isEnabled() &&
           (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
}

} // namespace

EnterMovesFocus::EnterMovesFocus(QWidget *window)
    : QObject(window)
{
    setObjectName(QStringLiteral("enterMovesFocusFilter"));
}

EnterMovesFocus *EnterMovesFocus::install(QWidget *window)
{
    auto *filter = window->findChild<EnterMovesFocus *>(QStringLiteral("enterMovesFocusFilter"),
                                                        Qt::FindDirectChildrenOnly);
    if (!filter)
        filter = new EnterMovesFocus(window);
    const auto children = window->findChildren<QWidget *>();
    for (QWidget *w : children) {
        if (isEntryBox(w) || qobject_cast<QPushButton *>(w))
            filter->watch(w);
        // Tab leaves a grid or list for the next control; the arrows move inside it.
        if (auto *view = qobject_cast<QAbstractItemView *>(w))
            view->setTabKeyNavigation(false);
    }
    return filter;
}

void EnterMovesFocus::watch(QWidget *box)
{
    box->removeEventFilter(this); // never twice
    box->installEventFilter(this);
}

QWidget *EnterMovesFocus::focusNext(QWidget *from)
{
    const QWidget *window = from->window();
    for (QWidget *w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if (takesTabFocus(w, window)) {
            w->setFocus(Qt::TabFocusReason);
            return w;
        }
    }
    return nullptr;
}

QWidget *EnterMovesFocus::focusPrevious(QWidget *from)
{
    const QWidget *window = from->window();
    for (QWidget *w = from->previousInFocusChain(); w && w != from; w = w->previousInFocusChain()) {
        if (takesTabFocus(w, window)) {
            w->setFocus(Qt::BacktabFocusReason);
            return w;
        }
    }
    return nullptr;
}

bool EnterMovesFocus::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    auto *box = qobject_cast<QWidget *>(watched);
    if (!box)
        return false;
    // Tab leaves a date box at once instead of walking through its day, month and year: those
    // are typed over, with the separator or the arrows moving between them.
    if (qobject_cast<QDateTimeEdit *>(box) && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
        if (key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier))
            focusPrevious(box);
        else
            focusNext(box);
        return true;
    }
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // Enter on a focused button presses it; in an entry box it moves on.
        if (auto *button = qobject_cast<QPushButton *>(box)) {
            if (button->isEnabled())
                button->click();
            return true;
        }
        focusNext(box);
        return true;
    }
    // A character a text box cannot take (past its length, or not of its shape) is refused
    // visibly instead of being dropped without a word. Money boxes say so themselves.
    auto *edit = qobject_cast<QLineEdit *>(box);
    if (!edit || edit->isReadOnly() || edit->inherits("tallyra::MoneyBox") || !edit->inputMask().isEmpty() ||
        key->text().isEmpty() || !key->text().at(0).isPrint() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    QString after = textAfterKey(edit, key);
    int position = after.size();
    const bool tooLong = after.size() > edit->maxLength();
    const bool misshapen =
        edit->validator() && edit->validator()->validate(after, position) == QValidator::Invalid;
    if (tooLong || misshapen) {
        refuseVisibly(edit);
        // The box never sees the key; windows that explain a refusal listen for this.
        Q_EMIT edit->inputRejected();
        return true;
    }
    return false;
}

} // namespace tallyra
