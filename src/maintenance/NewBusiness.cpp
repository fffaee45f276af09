#include "NewBusiness.h"

#include "DemoBusiness.h"
#include "Maintenance.h"
#include "Records.h"
#include "Schema.h"
#include "Settings.h"
#include "Tables.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <functional>

namespace tallyra {

namespace {

// Label stocks every new business gets, in points (72 to the inch). Each sheet's margins, labels
// and gaps add up to its page: US Letter 612 x 792, A4 595.276 x 841.890.
QList<LabelRecord> standardLabels()
{
    auto stock = [](const char *name, double top, double left, double bottom, double right, double width,
                    double height, double hgap, double vgap, int across, bool continuous) {
        LabelRecord r;
        r.Name = QString::fromUtf8(name);
        r.TopM = top;
        r.LeftM = left;
        r.BottomM = bottom;
        r.RightM = right;
        r.Width = width;
        r.Height = height;
        r.HGap = hgap;
        r.VGap = vgap;
        r.NAcross = across;
        r.Continuous = continuous;
        return r;
    };
    return {
        // 1 x 2-5/8 in labels, 3 across and 10 down.
        stock("Letter 3 x 10, 1 x 2-5/8 in", 36, 13.5, 36, 13.5, 189, 72, 9, 0, 3, false),
        // 1 x 4 in labels, 2 across and 10 down.
        stock("Letter 2 x 10, 1 x 4 in", 36, 11.25, 36, 11.25, 288, 72, 13.5, 0, 2, false),
        // 1-1/3 x 4 in labels, 2 across and 7 down.
        stock("Letter 2 x 7, 1-1/3 x 4 in", 60, 11.25, 60, 11.25, 288, 96, 13.5, 0, 2, false),
        // 1/2 x 1-3/4 in return-address labels, 4 across and 20 down.
        stock("Letter 4 x 20, 1/2 x 1-3/4 in", 36, 20.25, 36, 20.25, 126, 36, 22.5, 0, 4, false),
        // 63.5 x 38.1 mm labels, 3 across and 7 down, 2.54 mm apart.
        stock("A4 3 x 7, 63.5 x 38.1 mm", 42.945, 20.438, 42.945, 20.438, 180, 108, 7.2, 0, 3, false),
        // 99.1 x 38.1 mm labels, 2 across and 7 down, 2.54 mm apart.
        stock("A4 2 x 7, 99.1 x 38.1 mm", 42.945, 13.125, 42.945, 13.125, 280.913, 108, 7.2, 0, 2, false),
        // Pin-feed strip of 15/16 x 3-1/2 in labels, 1/16 in apart.
        stock("Continuous 15/16 x 3-1/2 in", 0, 0, 0, 0, 252, 67.5, 0, 4.5, 1, true),
    };
}

// Every file of the schema, as created.
QStringList schemaFiles()
{
    QStringList files;
    for (const TableDef &def : schemaTables()) {
        files << def.fileName;
        if (!def.memoFileName.isEmpty())
            files << def.memoFileName;
        files << def.indexFiles();
    }
    return files;
}

db::Status appendOne(db::Engine &engine, TableId id, const std::function<db::Status(db::Table &)> &write)
{
    db::Status s;
    db::Table *t = engine.open(tableDef(id).name, &s);
    if (!t)
        return s;
    s = t->appendBlank();
    if (s.isOk())
        s = write(*t);
    if (s.isOk())
        s = t->flush();
    const db::Status closed = engine.close(tableDef(id).name);
    return s.isOk() ? closed : s;
}

db::Status writeBusiness(const QString &dir, bool demo, const std::shared_ptr<db::FileSystem> &fs)
{
    for (const TableDef &def : schemaTables()) {
        const db::Status s = db::Table::create(dir, def.fileName, def.fields, fs);
        if (!s.isOk())
            return s;
    }
    db::Engine engine(dir, fs);
    engine.setAutoOpenIndex(false);
    SettingsRecord settings = defaultSettings();
    if (demo)
        settings = demo::settings(settings);
    db::Status s =
        appendOne(engine, TableId::Settings, [&](db::Table &t) { return writeSettingsRecord(t, settings); });
    if (s.isOk())
        s = appendOne(engine, TableId::ImportDirs,
                      [](db::Table &t) { return writeImportDirs(t, ImportDirsRecord{}); });
    for (const LabelRecord &label : standardLabels()) {
        if (s.isOk())
            s = appendOne(engine, TableId::Labels, [&](db::Table &t) { return writeLabel(t, label); });
    }
    if (s.isOk() && demo)
        s = demo::writeRecords(engine, settings);
    const db::Status closed = engine.closeAll();
    if (s.isOk())
        s = closed;
    if (s.isOk())
        s = rebuildIndexes(engine, ReindexMode::Full).status;
    return s;
}

} // namespace

NewBusinessResult createBusiness(const QString &dir, bool demo, std::shared_ptr<db::FileSystem> fs)
{
    NewBusinessResult result;
    if (!QDir().mkpath(dir)) {
        result.status = db::Status::ioError(QStringLiteral("%1: the directory cannot be made").arg(dir));
        result.message = result.status.message();
        return result;
    }
    // Never write over a data set: one file of the schema already there stops everything.
    const QStringList present = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    const QStringList files = schemaFiles();
    for (const QString &file : files) {
        if (present.contains(file, Qt::CaseInsensitive)) {
            result.status = db::Status::invalid(
                QStringLiteral("%1 already holds data files (%2); nothing was written").arg(dir, file));
            result.message = result.status.message();
            return result;
        }
    }
    result.status = writeBusiness(dir, demo, fs);
    if (!result.status.isOk()) {
        // Leave no half-made data set behind: every file of the schema here is ours.
        const QStringList now = QDir(dir).entryList(QDir::Files | QDir::Hidden);
        for (const QString &file : now) {
            const bool ours = std::any_of(files.begin(), files.end(), [&](const QString &f) {
                return file.compare(f, Qt::CaseInsensitive) == 0 ||
                       file.startsWith(f + QLatin1Char('.'), Qt::CaseInsensitive);
            });
            if (ours)
                QFile::remove(QDir(dir).filePath(file));
        }
        result.message =
            QStringLiteral("No data files were made in %1: %2").arg(dir, result.status.toString());
        return result;
    }
    result.message = demo ? QStringLiteral("Sample business created in %1").arg(dir)
                          : QStringLiteral("New business created in %1").arg(dir);
    return result;
}

} // namespace tallyra
