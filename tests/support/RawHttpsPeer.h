#pragma once

#include "tests/support/ScriptedServer.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// An HTTPS/1.1 server written on Boost.Beast for what a general-purpose server library would not do: close
// every connection after its reply without a Connection header, or ignore a request's "close" and drop the
// connection when it has been idle for a while. Both are allowed by HTTP, and both are common.
class RawHttpsPeer
{
public:
    // No answer leaves the request unanswered: the connection stays open until the client gives up.
    using Handler = std::function<std::optional<ScriptedServer::Reply>(ScriptedServer::Request&&)>;

    // `idleLimit`: without it, the connection closes after every reply; with it, the connection stays open for
    // further requests and is dropped when the next one has not begun within the limit.
    RawHttpsPeer(const std::string& certificatePath, const std::string& keyPath,
                 std::optional<std::chrono::milliseconds> idleLimit, Handler handler);
    ~RawHttpsPeer();
    RawHttpsPeer(const RawHttpsPeer&) = delete;
    RawHttpsPeer& operator=(const RawHttpsPeer&) = delete;

    int port() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
