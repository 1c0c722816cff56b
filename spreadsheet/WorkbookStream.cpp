#include "WorkbookStream.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <stdexcept>

#include "BiffRecordStream.h"

namespace {

using S = BiffRecordStream;

// Record types used here.
constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kCodepage = 0x0042;
constexpr uint16_t kWindow1 = 0x003D;
constexpr uint16_t kDatemode = 0x0022;
constexpr uint16_t kFont = 0x0031;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kStyle = 0x0293;
constexpr uint16_t kBoundsheet = 0x0085;
constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kExtsst = 0x00FF;
constexpr uint16_t kIndex = 0x020B;
constexpr uint16_t kDefcolwidth = 0x0055;
constexpr uint16_t kDimensions = 0x0200;
constexpr uint16_t kRow = 0x0208;
constexpr uint16_t kLabelsst = 0x00FD;
constexpr uint16_t kDbcell = 0x00D7;
constexpr uint16_t kWindow2 = 0x023E;

constexpr uint16_t kBofGlobals = 0x0005;
constexpr uint16_t kBofWorksheet = 0x0010;
constexpr int kStyleXfCount = 15;
constexpr uint16_t kCellXf = kStyleXfCount;  // the one cell format, right after the styles
constexpr int kFontCount = 4;                // indices 0-3; index 4 is never used by the format
constexpr int kRowsPerBlock = 32;
constexpr qsizetype kRowRecordSize = 4 + 16;

QByteArray Bof(uint16_t kind) {
    QByteArray b;
    S::AppendU16(b, 0x0600);  // BIFF8
    S::AppendU16(b, kind);
    S::AppendU16(b, 0x0DBB);  // build number of the format's first release
    S::AppendU16(b, 0x07CC);  // and its year
    S::AppendU32(b, 0);       // file history flags
    S::AppendU32(b, 0x0006);  // lowest version that can read every record: BIFF8
    return b;
}

QByteArray U16Body(uint16_t v) {
    QByteArray b;
    S::AppendU16(b, v);
    return b;
}

QByteArray Window1() {
    QByteArray b;
    S::AppendU16(b, 0x0000);  // window position
    S::AppendU16(b, 0x0000);
    S::AppendU16(b, 0x4000);  // window size in twips
    S::AppendU16(b, 0x2000);
    S::AppendU16(b, 0x0038);  // horizontal and vertical scroll bars, sheet tabs shown
    S::AppendU16(b, 0);       // active sheet
    S::AppendU16(b, 0);       // first visible tab
    S::AppendU16(b, 1);       // selected tabs
    S::AppendU16(b, 600);     // tab bar width ratio (per mille)
    return b;
}

QByteArray Font() {
    QByteArray b;
    S::AppendU16(b, 200);     // height: 10 pt in twips
    S::AppendU16(b, 0);       // no italic, strike-out, outline, shadow
    S::AppendU16(b, 0x7FFF);  // automatic colour
    S::AppendU16(b, 400);     // normal weight
    S::AppendU16(b, 0);       // no super- or subscript
    S::AppendU8(b, 0);        // no underline
    S::AppendU8(b, 0);        // family not specified
    S::AppendU8(b, 0);        // character set: the application's default
    S::AppendU8(b, 0);
    S::AppendShortString(b, u"Arial");
    return b;
}

// A cell format: font 0, General number format, bottom-aligned, no borders, no fill.
QByteArray Xf(bool style) {
    QByteArray b;
    S::AppendU16(b, 0);                        // font
    S::AppendU16(b, 0);                        // number format: General
    S::AppendU16(b, style ? 0xFFF5 : 0x0001);  // locked; style XFs have no parent (0xFFF)
    S::AppendU8(b, 0x20);                      // horizontal general, vertical bottom
    S::AppendU8(b, 0);                         // no rotation
    S::AppendU8(b, 0);                         // no indent, no shrink, context reading order
    S::AppendU8(b, 0);                         // attributes as in the parent style
    S::AppendU32(b, 0);                        // no borders
    S::AppendU32(b, 0);                        // no borders, no fill pattern
    S::AppendU16(b, 0x20C0);                   // pattern colours: automatic
    return b;
}

QByteArray NormalStyle() {
    QByteArray b;
    S::AppendU16(b, 0x8000);  // built-in style on style XF 0
    S::AppendU8(b, 0);        // "Normal"
    S::AppendU8(b, 0xFF);     // no outline level
    return b;
}

QByteArray Window2(bool selected) {
    QByteArray b;
    // Grid lines, headers, zeros, automatic grid colour, outline symbols; the first sheet is
    // the selected and shown one.
    S::AppendU16(b, selected ? 0x06B6 : 0x00B6);
    S::AppendU16(b, 0);   // top row shown
    S::AppendU16(b, 0);   // left column shown
    S::AppendU32(b, 64);  // grid line colour index (automatic)
    S::AppendU16(b, 0);   // zoom of page break preview: default
    S::AppendU16(b, 0);   // zoom of normal view: default
    S::AppendU32(b, 0);
    return b;
}

// The shared string table: every distinct cell text once, in order of first use.
class StringTable {
  public:
    uint32_t Add(const QString& text) {
        ++references_;
        auto it = index_.constFind(text);
        if (it != index_.constEnd()) return it.value();
        const uint32_t i = static_cast<uint32_t>(strings_.size());
        index_.insert(text, i);
        strings_.append(text);
        return i;
    }
    uint32_t IndexOf(const QString& text) const { return index_.value(text); }
    const QStringList& Strings() const { return strings_; }
    uint32_t References() const { return references_; }

  private:
    QHash<QString, uint32_t> index_;
    QStringList strings_;
    uint32_t references_ = 0;
};

// SST with as many CONTINUE records as it needs, then EXTSST with the bucket positions.
// A string's 3-byte header and first character stay in one record; a string split across
// records repeats its flags byte at the start of the CONTINUE record; a two-byte character
// is never split.
void WriteSharedStrings(BiffRecordStream& out, const StringTable& table) {
    const QStringList& strings = table.Strings();
    const int count = static_cast<int>(strings.size());
    const int perBucket = std::max(8, (count + 127) / 128);

    QByteArray rec;
    uint16_t recType = kSst;
    qsizetype recStart = out.Position();
    auto flush = [&] {
        out.Write(recType, rec);
        rec.clear();
        recType = kContinue;
        recStart = out.Position();
    };

    S::AppendU32(rec, table.References());
    S::AppendU32(rec, static_cast<uint32_t>(count));
    QVector<QPair<uint32_t, uint16_t>> buckets;
    for (int i = 0; i < count; ++i) {
        const QString& s = strings[i];
        const bool compressed = S::FitsCompressed(s);
        const qsizetype charSize = compressed ? 1 : 2;
        const qsizetype headerAndFirst = 3 + (s.isEmpty() ? 0 : charSize);
        if (rec.size() + headerAndFirst > S::kMaxBody) flush();
        if (i % perBucket == 0) {
            buckets.append({static_cast<uint32_t>(recStart + 4 + rec.size()),
                            static_cast<uint16_t>(4 + rec.size())});
        }
        S::AppendU16(rec, static_cast<uint16_t>(s.size()));
        S::AppendU8(rec, compressed ? 0x00 : 0x01);
        qsizetype done = 0;
        while (done < s.size()) {
            const qsizetype room = (S::kMaxBody - rec.size()) / charSize;
            if (room == 0) {
                flush();
                S::AppendU8(rec, compressed ? 0x00 : 0x01);
                continue;
            }
            const qsizetype n = std::min(room, s.size() - done);
            S::AppendChars(rec, QStringView(s).mid(done, n), compressed);
            done += n;
        }
    }
    out.Write(recType, rec);

    QByteArray ext;
    S::AppendU16(ext, static_cast<uint16_t>(perBucket));
    for (const auto& [streamPos, recordOffset] : buckets) {
        S::AppendU32(ext, streamPos);
        S::AppendU16(ext, recordOffset);
        S::AppendU16(ext, 0);
    }
    out.Write(kExtsst, ext);
}

struct UsedRow {
    int row;
    int firstCol;
    int endCol;  // one past the last non-empty cell
};

QVector<UsedRow> UsedRows(const SheetData& sheet) {
    QVector<UsedRow> used;
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const QStringList& cells = sheet.rows[r];
        int first = -1;
        int end = 0;
        for (int c = 0; c < cells.size(); ++c) {
            if (cells[c].isEmpty()) continue;
            if (first < 0) first = c;
            end = c + 1;
        }
        if (first >= 0) used.append({r, first, end});
    }
    return used;
}

// One worksheet substream. Rows go in blocks of up to 32 row numbers: the block's ROW
// records, then its cells, then a DBCELL pointing back at them; INDEX lists the DBCELLs.
void WriteSheet(BiffRecordStream& out, const SheetData& sheet, const StringTable& table,
                bool first) {
    const QVector<UsedRow> used = UsedRows(sheet);
    QVector<QVector<UsedRow>> blocks;
    for (const UsedRow& u : used) {
        if (blocks.isEmpty() || blocks.last().first().row / kRowsPerBlock != u.row / kRowsPerBlock)
            blocks.append(QVector<UsedRow>());
        blocks.last().append(u);
    }
    const uint32_t rwMic = used.isEmpty() ? 0 : used.first().row;
    const uint32_t rwMac = used.isEmpty() ? 0 : used.last().row + 1;
    int colMic = used.isEmpty() ? 0 : workbooklimits::kMaxColumns;
    int colMac = 0;
    for (const UsedRow& u : used) {
        colMic = std::min(colMic, u.firstCol);
        colMac = std::max(colMac, u.endCol);
    }

    out.Write(kBof, Bof(kBofWorksheet));

    const qsizetype indexPos = out.Position();
    QByteArray index;
    S::AppendU32(index, 0);
    S::AppendU32(index, rwMic);
    S::AppendU32(index, rwMac);
    S::AppendU32(index, 0);  // position of DEFCOLWIDTH, patched below
    for (int i = 0; i < blocks.size(); ++i) S::AppendU32(index, 0);  // DBCELL positions
    out.Write(kIndex, index);

    out.PatchU32(indexPos + 4 + 12, static_cast<uint32_t>(out.Position()));
    out.Write(kDefcolwidth, U16Body(8));

    QByteArray dim;
    S::AppendU32(dim, rwMic);
    S::AppendU32(dim, rwMac);
    S::AppendU16(dim, static_cast<uint16_t>(colMic));
    S::AppendU16(dim, static_cast<uint16_t>(colMac));
    S::AppendU16(dim, 0);
    out.Write(kDimensions, dim);

    for (int b = 0; b < blocks.size(); ++b) {
        const QVector<UsedRow>& block = blocks[b];
        const qsizetype firstRowPos = out.Position();
        for (const UsedRow& u : block) {
            QByteArray row;
            S::AppendU16(row, static_cast<uint16_t>(u.row));
            S::AppendU16(row, static_cast<uint16_t>(u.firstCol));
            S::AppendU16(row, static_cast<uint16_t>(u.endCol));
            S::AppendU16(row, 0x00FF);  // default height
            S::AppendU16(row, 0);
            S::AppendU16(row, 0);
            S::AppendU16(row, 0x0100);  // default height and format
            S::AppendU16(row, kCellXf);
            out.Write(kRow, row);
        }
        QVector<qsizetype> cellStarts;
        for (const UsedRow& u : block) {
            cellStarts.append(out.Position());
            const QStringList& cells = sheet.rows[u.row];
            for (int c = u.firstCol; c < u.endCol; ++c) {
                if (cells[c].isEmpty()) continue;
                QByteArray cell;
                S::AppendU16(cell, static_cast<uint16_t>(u.row));
                S::AppendU16(cell, static_cast<uint16_t>(c));
                S::AppendU16(cell, kCellXf);
                S::AppendU32(cell, table.IndexOf(cells[c]));
                out.Write(kLabelsst, cell);
            }
        }
        const qsizetype dbcellPos = out.Position();
        QByteArray dbcell;
        S::AppendU32(dbcell, static_cast<uint32_t>(dbcellPos - firstRowPos));
        for (int i = 0; i < cellStarts.size(); ++i) {
            const qsizetype from = i == 0 ? firstRowPos + kRowRecordSize : cellStarts[i - 1];
            S::AppendU16(dbcell, static_cast<uint16_t>(cellStarts[i] - from));
        }
        out.Write(kDbcell, dbcell);
        out.PatchU32(indexPos + 4 + 16 + 4 * b, static_cast<uint32_t>(dbcellPos));
    }

    out.Write(kWindow2, Window2(first));
    out.Write(kEof, {});
}

}  // namespace

QString CheckWorkbookLimits(const QVector<SheetData>& sheets) {
    using namespace workbooklimits;
    if (sheets.isEmpty()) return QStringLiteral("工作簿至少要有一个工作表");
    QSet<QString> names;
    for (const SheetData& sheet : sheets) {
        const QString& name = sheet.name;
        if (name.isEmpty()) return QStringLiteral("工作表名称不能为空");
        if (name.size() > kMaxSheetNameChars)
            return QStringLiteral("工作表名称“%1”超过 %2 个字符").arg(name).arg(kMaxSheetNameChars);
        for (QChar c : name) {
            if (QStringView(u":\\/?*[]").contains(c))
                return QStringLiteral("工作表名称“%1”含有不允许的字符 %2").arg(name, c);
        }
        if (name.startsWith(u'\'') || name.endsWith(u'\''))
            return QStringLiteral("工作表名称“%1”不能以单引号开头或结尾").arg(name);
        if (names.contains(name.toCaseFolded()))
            return QStringLiteral("工作表名称“%1”重复").arg(name);
        names.insert(name.toCaseFolded());

        if (sheet.rows.size() > kMaxRows)
            return QStringLiteral("工作表“%1”有 %2 行，超过 %3 行的上限")
                .arg(name)
                .arg(sheet.rows.size())
                .arg(kMaxRows);
        for (int r = 0; r < sheet.rows.size(); ++r) {
            const QStringList& cells = sheet.rows[r];
            // Trailing empty cells take no column, so only the last non-empty one counts.
            for (int c = static_cast<int>(cells.size()) - 1; c >= kMaxColumns; --c) {
                if (!cells[c].isEmpty())
                    return QStringLiteral("工作表“%1”第 %2 行超过 %3 列的上限")
                        .arg(name)
                        .arg(r + 1)
                        .arg(kMaxColumns);
            }
            for (int c = 0; c < cells.size(); ++c) {
                if (cells[c].size() > kMaxCellChars)
                    return QStringLiteral("工作表“%1”第 %2 行第 %3 列的文字超过 %4 个字符")
                        .arg(name)
                        .arg(r + 1)
                        .arg(c + 1)
                        .arg(kMaxCellChars);
            }
        }
    }
    return {};
}

int CutToCellLimit(QVector<SheetData>& sheets) {
    using workbooklimits::kMaxCellChars;
    int cut = 0;
    for (SheetData& sheet : sheets) {
        for (QStringList& cells : sheet.rows) {
            for (QString& text : cells) {
                if (text.size() <= kMaxCellChars) continue;
                const bool partsPair = text[kMaxCellChars - 1].isHighSurrogate() &&
                                       text[kMaxCellChars].isLowSurrogate();
                text.truncate(partsPair ? kMaxCellChars - 1 : kMaxCellChars);
                ++cut;
            }
        }
    }
    return cut;
}

QByteArray BuildWorkbookStream(const QVector<SheetData>& sheets) {
    const QString problem = CheckWorkbookLimits(sheets);
    if (!problem.isEmpty()) throw std::invalid_argument(problem.toStdString());

    StringTable table;
    for (const SheetData& sheet : sheets) {
        for (const QStringList& cells : sheet.rows) {
            for (const QString& text : cells) {
                if (!text.isEmpty()) table.Add(text);
            }
        }
    }

    BiffRecordStream out;
    out.Write(kBof, Bof(kBofGlobals));
    out.Write(kCodepage, U16Body(1200));  // UTF-16
    out.Write(kWindow1, Window1());
    out.Write(kDatemode, U16Body(0));  // dates count from 1900
    for (int i = 0; i < kFontCount; ++i) out.Write(kFont, Font());
    for (int i = 0; i < kStyleXfCount; ++i) out.Write(kXf, Xf(true));
    out.Write(kXf, Xf(false));
    out.Write(kStyle, NormalStyle());

    QVector<qsizetype> sheetOffsetFields;
    for (const SheetData& sheet : sheets) {
        sheetOffsetFields.append(out.Position() + 4);
        QByteArray b;
        S::AppendU32(b, 0);  // position of the sheet's BOF, patched below
        S::AppendU16(b, 0);  // visible worksheet
        S::AppendShortString(b, sheet.name);
        out.Write(kBoundsheet, b);
    }
    WriteSharedStrings(out, table);
    out.Write(kEof, {});

    for (int i = 0; i < sheets.size(); ++i) {
        out.PatchU32(sheetOffsetFields[i], static_cast<uint32_t>(out.Position()));
        WriteSheet(out, sheets[i], table, i == 0);
    }
    return out.Bytes();
}
