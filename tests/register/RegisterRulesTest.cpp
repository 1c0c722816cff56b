// The register's rules without a window: edit checks, duplicates, row conversion.
#include <gtest/gtest.h>

#include "RegisterRules.h"
#include "RegisterTestSupport.h"
#include "StationError.h"

using namespace registerrules;

namespace {

EditTexts Edits(QString number, QString id, QString high = QString(), QString low = QString()) {
    return {number, id, QStringLiteral("hall"), high, low, QStringLiteral("note")};
}

}  // namespace

TEST(CheckEdits, NumberRules) {
    EditTexts e = Edits("1234567", "0A1B2C");
    EditCheck c = CheckEdits(e);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, "编号不能大于6位数！");
    EXPECT_EQ(c.field, ColNumber);

    for (const char* bad : {"12a", "-5", "1 2", "１２"}) {  // full-width digits are no number
        e = Edits(bad, "0A1B2C");
        c = CheckEdits(e);
        EXPECT_FALSE(c.ok) << bad;
        EXPECT_EQ(c.message, "编号必须为数字！") << bad;
    }
    // Blank, surrounding blanks and the prompt pass; the prompt is emptied.
    for (const char* good : {"", "  ", " 000123 ", "请输入编号"}) {
        e = Edits(good, "0A1B2C");
        EXPECT_TRUE(CheckEdits(e).ok) << good;
    }
    EXPECT_EQ(e.number, "");
    // The prompt with a digit typed after it is no prompt any more.
    e = Edits("请输入编号1", "0A1B2C");
    EXPECT_EQ(CheckEdits(e).message, "编号必须为数字！");
}

TEST(CheckEdits, IdIsSixHexDigitsAndBecomesUpperCase) {
    EditTexts e = Edits("", " 0a1b2c ");
    ASSERT_TRUE(CheckEdits(e).ok);
    EXPECT_EQ(e.id, "0A1B2C");

    e = Edits("", "0A1B2G");
    EditCheck c = CheckEdits(e);
    EXPECT_EQ(c.message, "请核对ID后重新输入！");
    EXPECT_EQ(c.field, ColId);
    EXPECT_EQ(e.id, "0A1B2G");  // kept as typed

    e = Edits("", "0a1b2g");
    EXPECT_EQ(CheckEdits(e).message, "请核对ID后重新输入！");
    EXPECT_EQ(e.id, "0a1b2g");

    for (const char* bad : {"0A1B2", "0A1B2C3", "", "      "}) {
        e = Edits("", bad);
        c = CheckEdits(e);
        EXPECT_EQ(c.message, "输入ID必须为6位数！") << bad;
        EXPECT_EQ(c.field, ColId);
    }
    // The number is checked first.
    e = Edits("x", "0A1B2");
    EXPECT_EQ(CheckEdits(e).message, "编号必须为数字！");
}

TEST(CheckEdits, LimitCharacterChecks) {
    EditTexts e = Edits("", "0A1B2C", "12345678");
    EditCheck c = CheckEdits(e);
    EXPECT_EQ(c.message, "报警值不能大于7位数！");
    EXPECT_EQ(c.field, ColHigh);

    e = Edits("", "0A1B2C", "1-2");
    EXPECT_EQ(CheckEdits(e).message, "报警值必须为数字！");
    e = Edits("", "0A1B2C", "+5");
    EXPECT_EQ(CheckEdits(e).message, "报警值必须为数字！");

    e = Edits("", "0A1B2C", "30", "-1234567");  // 8 characters
    c = CheckEdits(e);
    EXPECT_EQ(c.message, "报警值不能大于7位数！");
    EXPECT_EQ(c.field, ColLow);

    e = Edits("", "0A1B2C", " -10.5 ", "-20");
    EXPECT_TRUE(CheckEdits(e).ok);
    EXPECT_EQ(e.high, " -10.5 ");  // only a zero is rewritten
}

TEST(CheckEdits, ZeroLimitsBecomeOneStep) {
    for (const char* zero : {"0", "-0", "0.00", " 0 ", ".0"}) {
        EditTexts e = Edits("", "0A1B2C", zero, zero);
        ASSERT_TRUE(CheckEdits(e).ok) << zero;
        EXPECT_EQ(e.high, "0.0625") << zero;
        EXPECT_EQ(e.low, "0.0625") << zero;
    }
    EditTexts e = Edits("", "0A1B2C", "", "");
    ASSERT_TRUE(CheckEdits(e).ok);
    EXPECT_EQ(e.high, "");
    EXPECT_EQ(e.low, "");
}

TEST(CheckEdits, LimitsThatAreNoNumberFailInTheConversion) {
    for (const char* bad : {"1.2.3", "-", ".", "   "}) {
        EditTexts e = Edits("", "0A1B2C", bad);
        EXPECT_THROW(CheckEdits(e), ConvertError) << bad;
    }
    // The low limit is converted before its characters are checked.
    EditTexts e = Edits("", "0A1B2C", "0", "abc");
    try {
        CheckEdits(e);
        FAIL() << "no conversion error";
    } catch (const ConvertError& err) {
        EXPECT_TRUE(err.Message().contains("'abc'"));
    }
    EXPECT_EQ(e.high, "0.0625");  // done before the failure
}

namespace {

QStringList Row(QString number, QString id) {
    return {number, id, "", "", "", ""};
}

}  // namespace

TEST(FindDuplicate, NumbersAndIdsAsExactText) {
    EXPECT_FALSE(FindDuplicate({Row("12", "A"), Row("0012", "B")}));  // compared as text
    EXPECT_FALSE(FindDuplicate({Row("", ""), Row("", ""), Row("", "")}));
    EXPECT_FALSE(FindDuplicate({Row("", "0a1b2c"), Row("", "0A1B2C")}));

    auto d = FindDuplicate({Row("1", "A"), Row("2", "B"), Row("1", "C")});
    ASSERT_TRUE(d);
    EXPECT_EQ(d->index, 2);
    EXPECT_EQ(d->message, "编号“1”重复");

    d = FindDuplicate({Row("", "0A1B2C"), Row("", "111111"), Row("", "0A1B2C")});
    ASSERT_TRUE(d);
    EXPECT_EQ(d->index, 2);
    EXPECT_EQ(d->message, "ID“0A1B2C”重复");
}

TEST(FindDuplicate, FirstRowWithATwinThenItsNearestTwin) {
    // Row 0's twin (row 3) is reported before the closer pair of rows 1 and 2.
    auto d = FindDuplicate({Row("1", "A"), Row("2", "B"), Row("2", "C"), Row("1", "D")});
    ASSERT_TRUE(d);
    EXPECT_EQ(d->index, 3);
    EXPECT_EQ(d->message, "编号“1”重复");
    // An ID twin nearer than the number twin comes first.
    d = FindDuplicate({Row("1", "A"), Row("2", "A"), Row("1", "C")});
    ASSERT_TRUE(d);
    EXPECT_EQ(d->index, 1);
    EXPECT_EQ(d->message, "ID“A”重复");
    // Both in the same row: the number is named.
    d = FindDuplicate({Row("1", "A"), Row("1", "A")});
    ASSERT_TRUE(d);
    EXPECT_EQ(d->message, "编号“1”重复");
}

TEST(RecordFromRow, StoredForm) {
    RegisterRecord r = RecordFromRow({"0012", "0A1B2C", "  hall ", "30", "-10.5", " x "}, 1);
    EXPECT_EQ(r.code, 12);
    EXPECT_EQ(r.codeid, "0A1B2C ");
    EXPECT_EQ(r.fix, "hall ");
    EXPECT_DOUBLE_EQ(r.almhigh, 30);
    EXPECT_DOUBLE_EQ(r.almlow, -10.5);
    EXPECT_EQ(r.remark, "x ");

    r = RecordFromRow({"", "", "", "", "", ""}, 1);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.codeid, " ");
    EXPECT_EQ(r.fix, " ");
    EXPECT_EQ(r.remark, " ");
    EXPECT_EQ(r.almhigh, 0);
    EXPECT_EQ(r.almlow, 0);
}

TEST(RecordFromRow, BadTextsNameTheRowAndTheText) {
    struct Case {
        QStringList cells;
        QString text;
    };
    const Case cases[] = {
        {{"12x", "A", "", "", "", ""}, "'12x'"},
        {{"9999999999", "A", "", "", "", ""}, "'9999999999'"},
        {{"-5", "A", "", "", "", ""}, "'-5'"},
        {{"1", "A", "", "1.2.3", "", ""}, "'1.2.3'"},
        {{"1", "A", "", "", "warm", ""}, "'warm'"},
    };
    for (const Case& c : cases) {
        try {
            RecordFromRow(c.cells, 7);
            ADD_FAILURE() << c.text.toStdString();
        } catch (const ConvertError& e) {
            EXPECT_TRUE(e.Message().startsWith("第7行")) << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(c.text)) << e.Message().toStdString();
        }
    }
}

TEST(RowFromRecord, ZeroNumberAndLimitsAreBlank) {
    RegisterRecord r{0, "0A1B2C ", "hall ", 0, -0.0, "x "};
    EXPECT_EQ(RowFromRecord(r), QStringList({"", "0A1B2C ", "hall ", "", "", "x "}));
    r = {5, "0A1B2C ", "hall ", 0.0625, -10, "x "};
    EXPECT_EQ(RowFromRecord(r), QStringList({"5", "0A1B2C ", "hall ", "0.0625", "-10", "x "}));
    r.almhigh = 25.5;
    EXPECT_EQ(LimitText(r.almhigh), "25.5");
}
