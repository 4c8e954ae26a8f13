// TCP sockets for the sync editor connection: the demo's side (blocking connect, readability
// checks with a timeout) and the editor's (a loopback listener, accepts and sends that never
// wait); no send raises SIGPIPE.
// Depends on: POSIX sockets.
#pragma once

#include <cstddef>
#include <cstdint>

// Connects to host:port, trying each resolved address in order. Returns the socket or -1.
int net_connect(const char* host, uint16_t port);

// 1: data (or end of stream) waiting; 0: nothing; -1: error.
int net_readable(int socket);
// The same, waiting up to timeout_ms for it.
int net_wait_readable(int socket, int timeout_ms);

// Sends the whole buffer (looping over partial sends); false when the peer is gone, or when
// it stopped reading and the send would have to wait for it.
bool net_send_all(int socket, const void* data, size_t size);

// One blocking receive; returns what recv returns.
long net_recv(int socket, void* buffer, size_t size);

// One receive that does not wait; returns what recv returns (-1 with nothing available).
long net_recv_now(int socket, void* buffer, size_t size);

// Sends what the socket takes now, without waiting: the bytes sent (0 when its buffer is
// full), or -1 when the peer is gone.
long net_send_now(int socket, const void* data, size_t size);

// Listens on the loopback interface only (the demo and its editor share a machine); port 0
// takes any free port. Returns the socket or -1.
int net_listen_loopback(uint16_t port);
// The local port of a bound socket; 0 when it cannot be found.
uint16_t net_local_port(int socket);
// Accepts one waiting connection without blocking; -1 when none is waiting.
int net_accept_now(int listener);

void net_close(int socket);
