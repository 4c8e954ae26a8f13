// zorvane-editor's connection: accept, greet, take commands apart, queue what goes out.
#include "editor_link.h"

#include <cerrno>
#include <cstdio>

#include "platform/net.h"

EditorLink::~EditorLink() {
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
    // A demo that restarts connects anew while its old connection may still look open: the
    // newest connection is the demo.
    for (int s; listener >= 0 && (s = net_accept_now(listener)) >= 0;) {
        disconnect("replaced", events);
        peer = s;
    }
    if (peer >= 0) read_peer(events);
    if (peer >= 0) flush(events);
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
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(received.data());
        size_t at = 0;
        if (!greeted) {
            SyncDecoded hello = decode_sync_greeting(SYNC_CLIENT, bytes, received.size());
            if (hello.status == SYNC_DECODE_INVALID) return disconnect("bad greeting", events);
            if (hello.status == SYNC_DECODE_INCOMPLETE) continue;
            at = hello.consumed;
            greeted = true;
            outgoing.append(SYNC_EDITOR_GREETING, SYNC_EDITOR_GREETING_LENGTH);
            events.push_back(LinkEvent{LinkEvent::CONNECTED, {}, 0, 0, {}});
        }
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
