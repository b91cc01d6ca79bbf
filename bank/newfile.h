#pragma once

#include <QString>

namespace bank {

// A file that appears whole or not at all: it is written under a private name
// beside its target, on the same file system, and renamed into place only
// when complete. An existing target is never replaced, and the private file
// is removed unless it was placed, also when the writing throws.
class NewFile
{
public:
    explicit NewFile(const QString &target) : m_target(target) {}
    ~NewFile();
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    // Takes the private name; empty on success, else why not (the target
    // exists, or its folder takes no new file).
    QString reserve();
    // Where to write until the file is placed.
    QString path() const { return m_path; }
    // Renames the written file into place, readable by all like any other
    // file; empty on success.
    QString place();

private:
    QString m_target;
    QString m_path;
    bool m_placed = false;
};

} // namespace bank
