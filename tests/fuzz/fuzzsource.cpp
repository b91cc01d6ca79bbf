#include "tests/fuzz/fuzzsource.h"

#include "authoring/checker.h"

#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace fuzz {

namespace {

// The readers take a path (libmdb and minizip open the file themselves), so
// each input goes into one in-memory file that lives as long as the process.
const QString &inputPath(int *fd)
{
    static int descriptor = memfd_create("fuzz-input", 0);
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(descriptor);
    if (descriptor < 0)
        std::abort();
    *fd = descriptor;
    return path;
}

} // namespace

void readAll(const std::uint8_t *data, std::size_t size, authoring::Format format)
{
    int fd = -1;
    const QString &path = inputPath(&fd);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();

    authoring::SourceOptions options;
    options.format = format;
    QString error;
    const auto source = authoring::openSource(path, options, &error);
    if (!source)
        return;
    authoring::Checker checker(*source, authoring::Checker::Mode::Lint);
    authoring::SourceRecord record;
    while (source->next(record))
        checker.check(record);
}

} // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr authoring::Format format = authoring::Format::KELVARO_FUZZ_FORMAT;
    fuzz::readAll(data, size, format);
    // CSV and TSV share their reader; only the separator differs.
    if (format == authoring::Format::Csv)
        fuzz::readAll(data, size, authoring::Format::Tsv);
    return 0;
}
