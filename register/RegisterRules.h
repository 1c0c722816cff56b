// The rules of the sensor register that need no window: checking the operator's edits, the
// duplicate check before a save, and the conversion between grid texts and stored rows.
//
// Grid rows are the six texts of the register grid: number, ID, location, high limit, low
// limit, remark. A blank number or limit means "none" and is stored as 0.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>
#include <optional>

namespace registerrules {

inline constexpr int kColumns = 6;
enum Column { ColNumber = 0, ColId = 1, ColLocation = 2, ColHigh = 3, ColLow = 4, ColRemark = 5 };

// Shown in the number edit while the selected row has no number.
QString NumberPrompt();

// A limit entered as 0 is kept as one step of the sensors' resolution, so it stays active.
inline constexpr double kZeroLimit = 0.0625;

// The six edit fields of the register window, as typed.
struct EditTexts {
    QString number, id, location, high, low, remark;
};

struct EditCheck {
    bool ok = true;
    QString message;           // shown to the operator when !ok
    Column field = ColNumber;  // the edit that gets the focus when !ok
};

// Checks the edits in the window's order and normalises them in place: the number prompt is
// emptied, a valid ID becomes upper case, a limit that is 0 becomes "0.0625". Stops at the
// first failure. A limit that passes the character check but is no number (two points, a
// lone "-") throws ConvertError from the zero replacement; the edits changed so far stay
// changed.
EditCheck CheckEdits(EditTexts& edits);

// The first repeated number or ID among the rows (index 0 = grid row 1), searched the way an
// operator reads the list: for the first row that has a later twin, its nearest twin. A blank
// number or ID is never a duplicate; texts are compared exactly.
struct Duplicate {
    int index;  // index of the later row of the pair
    QString message;
};
std::optional<Duplicate> FindDuplicate(const QVector<QStringList>& rows);

// One register row as stored in settab.
struct RegisterRecord {
    int32_t code = 0;
    QString codeid;  // trailing blank included
    QString fix;
    double almhigh = 0;
    double almlow = 0;
    QString remark;
};

// Converts a grid row for storing; gridRow is only used to name the row in an error.
// Throws ConvertError naming the row and the text when the number or a limit is no number.
RegisterRecord RecordFromRow(const QStringList& cells, int gridRow);

// The grid texts of a stored row: number and limits blank when 0, texts exactly as stored.
QStringList RowFromRecord(const RegisterRecord& record);

// Text of a stored limit: blank for 0 (no limit), otherwise its shortest decimal text.
QString LimitText(double value);

// True when every cell of the row is blank.
bool RowIsBlank(const QStringList& cells);

}  // namespace registerrules
