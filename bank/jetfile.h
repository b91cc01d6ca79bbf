#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace bank {

// The generations of the Access (Jet) file format, in which the old program
// kept its bank, told by the header page.
enum class JetVersion
{
    Jet3, // Access 97
    Jet4, // Access 2000 to 2003
    Ace   // Access 2007 and later (.accdb)
};

// The first bytes jetVersionOf() needs: the page type, the engine's name and
// the version byte.
inline constexpr int kJetSignatureSize = 0x15;

// The generation named by the first bytes of a file; nothing when they are no
// Jet or ACE header page.
std::optional<JetVersion> jetVersionOf(QByteArrayView head);

// Whether the file at `path` starts with a Jet or ACE header page (an Access
// database of any generation), whatever its name.
bool isJetFile(const QString &path);

} // namespace bank
