#include "authoring/importer.h"

#include "authoring/checker.h"
#include "bank/bankfile.h"

namespace authoring {

namespace {

// Thrown from the row source to leave the bank unwritten.
struct Abandon
{
};

constexpr qint64 kProgressEvery = 4096;

} // namespace

ImportOutcome importSource(QuestionSource &source, const QString &bankPath, const QString &password,
                           const ImportHooks &hooks)
{
    ImportOutcome outcome;
    Checker checker(source, Checker::Mode::Create);
    SourceRecord record;
    qint64 records = 0;

    auto nextGood = [&]() -> std::optional<bank::Question> {
        while (source.next(record)) {
            if (hooks.progress && ++records % kProgressEvery == 0)
                hooks.progress(records);
            const QStringList problems = checker.check(record);
            if (!problems.isEmpty()) {
                if (outcome.errors.size() < kErrorsShown)
                    outcome.errors.append(checker.describe(record) + QStringLiteral("：") +
                                          problems.join(QStringLiteral("；")));
                ++outcome.errorCount;
                continue;
            }
            outcome.notes += record.notes.size();
            if (hooks.note) {
                for (const QString &note : std::as_const(record.notes))
                    hooks.note(checker.describe(record) + QStringLiteral("：") + note);
            }
            if (outcome.errorCount == 0) {
                ++outcome.written;
                if (record.question->xx == 1)
                    ++outcome.practised;
                return record.question;
            }
        }
        if (!source.error().isEmpty())
            outcome.failure = source.error();
        if (outcome.errorCount || !outcome.failure.isEmpty())
            throw Abandon{};
        return std::nullopt;
    };

    try {
        const QString error = bank::writeBank(bankPath, password, nextGood);
        if (!error.isEmpty())
            outcome.failure = error;
    } catch (const Abandon &) {
    }
    if (!outcome.ok())
        outcome.written = outcome.practised = 0;
    return outcome;
}

} // namespace authoring
