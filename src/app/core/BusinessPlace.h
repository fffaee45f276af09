#pragma once

// Where the program finds the business it works on: the directory given on the command line or
// the working directory, else the business opened last (remembered in the user's settings).

#include <QString>

namespace tallyra {

// The directory opened last, as remembered; empty when none is.
QString rememberedBusiness();
// Remembers `dir` (made absolute) as the business opened last.
void rememberBusiness(const QString &dir);
// Forgets the remembered business.
void forgetBusiness();

// The directory to start on: `given` when it holds the data files; otherwise, unless `explicitly`
// (the user named that directory on the command line), the remembered business when it holds
// them. Empty when neither does.
QString businessToOpen(const QString &given, bool explicitly);

} // namespace tallyra
