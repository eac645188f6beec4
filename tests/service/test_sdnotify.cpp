#include "common/tempfolder.h"
#include "service/sdnotify.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

// A datagram socket where the service manager would listen.
class NotifySocket
{
public:
    explicit NotifySocket(const QByteArray &path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        if (path.startsWith('@'))
            address.sun_path[0] = '\0';
        const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
        bound = ::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), size) == 0;
    }
    ~NotifySocket() { ::close(m_fd); }

    QByteArray Receive()
    {
        char buffer[256];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        return n < 0 ? QByteArray() : QByteArray(buffer, n);
    }

    bool bound = false;

private:
    int m_fd = -1;
};

TEST(NotifyServiceManager, SendsTheStateToTheSocketNamedInTheEnvironment)
{
    TempFolder folder;
    const QByteArray path = folder.file("notify").toLocal8Bit();
    const QByteArray abstract = "@kandrilox-test-" + QByteArray::number(::getpid());
    for (const QByteArray &where : {path, abstract}) {
        NotifySocket socket(where);
        ASSERT_TRUE(socket.bound) << where.constData();
        ::setenv("NOTIFY_SOCKET", where.constData(), 1);
        EXPECT_TRUE(kx::NotifyServiceManager("READY=1"));
        EXPECT_EQ(socket.Receive(), "READY=1");
    }
    ::unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(kx::NotifyServiceManager("READY=1"));
}
