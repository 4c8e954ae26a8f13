// zorvane-editor's connection: accept, greet, take commands apart, queue what goes out.
#include "editor_link.h"

#include <cerrno>
#include <cstdio>

#include "platform/clock.h"
#include "platform/net.h"

EditorLink::~EditorLink() {
    for (Newcomer& n : newcomers) net_close(n.socket);
    net_close(peer);
    net_close(listener);
}

bool EditorLink::listen(uint16_t port) {
    listener = net_listen_loopback(port);
    if (listener < 0) return false;
    port_ = net_local_port(listener);
    return true;
}

void EditorLink::add_poll_fds(std::vector<pollfd>& fds) const {
    if (listener >= 0) fds.push_back(pollfd{listener, POLLIN, 0});
    for (const Newcomer& n : newcomers) fds.push_back(pollfd{n.socket, POLLIN, 0});
    if (peer >= 0) fds.push_back(pollfd{peer, static_cast<short>(POLLIN | (outgoing.empty() ? 0 : POLLOUT)), 0});
}

void EditorLink::disconnect(const std::string& reason, std::vector<LinkEvent>& events) {
    if (peer < 0) return;
    net_close(peer);
    peer = -1;
    bool was_greeted = greeted;
    greeted = false;
    received.clear();
    outgoing.clear();
    request_count = 0;
    LinkEvent e{LinkEvent::DISCONNECTED, {}, 0, 0, reason};
    e.was_connected = was_greeted;
    events.push_back(e);
}

void EditorLink::service(std::vector<LinkEvent>& events) {
    accept_newcomers(events);
    const uint32_t now = tick_count_ms();
    for (size_t i = 0; i < newcomers.size();) {
        if (greet(newcomers[i], now, events)) newcomers.erase(newcomers.begin() + static_cast<long>(i));
        else ++i;
    }
    if (peer >= 0) read_peer(events);
    if (peer >= 0) flush(events);
}

void EditorLink::accept_newcomers(std::vector<LinkEvent>& events) {
    for (int s; listener >= 0 && (s = net_accept_now(listener)) >= 0;) {
        if (newcomers.size() >= EDITOR_LINK_MAX_NEWCOMERS) {
            refuse(newcomers.front(), "no greeting before newer connections", events);
            newcomers.erase(newcomers.begin());
        }
        newcomers.push_back(Newcomer{s, {}, tick_count_ms()});
    }
}

void EditorLink::refuse(Newcomer& n, const std::string& reason, std::vector<LinkEvent>& events) {
    net_close(n.socket);
    n.socket = -1;
    LinkEvent e{LinkEvent::DISCONNECTED, {}, 0, 0, reason};
    events.push_back(e);
}

bool EditorLink::greet(Newcomer& n, uint32_t now_ms, std::vector<LinkEvent>& events) {
    for (;;) {
        char buffer[256];
        long got = net_recv_now(n.socket, buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            refuse(n, "closed before its greeting", events);
            return true;
        }
        if (got < 0) break;
        n.received.append(buffer, static_cast<size_t>(got));
        SyncDecoded hello = decode_sync_greeting(SYNC_CLIENT, reinterpret_cast<const uint8_t*>(n.received.data()),
                                                 n.received.size());
        if (hello.status == SYNC_DECODE_INVALID) {
            refuse(n, "bad greeting", events);
            return true;
        }
        if (hello.status == SYNC_DECODE_INCOMPLETE) continue;
        // A demo that restarts connects anew while its old connection may still look open: a
        // newcomer that greets as a demo does is the demo now.
        const bool replacing = peer >= 0;
        if (replacing) disconnect("replaced by a new demo", events);
        peer = n.socket;
        n.socket = -1;
        greeted = true;
        received = n.received.substr(hello.consumed);
        outgoing.assign(SYNC_EDITOR_GREETING, SYNC_EDITOR_GREETING_LENGTH);
        LinkEvent e{LinkEvent::CONNECTED, {}, 0, 0, replacing ? "took over from the previous demo" : ""};
        events.push_back(e);
        take_commands(events);
        return true;
    }
    if (static_cast<int32_t>(now_ms - n.since_ms) >= static_cast<int32_t>(EDITOR_LINK_GREETING_MS)) {
        refuse(n, "no greeting in time", events);
        return true;
    }
    return false;
}

void EditorLink::read_peer(std::vector<LinkEvent>& events) {
    for (;;) {
        char buffer[4096];
        long got = net_recv_now(peer, buffer, sizeof buffer);
        if (got == 0) return disconnect("closed", events);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;  // nothing more yet
            return disconnect("closed", events);
        }
        received.append(buffer, static_cast<size_t>(got));
        take_commands(events);
        if (peer < 0) return;
    }
}

void EditorLink::take_commands(std::vector<LinkEvent>& events) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(received.data());
    size_t at = 0;
    while (at < received.size()) {
        SyncDecoded d = decode_sync_command(SYNC_CLIENT, bytes + at, received.size() - at);
        if (d.status == SYNC_DECODE_INCOMPLETE) break;
        if (d.status == SYNC_DECODE_INVALID) {
            char reason[64];
            if (bytes[at] == MSG_TRACK_REQUEST)
                snprintf(reason, sizeof reason, "track name longer than %u bytes", SYNC_MAX_TRACK_NAME_LENGTH);
            else
                snprintf(reason, sizeof reason, "unknown command %02x", bytes[at]);
            return disconnect(reason, events);
        }
        const SyncCommand& c = d.command;
        if (c.type == MSG_TRACK_REQUEST)
            events.push_back(LinkEvent{LinkEvent::TRACK_REQUEST, std::string(c.name, c.name_length),
                                       request_count++, 0, {}});
        else
            events.push_back(LinkEvent{LinkEvent::ROW, {}, 0, c.row, {}});
        at += d.consumed;
    }
    received.erase(0, at);
}

void EditorLink::send(const SyncCommand& command) {
    if (!connected()) return;
    uint8_t bytes[SYNC_MAX_COMMAND_SIZE];
    size_t size = encode_sync_command(command, bytes, sizeof bytes);
    outgoing.append(reinterpret_cast<const char*>(bytes), size);
}

void EditorLink::flush(std::vector<LinkEvent>& events) {
    while (!outgoing.empty()) {
        long sent = net_send_now(peer, outgoing.data(), outgoing.size());
        if (sent < 0) return disconnect("closed", events);
        if (sent == 0) break;
        outgoing.erase(0, static_cast<size_t>(sent));
    }
    if (outgoing.size() > EDITOR_LINK_MAX_QUEUE) disconnect("not reading", events);
}
