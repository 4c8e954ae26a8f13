// A scripted sync editor on a loopback port, for tests of the client side of the connection.
// Messages are built and read with util/sync/protocol, the definition the client uses too.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <thread>

#include "util/sync/protocol.h"

class FakeEditor {
public:
    explicit FakeEditor(std::string greeting = SYNC_EDITOR_GREETING) : greeting(std::move(greeting)) {
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
            char hello[SYNC_CLIENT_GREETING_LENGTH];
            if (recv(s, hello, sizeof hello, MSG_WAITALL) == static_cast<ssize_t>(sizeof hello))
                client_greeting.assign(hello, sizeof hello);
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

    // Reads until `count` whole commands from the client have arrived, a second passes without
    // a byte, or the bytes cannot be a client's; returns what arrived.
    std::string read_commands(size_t count) {
        std::string out;
        size_t at = 0;
        while (count > 0) {
            SyncDecoded decoded = decode_sync_command(
                SYNC_CLIENT, reinterpret_cast<const uint8_t*>(out.data()) + at, out.size() - at);
            if (decoded.status == SYNC_DECODE_INVALID) break;
            if (decoded.status == SYNC_DECODE_COMPLETE) {
                at += decoded.consumed;
                --count;
                continue;
            }
            std::string more = read_bytes(1);
            if (more.empty()) break;
            out += more;
        }
        return out;
    }

    static std::string encode(const SyncCommand& command) {
        uint8_t bytes[SYNC_MAX_COMMAND_SIZE];
        size_t size = encode_sync_command(command, bytes, sizeof bytes);
        return std::string(reinterpret_cast<const char*>(bytes), size);
    }
    static std::string key_set(uint32_t track, uint32_t row, float value, uint8_t interpolation) {
        SyncCommand c = command(MSG_KEY_SET);
        c.track = track;
        c.row = static_cast<int32_t>(row);
        c.value = value;
        c.interpolation = interpolation;
        return encode(c);
    }
    static std::string key_remove(uint32_t track, uint32_t row) {
        SyncCommand c = command(MSG_KEY_REMOVE);
        c.track = track;
        c.row = static_cast<int32_t>(row);
        return encode(c);
    }
    static std::string track_request(const std::string& name) {
        SyncCommand c = command(MSG_TRACK_REQUEST);
        c.name = name.data();
        c.name_length = static_cast<uint32_t>(name.size());
        return encode(c);
    }
    static std::string row(uint32_t r) {
        SyncCommand c = command(MSG_ROW);
        c.row = static_cast<int32_t>(r);
        return encode(c);
    }
    static std::string pause(uint8_t flag) {
        SyncCommand c = command(MSG_PAUSE_STATE);
        c.flag = flag;
        return encode(c);
    }

    uint16_t port = 0;
    std::string client_greeting;

private:
    static SyncCommand command(uint8_t type) {
        SyncCommand c{};
        c.type = type;
        return c;
    }

    std::string greeting;
    int listener = -1;
    int peer = -1;
    std::thread acceptor;
};
