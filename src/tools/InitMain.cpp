// tallyra-init DIR [--demo]: creates the data files of a new business in DIR (made when missing).
// With --demo the business holds a small sample set of customers, products and invoices.
// Nothing is written when DIR already holds data files.

#include "NewBusiness.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool demo = args.removeAll(QStringLiteral("--demo")) > 0;
    if (args.size() != 1 || args[0].startsWith(QLatin1Char('-'))) {
        print(stderr, QStringLiteral("usage: tallyra-init DIR [--demo]"));
        return 2;
    }
    const tallyra::NewBusinessResult result = tallyra::createBusiness(args[0], demo);
    print(result.ok() ? stdout : stderr, result.message);
    return result.ok() ? 0 : 1;
}
