// Arbitrary text as the lab server's URI (from --server, DR7326G_SERVER or the
// settings file). Besides memory faults, the run stops when a URI that was
// taken gives the driver an option word that libpq would read as more than
// one parameter (a space, a quote, a backslash), when it comes back from
// uri() as another server, or when a URI with a password is taken.
#include "archiveserver.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, int line)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_serveruri.cpp:%d: check failed\n", line);
    std::abort();
}
#define check(condition) check(condition, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), int(qMin<std::size_t>(size, 4096)));
    ArchiveServer server;
    if (!ArchiveServer::parse(text, &server, nullptr))
        return 0;
    QString reason;
    for (const QString &option : serverConnectOptions(server, &reason))
        for (const QChar c : option)
            check(!c.isSpace() && c != QLatin1Char('\'') && c != QLatin1Char('\\'));
    check(reason.isEmpty());
    ArchiveServer again;
    check(ArchiveServer::parse(server.uri(), &again, nullptr));
    check(again.host == server.host && again.port == server.port &&
          again.database == server.database && again.user == server.user &&
          again.sslMode == server.sslMode && again.options == server.options);
    check(server.password.isEmpty() && !ArchiveServer::uriHoldsPassword(text));
    return 0;
}
