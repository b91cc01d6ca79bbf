#include "authoring/importer.h"

#include "authoring/checker.h"
#include "bank/bankfile.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace authoring {

namespace {

// Thrown from the row source to leave the bank unwritten.
struct Abandon
{
};

constexpr qint64 kProgressEvery = 4096;
// Rows go to the writer in batches, and only a few batches wait at a time, so
// memory stays small whatever the size of the file.
constexpr size_t kBatchRows = 1024;
constexpr size_t kBatchesWaiting = 8;

using Batch = std::vector<bank::Question>;

// Hands the good records from the reading thread to the thread writing the
// bank. Either side may stop early: the reader when a record is bad (the bank
// is then abandoned), the writer when the bank cannot be written. Written
// batches come back to the reader, which made their texts: memory is freed
// by the thread that took it, which keeps the allocator from contending.
class Handover
{
public:
    // False once the writer has stopped: there is no point reading on.
    bool put(Batch &&batch)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_batches.size() < kBatchesWaiting || m_stopped; });
        if (m_stopped)
            return false;
        m_batches.push_back(std::move(batch));
        m_changed.notify_all();
        return true;
    }

    // An empty batch for the reader to fill, reusing a written one if there is one.
    Batch emptyBatch()
    {
        Batch batch;
        {
            std::lock_guard lock(m_mutex);
            if (!m_written.empty()) {
                batch = std::move(m_written.back());
                m_written.pop_back();
            }
        }
        batch.clear();
        batch.reserve(kBatchRows);
        return batch;
    }

    void finish(bool abandon)
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_abandoned = abandon;
        m_changed.notify_all();
    }

    // Gives back the batch written and fills it with the next one; false at
    // the end of the rows. Throws Abandon when they are not to be written.
    bool take(Batch &batch)
    {
        std::unique_lock lock(m_mutex);
        if (!batch.empty())
            m_written.push_back(std::move(batch));
        batch = Batch();
        m_changed.wait(lock, [this] { return !m_batches.empty() || m_finished; });
        if (m_abandoned)
            throw Abandon{};
        if (m_batches.empty())
            return false;
        batch = std::move(m_batches.front());
        m_batches.pop_front();
        m_changed.notify_all();
        return true;
    }

    void stop()
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_batches.clear();
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_batches;
    std::vector<Batch> m_written;
    bool m_finished = false;
    bool m_abandoned = false;
    bool m_stopped = false;
};

} // namespace

bool importSource(QuestionSource &source, const QString &bankPath, const QString &password,
                  ImportOutcome *result, QString *error, const ImportHooks &hooks)
{
    ImportOutcome &outcome = *result;
    outcome = {};
    QString failure; // why the file could not be read or the bank written
    Handover handover;

    // The bank is written on a second thread while this one reads and checks
    // the file: each takes about half the work.
    QString writeError;
    std::exception_ptr writeFailure;
    std::thread writer([&] {
        Batch batch;
        size_t used = 0;
        auto next = [&]() -> std::optional<bank::Question> {
            if (used == batch.size()) {
                used = 0;
                if (!handover.take(batch))
                    return std::nullopt;
            }
            // A copy shares the texts, which stay the batch's to free.
            return batch[used++];
        };
        try {
            bank::writeBank(bankPath, password, next, &writeError);
        } catch (const Abandon &) {
        } catch (...) {
            writeFailure = std::current_exception();
        }
        handover.stop();
    });

    Checker checker(source, Checker::Mode::Create);
    SourceRecord record;
    qint64 records = 0;
    Batch batch = handover.emptyBatch();
    bool writing = true;
    std::exception_ptr readFailure;
    try {
        while (source.next(record)) {
            if (hooks.progress && ++records % kProgressEvery == 0)
                hooks.progress(records);
            const QStringList problems = checker.check(record);
            if (hooks.skipped && !record.question && !isUsable(record.kind)) {
                ++outcome.skipped[record.kind];
                hooks.skipped(checker.describe(record) + QStringLiteral("：跳过：") +
                              problems.join(QStringLiteral("；")));
                continue;
            }
            if (!problems.isEmpty()) {
                if (outcome.errors.size() < kErrorsShown)
                    outcome.errors.append(checker.describe(record) + QStringLiteral("：") +
                                          problems.join(QStringLiteral("；")));
                // The rest is only read to name and count the bad records.
                if (outcome.errorCount++ == 0)
                    handover.finish(true);
                continue;
            }
            outcome.notes += record.notes.size();
            if (hooks.note) {
                for (const QString &note : std::as_const(record.notes))
                    hooks.note(checker.describe(record) + QStringLiteral("：") + note);
            }
            if (outcome.errorCount == 0 && writing) {
                ++outcome.written;
                if (record.question->xx == 1)
                    ++outcome.practised;
                batch.push_back(std::move(*record.question));
                if (batch.size() == kBatchRows) {
                    writing = handover.put(std::move(batch));
                    batch = handover.emptyBatch();
                }
            }
            if (!writing && outcome.errorCount == 0)
                break;
        }
        if (!source.error().isEmpty())
            failure = source.error();
        if (writing && !batch.empty())
            handover.put(std::move(batch));
    } catch (...) {
        readFailure = std::current_exception();
    }
    handover.finish(outcome.errorCount > 0 || !failure.isEmpty() || readFailure);
    writer.join();

    if (readFailure)
        std::rethrow_exception(readFailure);
    if (writeFailure)
        std::rethrow_exception(writeFailure);
    if (failure.isEmpty())
        failure = writeError;
    if (failure.isEmpty() && outcome.errorCount) {
        failure = QStringLiteral("共有 %1 条记录有错，题库没有写入").arg(outcome.errorCount);
        if (outcome.errorCount > outcome.errors.size())
            failure += QStringLiteral("（只列出了前 %1 条）").arg(outcome.errors.size());
    }
    if (failure.isEmpty())
        return true;
    outcome.written = outcome.practised = 0;
    *error = failure;
    return false;
}

} // namespace authoring
