// SPDX-License-Identifier: GPL-3.0-or-later
#include "MpdConnection.h"

#include "core/PlayerControl.h"

#include <QDeadlineTimer>
#include <QList>
#include <QPair>

#include <mpd/async.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// libmpdclient's own wait, for the rest of an answer once it has begun. Whole
// seconds only: libmpdclient 2.20 takes the part below a second as microseconds.
constexpr unsigned kLibraryTimeoutMs = 1000;

using Settings = std::unique_ptr<mpd_settings, decltype(&mpd_settings_free)>;

QString systemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

bool waitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    pollfd entry{fd, events, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, int(deadline.remainingTime()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// A non-blocking connect, so a host that does not answer costs no more than the deadline.
int connectSocket(const sockaddr *address, socklen_t length, const QDeadlineTimer &deadline,
                  QString &why)
{
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        why = systemError();
        return -1;
    }
    if (::connect(fd, address, length) == 0)
        return fd;
    if (errno == EINPROGRESS) {
        int error = 0;
        socklen_t size = sizeof error;
        if (!waitFor(fd, POLLOUT, deadline)) {
            error = ETIMEDOUT;
        } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
            error = errno;
        }
        if (error == 0)
            return fd;
        errno = error;
    }
    why = systemError();
    ::close(fd);
    return -1;
}

int connectTo(const QByteArray &host, unsigned port, const QDeadlineTimer &deadline, QString &why)
{
    if (host.startsWith('/') || host.startsWith('@')) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(host.size()) >= sizeof address.sun_path) {
            why = QStringLiteral("socket path too long");
            return -1;
        }
        memcpy(address.sun_path, host.constData(), size_t(host.size()));
        socklen_t length = sizeof address;
        if (host.startsWith('@')) { // an abstract socket: a leading zero byte, no terminator
            address.sun_path[0] = '\0';
            length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(host.size()));
        }
        return connectSocket(reinterpret_cast<const sockaddr *>(&address), length, deadline, why);
    }

    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int failed =
        ::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found);
    if (failed != 0) {
        why = QString::fromLocal8Bit(gai_strerror(failed));
        return -1;
    }
    int fd = -1;
    for (addrinfo *at = found; at && fd < 0 && !deadline.hasExpired(); at = at->ai_next)
        fd = connectSocket(at->ai_addr, at->ai_addrlen, deadline, why);
    ::freeaddrinfo(found);
    return fd;
}

// MPD greets every client with one line, "OK MPD <version>".
std::optional<QByteArray> readGreeting(int fd, const QDeadlineTimer &deadline, QString &why)
{
    QByteArray line;
    while (!line.endsWith('\n')) {
        if (!waitFor(fd, POLLIN, deadline)) {
            why = QStringLiteral("no greeting within %1 ms").arg(kPlayerTimeoutMs);
            return std::nullopt;
        }
        char buffer[256];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            why = got == 0 ? QStringLiteral("connection closed") : systemError();
            return std::nullopt;
        }
        line.append(buffer, got);
    }
    line.chop(1);
    if (!line.startsWith("OK MPD ")) {
        why = QStringLiteral("not MPD: \"%1\"").arg(QString::fromUtf8(line.left(60)));
        return std::nullopt;
    }
    return line;
}

bool isLocalSocket(const QByteArray &address)
{
    return address.startsWith('/') || address.startsWith('@');
}
} // namespace

bool isSpent(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready != 0;
}

MpdConnection connectMpd(const QString &host, unsigned port, QString &why)
{
    MpdConnection opened;
    const QByteArray hostBytes = host.toUtf8();
    const Settings settings(mpd_settings_new(host.isEmpty() ? nullptr : hostBytes.constData(), port,
                                             kLibraryTimeoutMs, nullptr, nullptr),
                            &mpd_settings_free);
    if (!settings || !mpd_settings_get_host(settings.get())) {
        why = QStringLiteral("no MPD address");
        return opened;
    }
    QList<QPair<QByteArray, unsigned>> addresses{
        {mpd_settings_get_host(settings.get()), mpd_settings_get_port(settings.get())}};
    // Without an address of its own, MPD is looked for on its usual socket, then on this host.
    if (host.isEmpty() && qEnvironmentVariableIsEmpty("MPD_HOST") &&
        addresses.constFirst().first.startsWith('/'))
        addresses.append({"localhost", port ? port : 6600});

    const QDeadlineTimer deadline(kPlayerTimeoutMs);
    int fd = -1;
    for (const auto &[address, addressPort] : addresses) {
        if ((fd = connectTo(address, addressPort, deadline, why)) >= 0) {
            opened.overTcp = !isLocalSocket(address);
            break;
        }
    }
    if (fd < 0)
        return opened;
    const auto greeting = readGreeting(fd, deadline, why);
    mpd_async *async = greeting ? mpd_async_new(fd) : nullptr;
    if (!async) {
        ::close(fd);
        return opened;
    }
    decltype(MpdConnection::connection) connection(
        mpd_connection_new_async(async, greeting->constData()), &mpd_connection_free);
    if (!connection) {
        mpd_async_free(async);
        return opened;
    }
    mpd_connection_set_timeout(connection.get(), kLibraryTimeoutMs);
    // Sent on every connection: MPD forgets a client's password when it hangs up.
    if (const char *password = mpd_settings_get_password(settings.get())) {
        if (!mpd_send_password(connection.get(), password) || !answered(connection.get(), why) ||
            !mpd_response_finish(connection.get())) {
            if (mpd_connection_get_error(connection.get()) == MPD_ERROR_SERVER) {
                opened.passwordRefused = true;
                why =
                    QStringLiteral("MPD refused the password of its address (%1)")
                        .arg(QString::fromUtf8(mpd_connection_get_error_message(connection.get())));
            } else if (why.isEmpty()) {
                why = QString::fromUtf8(mpd_connection_get_error_message(connection.get()));
            }
            return opened;
        }
    }
    opened.connection = std::move(connection);
    return opened;
}

QString noAnswer()
{
    return QStringLiteral("no answer within %1 ms").arg(kPlayerTimeoutMs);
}

bool answered(mpd_connection *connection, QString &why)
{
    if (waitFor(mpd_connection_get_fd(connection), POLLIN, QDeadlineTimer(kPlayerTimeoutMs)))
        return true;
    why = noAnswer();
    return false;
}

bool acknowledged(mpd_connection *connection, QString &why, bool sent)
{
    return sent && answered(connection, why) && mpd_response_finish(connection);
}
