#include "MailSettings.h"

#include "Conversions.h"
#include "Schema.h"
#include "Tables.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyra {

namespace {

const char *const kFields[] = {"Port",      "Security", "LoginUser", "RememberPw",
                               "AttachPdf", "CertHost", "CertDigest"};
enum
{
    fPort,
    fSecurity,
    fLoginUser,
    fRememberPw,
    fAttachPdf,
    fCertHost,
    fCertDigest
};

db::Status writeRecord(db::Table &t, const MailServerSettings &from, const int *f)
{
    db::Status s = t.setInteger(f[fPort], from.port);
    if (s.isOk())
        s = t.setInteger(f[fSecurity], int(from.security));
    if (s.isOk())
        s = t.setText(f[fLoginUser], cutText(from.loginUser, kMailTextLimit));
    if (s.isOk())
        s = t.setLogical(f[fRememberPw], from.rememberPassword);
    if (s.isOk())
        s = t.setLogical(f[fAttachPdf], from.attachPdf);
    if (s.isOk())
        s = t.setText(f[fCertHost], cutText(from.certificateHost, kMailTextLimit));
    if (s.isOk())
        s = t.setText(f[fCertDigest], QString::fromLatin1(from.certificateDigest.toHex()));
    return s;
}

// Opens MailSet on its record, making the table or the record when missing. Runs `use` on it
// and closes it.
bool withRecord(db::Engine &engine, QString *error,
                const std::function<db::Status(db::Table &, const int *)> &use)
{
    const TableDef &def = tableDef(TableId::MailServer);
    db::Status s;
    if (engine.findFile(def.fileName).isEmpty()) {
        s = db::Table::create(engine.directory(), def.fileName, def.fields, engine.fileSystem());
        if (!s.isOk()) {
            *error = s.toString();
            return false;
        }
    }
    const bool autoIndex = engine.autoOpenIndex();
    engine.setAutoOpenIndex(false);
    db::Table *t = engine.open(def.name, &s);
    engine.setAutoOpenIndex(autoIndex);
    if (!t) {
        *error = openFailureMessage(def.openFailFile) + QStringLiteral("\n") + s.toString();
        return false;
    }
    int f[std::size(kFields)];
    for (size_t i = 0; i < std::size(kFields); ++i) {
        f[i] = t->fieldIndex(kFields[i]);
        if (f[i] < 0)
            s = db::Status::invalid(
                QStringLiteral("%1: field %2 is missing").arg(t->fileName(), QLatin1String(kFields[i])));
    }
    if (s.isOk()) {
        t->top();
        if (t->recNo() == 0) {
            s = t->appendBlank();
            if (s.isOk())
                s = writeRecord(*t, MailServerSettings{}, f);
        }
    }
    if (s.isOk())
        s = use(*t, f);
    const db::Status closed = engine.close(def.name);
    if (s.isOk())
        s = closed;
    if (!s.isOk()) {
        *error = s.toString();
        return false;
    }
    return true;
}

} // namespace

bool loadMailServerSettings(db::Engine &engine, MailServerSettings *into, QString *error)
{
    MailServerSettings r;
    const bool ok = withRecord(engine, error, [&](db::Table &t, const int *f) {
        r.port = int(t.integer(f[fPort]));
        if (r.port <= 0 || r.port > 65535)
            r.port = 25;
        const qint64 security = t.integer(f[fSecurity]);
        r.security = security == 1   ? MailSecurity::StartTls
                     : security == 2 ? MailSecurity::SslTls
                                     : MailSecurity::None;
        r.loginUser = t.text(f[fLoginUser]).trimmed();
        r.rememberPassword = t.logical(f[fRememberPw]);
        r.attachPdf = t.logical(f[fAttachPdf]);
        r.certificateHost = t.text(f[fCertHost]).trimmed();
        r.certificateDigest = QByteArray::fromHex(t.text(f[fCertDigest]).trimmed().toLatin1());
        return t.error();
    });
    if (ok)
        *into = r;
    return ok;
}

bool saveMailServerSettings(db::Engine &engine, const MailServerSettings &from, QString *error)
{
    return withRecord(engine, error, [&](db::Table &t, const int *f) {
        db::Status s = writeRecord(t, from, f);
        return s.isOk() ? t.flush() : s;
    });
}

QString rememberedPassword(const QString &dataDir)
{
    QFile file(QDir(dataDir).filePath(QLatin1String(kPasswordFileName)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool rememberPassword(const QString &dataDir, const QString &password, QString *error)
{
    const QString path = QDir(dataDir).filePath(QLatin1String(kPasswordFileName));
    if (password.isEmpty()) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            *error = QStringLiteral("%1 cannot be removed.").arg(path);
            return false;
        }
        return true;
    }
    const QByteArray temp = QFile::encodeName(path + QStringLiteral(".new"));
    ::unlink(temp.constData());
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        *error =
            QStringLiteral("%1 cannot be written: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const QByteArray bytes = password.toUtf8();
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 &&
              ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) {
        *error =
            QStringLiteral("%1 cannot be written: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

QString &sessionPassword()
{
    static QString password;
    return password;
}

} // namespace tallyra
