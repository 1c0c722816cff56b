// Reading and replacing the stored register (table settab) through a window's query object.
#pragma once

#include <QVector>
#include <optional>

#include "RegisterRules.h"

class TQuery;

namespace registerstore {

// Every stored row, in ascending number (rows without a number first).
QVector<registerrules::RegisterRecord> LoadAll(TQuery& query);

// The stored row of a sensor ID (6 characters; stored IDs carry a trailing blank), if any.
std::optional<registerrules::RegisterRecord> FindById(TQuery& query, const QString& id);

// Replaces the whole register with records, top to bottom, in one transaction on the station's
// connection: a failing statement rolls everything back, so the stored register is either the
// old one or the new one, never empty or half written. Throws DatabaseError.
void ReplaceAll(TQuery& query, const QVector<registerrules::RegisterRecord>& records);

}  // namespace registerstore
