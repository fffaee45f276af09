#pragma once

namespace tallyra {

class TMain;

// Hands the main window the commands and record windows the other parts of the program provide
// (reports, documents, labels, mail, import, backup, the record windows). Each part that gains a
// command adds its registration here.
void registerProgramCommands(TMain &main);

} // namespace tallyra
