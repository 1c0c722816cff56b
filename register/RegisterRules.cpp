#include "RegisterRules.h"

#include <QHash>

#include "BusProtocol.h"
#include "Conversions.h"
#include "StationError.h"

namespace registerrules {
namespace {

bool IsAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool IsUpperHexDigit(QChar c) {
    return IsAsciiDigit(c) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// The character check of a limit: at most 7 characters, an optional leading '-', then digits
// and points. Whether the text really is a number is left to the conversion.
EditCheck CheckLimit(const QString& text, Column field) {
    const QString t = text.trimmed();
    if (t.size() > 7) return {false, QStringLiteral("报警值不能大于7位数！"), field};
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (i == 0 && c == QLatin1Char('-')) continue;
        if (IsAsciiDigit(c) || c == QLatin1Char('.')) continue;
        return {false, QStringLiteral("报警值必须为数字！"), field};
    }
    return {};
}

// A limit typed as 0 (also -0 or 0.00) would mean "no limit" once stored; it is kept active.
void ReplaceZeroLimit(QString& text) {
    if (text.isEmpty()) return;
    if (StrToFloat(text) == 0) text = QString::number(kZeroLimit);
}

double LimitFromCell(const QString& text, int gridRow) {
    if (text.trimmed().isEmpty()) return 0;
    try {
        return StrToFloat(text);
    } catch (const ConvertError&) {
        throw ConvertError(QStringLiteral("第%1行: '%2' is not a valid floating point value")
                               .arg(gridRow)
                               .arg(text));
    }
}

}  // namespace

QString NumberPrompt() {
    return QStringLiteral("请输入编号");
}

EditCheck CheckEdits(EditTexts& e) {
    if (e.number == NumberPrompt()) e.number.clear();

    const QString number = e.number.trimmed();
    if (number.size() > 6) return {false, QStringLiteral("编号不能大于6位数！"), ColNumber};
    for (QChar c : number)
        if (!IsAsciiDigit(c)) return {false, QStringLiteral("编号必须为数字！"), ColNumber};

    QString id = e.id.trimmed();
    if (id.size() != 6) return {false, QStringLiteral("输入ID必须为6位数！"), ColId};
    for (QChar& c : id) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) c = c.toUpper();
        if (!IsUpperHexDigit(c)) return {false, QStringLiteral("请核对ID后重新输入！"), ColId};
    }
    e.id = id;

    if (EditCheck high = CheckLimit(e.high, ColHigh); !high.ok) return high;
    ReplaceZeroLimit(e.high);
    ReplaceZeroLimit(e.low);
    if (EditCheck low = CheckLimit(e.low, ColLow); !low.ok) return low;
    return {};
}

std::optional<Duplicate> FindDuplicate(const QVector<QStringList>& rows) {
    auto cell = [&](int i, int col) { return col < rows[i].size() ? rows[i][col] : QString(); };
    // Later rows by text, so that each row finds its nearest later twin without comparing
    // every pair.
    QHash<QString, QVector<int>> byNumber, byId;
    for (int i = 0; i < rows.size(); ++i) {
        if (!cell(i, ColNumber).isEmpty()) byNumber[cell(i, ColNumber)].append(i);
        if (!cell(i, ColId).isEmpty()) byId[cell(i, ColId)].append(i);
    }
    auto nextAfter = [](const QHash<QString, QVector<int>>& index, const QString& key, int i) {
        if (key.isEmpty()) return -1;
        const QVector<int>& list = index[key];
        const auto it = std::upper_bound(list.begin(), list.end(), i);
        return it == list.end() ? -1 : *it;
    };
    for (int i = 0; i < rows.size(); ++i) {
        const int jn = nextAfter(byNumber, cell(i, ColNumber), i);
        const int ji = nextAfter(byId, cell(i, ColId), i);
        if (jn < 0 && ji < 0) continue;
        const int j = jn < 0 ? ji : (ji < 0 ? jn : std::min(jn, ji));
        // For the same later row the number is reported before the ID.
        if (j == jn)
            return Duplicate{
                j, QStringLiteral("编号“") + cell(i, ColNumber) + QStringLiteral("”重复")};
        return Duplicate{j, QStringLiteral("ID“") + cell(i, ColId) + QStringLiteral("”重复")};
    }
    return std::nullopt;
}

RegisterRecord RecordFromRow(const QStringList& cells, int gridRow) {
    auto cell = [&](int col) { return col < cells.size() ? cells[col] : QString(); };
    RegisterRecord r;
    // "0" in front: a blank number is 0, and a number with leading zeros keeps its value.
    try {
        r.code = StrToInt(QStringLiteral("0") + cell(ColNumber));
    } catch (const ConvertError&) {
        throw ConvertError(QStringLiteral("第%1行: '%2' is not a valid integer value")
                               .arg(gridRow)
                               .arg(cell(ColNumber)));
    }
    r.codeid = cell(ColId) + QLatin1Char(' ');
    r.fix = cell(ColLocation).trimmed() + QLatin1Char(' ');
    r.almhigh = LimitFromCell(cell(ColHigh), gridRow);
    r.almlow = LimitFromCell(cell(ColLow), gridRow);
    r.remark = cell(ColRemark).trimmed() + QLatin1Char(' ');
    return r;
}

QStringList RowFromRecord(const RegisterRecord& r) {
    return {r.code == 0 ? QString() : QString::number(r.code),
            r.codeid,
            r.fix,
            LimitText(r.almhigh),
            LimitText(r.almlow),
            r.remark};
}

QString LimitText(double value) {
    return value == 0 ? QString() : busprotocol::TemperatureText(value);
}

bool RowIsBlank(const QStringList& cells) {
    for (const QString& c : cells)
        if (!c.trimmed().isEmpty()) return false;
    return true;
}

}  // namespace registerrules
