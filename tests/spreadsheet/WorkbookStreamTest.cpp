// The lookup structures of the workbook stream that readers such as xlrd and freexl skip but
// the common spreadsheet programs use: sheet positions (BOUNDSHEET), row blocks (INDEX,
// DBCELL) and the string table's buckets (EXTSST). A wrong position here would make such a
// program report a damaged file although every cell is right.
#include <gtest/gtest.h>

#include <QMap>

#include "QtPrinters.h"
#include "WorkbookStream.h"

namespace {

struct Record {
    qsizetype pos;
    uint16_t type;
    QByteArray body;
};

uint16_t U16(const QByteArray& b, qsizetype at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}
uint32_t U32(const QByteArray& b, qsizetype at) {
    return U16(b, at) | uint32_t{U16(b, at + 2)} << 16;
}

QMap<qsizetype, Record> Records(const QByteArray& stream) {
    QMap<qsizetype, Record> records;
    qsizetype pos = 0;
    while (pos + 4 <= stream.size()) {
        const uint16_t type = U16(stream, pos);
        const uint16_t len = U16(stream, pos + 2);
        EXPECT_LE(len, 8224) << "record at " << pos;
        EXPECT_LE(pos + 4 + len, stream.size());
        records.insert(pos, {pos, type, stream.mid(pos + 4, len)});
        pos += 4 + len;
    }
    EXPECT_EQ(pos, stream.size());
    return records;
}

const Record* At(const QMap<qsizetype, Record>& records, qsizetype pos) {
    auto it = records.constFind(pos);
    return it == records.constEnd() ? nullptr : &it.value();
}

QVector<SheetData> Sample() {
    // Rows with gaps between them (whole empty blocks of 32 too), rows starting in later
    // columns, and enough text for the string table to continue over several records.
    SheetData first{"One", QVector<QStringList>(300)};
    for (int r = 0; r < 300; ++r) {
        if (r % 7 == 3 || (r >= 96 && r < 160)) continue;
        QStringList row(1 + r % 9);
        for (int c = r % 4; c < row.size(); ++c)
            row[c] = QStringLiteral("r%1c%2 温度%3").arg(r).arg(c).arg(QString(r % 50, u'x'));
        first.rows[r] = row;
    }
    SheetData second{"二", {{"a", "b"}, {}, {"", "", "one"}, {"r%1c%2 温度"}}};
    SheetData empty{"Empty", {}};
    return {first, second, empty};
}

}  // namespace

TEST(WorkbookStream, SheetPositionsPointAtTheSheetsBof) {
    const QByteArray stream = BuildWorkbookStream(Sample());
    const auto records = Records(stream);
    QStringList names;
    for (const Record& r : records) {
        if (r.type != 0x0085) continue;
        const Record* bof = At(records, U32(r.body, 0));
        ASSERT_NE(bof, nullptr);
        EXPECT_EQ(bof->type, 0x0809);
        EXPECT_EQ(U16(bof->body, 2), 0x0010);  // worksheet
        const int length = static_cast<uint8_t>(r.body[6]);
        const bool wide = r.body[7] & 1;
        names.append(wide ? QString::fromUtf16(
                                reinterpret_cast<const char16_t*>(r.body.constData() + 8), length)
                          : QString::fromLatin1(r.body.mid(8, length)));
    }
    EXPECT_EQ(names, (QStringList{"One", "二", "Empty"}));
}

TEST(WorkbookStream, IndexAndRowBlocksPointAtTheirRecords) {
    const QVector<SheetData> sheets = Sample();
    const QByteArray stream = BuildWorkbookStream(sheets);
    const auto records = Records(stream);
    int sheet = -1;
    int blocksSeen = 0;
    for (const Record& index : records) {
        if (index.type != 0x020B) continue;
        ++sheet;
        const Record* defcol = At(records, U32(index.body, 12));
        ASSERT_NE(defcol, nullptr);
        EXPECT_EQ(defcol->type, 0x0055);
        QVector<int> usedRows;
        for (int r = 0; r < sheets[sheet].rows.size(); ++r) {
            for (const QString& t : sheets[sheet].rows[r])
                if (!t.isEmpty()) {
                    usedRows.append(r);
                    break;
                }
        }
        EXPECT_EQ(U32(index.body, 4), usedRows.isEmpty() ? 0u : uint32_t(usedRows.first()));
        EXPECT_EQ(U32(index.body, 8), usedRows.isEmpty() ? 0u : uint32_t(usedRows.last() + 1));

        QVector<int> rowsFound;
        for (qsizetype i = 16; i < index.body.size(); i += 4) {
            const qsizetype dbPos = U32(index.body, i);
            const Record* db = At(records, dbPos);
            ASSERT_NE(db, nullptr);
            ASSERT_EQ(db->type, 0x00D7);
            ++blocksSeen;
            const qsizetype firstRowPos = dbPos - U32(db->body, 0);
            const Record* firstRow = At(records, firstRowPos);
            ASSERT_NE(firstRow, nullptr);
            ASSERT_EQ(firstRow->type, 0x0208);
            // The block's ROW records follow each other; rgdb leads from one row's first cell
            // to the next row's.
            qsizetype cellPos = firstRowPos + 20;
            for (qsizetype k = 4, n = 0; k < db->body.size(); k += 2, ++n) {
                const Record* row = At(records, firstRowPos + 20 * n);
                ASSERT_NE(row, nullptr);
                ASSERT_EQ(row->type, 0x0208);
                cellPos += U16(db->body, k);
                const Record* cell = At(records, cellPos);
                ASSERT_NE(cell, nullptr);
                EXPECT_EQ(cell->type, 0x00FD);
                EXPECT_EQ(U16(cell->body, 0), U16(row->body, 0));
                EXPECT_EQ(U16(cell->body, 2), U16(row->body, 2));  // the row's first column
                EXPECT_EQ(U16(row->body, 0) / 32, U16(firstRow->body, 0) / 32);
                rowsFound.append(U16(row->body, 0));
            }
        }
        EXPECT_EQ(rowsFound, usedRows) << "sheet " << sheet;
    }
    EXPECT_EQ(sheet, 2);
    EXPECT_EQ(blocksSeen, 8 + 1);  // blocks 0-2 and 5-9 of the first sheet, one of the second
}

TEST(WorkbookStream, StringBucketsPointAtTheirStrings) {
    const QVector<SheetData> sheets = Sample();
    QStringList order;  // distinct texts in order of first use
    for (const SheetData& s : sheets)
        for (const QStringList& row : s.rows)
            for (const QString& t : row)
                if (!t.isEmpty() && !order.contains(t)) order.append(t);

    const QByteArray stream = BuildWorkbookStream(sheets);
    const auto records = Records(stream);
    const Record* extsst = nullptr;
    int continues = 0;
    for (const Record& r : records) {
        if (r.type == 0x00FF) extsst = &r;
        if (r.type == 0x003C) ++continues;
        if (r.type == 0x00FC) {
            EXPECT_EQ(U32(r.body, 4), uint32_t(order.size()));
        }
    }
    ASSERT_NE(extsst, nullptr);
    EXPECT_GE(continues, 2);
    const int perBucket = U16(extsst->body, 0);
    EXPECT_GE(perBucket, 8);
    const int buckets = (extsst->body.size() - 2) / 8;
    EXPECT_EQ(buckets, (order.size() + perBucket - 1) / perBucket);
    for (int b = 0; b < buckets; ++b) {
        const qsizetype ib = U32(extsst->body, 2 + 8 * b);
        const int offset = U16(extsst->body, 2 + 8 * b + 4);
        const Record* holder = At(records, ib - offset);
        ASSERT_NE(holder, nullptr) << "bucket " << b;
        EXPECT_TRUE(holder->type == 0x00FC || holder->type == 0x003C);
        // The string's header and first character are there.
        const QString& want = order[b * perBucket];
        EXPECT_EQ(U16(stream, ib), want.size()) << "bucket " << b;
        const bool wide = stream[ib + 2] & 1;
        const QChar first = wide ? QChar(U16(stream, ib + 3)) : QChar(uint8_t(stream[ib + 3]));
        EXPECT_EQ(first, want[0]) << "bucket " << b;
    }
}

TEST(WorkbookStream, GlobalsCarryTheRecordsSpreadsheetProgramsExpect) {
    const auto records = Records(BuildWorkbookStream({{"S", {{"x"}}}}));
    QMap<uint16_t, int> count;
    QVector<uint16_t> globalsOrder;
    bool inGlobals = true;
    for (const Record& r : records) {
        if (inGlobals) {
            ++count[r.type];
            globalsOrder.append(r.type);
        }
        if (r.type == 0x000A) inGlobals = false;
    }
    EXPECT_EQ(globalsOrder.first(), 0x0809);
    EXPECT_EQ(count[0x0042], 1);   // CODEPAGE
    EXPECT_EQ(count[0x003D], 1);   // WINDOW1
    EXPECT_EQ(count[0x0031], 4);   // FONT 0-3; a fifth font would have to be index 5
    EXPECT_EQ(count[0x00E0], 16);  // 15 style XFs and the cell XF
    EXPECT_EQ(count[0x0293], 1);   // STYLE
    EXPECT_EQ(count[0x00FC], 1);   // SST
    EXPECT_EQ(count[0x00FF], 1);   // EXTSST
    // The string table comes after the sheet list and is followed by EXTSST, then EOF.
    EXPECT_GT(globalsOrder.indexOf(0x00FC), globalsOrder.indexOf(0x0085));
    EXPECT_EQ(globalsOrder.mid(globalsOrder.size() - 3),
              (QVector<uint16_t>{0x00FC, 0x00FF, 0x000A}));
}

TEST(WorkbookStream, CuttingToTheCellLimitKeepsCharactersWhole) {
    const QString pair = QString::fromUcs4(U"\U00020000");  // two UTF-16 units
    const QString atLimit(32767, u'a');
    QVector<SheetData> sheets = {
        {"A", {{atLimit, QString(32768, u'x')}, {QString(32766, u'a') + pair + "b"}}},
        {"B", {{"short", QString(40000, QChar(0x5E93))}}}};
    EXPECT_FALSE(CheckWorkbookLimits(sheets).isEmpty());
    EXPECT_EQ(CutToCellLimit(sheets), 3);
    EXPECT_EQ(sheets[0].rows[0][0], atLimit);
    EXPECT_EQ(sheets[0].rows[0][1], QString(32767, u'x'));
    // The pair would be parted at the limit: it goes as a whole.
    EXPECT_EQ(sheets[0].rows[1][0], QString(32766, u'a'));
    EXPECT_EQ(sheets[1].rows[0], QStringList({"short", QString(32767, QChar(0x5E93))}));
    EXPECT_TRUE(CheckWorkbookLimits(sheets).isEmpty());
    EXPECT_EQ(CutToCellLimit(sheets), 0);
}
