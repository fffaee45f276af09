#include "EntryForm.h"

#include "EnterMovesFocus.h"
#include "FormRules.h"
#include "Prompt.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tallyra {

TEntryForm::TEntryForm(const char *objectName, const QString &title, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QLatin1String(objectName));
    setWindowTitle(title);
    setModal(true);
}

void TEntryForm::finishForm(QLayout *body, Buttons buttons)
{
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    auto button = [this, row](const QString &caption, const char *name, void (TEntryForm::*click)()) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        row->addWidget(b);
        connect(b, &QPushButton::clicked, this, click);
        return b;
    };
    m_save = button(QStringLiteral("Save"), "saveButton", &TEntryForm::BtnSaveClick);
    if (buttons == Buttons::SaveDeleteCancel)
        m_delete = button(QStringLiteral("Delete"), "deleteButton", &TEntryForm::BtnDeleteClick);
    m_cancel = button(QStringLiteral("Cancel"), "cancelButton", &TEntryForm::BtnCancelClick);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(row);
    EnterMovesFocus::install(this);
}

void TEntryForm::markUnchanged()
{
    DiscardGuard::of(this)->snapshot();
    m_guarded = true;
}

bool TEntryForm::hasUnsavedChanges()
{
    return m_guarded && DiscardGuard::of(this)->changed();
}

void TEntryForm::reject()
{
    if (hasUnsavedChanges() && !Prompt::yesNo(this, DiscardGuard::question()))
        return;
    QDialog::reject();
}

} // namespace tallyra
