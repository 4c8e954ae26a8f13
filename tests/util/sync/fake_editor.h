// A scripted sync editor on a loopback port, for tests of the client side of the protocol.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

class FakeEditor {
public:
    explicit FakeEditor(std::string greeting = "hello, demo!") : greeting(std::move(greeting)) {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener, 4);
        socklen_t length = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        expect_connection();
    }
    ~FakeEditor() {
        if (acceptor.joinable()) {
            shutdown(listener, SHUT_RDWR);
            acceptor.join();
        }
        if (peer >= 0) close(peer);
        close(listener);
    }

    // Accepts the next client in the background and answers its greeting.
    void expect_connection() {
        acceptor = std::thread([this] {
            int s = accept(listener, nullptr, nullptr);
            if (s < 0) return;
            char hello[19];
            if (recv(s, hello, 19, MSG_WAITALL) == 19) client_greeting.assign(hello, 19);
            send(s, greeting.data(), greeting.size(), MSG_NOSIGNAL);
            peer = s;
        });
    }
    void wait_connected() {
        if (acceptor.joinable()) acceptor.join();
    }

    void send_bytes(const std::string& bytes) { send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    // Waits up to a second for exactly n bytes; returns what arrived.
    std::string read_bytes(size_t n) {
        std::string out;
        while (out.size() < n) {
            pollfd p{peer, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0) break;
            char buffer[256];
            ssize_t got = recv(peer, buffer, std::min(n - out.size(), sizeof buffer), 0);
            if (got <= 0) break;
            out.append(buffer, static_cast<size_t>(got));
        }
        return out;
    }
    // Whatever is waiting now (after a short grace period).
    std::string drain() {
        std::string out;
        pollfd p{peer, POLLIN, 0};
        while (poll(&p, 1, 50) > 0) {
            char buffer[256];
            ssize_t got = recv(peer, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            out.append(buffer, static_cast<size_t>(got));
        }
        return out;
    }
    // True when the client has closed its end.
    bool client_closed() {
        pollfd p{peer, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) return false;
        char c;
        return recv(peer, &c, 1, MSG_PEEK) == 0;
    }
    void hang_up() {
        close(peer);
        peer = -1;
    }

    static std::string u32(uint32_t v) {
        std::string s(4, '\0');
        for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (24 - 8 * i));
        return s;
    }
    static std::string key_set(uint32_t track, uint32_t row, float value, uint8_t interpolation) {
        uint32_t bits;
        memcpy(&bits, &value, 4);
        return std::string(1, '\0') + u32(track) + u32(row) + u32(bits) + std::string(1, static_cast<char>(interpolation));
    }
    static std::string key_remove(uint32_t track, uint32_t row) { return std::string(1, '\1') + u32(track) + u32(row); }
    static std::string track_request(const std::string& name) { return std::string(1, '\2') + u32(static_cast<uint32_t>(name.size())) + name; }
    static std::string row(uint32_t r) { return std::string(1, '\3') + u32(r); }
    static std::string pause(uint8_t flag) { return std::string(1, '\4') + std::string(1, static_cast<char>(flag)); }

    uint16_t port = 0;
    std::string client_greeting;

private:
    std::string greeting;
    int listener = -1;
    int peer = -1;
    std::thread acceptor;
};
