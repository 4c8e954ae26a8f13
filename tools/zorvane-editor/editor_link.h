// zorvane-editor's end of the connection: a loopback listener and the one demo connected to
// it. Nothing here ever waits: bytes are read as they come, commands are taken apart once
// whole, and what the demo cannot take yet waits in a queue, so a slow or broken demo never
// stalls the screen. A demo that sends anything it may not (a wrong greeting, an unknown
// command, a track name longer than any track can have) loses its connection and nothing else;
// the listener keeps accepting. A newcomer is kept apart until its greeting is whole: only then
// may it take the place of the demo that is connected (a demo that restarts), so a port scan,
// a stray tool or a burst of connections never cuts the demo off.
// Depends on: util/sync/protocol (the wire format), platform/net.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/sync/protocol.h"

struct LinkEvent {
    enum Type {
        CONNECTED,      // the demo's greeting arrived and was answered (`reason` says when it
                        // took the place of another demo)
        TRACK_REQUEST,  // `name`, at `index` in this connection's request order
        ROW,            // the demo's playing row
        DISCONNECTED,   // `reason`: the demo closed the connection, was replaced, or misbehaved
    };
    Type type;
    std::string name;
    uint32_t index = 0;
    int32_t row = 0;
    std::string reason;
    bool was_connected = false;  // DISCONNECTED: false for a peer that never greeted properly
};

// More unsent bytes than this means the demo stopped reading: the connection is dropped
// instead of growing the queue without end.
constexpr size_t EDITOR_LINK_MAX_QUEUE = 16u << 20;
// Connections that have not greeted yet: at most this many are kept (a newer one closes the
// oldest), each for at most this long.
constexpr size_t EDITOR_LINK_MAX_NEWCOMERS = 8;
constexpr uint32_t EDITOR_LINK_GREETING_MS = 5000;

class EditorLink {
public:
    EditorLink() = default;
    ~EditorLink();
    EditorLink(const EditorLink&) = delete;
    EditorLink& operator=(const EditorLink&) = delete;

    // Listens on the loopback port (0: any free one). False when it cannot.
    bool listen(uint16_t port);
    uint16_t port() const { return port_; }

    // The descriptors to wait on before the next service(): the listener, and the connection
    // (for writing too while bytes wait to go out).
    void add_poll_fds(std::vector<pollfd>& fds) const;
    // Accepts, reads and writes whatever is possible now, and appends what happened.
    void service(std::vector<LinkEvent>& events);

    // A greeted demo is connected.
    bool connected() const { return peer >= 0 && greeted; }
    // Track requests of the current connection so far.
    uint32_t requests() const { return request_count; }
    // Queues a command for the demo; dropped silently when no demo is connected.
    void send(const SyncCommand& command);
    // Closes the current connection (appending its DISCONNECTED event).
    void disconnect(const std::string& reason, std::vector<LinkEvent>& events);

private:
    struct Newcomer {
        int socket;
        std::string received;
        uint32_t since_ms;
    };
    void accept_newcomers(std::vector<LinkEvent>& events);
    // True when the newcomer is done with: refused, or become the demo.
    bool greet(Newcomer& n, uint32_t now_ms, std::vector<LinkEvent>& events);
    void refuse(Newcomer& n, const std::string& reason, std::vector<LinkEvent>& events);
    void read_peer(std::vector<LinkEvent>& events);
    void take_commands(std::vector<LinkEvent>& events);
    void flush(std::vector<LinkEvent>& events);

    std::vector<Newcomer> newcomers;

    int listener = -1;
    uint16_t port_ = 0;
    int peer = -1;
    bool greeted = false;
    uint32_t request_count = 0;
    std::string received;  // commands not complete yet
    std::string outgoing;  // not yet taken by the demo
};
