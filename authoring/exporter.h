#pragma once

#include "authoring/questionsource.h"

#include <functional>

namespace authoring {

// Writes every record of `source` to `target` in the bank's own columns
// id,tm,da,xx: a .csv in UTF-8 with a byte order mark, CR LF record ends and
// RFC 4180 quoting, or an .xlsx with one sheet. The file appears whole or not
// at all and never replaces one that exists. Returns an empty string on
// success, else the reason; `written` receives the number of questions.
QString exportSource(QuestionSource &source, const QString &target, qint64 *written,
                     const std::function<void(qint64 records)> &progress = {});

// One field as RFC 4180 writes it: quoted when it holds a comma, a quote or a
// line break, with each quote doubled.
QByteArray csvField(const QString &value);

} // namespace authoring
