#include "app/SingleInstance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

CSingleInstance::CSingleInstance(QString name) : m_name(std::move(name)) {}

CSingleInstance::~CSingleInstance()
{
    Release();
}

CSingleInstance::Result CSingleInstance::Acquire()
{
    if (m_fd >= 0)
        return Result::Acquired;
    const QByteArray name = m_name.toUtf8();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::size_t(name.size()) + 1 > sizeof(address.sun_path)) {
        m_error = ENAMETOOLONG;
        return Result::Failed;
    }
    // A leading zero byte puts the name in the abstract namespace.
    std::memcpy(address.sun_path + 1, name.constData(), std::size_t(name.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::size_t(name.size()));

    // Close-on-exec: a child process must not keep holding the name after this one is gone.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_error = errno;
        return Result::Failed;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        m_error = errno;
        ::close(fd);
        return m_error == EADDRINUSE ? Result::AlreadyRunning : Result::Failed;
    }
    m_fd = fd;
    return Result::Acquired;
}

void CSingleInstance::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
