#pragma once

#include "practice/frontend.h"

#include <QString>

#include <array>

namespace bank {
class Query;
}

namespace practice {

// One question of a practice set. After new-question practice `id` is the
// question's id; after a random draw it is the record number that was drawn.
struct fdt
{
    qint32 id = 0;
    QString tm;
    QString da;
};

inline constexpr int kSetCapacity = 100;

// A question as the study page shows it: its text, then its answer.
QString studyPageText(const QString &tm, const QString &da);

// The practice set: only slots below tmcount belong to it; a new set
// overwrites slots from 0 upwards and leaves the rest as they were.
struct WorkingSet
{
    std::array<fdt, kSetCapacity> tmlist;
    int tmcount = 0;
    int tmindex = 0;
    QString tmanswer; // the answer of the question last put on the test page
};

// Builds practice sets from the bank, moves through them and checks answers,
// showing everything through a Frontend. Errors from the bank propagate as
// bank::BankError after the set has been left in a sound state.
class Drill
{
public:
    explicit Drill(Frontend &frontend) : m_frontend(frontend) {}

    const WorkingSet &set() const { return m_set; }

    // Puts the current question on the study page (atype 1) or the test page
    // (atype 2); any other value does nothing.
    void showtm(int atype);

    // The next unpractised questions in store order, each marked practised in
    // the bank as it is taken.
    void newPractice(bank::Query &query);
    // A random draw of practised questions.
    void review(bank::Query &query);
    // A random draw of all questions.
    void randomPractice(bank::Query &query);

    void previous(int atype);
    void next(int atype);
    void startTest();
    void backToStudy();
    // Checks the text of an answer button against the answer on the test page.
    void answer(const QString &choice);

private:
    void drawFrom(bank::Query &query, int rows);
    void adopt(const std::array<fdt, kSetCapacity> &taken, int count);

    Frontend &m_frontend;
    WorkingSet m_set;
};

} // namespace practice
