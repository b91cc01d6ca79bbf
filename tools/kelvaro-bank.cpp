// kelvaro-bank: builds question banks for Kelvaro.
//
//   kelvaro-bank create BANK --from FILE.csv

#include "bank/bankimport.h"
#include "bank/store.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

int usage(QTextStream &err)
{
    err << "usage: kelvaro-bank create BANK --from FILE.csv\n"
           "  Builds a new question bank BANK from a UTF-8 CSV file whose header is\n"
           "  id,tm,da,xx. An existing BANK is never overwritten.\n";
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);

    if (args.size() == 1 &&
        (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h"))) {
        usage(out);
        return 0;
    }
    if (args.size() != 4 || args.at(0) != QLatin1String("create") ||
        args.at(2) != QLatin1String("--from"))
        return usage(err);

    int rows = 0;
    const QString error = bank::importCsv(args.at(3), args.at(1), bank::kBankPassword, &rows);
    if (!error.isEmpty()) {
        err << "kelvaro-bank: " << error << '\n';
        return 1;
    }
    out << "kelvaro-bank: " << args.at(1) << ": " << rows << " questions\n";
    return 0;
}
