#pragma once

#include <QString>
#include <QStringList>

namespace bank {

// A file that appears whole or not at all: it is written under a private name
// beside its target, on the same file system, and renamed into place only
// when complete. An existing target is never replaced, and the private file
// is removed unless it was placed, also when the writing throws.
//
// While it is ours the private file is held, so that a run that was killed,
// whose file nobody holds any more, can be told from one that is still
// writing. On Linux the hold is flock(), not fcntl() locks: these belong to the
// open file, not to the process, so SQLite's own fcntl() locks on the same
// file neither release ours nor are released by ours when either closes it.
// On Windows it is a handle that does not share deletion.
class NewFile
{
public:
    explicit NewFile(const QString &target) : m_target(target) {}
    ~NewFile();
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    // Takes the private name; false with the reason in `error` (the target
    // exists, or its folder takes no new file).
    bool reserve(QString *error);
    // Where to write until the file is placed.
    QString path() const { return m_path; }
    // Renames the written file into place, readable by all like any other
    // file; false with the reason in `error`.
    bool place(QString *error);

    // Removes the private files that earlier writes of `target` left behind
    // when they were killed or crashed, those that no process holds; returns
    // their paths. Only names this class gives are touched.
    static QStringList removeLeftovers(const QString &target);

    // From now on SIGINT, SIGTERM and SIGHUP first remove the private file of
    // every NewFile not yet placed, then end the process as they would have.
    // A signal the process was started to ignore stays ignored. (Windows has
    // no such signals; there the next run removes what an ended one left.)
    static void removeOnSignals();

private:
    QString m_target;
    QString m_path;
    qintptr m_lock = -1; // the private file, held while it is ours
    int m_slot = -1;     // where the signal handler finds its name
    bool m_placed = false;
};

} // namespace bank
