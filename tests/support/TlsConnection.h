#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

// A TLS connection of our own, for requests that no HTTP client library would send.
class TlsConnection
{
public:
    // Handshakes at once; `setUp` may restrict the versions and suites this side offers. `from` is a loopback
    // address to connect from, so that one process can be several clients.
    explicit TlsConnection(int port, const std::function<void(SSL_CTX*)>& setUp = {}, const char* from = nullptr)
        : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), m_context(SSL_CTX_new(TLS_client_method()))
    {
        if (setUp)
            setUp(m_context);
        m_ssl = SSL_new(m_context);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ERR_clear_error();
        m_open = (!from || (inet_pton(AF_INET, from, &source.sin_addr) == 1 &&
                            bind(m_fd, reinterpret_cast<sockaddr*>(&source), sizeof source) == 0)) &&
                 connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 SSL_set_fd(m_ssl, m_fd) == 1 && SSL_connect(m_ssl) == 1;
        m_handshakeError = m_open ? 0 : ERR_GET_REASON(ERR_peek_last_error());
    }
    ~TlsConnection()
    {
        SSL_free(m_ssl);
        SSL_CTX_free(m_context);
        close(m_fd);
    }
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    bool IsOpen() const { return m_open; }
    int HandshakeError() const { return m_handshakeError; }
    // Sends as much of `data` as the server takes; returns how much that was.
    std::size_t Send(const std::string& data)
    {
        std::size_t sent = 0;
        while (m_open && sent < data.size()) {
            const int n = SSL_write(m_ssl, data.data() + sent, int(std::min<std::size_t>(data.size() - sent, 16384)));
            if (n <= 0)
                break;
            sent += std::size_t(n);
        }
        return sent;
    }
    // Everything the server answers until it closes, or its first `keep` bytes, with the count of all in `total`.
    std::string ReadAll(std::size_t keep = std::string::npos, std::uint64_t* total = nullptr)
    {
        std::string answer;
        char buffer[16384];
        int n = 0;
        while (m_open && (n = SSL_read(m_ssl, buffer, sizeof buffer)) > 0) {
            answer.append(buffer, std::min(std::size_t(n), keep - std::min(keep, answer.size())));
            if (total)
                *total += std::uint64_t(n);
        }
        return answer;
    }
    // Reads and writes that wait longer fail.
    void SetTimeout(int seconds)
    {
        const timeval limit{seconds, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }

private:
    int m_fd;
    SSL_CTX* m_context;
    SSL* m_ssl = nullptr;
    bool m_open = false;
    int m_handshakeError = 0;
};
