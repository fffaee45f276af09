#include "Dump.h"

#include "Dbf.h"

#include <array>

namespace db {

quint32 crc32(QByteArrayView bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : bytes)
        crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xff] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray dumpRecord(Table &table)
{
    QByteArray line = QByteArray::number(table.recNo()) + '|' + (table.isDeleted() ? '*' : ' ');
    for (int i = 0; i < table.fieldCount(); ++i) {
        line += '|';
        const FieldDef &f = table.field(i);
        switch (f.type) {
        case FieldType::Character: {
            QByteArray v = table.raw(i);
            qsizetype n = v.size();
            while (n > 0 && v[n - 1] == ' ')
                --n;
            line += v.left(n);
            break;
        }
        case FieldType::Numeric:
            line += fieldcodec::formatNumber(table.number(i), 40, f.decimals).trimmed();
            break;
        case FieldType::Date: {
            const QDate d = table.date(i);
            if (d.isValid())
                line += d.toString(QStringLiteral("yyyyMMdd")).toLatin1();
            break;
        }
        case FieldType::Logical:
            line += table.logical(i) ? 'T' : 'F';
            break;
        case FieldType::Memo: {
            const QByteArray memo = table.memoBytes(i);
            line += QByteArray::number(memo.size()) + ':' +
                    QByteArray::number(memo.isEmpty() ? 0 : crc32(memo), 16).toUpper().rightJustified(8, '0');
            break;
        }
        }
    }
    return line;
}

} // namespace db
