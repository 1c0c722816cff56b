// Damaged input on the reading path: truncations, random bytes and bit flips of valid files,
// seeded so that every run tries the same cases. Each read must end in rows or in a
// SpreadsheetError; a crash or a sanitizer report fails the run.
#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "SpreadsheetError.h"
#include "XlsReader.h"
#include "XlsWriter.h"

// Some damaged files make libfreexl give up without freeing what it had read so far (its own
// allocations, not ours: the handle is closed on every path). Under the leak checker of a
// sanitizer build, those library-internal leaks are expected and suppressed; everything else
// is still reported.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfreexl.so\n";
}

namespace {

QByteArray ValidWorkbook() {
    QVector<QStringList> rows = {{"编号", " 设备ID", " 方 位", "高温(℃)", "低温(℃)", "  备  注 "}};
    for (int i = 0; i < 120; ++i) {
        rows.append({QString::number(i), QStringLiteral("%1").arg(i * 7919, 6, 16, QChar('0')),
                     QStringLiteral("库房 %1").arg(i), "25.0625", "-10.5",
                     i % 3 ? QString() : QStringLiteral("备注 %1").arg(i)});
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("seed.xls");
    WriteWorkbook(path, {{"Sheet1", rows}, {"第二页", rows.mid(0, 40)}});
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

struct Outcome {
    int read = 0;
    int refused = 0;
};

void TryRead(const QString& path, const QByteArray& bytes, Outcome& outcome) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    try {
        const QVector<SheetData> sheets = ReadWorkbook(path);
        ++outcome.read;
    } catch (const SpreadsheetError& e) {
        EXPECT_TRUE(e.Message().contains(path));
        ++outcome.refused;
    }
}

}  // namespace

TEST(XlsFuzz, TruncatedFilesNeverCrash) {
    const QByteArray valid = ValidWorkbook();
    ASSERT_GT(valid.size(), 4096);
    QTemporaryDir dir;
    Outcome outcome;
    // Every length up to the header and past it in coarse steps, then each sector boundary.
    for (qsizetype len = 0; len < valid.size(); len += len < 600 ? 7 : 97) {
        TryRead(dir.filePath("t.xls"), valid.left(len), outcome);
    }
    for (qsizetype len = 512; len < valid.size(); len += 512) {
        TryRead(dir.filePath("t.xls"), valid.left(len - 1), outcome);
    }
    EXPECT_GT(outcome.refused, 0);
}

TEST(XlsFuzz, RandomBytesNeverCrash) {
    QRandomGenerator rng(20071130);
    QTemporaryDir dir;
    const QByteArray valid = ValidWorkbook();
    Outcome outcome;
    for (int i = 0; i < 100; ++i) {
        QByteArray bytes(rng.bounded(1, 6000), '\0');
        for (char& b : bytes) b = static_cast<char>(rng.bounded(256));
        // Half of them keep a valid compound-file header so that the reader gets further in.
        if (i % 2 == 1) bytes.replace(0, std::min<qsizetype>(512, bytes.size()), valid.left(512));
        TryRead(dir.filePath("r.xls"), bytes, outcome);
    }
    EXPECT_EQ(outcome.read + outcome.refused, 100);
}

TEST(XlsFuzz, BitFlipsOfAValidFileNeverCrash) {
    const QByteArray valid = ValidWorkbook();
    QRandomGenerator rng(30091530);
    QTemporaryDir dir;
    Outcome outcome;
    for (int i = 0; i < 400; ++i) {
        QByteArray bytes = valid;
        const int flips = 1 + rng.bounded(8);
        for (int k = 0; k < flips; ++k) {
            const qsizetype at = rng.bounded(static_cast<quint32>(bytes.size()));
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << rng.bounded(8)));
        }
        TryRead(dir.filePath("f.xls"), bytes, outcome);
    }
    EXPECT_EQ(outcome.read + outcome.refused, 400);
    // Most flips land in cell data and leave a readable file.
    EXPECT_GT(outcome.read, 0);
}
