#pragma once

// The start-up sequence of a business, without its windows: find the business, finish a restore a
// crash cut short, open the program's database on it, load the settings record and build every
// missing index group. The main window shows the splash and the messages; this says what to tell
// the user.
//
// On success the database (tallyra::database()) is open on the business with no table open, the
// settings record loaded, the pack-needed flag cleared and the directory remembered as the
// business opened last. On failure no database is open.

#include <QString>
#include <QStringList>

namespace tallyra {

struct StartupOutcome
{
    enum class State
    {
        Opened,     // ready for the commands
        NoBusiness, // no data files where looked: message says so; nothing was opened
        Failed,     // a table could not be opened or rebuilt: message ends the program
    };
    State state = State::NoBusiness;
    QString directory;            // the business (absolute path) when Opened
    QString message;              // for the user (information box) unless Opened
    QStringList indexesRebuilt;   // tables whose missing index group was built, in the order built
    bool restoreFinished = false; // a restore cut short was completed before anything was read

    bool opened() const { return state == State::Opened; }
    explicit operator bool() const { return opened(); }
};

// "Database files not found in startup directory\r\nProgram must be started from the directory
// containing the data files."
QString missingDataFilesMessage();

// The program's start: the business in `startDir`, or, unless the user named that directory
// (`given`), the business opened last when `startDir` holds no data files. NoBusiness with
// missingDataFilesMessage() when neither has them.
StartupOutcome startBusiness(const QString &startDir, bool given);

// Opens the business in `dir` (a directory the user chose, or the one startBusiness found).
// NoBusiness with businessRefusal()'s message when `dir` holds no data files. A database open
// before is closed first (the caller has packed it).
StartupOutcome openBusiness(const QString &dir);

// Empty when `dir` holds every data file; otherwise "No business's data files are in DIR.", so a
// caller can refuse a choice before it closes the business it has open.
QString businessRefusal(const QString &dir);

} // namespace tallyra
