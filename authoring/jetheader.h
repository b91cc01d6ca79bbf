#pragma once

#include "bank/jetfile.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace authoring {

using bank::JetVersion;

struct JetHeader
{
    JetVersion version = JetVersion::Jet4;
    // The database password as Access stored it; empty when there is none.
    // Read for Jet 4 only: Jet 3 masks it differently and ACE encrypts instead.
    QString password;
};

// The size of the header bytes readJetHeader needs.
inline constexpr int kJetHeaderSize = 0x98;

// Parses the first bytes of a file; nothing when they are not a Jet or ACE
// header page.
std::optional<JetHeader> readJetHeader(const QByteArray &head);

// Reads the header page of the file at `path` (read-only); nothing when the
// file cannot be read or is no Jet or ACE database.
std::optional<JetHeader> readJetHeaderOf(const QString &path);

// An Access database of any generation, told as the program tells an old bank.
using bank::isJetFile;

// The format in words for messages, such as "Jet 3（Access 97）".
QString jetVersionName(JetVersion version);

} // namespace authoring
