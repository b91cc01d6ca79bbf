#include "bank/newfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bank {

namespace {

// A private name ends in six random letters or digits, as mkstemp() makes them.
constexpr int kRandomLength = 6;
constexpr char kRandomCharacters[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
// A name taken already, or a private file removed by another run's
// removeLeftovers() between our creating and holding it: try another name.
constexpr int kReserveAttempts = 8;

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

QString randomSuffix()
{
    constexpr int choices = int(sizeof kRandomCharacters) - 1; // not the closing '\0'
    QString suffix;
    for (int i = 0; i < kRandomLength; ++i)
        suffix += QLatin1Char(kRandomCharacters[QRandomGenerator::global()->bounded(choices)]);
    return suffix;
}

// The private names of `target` start with this, within its folder.
QString privatePrefix(const QFileInfo &target)
{
    return QLatin1Char('.') + target.fileName() + QLatin1Char('.');
}

enum class Created
{
    Held,
    NameTaken, // or gone again before it was held: try another name
    Failed
};

#ifdef Q_OS_WIN

// A file is held by a handle that does not share deletion: while it is open
// nobody, this process included, can remove or rename the file.
const wchar_t *nativeName(const QString &native)
{
    return reinterpret_cast<const wchar_t *>(native.utf16());
}

Created createHeld(const QString &path, qintptr *hold, QString *why)
{
    const HANDLE handle = ::CreateFileW(nativeName(QDir::toNativeSeparators(path)), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        *hold = reinterpret_cast<qintptr>(handle);
        return Created::Held;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS)
        return Created::NameTaken;
    *why = qt_error_string(int(error));
    return Created::Failed;
}

void release(qintptr hold)
{
    ::CloseHandle(reinterpret_cast<HANDLE>(hold));
}

// Our own hold keeps the file from being removed, so it is let go first.
void discard(const QString &path, qintptr *hold)
{
    release(*hold);
    *hold = -1;
    QFile::remove(path);
}

void publish(const QString &, int *) {}
void withdraw(int *) {}

// Fails while any process has the file open: a run still writing it, or SQLite in one.
bool removeIfUnheld(const QString &path)
{
    return ::DeleteFileW(nativeName(QDir::toNativeSeparators(path)));
}

#else

// A few files may be under way at once; one more is not removed on a signal,
// only by the next run's removeLeftovers().
constexpr int kSlotCount = 4;

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

void publish(const QString &path, int *slot)
{
    const QByteArray encoded = QFile::encodeName(path);
    *slot = -1;
    if (encoded.size() >= PATH_MAX)
        return;
    for (int i = 0; i < kSlotCount; ++i) {
        bool free = false;
        if (pending[i].taken.compare_exchange_strong(free, true)) {
            std::memcpy(pending[i].path, encoded.constData(), size_t(encoded.size()) + 1);
            pending[i].published = true;
            *slot = i;
            return;
        }
    }
}

void withdraw(int *slot)
{
    if (*slot < 0)
        return;
    pending[*slot].published = false;
    pending[*slot].taken = false;
    *slot = -1;
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

// Held, and still ours: not taken for a leftover in the moment between.
Created createHeld(const QString &path, qintptr *hold, QString *why)
{
    const QByteArray encoded = QFile::encodeName(path);
    const int fd = ::open(encoded.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST)
            return Created::NameTaken;
        *why = qt_error_string(error);
        return Created::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && namesFile(encoded, fd)) {
        *hold = fd;
        return Created::Held;
    }
    ::close(fd);
    return Created::NameTaken;
}

void release(qintptr hold)
{
    ::close(int(hold));
}

// Removed while still held, so no other run takes it for a leftover first.
void discard(const QString &path, qintptr *hold)
{
    QFile::remove(path);
    release(*hold);
    *hold = -1;
}

// A run still writing holds its file; removed under our own hold, and only if
// the name still is that file.
bool removeIfUnheld(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    const int fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat status;
    const bool removed = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                         ::flock(fd, LOCK_EX | LOCK_NB) == 0 && namesFile(encoded, fd) &&
                         ::unlink(encoded.constData()) == 0;
    ::close(fd);
    return removed;
}

#endif

} // namespace

NewFile::~NewFile()
{
    if (m_lock >= 0) {
        if (m_placed)
            release(m_lock);
        else
            discard(m_path, &m_lock);
    }
    withdraw(&m_slot);
}

bool NewFile::reserve(QString *error)
{
    const QFileInfo target(m_target);
    if (target.exists() || target.isSymLink()) {
        *error = QStringLiteral("%1 已经存在，不会覆盖").arg(m_target);
        return false;
    }
    const QString prefix = target.absolutePath() + QLatin1Char('/') + privatePrefix(target);
    for (int attempt = 0; attempt < kReserveAttempts; ++attempt) {
        const QString path = prefix + randomSuffix();
        // Published before it exists: a signal at any moment after finds it.
        int slot = -1;
        publish(path, &slot);
        QString why;
        switch (createHeld(path, &m_lock, &why)) {
        case Created::Held:
            m_slot = slot;
            m_path = path;
            return true;
        case Created::NameTaken:
            withdraw(&slot);
            continue;
        case Created::Failed:
            withdraw(&slot);
            *error = QStringLiteral("无法在 %1 中写文件：%2").arg(target.absolutePath(), why);
            return false;
        }
    }
    *error =
        QStringLiteral("无法在 %1 中写文件：临时文件一再被别的程序删除").arg(target.absolutePath());
    return false;
}

bool NewFile::place(QString *error)
{
#ifdef Q_OS_WIN
    // Windows renames no file that is held open.
    release(m_lock);
    m_lock = -1;
#endif
    // The reserved name was private to us; the file itself is an ordinary one.
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (!QFile::rename(m_path, m_target)) {
        *error = QStringLiteral("%1 已经存在或无法写入").arg(m_target);
        return false;
    }
    m_placed = true;
    withdraw(&m_slot);
    return true;
}

QStringList NewFile::removeLeftovers(const QString &target)
{
    const QFileInfo info(target);
    const QDir folder = info.absoluteDir();
    const QString prefix = privatePrefix(info);
    QStringList removed;
    for (const QString &name :
         folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name)) {
        const QString path = folder.filePath(name);
        if (isPrivateNameFor(name, prefix) && removeIfUnheld(path))
            removed << path;
    }
    return removed;
}

void NewFile::removeOnSignals()
{
#ifdef Q_OS_WIN
    // A console's Ctrl+C ends the process at once, and a file SQLite holds
    // cannot be removed under it: the next run's removeLeftovers() takes it.
#else
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
#endif
}

} // namespace bank
