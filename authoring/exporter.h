#pragma once

#include "authoring/questionsource.h"

#include <functional>

namespace authoring {

enum class ExportLayout
{
    Bank,    // id,tm,da,xx
    Template // 题干,A,B,C,D,答案, the question split where composeQuestion made it
};

// Writes every record of `source` to `target` in `layout`: a .csv in UTF-8
// with a byte order mark, CR LF record ends and RFC 4180 quoting, or an .xlsx
// with one sheet. In the template a question not in the composed form goes
// whole into 题干 and its row, counting from 1, is told to `unsplit`. The
// file appears whole or not at all and never replaces one that exists.
// `written` receives the number of questions; false with the reason in
// `error` when no file was written.
bool exportSource(QuestionSource &source, const QString &target, ExportLayout layout,
                  qint64 *written, QString *error,
                  const std::function<void(qint64 row)> &unsplit = {},
                  const std::function<void(qint64 records)> &progress = {});

// One field as RFC 4180 writes it: quoted when it holds a comma, a quote or a
// line break, with each quote doubled.
QByteArray csvField(const QString &value);

} // namespace authoring
