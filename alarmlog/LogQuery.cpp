#include "LogQuery.h"

#include "StatementCatalogue.h"
#include "TQuery.h"

LogQuery LogQuery::Day(int day) {
    return {catalogue::AlarmsOfDay, {{QStringLiteral("day"), day}}};
}

LogQuery LogQuery::Between(int first, int last) {
    return {catalogue::AlarmsBetween,
            {{QStringLiteral("first"), first}, {QStringLiteral("last"), last}}};
}

LogQuery LogQuery::All() {
    return {catalogue::AllAlarms, {}};
}

void LogQuery::PrepareOn(TQuery& q) const {
    q.Prepare(statement);
    for (const auto& p : params) q.SetParam(p.first, p.second);
}
