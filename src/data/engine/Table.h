#pragma once

#include "Field.h"
#include "FileIo.h"
#include "Status.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace db {

class Engine;
class TablePrivate;

enum class Access
{
    Shared,
    Exclusive
};

// Result of seek() in the selected tag's order:
//   Found  the table stands on the first record whose key starts with the sought bytes;
//   Next   no key starts with them: the table stands on the first record with a greater key
//          (smaller in a descending tag);
//   Eof    every key is smaller: the table stands past the end (eof() true, recNo() 0);
//   Error  the index failed (the table then stands past the end) or no tag is selected (the
//          table stays where it was); error() says why.
enum class SeekResult
{
    Found = 0,
    Next = 2,
    Eof = 3,
    Error = -1
};

// Called with a whole percentage 0..100 during long operations.
using Progress = std::function<void(int percent)>;
// The date written into a table's header when its records change.
using Today = std::function<QDate()>;

// One open dBASE table with its memo file and the tags of its index group.
//
// Field assignments change the current record in memory; the record is written, and every open
// tag updated from the old and new keys, by flush(), by any move to another record and by close.
// Navigation follows the selected tag, or record-number order when none is selected.
// Navigation methods return false at either end of the order and on failure; error() tells the
// two apart, and the first failure stays pending until takeError().
//
// Field indexes: every method taking `int field` requires 0 <= field < fieldCount() (use
// fieldIndex() for a name); an index out of range is a programming error, not checked at run
// time. Reading past the end gives blank values; changing past the end is refused.
//
// Nothing thrown leaves a table: failures, running out of memory included, come back as Status
// values.
class Table
{
public:
    ~Table();
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    // Creates an empty table file (and its memo file when a field is M) named exactly fileName
    // in dir ("CUST5.DBF" also creates "CUST5.DBT"). Refuses to replace an existing file.
    // The header carries stamp as its date (today's date when null).
    static Status create(const QString &dir, const QString &fileName, const QList<FieldDef> &fields,
                         const std::shared_ptr<FileSystem> &fs = FileSystem::posix(),
                         const QDate &stamp = {});

    const QString &name() const;     // the bare name it was opened by
    const QString &fileName() const; // the data file's real name on disk
    Access access() const;
    // A number no other table opened in this process has had, so that a caller can keep what it
    // learnt about the open table (its field numbers) without mistaking a later table that takes
    // the same address for it.
    quint64 openSerial() const;

    // Fields
    int fieldCount() const;
    const FieldDef &field(int index) const;
    int fieldIndex(QByteArrayView name) const; // -1 when absent

    // Tags
    QStringList tagNames() const;        // open tags in group order
    bool selectTag(const QString &name); // false (and error) when no such tag is open
    void selectNatural();                // record-number order
    QString selectedTag() const;         // empty in natural order
    // Builds the group file <table>.cgp and one NTX file per tag, then opens them. With
    // overwrite false (index safety on) an existing group or tag file is refused. Corrects the
    // header's count as reindex() does.
    Status createIndexGroup(const QList<TagDef> &tags, bool overwrite, const Progress &progress = {});
    // Rebuilds every open tag from the table (temporary file and rename for each). The selected
    // tag stays selected; the table then stands past the end (call top() or go()). A header that
    // counts more records than a data file cut short holds is corrected first.
    Status reindex(const Progress &progress = {});

    // Navigation
    bool top();
    bool bottom();
    bool skip(qint64 n = 1);
    SeekResult seek(QByteArrayView key);
    bool go(quint32 recNo);
    quint32 recNo() const;       // 0 when past the end
    quint32 recordCount() const; // deleted records included
    bool eof() const;
    bool bof() const;
    // Estimated position of the current record in the selected order, 0.0 .. 1.0, and the move
    // to an estimated position; both touch one path of index pages.
    double relativePosition() const;
    bool setRelativePosition(double position);

    // Reading the current record (blank values past the end)
    QByteArray raw(int field) const; // bytes as stored, padding kept
    // The same bytes without a copy; valid until the table moves or the record changes.
    QByteArrayView rawView(int field) const;
    QString text(int field) const;         // UTF-8 decoded, trailing blanks removed
    double number(int field) const;        // blank is 0
    qint64 integer(int field) const;       // rounded to the nearest whole number
    bool logical(int field) const;         // T t Y y are true
    QDate date(int field) const;           // null date for blank or invalid
    QString memo(int field) const;         // UTF-8 decoded
    QByteArray memoBytes(int field) const; // bytes up to the first 0x1A
    bool isDeleted() const;

    // Changing the current record
    Status setText(int field, const QString &value); // cut to the field at a character boundary
    Status setRaw(int field, QByteArrayView value);  // padded with blanks or cut
    Status setNumber(int field, double value);       // Str(value, len, dec); too wide fills '*'
    Status setInteger(int field, qint64 value);
    Status setLogical(int field, bool value);
    Status setDate(int field, const QDate &value); // null date stores blanks
    Status setMemo(int field, const QString &value);
    Status setMemoBytes(int field, QByteArrayView value);
    Status appendBlank();
    Status markDeleted();
    Status recall();
    Status flush();

    // Maintenance. Each needs the table to itself (Locked while another open holds it) and writes
    // complete new files under temporary names (<file>.tmp): the data file, the memo file and the
    // tags that change; then a journal naming them (<table file>.rewrite), then renames them into
    // place. A crash before the journal leaves the old files (the next open removes the temporary
    // ones); a crash after it leaves a journal the next open finishes. On a failure (a full disk)
    // nothing changes, the temporary files are removed and the table's lock is as before.
    // Afterwards the selected tag stays selected and the table stands past the end; record numbers
    // change after pack and zap, so numbers held from before no longer name the same records.
    //
    // pack removes deleted records and compacts the memos; each tag is rewritten in one ordered
    // pass over the old tag (unique tags, and tags that do not hold every record exactly once, are
    // built again from the records). The tags are rewritten on a second thread while the records
    // are written; progress is reported on the calling thread only.
    Status pack(const Progress &progress = {});
    Status compactMemo(); // memos of all records packed together; record numbers and tags stay
    Status zap();         // removes every record; the tags stay, empty

    // Checks the data file (its header's count too: a file cut short holds fewer records), the
    // memo pointers and each open tag (order, every record exactly once, keys equal to their
    // expressions). One line per finding in *report when given.
    Status check(QStringList *report = nullptr);
    Status checkTag(const QString &tag);

    // The key the named tag's expression gives for the current record (padded to key size).
    QByteArray keyFor(const QString &tag) const;

    Status error() const;
    Status takeError();

    Status close();

private:
    friend class Engine;
    explicit Table(std::unique_ptr<TablePrivate> d);
    std::unique_ptr<TablePrivate> d;
};

} // namespace db
