#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

class QWidget;

namespace tallyra {

// Every message box, input box, file dialog and directory picker of the program goes through
// here. Tests queue canned answers; each call takes the next one instead of showing a window,
// and every prompt (canned or shown) is recorded so tests can check the exact texts.
class Prompt
{
public:
    enum class Answer
    {
        Ok,
        Cancel,
        Yes,
        No
    };

    // Information box with "OK".
    static void info(QWidget *parent, const QString &text, const QString &caption = {});
    // "OK"/"Cancel": true for OK.
    static bool okCancel(QWidget *parent, const QString &text, const QString &caption = {});
    // The same as a warning, for questions whose "OK" destroys data.
    static bool warningOkCancel(QWidget *parent, const QString &text, const QString &caption = {});
    // "Yes"/"No": true for Yes.
    static bool yesNo(QWidget *parent, const QString &text, const QString &caption = {});
    // Input box; false when cancelled. *value holds the initial text and receives the answer.
    static bool input(QWidget *parent, const QString &caption, const QString &label, QString *value);
    // File dialogs; empty when cancelled. filter like "Text files (*.txt);;All files (*)".
    static QString openFile(QWidget *parent, const QString &caption, const QString &dir = {},
                            const QString &filter = {});
    static QString saveFile(QWidget *parent, const QString &caption, const QString &dir = {},
                            const QString &filter = {}, const QString &defaultSuffix = {});
    static QString directory(QWidget *parent, const QString &caption, const QString &dir = {});

    // Test hook: the next prompts take these answers in order (Answer for boxes, QString for
    // input and file prompts, an invalid QVariant for "cancel"). With canned answers queued no
    // window is shown; an empty queue shows real windows again.
    static void setNextAnswers(const QList<QVariant> &answers);
    static void clearAnswers();
    static bool hasCannedAnswers();
    // Every prompt text (the text of boxes, the caption of input and file prompts) since the
    // last takeShown().
    static QStringList takeShown();
};

} // namespace tallyra

Q_DECLARE_METATYPE(tallyra::Prompt::Answer)
