#pragma once

#include <QString>

namespace authoring {

// Puts every practised mark (xx = 1) of the bank back to 0 and changes
// nothing else. `changed` receives the number of marks cleared.
bool resetMarks(const QString &bankPath, qint64 *changed, QString *error);

// The number of practised questions of a bank, for the question `reset` asks.
bool countPractised(const QString &bankPath, qint64 *practised, QString *error);

// Marks practised every question of `newPath` whose text equals that of a
// practised question of `oldPath`, which is only read. `carried` receives the
// number of questions newly marked, `unmatched` the practised questions of
// the old bank whose text the new one does not hold.
bool carryMarks(const QString &oldPath, const QString &newPath, qint64 *carried, qint64 *unmatched,
                QString *error);

} // namespace authoring
