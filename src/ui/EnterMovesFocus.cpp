#include "EnterMovesFocus.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace tallyra {

namespace {

bool isEntryBox(const QWidget *w)
{
    // A spin box's own line edit hands its focus to the spin box, which takes the keys.
    if (qobject_cast<const QAbstractSpinBox *>(w->parentWidget()) || qobject_cast<const QComboBox *>(w->parentWidget()))
        return false;
    return qobject_cast<const QLineEdit *>(w) || qobject_cast<const QAbstractSpinBox *>(w)
        || qobject_cast<const QComboBox *>(w) || qobject_cast<const QCheckBox *>(w);
}

bool takesTabFocus(const QWidget *w, const QWidget *window)
{
    return w->window() == window && !w->focusProxy() && w->isVisible() && w->isEnabled()
        && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
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
        if (isEntryBox(w))
            filter->watch(w);
    }
    return filter;
}

void EnterMovesFocus::watch(QWidget *box)
{
    box->removeEventFilter(this);  // never twice
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

bool EnterMovesFocus::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    auto *box = qobject_cast<QWidget *>(watched);
    if (!box)
        return false;
    focusNext(box);
    return true;
}

} // namespace tallyra
