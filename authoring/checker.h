#pragma once

#include "authoring/questionsource.h"

#include <QHash>
#include <QStringList>

namespace authoring {

// Looks at the records of one source as a whole. For a new bank only the
// faults that keep a record out count: its own errors and an id used before;
// a question seen before is only noted. A lint also names what a bank can
// hold but the program cannot use, and a question seen before.
class Checker
{
public:
    enum class Mode
    {
        Create,
        Lint
    };
    Checker(const QuestionSource &source, Mode mode) : m_source(source), m_mode(mode) {}

    // The problems of one record; empty when it is good. Notes go to the record.
    QStringList check(SourceRecord &record);
    // Where a record is, in words: its line or row, and for a bank its id.
    QString describe(const SourceRecord &record) const;

private:
    // "题目与第 3 行的相同" for a question seen before, else nothing.
    QString repeated(const bank::Question &q, qint64 location);

    const QuestionSource &m_source;
    Mode m_mode;
    QHash<qint64, qint64> m_ids;   // id → where it was first seen
    QHash<size_t, qint64> m_texts; // hash of a question → where it was first seen
};

// The figures `stats` reports.
struct Stats
{
    qint64 total = 0;
    qint64 practised = 0;
    qint64 fresh = 0;
    qint64 otherFlags = 0; // xx neither 0 nor 1, NULL included
    qint64 answers[4] = {};
    qint64 otherAnswers = 0;

    void add(const bank::Question &question);
};

} // namespace authoring
