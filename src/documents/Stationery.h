#pragma once

// The values of the stationery window as texts, and the rules that take them into the settings
// record. No widgets: the window moves texts between its boxes and this struct.

#include <QString>

namespace tallyra {

struct SettingsRecord;

struct StationeryEntry
{
    QString logoFile;
    QString topMargin;  // inches, as the box shows it ("%5.2f")
    QString logoHeight; // inches
    QString logoWidth;  // inches
    QString company;
    QString addr1;
    QString addr2;
    QString addr3;
    QString addr4;
    QString closingLine;
    QString signatureLine;
    int justify = 1; // 1 left, 2 centre, 3 right

    // The settings as the window shows them: numbers "%5.2f" with the locale's separator, texts
    // trimmed, the logo path as stored, justification 1 unless it is 2 or 3.
    static StationeryEntry from(const SettingsRecord &settings);

    // Takes the entry into `settings`: the three numbers (a box holding no number stops with
    // "<label>: not a number" in *error and changes nothing), the logo path trimmed and emptied
    // when no such file exists, the texts trimmed, the justification.
    bool applyTo(SettingsRecord &settings, QString *error) const;
};

// The filter of the logo file dialog: bitmap files first, then every image kind the program reads.
QString logoFileFilter();

} // namespace tallyra
