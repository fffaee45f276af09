#include "Prompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace tallyra {

namespace {

// Test state only: production code never queues answers.
QList<QVariant> g_answers;
QStringList g_shown;

bool takeAnswer(QVariant *answer)
{
    if (g_answers.isEmpty())
        return false;
    *answer = g_answers.takeFirst();
    return true;
}

Prompt::Answer toAnswer(const QVariant &v, Prompt::Answer fallback)
{
    if (v.canConvert<Prompt::Answer>() && v.userType() == qMetaTypeId<Prompt::Answer>())
        return v.value<Prompt::Answer>();
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? Prompt::Answer::Ok : Prompt::Answer::Cancel;
    return fallback;
}

QString caption(const QString &c)
{
    return c.isEmpty() ? QApplication::applicationName() : c;
}

} // namespace

void Prompt::info(QWidget *parent, const QString &text, const QString &cap)
{
    g_shown << text;
    QVariant canned;
    if (takeAnswer(&canned))
        return;
    QMessageBox::information(parent, caption(cap), text, QMessageBox::Ok);
}

bool Prompt::okCancel(QWidget *parent, const QString &text, const QString &cap)
{
    g_shown << text;
    QVariant canned;
    if (takeAnswer(&canned))
        return toAnswer(canned, Answer::Cancel) == Answer::Ok;
    return QMessageBox::question(parent, caption(cap), text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

bool Prompt::warningOkCancel(QWidget *parent, const QString &text, const QString &cap)
{
    g_shown << text;
    QVariant canned;
    if (takeAnswer(&canned))
        return toAnswer(canned, Answer::Cancel) == Answer::Ok;
    return QMessageBox::warning(parent, caption(cap), text, QMessageBox::Ok | QMessageBox::Cancel,
                                QMessageBox::Cancel) == QMessageBox::Ok;
}

bool Prompt::yesNo(QWidget *parent, const QString &text, const QString &cap)
{
    g_shown << text;
    QVariant canned;
    if (takeAnswer(&canned)) {
        Answer a = toAnswer(canned, Answer::No);
        return a == Answer::Yes || a == Answer::Ok;
    }
    return QMessageBox::question(parent, caption(cap), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

bool Prompt::input(QWidget *parent, const QString &cap, const QString &label, QString *value)
{
    g_shown << cap;
    QVariant canned;
    if (takeAnswer(&canned)) {
        if (!canned.isValid() || canned.typeId() != QMetaType::QString)
            return false;
        *value = canned.toString();
        return true;
    }
    bool ok = false;
    QString text = QInputDialog::getText(parent, caption(cap), label, QLineEdit::Normal, *value, &ok);
    if (ok)
        *value = text;
    return ok;
}

QString Prompt::openFile(QWidget *parent, const QString &cap, const QString &dir, const QString &filter)
{
    g_shown << cap;
    QVariant canned;
    if (takeAnswer(&canned))
        return canned.toString();
    return QFileDialog::getOpenFileName(parent, cap, dir, filter);
}

QString Prompt::saveFile(QWidget *parent, const QString &cap, const QString &dir, const QString &filter,
                         const QString &defaultSuffix)
{
    g_shown << cap;
    QVariant canned;
    if (takeAnswer(&canned))
        return canned.toString();
    QFileDialog dialog(parent, cap, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString Prompt::directory(QWidget *parent, const QString &cap, const QString &dir)
{
    g_shown << cap;
    QVariant canned;
    if (takeAnswer(&canned))
        return canned.toString();
    return QFileDialog::getExistingDirectory(parent, cap, dir);
}

void Prompt::setNextAnswers(const QList<QVariant> &answers)
{
    g_answers = answers;
}

void Prompt::clearAnswers()
{
    g_answers.clear();
}

bool Prompt::hasCannedAnswers()
{
    return !g_answers.isEmpty();
}

QStringList Prompt::takeShown()
{
    QStringList shown = g_shown;
    g_shown.clear();
    return shown;
}

} // namespace tallyra
