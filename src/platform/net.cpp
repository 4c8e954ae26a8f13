#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int net_connect(const char* host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    char service[8];
    snprintf(service, sizeof service, "%u", static_cast<unsigned>(port));
    addrinfo* found = nullptr;
    if (getaddrinfo(host, service, &hints, &found) != 0 || !found) return -1;
    int result = -1;
    for (addrinfo* a = found; a && result < 0; a = a->ai_next) {
        int s = socket(a->ai_family, a->ai_socktype, 0);
        if (s < 0) continue;
        if (connect(s, a->ai_addr, a->ai_addrlen) == 0) result = s;
        else close(s);
    }
    freeaddrinfo(found);
    return result;
}

int net_wait_readable(int socket, int timeout_ms) {
    if (socket < 0 || socket >= FD_SETSIZE) return -1;
    fd_set read_set;
    FD_ZERO(&read_set);
    FD_SET(socket, &read_set);
    timeval wait{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int ready = select(socket + 1, &read_set, nullptr, nullptr, &wait);
    return ready < 0 ? -1 : ready > 0 ? 1 : 0;
}

int net_readable(int socket) { return net_wait_readable(socket, 0); }

bool net_send_all(int socket, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        // A peer that stops reading must not stall the frame once the kernel's buffer is full.
        ssize_t sent = send(socket, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        p += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

long net_recv(int socket, void* buffer, size_t size) { return recv(socket, buffer, size, 0); }

long net_recv_now(int socket, void* buffer, size_t size) {
    return recv(socket, buffer, size, MSG_DONTWAIT);
}

long net_send_now(int socket, const void* data, size_t size) {
    for (;;) {
        ssize_t sent = send(socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) return sent;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

int net_listen_loopback(uint16_t port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return -1;
    // A restarted editor must get its port back while the last run's connections linger.
    int yes = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 4) != 0 ||
        fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK) != 0) {
        close(s);
        return -1;
    }
    return s;
}

uint16_t net_local_port(int socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sin_family != AF_INET)
        return 0;
    return ntohs(address.sin_port);
}

int net_accept_now(int listener) {
    // The listener does not block: a connection that is gone again before this accept must
    // not stall the caller.
    int s = accept(listener, nullptr, nullptr);
    return s < 0 ? -1 : s;
}

void net_close(int socket) {
    if (socket >= 0) close(socket);
}
