#pragma once

#include "authoring/questionsource.h"

#include <QStringList>

#include <functional>
#include <map>

namespace authoring {

// Told about the work as it goes: each note on a record that is kept (an
// answer taken as its capital), and every few thousand records the count so far.
struct ImportHooks
{
    std::function<void(const QString &)> note;
    std::function<void(qint64 records)> progress;
    // When set, a question the program cannot drill (multiple-answer,
    // fill-in, essay) is left out and told here, instead of being an error.
    std::function<void(const QString &)> skipped;
};

struct ImportOutcome
{
    qint64 written = 0;
    qint64 practised = 0; // written with xx = 1
    qint64 notes = 0;     // notes told through the hooks
    // The questions left out through ImportHooks::skipped, by kind.
    std::map<QuestionKind, qint64> skipped;
    // The first bad records, each with its place; nothing is written when any.
    QStringList errors;
    qint64 errorCount = 0;
};

inline constexpr int kErrorsShown = 20;

// Writes a new bank at `bankPath` from every record of `source`, in one pass,
// or nothing at all when any record is bad: the bad ones are still read to the
// end, so that the first of them can be named and all of them counted. The
// bank is written on a thread of its own while the file is read on the calling
// thread, which is also the one the hooks are called on. False, with the
// reason in `error`, when nothing was written: the file could not be read,
// the bank not written, or records are bad (`outcome` then names the first
// of them and counts them all).
bool importSource(QuestionSource &source, const QString &bankPath, const QString &password,
                  ImportOutcome *outcome, QString *error, const ImportHooks &hooks = {});

} // namespace authoring
