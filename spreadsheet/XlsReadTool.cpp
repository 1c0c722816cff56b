// station-xls-reader: parses one Excel 97-2003 workbook and writes the cells (or the reason it
// cannot be read) to standard output for the station, which keeps the parse out of its own
// process. Usage: station-xls-reader --first|--all FILE
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "SpreadsheetError.h"
#include "XlsReader.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || (args[1] != "--first" && args[1] != "--all")) {
        std::fputs("usage: station-xls-reader --first|--all FILE\n", stderr);
        return 64;
    }
    QByteArray answer;
    try {
        answer = EncodeReadResult(ReadWorkbookInProcess(args[2], args[1] == "--first"));
    } catch (const SpreadsheetError& e) {
        answer = EncodeReadError(e.Message());
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly)) return 1;
    return out.write(answer) == answer.size() && out.flush() ? 0 : 1;
}
