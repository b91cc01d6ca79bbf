#include "bank/jetfile.h"

#include <QFile>

namespace bank {

std::optional<JetVersion> jetVersionOf(QByteArrayView head)
{
    // Four bytes of page type, then the engine's name.
    if (head.size() < kJetSignatureSize || !head.startsWith(QByteArrayView("\x00\x01\x00\x00", 4)))
        return std::nullopt;
    const QByteArrayView engine = head.sliced(4, 15);
    if (engine == QByteArrayView("Standard ACE DB"))
        return JetVersion::Ace;
    if (engine != QByteArrayView("Standard Jet DB"))
        return std::nullopt;
    switch (quint8(head.at(0x14))) {
    case 0:
        return JetVersion::Jet3;
    case 1:
        return JetVersion::Jet4;
    default:
        return JetVersion::Ace;
    }
}

bool isJetFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && jetVersionOf(file.read(kJetSignatureSize)).has_value();
}

} // namespace bank
