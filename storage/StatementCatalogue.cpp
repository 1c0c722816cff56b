#include "StatementCatalogue.h"

#include <stdexcept>

namespace catalogue {
namespace {

// Notes on the translation:
// - Rows with the same number keep their insertion order (ID) so that every load is repeatable.
// - Statement 2 compares the stored ID without its trailing blanks and, as the station has
//   always done, without regard to case.
// - "delete * from t" is "delete from t" in SQLite.
const Entry kEntries[kStatementCount] = {
    {1, "select * from settab where code >0 order by code asc",
     "select * from settab where code > 0 order by code asc, ID asc"},
    {2, "select * from settab where codeid='%s'",
     "select * from settab where rtrim(codeid, ' ') = :codeid collate nocase order by ID asc"},
    {3, "Update settab Set almnear=' '", "update settab set almnear = ' '"},
    {4,
     "insert into alming(dates,times,code,fix,almtemp) values(:dates,:times,:code,:fix,:almtemp)",
     "insert into alming(dates, times, code, fix, almtemp) "
     "values(:dates, :times, :code, :fix, :almtemp)"},
    {5, "Update settab Set almnear='%s' where code=%d ",
     "update settab set almnear = :almnear where code = :code"},
    {6, "select * from settab order by code asc ",
     "select * from settab order by code asc, ID asc"},
    {7, "delete * from settab", "delete from settab"},
    {8,
     "insert into settab(code,codeid,fix,almhigh,almlow,remark) "
     "values(:code,:codeid,:fix,:almhigh,:almlow,:remark)",
     "insert into settab(code, codeid, fix, almhigh, almlow, remark) "
     "values(:code, :codeid, :fix, :almhigh, :almlow, :remark)"},
    {9, "select * from alming where dates = %d order by dates desc,times desc",
     "select * from alming where dates = :day order by dates desc, times desc"},
    {10, "select * from alming where dates between %d and %d order by dates desc,times desc",
     "select * from alming where dates between :first and :last order by dates desc, times desc"},
    {11, "delete from alming where dates=%d and times=%d and code=%d",
     "delete from alming where dates = :dates and times = :times and code = :code"},
    {12, "delete *  from alming ", "delete from alming"},
    {13, "select * from alming", "select * from alming"},
};

}  // namespace

const Entry& Get(int n) {
    if (n < 1 || n > kStatementCount) throw std::out_of_range("no such statement");
    return kEntries[n - 1];
}

QString Sql(int n) {
    return QString::fromLatin1(Get(n).sqlite);
}

}  // namespace catalogue
