#include "authoring/jetheader.h"

#include <QFile>
#include <QtEndian>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace authoring {

namespace {

constexpr int kMaskedOffset = 0x18;
constexpr int kMaskedSize = 128;
constexpr int kPasswordOffset = 0x42;
constexpr int kPasswordSize = 40; // 20 UTF-16 code units
constexpr int kCreationDateOffset = 0x72;
constexpr quint32 kHeaderKey = 0x6B39DAC7;

// Access hides bytes 0x18 onwards of the header page behind the RC4 key stream
// of a fixed key.
std::array<quint8, kMaskedSize> headerKeyStream()
{
    std::array<quint8, 4> key{};
    qToLittleEndian(kHeaderKey, key.data());
    std::array<quint8, 256> state{};
    for (int i = 0; i < 256; ++i)
        state[i] = quint8(i);
    quint8 j = 0;
    for (int i = 0; i < 256; ++i) {
        j = quint8(j + state[i] + key[i % 4]);
        std::swap(state[i], state[j]);
    }
    std::array<quint8, kMaskedSize> stream{};
    quint8 a = 0;
    quint8 b = 0;
    for (auto &byte : stream) {
        a = quint8(a + 1);
        b = quint8(b + state[a]);
        std::swap(state[a], state[b]);
        byte = state[quint8(state[a] + state[b])];
    }
    return stream;
}

// The creation date truncated to an integer, as Access masks the password with
// it; out-of-range dates saturate rather than overflow.
qint32 dateMask(double date)
{
    if (std::isnan(date))
        return 0;
    if (date >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (date <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(date);
}

} // namespace

std::optional<JetHeader> readJetHeader(const QByteArray &head)
{
    if (head.size() < kJetHeaderSize)
        return std::nullopt;
    const auto version = bank::jetVersionOf(head);
    if (!version)
        return std::nullopt;
    JetHeader header;
    header.version = *version;
    if (header.version != JetVersion::Jet4)
        return header;

    static const auto stream = headerKeyStream();
    QByteArray page = head.left(kJetHeaderSize);
    for (int i = 0; i < kMaskedSize; ++i)
        page[kMaskedOffset + i] = char(quint8(page.at(kMaskedOffset + i)) ^ stream[i]);

    double date = 0;
    const quint64 dateBits = qFromLittleEndian<quint64>(page.constData() + kCreationDateOffset);
    std::memcpy(&date, &dateBits, sizeof date);
    std::array<quint8, 4> mask{};
    qToLittleEndian(dateMask(date), mask.data());

    QString password;
    for (int i = 0; i < kPasswordSize; i += 2) {
        const quint8 low = quint8(page.at(kPasswordOffset + i)) ^ mask[i % 4];
        const quint8 high = quint8(page.at(kPasswordOffset + i + 1)) ^ mask[(i + 1) % 4];
        const char16_t unit = char16_t(low | (high << 8));
        if (unit == 0)
            break;
        password.append(QChar(unit));
    }
    header.password = password;
    return header;
}

std::optional<JetHeader> readJetHeaderOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return readJetHeader(file.read(kJetHeaderSize));
}

QString jetVersionName(JetVersion version)
{
    switch (version) {
    case JetVersion::Jet3:
        return QStringLiteral("Jet 3（Access 97）");
    case JetVersion::Jet4:
        return QStringLiteral("Jet 4.0（Access 2000–2003）");
    case JetVersion::Ace:
        return QStringLiteral("ACE（Access 2007 及以后的 .accdb）");
    }
    return {};
}

} // namespace authoring
