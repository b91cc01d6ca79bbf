#include "bank/newfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bank {

namespace {

// A private name ends in six random letters or digits, as mkstemp() makes them.
constexpr int kRandomLength = 6;
constexpr char kRandomCharacters[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
// A few files may be under way at once; one more is not removed on a signal,
// only by the next run's removeLeftovers().
constexpr int kSlotCount = 4;
// A name taken already, or a private file removed by another run's
// removeLeftovers() between our creating and holding it: try another name.
constexpr int kReserveAttempts = 8;

// The names the signal handler removes, written before they are published,
// so that it reads nothing but whole names and lock-free atomics.
struct Slot
{
    std::atomic<bool> taken{false};
    std::atomic<bool> published{false};
    char path[PATH_MAX];
};
static_assert(std::atomic<bool>::is_always_lock_free);
Slot pending[kSlotCount];

int publish(const QByteArray &path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlotCount; ++i) {
        bool free = false;
        if (pending[i].taken.compare_exchange_strong(free, true)) {
            std::memcpy(pending[i].path, path.constData(), size_t(path.size()) + 1);
            pending[i].published = true;
            return i;
        }
    }
    return -1;
}

void withdraw(int slot)
{
    if (slot < 0)
        return;
    pending[slot].published = false;
    pending[slot].taken = false;
}

// Async-signal-safe: unlink() and raise() only. SA_RESETHAND has already put
// the default action back, so the signal raised again ends the process.
extern "C" void removeAndEnd(int signal)
{
    for (const Slot &slot : pending) {
        if (slot.published)
            ::unlink(slot.path);
    }
    ::raise(signal);
}

// Whether `path` still names the file open as `fd`.
bool namesFile(const QByteArray &path, int fd)
{
    struct stat named;
    struct stat opened;
    return ::stat(path.constData(), &named) == 0 && ::fstat(fd, &opened) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

bool isPrivateNameFor(const QString &name, const QString &prefix)
{
    if (name.size() != prefix.size() + kRandomLength || !name.startsWith(prefix))
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')))
            return false;
    }
    return true;
}

QByteArray randomSuffix()
{
    constexpr int choices = int(sizeof kRandomCharacters) - 1; // not the closing '\0'
    QByteArray suffix(kRandomLength, Qt::Uninitialized);
    for (char &c : suffix)
        c = kRandomCharacters[QRandomGenerator::global()->bounded(choices)];
    return suffix;
}

// The private names of `target` start with this, within its folder.
QString privatePrefix(const QFileInfo &target)
{
    return QLatin1Char('.') + target.fileName() + QLatin1Char('.');
}

} // namespace

NewFile::~NewFile()
{
    // Removed while still held, so no other run takes it for a leftover first.
    if (!m_placed && !m_path.isEmpty())
        QFile::remove(m_path);
    withdraw(m_slot);
    if (m_lock >= 0)
        ::close(m_lock);
}

QString NewFile::reserve()
{
    const QFileInfo target(m_target);
    if (target.exists() || target.isSymLink())
        return QStringLiteral("%1 已经存在，不会覆盖").arg(m_target);
    const QByteArray prefix =
        QFile::encodeName(target.absolutePath() + QLatin1Char('/') + privatePrefix(target));
    for (int attempt = 0; attempt < kReserveAttempts; ++attempt) {
        const QByteArray path = prefix + randomSuffix();
        // Published before it exists: a signal at any moment after finds it.
        const int slot = publish(path);
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                              S_IRUSR | S_IWUSR);
        if (fd < 0) {
            const int why = errno;
            withdraw(slot);
            if (why == EEXIST)
                continue;
            return QStringLiteral("无法在 %1 中写文件：%2")
                .arg(target.absolutePath(), qt_error_string(why));
        }
        // Held, and still ours: not taken for a leftover in the moment between.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && namesFile(path, fd)) {
            m_lock = fd;
            m_slot = slot;
            m_path = QFile::decodeName(path);
            return {};
        }
        withdraw(slot);
        ::close(fd);
    }
    return QStringLiteral("无法在 %1 中写文件：临时文件一再被别的程序删除")
        .arg(target.absolutePath());
}

QString NewFile::place()
{
    // The reserved name was private to us; the file itself is an ordinary one.
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (!QFile::rename(m_path, m_target))
        return QStringLiteral("%1 已经存在或无法写入").arg(m_target);
    m_placed = true;
    withdraw(m_slot);
    m_slot = -1;
    return {};
}

QStringList NewFile::removeLeftovers(const QString &target)
{
    const QFileInfo info(target);
    const QDir folder = info.absoluteDir();
    const QString prefix = privatePrefix(info);
    QStringList removed;
    for (const QString &name :
         folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name)) {
        if (!isPrivateNameFor(name, prefix))
            continue;
        const QString path = folder.filePath(name);
        const QByteArray encoded = QFile::encodeName(path);
        const int fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        // A run still writing holds its file; removed under our own hold, and
        // only if the name still is that file.
        struct stat status;
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && namesFile(encoded, fd) &&
            ::unlink(encoded.constData()) == 0)
            removed << path;
        ::close(fd);
    }
    return removed;
}

void NewFile::removeOnSignals()
{
    struct sigaction action = {};
    action.sa_handler = removeAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    const int handled[] = {SIGINT, SIGTERM, SIGHUP};
    // One at a time: a second signal waits until the first has removed the files.
    for (const int signal : handled)
        sigaddset(&action.sa_mask, signal);
    for (const int signal : handled) {
        struct sigaction previous = {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

} // namespace bank
