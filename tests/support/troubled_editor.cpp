// A sync editor that misbehaves on purpose, for the end-to-end test of a live run: it answers
// the first connection and then vanishes in the middle of a message, sends garbage on the
// second, accepts the third and never answers, and serves the fourth properly until the demo
// ends. It prints what it saw and exits 0 when the demo came back after each of them and asked
// the fourth editor for every track it had asked the first.
//   troubled_editor PORT
// With "silent" it only accepts, reads the greeting and never answers, until the client leaves.
//   troubled_editor PORT silent
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "util/sync/protocol.h"

namespace {

// Waits up to timeout_ms for bytes; appends them. False at the end of the stream or on timeout.
bool receive(int s, std::string& into, int timeout_ms) {
    pollfd p{s, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return false;
    char buffer[4096];
    ssize_t got = recv(s, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    into.append(buffer, static_cast<size_t>(got));
    return true;
}

int accept_one(int listener, int timeout_ms) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return -1;
    return accept(listener, nullptr, nullptr);
}

// Reads the client's greeting; answers it unless told not to.
bool greet(int s, bool answer) {
    std::string hello;
    while (hello.size() < SYNC_CLIENT_GREETING_LENGTH)
        if (!receive(s, hello, 10000)) return false;
    if (hello.compare(0, SYNC_CLIENT_GREETING_LENGTH, SYNC_CLIENT_GREETING) != 0) return false;
    return !answer || send(s, SYNC_EDITOR_GREETING, SYNC_EDITOR_GREETING_LENGTH, MSG_NOSIGNAL) > 0;
}

struct Traffic {
    int requests = 0, rows = 0;
};

// Reads client commands until `stop` says so or the client goes; counts them.
template <typename Stop>
Traffic listen_to(int s, int timeout_ms, Stop stop) {
    Traffic t;
    std::string pending;
    while (!stop(t) && receive(s, pending, timeout_ms)) {
        for (;;) {
            SyncDecoded d = decode_sync_command(SYNC_CLIENT, reinterpret_cast<const uint8_t*>(pending.data()),
                                                pending.size());
            if (d.status != SYNC_DECODE_COMPLETE) break;
            if (d.command.type == MSG_TRACK_REQUEST) ++t.requests;
            if (d.command.type == MSG_ROW) ++t.rows;
            pending.erase(0, d.consumed);
        }
    }
    return t;
}

// Waits until the client closes its end (it gave up on us).
bool closed_by_client(int s, int timeout_ms) {
    std::string ignored;
    pollfd p{s, POLLIN, 0};
    for (;;) {
        if (poll(&p, 1, timeout_ms) <= 0) return false;
        char buffer[4096];
        if (recv(s, buffer, sizeof buffer, 0) <= 0) return true;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool silent = argc == 3 && std::string(argv[2]) == "silent";
    if (argc != 2 && !silent) return 2;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(atoi(argv[1])));
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 4) != 0) {
        perror("troubled_editor: listen");
        return 1;
    }
    printf("listening\n");
    fflush(stdout);

    if (silent) {
        int client = accept_one(listener, 60000);
        if (client < 0 || !greet(client, false)) return printf("no client greeting\n"), 1;
        printf("greeting received, not answered\n");
        std::string ignored;
        while (receive(client, ignored, 60000)) {
        }
        printf("client left\n");
        return 0;
    }

    // 1: a proper editor until the music plays, then half a key and gone.
    int s = accept_one(listener, 60000);
    if (s < 0 || !greet(s, true)) return printf("first connection failed\n"), 1;
    Traffic first = listen_to(s, 60000, [](const Traffic& t) { return t.rows > 0; });
    printf("first: %d track requests, playing %s\n", first.requests, first.rows > 0 ? "yes" : "no");
    SyncCommand key{};
    key.type = MSG_KEY_SET;
    key.row = 8;
    key.value = 1.0f;
    uint8_t message[SYNC_MAX_COMMAND_SIZE];
    size_t size = encode_sync_command(key, message, sizeof message);
    send(s, message, size / 2, MSG_NOSIGNAL);
    close(s);

    // 2: garbage right after the greeting.
    s = accept_one(listener, 30000);
    if (s < 0 || !greet(s, true)) return printf("no second connection\n"), 1;
    send(s, "\x7fgarbage", 8, MSG_NOSIGNAL);
    printf("second: garbage sent, %s\n", closed_by_client(s, 30000) ? "dropped by the demo" : "not dropped");
    close(s);

    // 3: accepted, never answered.
    s = accept_one(listener, 30000);
    if (s < 0 || !greet(s, false)) return printf("no third connection\n"), 1;
    printf("third: silent, %s\n", closed_by_client(s, 30000) ? "given up by the demo" : "not given up");
    close(s);

    // 4: a proper editor to the end.
    s = accept_one(listener, 30000);
    if (s < 0 || !greet(s, true)) return printf("no fourth connection\n"), 1;
    Traffic fourth = listen_to(s, 60000, [](const Traffic&) { return false; });
    printf("fourth: %d track requests, %d rows\n", fourth.requests, fourth.rows);
    close(s);
    close(listener);
    const bool ok = fourth.requests == first.requests && first.requests > 0 && fourth.rows > 0;
    printf("%s\n", ok ? "editor trouble survived" : "FAILED");
    return ok ? 0 : 1;
}
