#include "WorkbookScan.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <QDate>
#include <QFile>
#include <QHash>
#include <QTime>
#include <cmath>
#include <cstring>
#include <mutex>

#include "NumberText.h"

namespace {

// Record types read here.
constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kBofBiff2 = 0x0009;
constexpr uint16_t kBofBiff3 = 0x0209;
constexpr uint16_t kBofBiff4 = 0x0409;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kFilepass = 0x002F;
constexpr uint16_t kDatemode = 0x0022;
constexpr uint16_t kFormat = 0x041E;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kBoundsheet = 0x0085;
constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kLabelsst = 0x00FD;
constexpr uint16_t kLabel = 0x0204;
constexpr uint16_t kRstring = 0x00D6;
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kRk = 0x027E;
constexpr uint16_t kMulrk = 0x00BD;
constexpr uint16_t kBoolerr = 0x0205;
constexpr uint16_t kFormula = 0x0006;
constexpr uint16_t kString = 0x0207;

constexpr uint16_t kBiff8 = 0x0600;

struct ScanFailure {
    WorkbookScan::Status status;
    QString problem;
};

[[noreturn]] void Fail(const QString& problem) {
    throw ScanFailure{WorkbookScan::Status::Damaged, problem};
}

uint16_t U16At(const char* p) {
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}

uint32_t U32At(const char* p) {
    return U16At(p) | (static_cast<uint32_t>(U16At(p + 2)) << 16);
}

double DoubleAt(const char* p) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<uint8_t>(p[i]);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// One record with the bodies of the CONTINUE records that follow it.
struct Record {
    uint16_t type = 0;
    QVector<QByteArrayView> pieces;
    QByteArrayView Body() const { return pieces.first(); }
};

// Walks the records of the stream from a position.
class RecordWalker {
  public:
    RecordWalker(const QByteArray& stream, qsizetype pos) : stream_(stream), pos_(pos) {}

    bool AtEnd() const { return pos_ >= stream_.size(); }

    Record Next() {
        Record r;
        r.type = Header(r.pieces);
        // A record's data goes on in the CONTINUE records right after it.
        while (pos_ + 4 <= stream_.size() && U16At(stream_.constData() + pos_) == kContinue)
            Header(r.pieces);
        return r;
    }

  private:
    uint16_t Header(QVector<QByteArrayView>& pieces) {
        if (pos_ + 4 > stream_.size()) Fail(QStringLiteral("record header past the end"));
        const uint16_t type = U16At(stream_.constData() + pos_);
        const uint16_t length = U16At(stream_.constData() + pos_ + 2);
        if (pos_ + 4 + length > stream_.size()) Fail(QStringLiteral("record body past the end"));
        pieces.append(QByteArrayView(stream_.constData() + pos_ + 4, length));
        pos_ += 4 + length;
        return type;
    }

    const QByteArray& stream_;
    qsizetype pos_;
};

// Reads a record's data across its CONTINUE records. Plain data runs straight on from one
// record into the next; a string's characters that go on in the next record are preceded
// there by a new flags byte that says whether they are stored one or two bytes each.
class PieceReader {
  public:
    explicit PieceReader(const Record& record) : pieces_(record.pieces) {}

    uint8_t U8() {
        char b[1];
        Read(b, 1);
        return static_cast<uint8_t>(b[0]);
    }
    uint16_t U16() {
        char b[2];
        Read(b, 2);
        return U16At(b);
    }
    uint32_t U32() {
        char b[4];
        Read(b, 4);
        return U32At(b);
    }
    void Skip(qint64 n) {
        while (n > 0) {
            EnsureData();
            const qsizetype step = std::min<qint64>(n, Left());
            offset_ += step;
            n -= step;
        }
    }

    // count characters, stored one byte each unless wide.
    QString Chars(int count, bool wide) {
        QString out;
        out.reserve(count);
        while (count > 0) {
            if (Left() == 0) {
                NextPiece();
                wide = (U8() & 0x01) != 0;
                continue;
            }
            const qsizetype size = wide ? 2 : 1;
            const qsizetype n = std::min<qsizetype>(count, Left() / size);
            if (n == 0) Fail(QStringLiteral("character split between records"));
            const char* p = pieces_[index_].data() + offset_;
            for (qsizetype i = 0; i < n; ++i) {
                out.append(wide ? QChar(U16At(p + 2 * i)) : QChar(static_cast<uint8_t>(p[i])));
            }
            offset_ += n * size;
            count -= static_cast<int>(n);
        }
        return out;
    }

    // A string with a 16-bit character count and a flags byte (no rich text or phonetic data).
    QString UnicodeString() {
        const uint16_t count = U16();
        const uint8_t flags = U8();
        return Chars(count, (flags & 0x01) != 0);
    }

    // A string of the shared string table, possibly with rich text runs and phonetic data.
    QString RichString() {
        const uint16_t count = U16();
        const uint8_t flags = U8();
        const uint16_t runs = (flags & 0x08) ? U16() : 0;
        const uint32_t extra = (flags & 0x04) ? U32() : 0;
        QString text = Chars(count, (flags & 0x01) != 0);
        Skip(4 * static_cast<qint64>(runs));
        Skip(extra);
        return text;
    }

  private:
    qsizetype Left() const { return pieces_[index_].size() - offset_; }
    void NextPiece() {
        if (index_ + 1 >= pieces_.size()) Fail(QStringLiteral("string past the end of its record"));
        ++index_;
        offset_ = 0;
    }
    void EnsureData() {
        while (Left() == 0) NextPiece();
    }
    void Read(char* out, qsizetype n) {
        while (n > 0) {
            EnsureData();
            const qsizetype step = std::min(n, Left());
            std::memcpy(out, pieces_[index_].data() + offset_, step);
            out += step;
            offset_ += step;
            n -= step;
        }
    }

    const QVector<QByteArrayView>& pieces_;
    qsizetype index_ = 0;
    qsizetype offset_ = 0;
};

enum class NumberStyle { Plain, Date, Time, DateTime };

// What a number format shows a number as: a date, a time of day, both, or a plain number.
// Only the first section counts; quoted texts, escaped characters and bracketed colours and
// conditions are passed over.
NumberStyle StyleOfFormatCode(const QString& code) {
    QString parts;  // one letter per run of y, m, d, h or s
    bool quoted = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i].toLower();
        if (quoted) {
            quoted = c != u'"';
            continue;
        }
        if (c == u'"') {
            quoted = true;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;  // the next character is shown as it is, or is padding
        } else if (c == u'[') {
            // [h], [mm] and [ss] are elapsed times; anything else in brackets is not shown.
            const qsizetype end = code.indexOf(u']', i);
            if (end < 0) break;
            const QString inner = code.mid(i + 1, end - i - 1).toLower();
            if (!inner.isEmpty() && QStringView(u"hms").contains(inner[0]) &&
                inner.count(inner[0]) == inner.size())
                parts += u'h';
            i = end;
        } else if (c == u';') {
            break;
        } else if (QStringView(u"ymdhs").contains(c)) {
            if (parts.isEmpty() || parts.back() != c || i == 0 || code[i - 1].toLower() != c)
                parts += c;
        }
    }
    bool date = false;
    bool time = false;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QChar c = parts[i];
        if (c == u'h' || c == u's') {
            time = true;
        } else if (c == u'm') {
            // Minutes when they follow hours or come before seconds, else months.
            const bool minutes =
                (i > 0 && parts[i - 1] == u'h') || (i + 1 < parts.size() && parts[i + 1] == u's');
            (minutes ? time : date) = true;
        } else {
            date = true;
        }
    }
    if (date && time) return NumberStyle::DateTime;
    if (date) return NumberStyle::Date;
    if (time) return NumberStyle::Time;
    return NumberStyle::Plain;
}

// The built-in number formats that show dates and times (those not stored in the file).
NumberStyle StyleOfBuiltInFormat(int index) {
    if ((index >= 14 && index <= 17) || (index >= 27 && index <= 31) ||
        (index >= 36 && index <= 36) || (index >= 50 && index <= 58))
        return NumberStyle::Date;
    if ((index >= 18 && index <= 21) || (index >= 32 && index <= 35) ||
        (index >= 45 && index <= 47))
        return NumberStyle::Time;
    if (index == 22) return NumberStyle::DateTime;
    return NumberStyle::Plain;
}

// The text of a date serial number (days since the workbook's epoch, the time of day as the
// fraction), or an empty string when it lies outside the years 1900 (1904) to 9999.
QString DateText(double serial, bool from1904, NumberStyle style) {
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466) return {};
    qint64 days = static_cast<qint64>(std::floor(serial));
    qint64 seconds = std::llround((serial - static_cast<double>(days)) * 86400.0);
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    QDate date;
    if (from1904) {
        date = QDate(1904, 1, 1).addDays(days);
    } else {
        // Day 60 is the 29 February 1900 that the format counts although it never was.
        date = days < 61 ? QDate(1899, 12, 31).addDays(days) : QDate(1899, 12, 30).addDays(days);
    }
    const QTime clock = QTime(0, 0).addSecs(static_cast<int>(seconds));
    const QString dayText = date.toString(QStringLiteral("yyyy-MM-dd"));
    const QString timeText = clock.toString(QStringLiteral("HH:mm:ss"));
    switch (style) {
        case NumberStyle::Date:
            return dayText;
        case NumberStyle::Time:
            return timeText;
        case NumberStyle::DateTime:
            return dayText + u' ' + timeText;
        case NumberStyle::Plain:
            break;
    }
    return {};
}

double RkValue(uint32_t rk) {
    double v;
    if (rk & 0x02) {
        v = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100.0 : v;
}

QString ErrorText(uint8_t code) {
    switch (code) {
        case 0x00:
            return QStringLiteral("#NULL!");
        case 0x07:
            return QStringLiteral("#DIV/0!");
        case 0x0F:
            return QStringLiteral("#VALUE!");
        case 0x17:
            return QStringLiteral("#REF!");
        case 0x1D:
            return QStringLiteral("#NAME?");
        case 0x24:
            return QStringLiteral("#NUM!");
        case 0x2A:
            return QStringLiteral("#N/A");
        default:
            return QStringLiteral("#ERROR!");
    }
}

// Booleans read as libfreexl gives boolean constants: 1 and 0.
QString BooleanText(uint8_t value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

class Scanner {
  public:
    explicit Scanner(const QByteArray& stream) : stream_(stream) {}

    QVector<WorkbookScan::Sheet> Run() {
        struct Placement {
            uint32_t position;
            WorkbookScan::Sheet sheet;
        };
        QVector<Placement> placements;
        RecordWalker walker(stream_, 0);
        const Record bof = walker.Next();
        CheckBof(bof);
        bool ended = false;
        while (!ended) {
            if (walker.AtEnd()) Fail(QStringLiteral("workbook globals without an end"));
            const Record r = walker.Next();
            const QByteArrayView body = r.Body();
            switch (r.type) {
                case kEof:
                    ended = true;
                    break;
                case kFilepass:
                    throw ScanFailure{WorkbookScan::Status::Protected, {}};
                case kDatemode:
                    if (body.size() >= 2) from1904_ = U16At(body.data()) == 1;
                    break;
                case kFormat: {
                    PieceReader in(r);
                    const uint16_t index = in.U16();
                    formats_.insert(index, StyleOfFormatCode(in.UnicodeString()));
                    break;
                }
                case kXf:
                    if (body.size() < 4) Fail(QStringLiteral("short cell format"));
                    xfFormats_.append(U16At(body.data() + 2));
                    break;
                case kBoundsheet: {
                    PieceReader in(r);
                    Placement p;
                    p.position = in.U32();
                    in.U8();  // visibility
                    p.sheet.worksheet = in.U8() == 0;
                    const uint8_t count = in.U8();
                    const uint8_t flags = in.U8();
                    p.sheet.name = in.Chars(count, (flags & 0x01) != 0);
                    placements.append(std::move(p));
                    break;
                }
                case kSst:
                    ReadSharedStrings(r);
                    break;
                default:
                    break;
            }
        }

        QVector<WorkbookScan::Sheet> sheets;
        for (Placement& p : placements) {
            if (p.sheet.worksheet) ReadSheet(p.position, p.sheet);
            sheets.append(std::move(p.sheet));
        }
        return sheets;
    }

  private:
    void CheckBof(const Record& bof) {
        if (bof.type == kBofBiff2 || bof.type == kBofBiff3 || bof.type == kBofBiff4)
            throw ScanFailure{WorkbookScan::Status::OlderFormat, {}};
        if (bof.type != kBof || bof.Body().size() < 4) Fail(QStringLiteral("no BOF record"));
        if (U16At(bof.Body().data()) < kBiff8)
            throw ScanFailure{WorkbookScan::Status::OlderFormat, {}};
    }

    void ReadSharedStrings(const Record& r) {
        PieceReader in(r);
        in.U32();  // references
        const uint32_t unique = in.U32();
        strings_.reserve(std::min<uint32_t>(unique, 65536));
        for (uint32_t i = 0; i < unique; ++i) strings_.append(in.RichString());
    }

    QString NumberText(double value, uint16_t xf) const {
        NumberStyle style = NumberStyle::Plain;
        if (xf < xfFormats_.size()) {
            const uint16_t format = xfFormats_[xf];
            style =
                formats_.contains(format) ? formats_.value(format) : StyleOfBuiltInFormat(format);
        }
        if (style != NumberStyle::Plain) {
            const QString date = DateText(value, from1904_, style);
            if (!date.isEmpty()) return date;
        }
        return NumberToText(value);
    }

    void ReadSheet(uint32_t position, WorkbookScan::Sheet& sheet) {
        if (position >= static_cast<uint32_t>(stream_.size()))
            Fail(QStringLiteral("sheet position past the end"));
        RecordWalker walker(stream_, position);
        const Record bof = walker.Next();
        CheckBof(bof);
        int depth = 1;  // charts inside a sheet are substreams of their own
        int pendingRow = -1;
        int pendingColumn = -1;
        auto add = [&](int row, int column, WorkbookScan::Kind kind, QString text) {
            if (text.isEmpty()) return;
            sheet.cells.append({row, column, kind, std::move(text)});
        };
        while (depth > 0) {
            if (walker.AtEnd()) Fail(QStringLiteral("sheet without an end"));
            const Record r = walker.Next();
            if (r.type == kBof) {
                ++depth;
                continue;
            }
            if (r.type == kEof) {
                --depth;
                continue;
            }
            if (depth != 1) continue;
            const QByteArrayView body = r.Body();
            const char* d = body.data();
            switch (r.type) {
                case kLabelsst: {
                    if (body.size() < 10) Fail(QStringLiteral("short LABELSST"));
                    const uint32_t index = U32At(d + 6);
                    if (index >= static_cast<uint32_t>(strings_.size()))
                        Fail(QStringLiteral("shared string index out of range"));
                    add(U16At(d), U16At(d + 2), WorkbookScan::Kind::Text, strings_[index]);
                    break;
                }
                case kLabel:
                case kRstring: {
                    PieceReader in(r);
                    const uint16_t row = in.U16();
                    const uint16_t column = in.U16();
                    in.U16();
                    add(row, column, WorkbookScan::Kind::Text, in.UnicodeString());
                    break;
                }
                case kNumber:
                    if (body.size() < 14) Fail(QStringLiteral("short NUMBER"));
                    add(U16At(d), U16At(d + 2), WorkbookScan::Kind::Number,
                        NumberText(DoubleAt(d + 6), U16At(d + 4)));
                    break;
                case kRk:
                    if (body.size() < 10) Fail(QStringLiteral("short RK"));
                    add(U16At(d), U16At(d + 2), WorkbookScan::Kind::Number,
                        NumberText(RkValue(U32At(d + 6)), U16At(d + 4)));
                    break;
                case kMulrk: {
                    if (body.size() < 12 || (body.size() - 6) % 6 != 0)
                        Fail(QStringLiteral("bad MULRK"));
                    const int count = static_cast<int>((body.size() - 6) / 6);
                    const uint16_t first = U16At(d + 2);
                    for (int i = 0; i < count; ++i) {
                        const char* e = d + 4 + 6 * i;
                        add(U16At(d), first + i, WorkbookScan::Kind::Number,
                            NumberText(RkValue(U32At(e + 2)), U16At(e)));
                    }
                    break;
                }
                case kBoolerr:
                    if (body.size() < 8) Fail(QStringLiteral("short BOOLERR"));
                    add(U16At(d), U16At(d + 2), WorkbookScan::Kind::Number,
                        d[7] ? ErrorText(static_cast<uint8_t>(d[6]))
                             : BooleanText(static_cast<uint8_t>(d[6])));
                    break;
                case kFormula: {
                    if (body.size() < 20) Fail(QStringLiteral("short FORMULA"));
                    const uint16_t row = U16At(d);
                    const uint16_t column = U16At(d + 2);
                    const char* result = d + 6;
                    pendingRow = -1;
                    if (U16At(result + 6) != 0xFFFF) {
                        add(row, column, WorkbookScan::Kind::Formula,
                            NumberText(DoubleAt(result), U16At(d + 4)));
                        break;
                    }
                    switch (static_cast<uint8_t>(result[0])) {
                        case 0:  // text: in the STRING record that follows
                            pendingRow = row;
                            pendingColumn = column;
                            break;
                        case 1:
                            add(row, column, WorkbookScan::Kind::Formula,
                                BooleanText(static_cast<uint8_t>(result[2])));
                            break;
                        case 2:
                            add(row, column, WorkbookScan::Kind::Formula,
                                ErrorText(static_cast<uint8_t>(result[2])));
                            break;
                        default:  // an empty text
                            break;
                    }
                    break;
                }
                case kString:
                    if (pendingRow >= 0) {
                        PieceReader in(r);
                        add(pendingRow, pendingColumn, WorkbookScan::Kind::Formula,
                            in.UnicodeString());
                        pendingRow = -1;
                    }
                    break;
                default:
                    break;
            }
        }
    }

    const QByteArray& stream_;
    bool from1904_ = false;
    QHash<uint16_t, NumberStyle> formats_;
    QVector<uint16_t> xfFormats_;
    QStringList strings_;
};

void EnsureGsfInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

// The bytes of the compound file's workbook stream; an older workbook keeps its data in a
// stream named "Book" instead.
QByteArray WorkbookStreamOf(const QString& path) {
    EnsureGsfInitialised();
    GError* error = nullptr;
    GsfInput* input = gsf_input_stdio_new(QFile::encodeName(path).constData(), &error);
    if (error) g_error_free(error);
    if (!input) throw ScanFailure{WorkbookScan::Status::NoWorkbook, {}};
    error = nullptr;
    GsfInfile* ole = gsf_infile_msole_new(input, &error);
    g_object_unref(input);
    if (error) g_error_free(error);
    if (!ole) throw ScanFailure{WorkbookScan::Status::NoWorkbook, {}};

    GsfInput* workbook = nullptr;
    bool older = false;
    const int children = gsf_infile_num_children(ole);
    for (int i = 0; i < children && !workbook; ++i) {
        const char* name = gsf_infile_name_by_index(ole, i);
        if (!name) continue;
        if (g_ascii_strcasecmp(name, "Workbook") == 0) {
            workbook = gsf_infile_child_by_index(ole, i);
        } else if (g_ascii_strcasecmp(name, "Book") == 0) {
            older = true;
        }
    }
    g_object_unref(ole);
    if (!workbook) {
        throw ScanFailure{
            older ? WorkbookScan::Status::OlderFormat : WorkbookScan::Status::NoWorkbook, {}};
    }
    const gsf_off_t size = gsf_input_size(workbook);
    QByteArray bytes;
    if (size > 0 && size < (gsf_off_t(1) << 31)) {
        bytes.resize(static_cast<qsizetype>(size));
        if (!gsf_input_read(workbook, static_cast<size_t>(size),
                            reinterpret_cast<guint8*>(bytes.data())))
            bytes.clear();
    }
    g_object_unref(workbook);
    if (bytes.isEmpty()) Fail(QStringLiteral("workbook stream cannot be read"));
    return bytes;
}

}  // namespace

WorkbookScan WorkbookScan::FromStream(const QByteArray& stream) {
    WorkbookScan scan;
    try {
        scan.sheets = Scanner(stream).Run();
        scan.status = Status::Ok;
    } catch (const ScanFailure& failure) {
        scan.status = failure.status;
        scan.problem = failure.problem;
        scan.sheets.clear();
    }
    return scan;
}

WorkbookScan WorkbookScan::FromFile(const QString& path) {
    try {
        return FromStream(WorkbookStreamOf(path));
    } catch (const ScanFailure& failure) {
        WorkbookScan scan;
        scan.status = failure.status;
        scan.problem = failure.problem;
        return scan;
    }
}
