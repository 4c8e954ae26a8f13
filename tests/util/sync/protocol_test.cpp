// The editor connection's wire format from memory: exact bytes, round trips, and what each side
// refuses, including spans that end early or claim more than they hold.
#include "util/sync/protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/byte_order.h"

namespace {

using Bytes = std::vector<uint8_t>;

SyncCommand command(uint8_t type) {
    SyncCommand c{};
    c.type = type;
    return c;
}

SyncCommand key_set(uint32_t track, int32_t row, float value, uint8_t interpolation) {
    SyncCommand c = command(MSG_KEY_SET);
    c.track = track;
    c.row = row;
    c.value = value;
    c.interpolation = interpolation;
    return c;
}

SyncCommand key_remove(uint32_t track, int32_t row) {
    SyncCommand c = command(MSG_KEY_REMOVE);
    c.track = track;
    c.row = row;
    return c;
}

SyncCommand row(int32_t r) {
    SyncCommand c = command(MSG_ROW);
    c.row = r;
    return c;
}

SyncCommand pause(uint8_t flag) {
    SyncCommand c = command(MSG_PAUSE_STATE);
    c.flag = flag;
    return c;
}

// The command points at the name: it must outlive the command (a literal or a global).
SyncCommand track_request(const char* name) {
    SyncCommand c = command(MSG_TRACK_REQUEST);
    c.name = name;
    c.name_length = static_cast<uint32_t>(strlen(name));
    return c;
}

Bytes encode(const SyncCommand& c) {
    Bytes out(SYNC_MAX_COMMAND_SIZE);
    out.resize(encode_sync_command(c, out.data(), out.size()));
    return out;
}

// The first `length` bytes alone, in a buffer of exactly that size so that AddressSanitizer sees
// any read past it.
SyncDecodeStatus status_of_prefix(SyncPeer sender, const Bytes& bytes, size_t length) {
    Bytes exact(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    return decode_sync_command(sender, exact.data(), exact.size()).status;
}

// The messages each side sends, with names and values that show any mix-up of fields.
const std::string long_name(SYNC_MAX_TRACK_NAME_LENGTH, 'n');
const std::vector<SyncCommand> from_editor = {
    key_set(0, 0, 1.5f, 1), key_set(0xfffffffeu, -7, -0.0f, 0xff), key_remove(3, 2147483647),
    row(-1), pause(0), pause(200), command(MSG_SAVE_ALL),
};
const std::vector<SyncCommand> from_client = {
    track_request("ActiveScene1st"), track_request(""), track_request(long_name.c_str()), row(0), row(-2147483647 - 1),
};

void expect_same(const SyncCommand& a, const SyncCommand& b) {
    EXPECT_EQ(a.type, b.type);
    switch (a.type) {
        case MSG_KEY_SET:
            EXPECT_EQ(float_bits(a.value), float_bits(b.value));
            EXPECT_EQ(a.interpolation, b.interpolation);
            [[fallthrough]];
        case MSG_KEY_REMOVE:
            EXPECT_EQ(a.track, b.track);
            [[fallthrough]];
        case MSG_ROW: EXPECT_EQ(a.row, b.row); break;
        case MSG_PAUSE_STATE: EXPECT_EQ(a.flag, b.flag); break;
        case MSG_TRACK_REQUEST:
            EXPECT_EQ(std::string(a.name, a.name_length), std::string(b.name, b.name_length));
            break;
    }
}

TEST(SyncProtocol, WireLayoutIsBigEndianWithFloatBits) {
    EXPECT_EQ(encode(key_set(1, 0x0102, 1.0f, 2)),
              (Bytes{0, 0, 0, 0, 1, 0, 0, 1, 2, 0x3f, 0x80, 0, 0, 2}));
    EXPECT_EQ(encode(key_remove(0x01020304, -2)), (Bytes{1, 1, 2, 3, 4, 0xff, 0xff, 0xff, 0xfe}));
    EXPECT_EQ(encode(track_request("ab")), (Bytes{2, 0, 0, 0, 2, 'a', 'b'}));
    EXPECT_EQ(encode(row(0x10203)), (Bytes{3, 0, 1, 2, 3}));
    EXPECT_EQ(encode(pause(1)), (Bytes{4, 1}));
    EXPECT_EQ(encode(command(MSG_SAVE_ALL)), (Bytes{5}));
}

TEST(SyncProtocol, EveryMessageRoundTripsFromTheSideThatSendsIt) {
    for (auto [sender, messages] : {std::make_pair(SYNC_EDITOR, &from_editor), std::make_pair(SYNC_CLIENT, &from_client)}) {
        for (const SyncCommand& c : *messages) {
            SCOPED_TRACE(testing::Message() << "sender " << sender << ", command " << int(c.type));
            Bytes bytes = encode(c);
            ASSERT_FALSE(bytes.empty());
            EXPECT_EQ(bytes.size(), sync_command_size(c));
            // A following message is left alone.
            Bytes two = bytes;
            two.push_back(MSG_ROW);
            SyncDecoded d = decode_sync_command(sender, two.data(), two.size());
            ASSERT_EQ(d.status, SYNC_DECODE_COMPLETE);
            EXPECT_EQ(d.consumed, bytes.size());
            expect_same(d.command, c);
            EXPECT_EQ(encode(d.command), bytes);
        }
    }
}

TEST(SyncProtocol, EveryPrefixOfAMessageAsksForMore) {
    for (auto [sender, messages] : {std::make_pair(SYNC_EDITOR, &from_editor), std::make_pair(SYNC_CLIENT, &from_client)}) {
        for (const SyncCommand& c : *messages) {
            Bytes bytes = encode(c);
            for (size_t length = 0; length < bytes.size(); ++length)
                ASSERT_EQ(status_of_prefix(sender, bytes, length), SYNC_DECODE_INCOMPLETE)
                    << "command " << int(c.type) << ", " << length << " of " << bytes.size() << " bytes";
        }
    }
}

TEST(SyncProtocol, CommandsTheSenderMayNotSendAreRefusedOnTheirFirstByte) {
    const struct { SyncPeer sender; uint8_t type; } refused[] = {
        {SYNC_EDITOR, MSG_TRACK_REQUEST}, {SYNC_EDITOR, 6}, {SYNC_EDITOR, 0xff},
        {SYNC_CLIENT, MSG_KEY_SET},       {SYNC_CLIENT, MSG_KEY_REMOVE}, {SYNC_CLIENT, MSG_PAUSE_STATE},
        {SYNC_CLIENT, MSG_SAVE_ALL},      {SYNC_CLIENT, 6},              {SYNC_CLIENT, 0xff},
    };
    for (const auto& r : refused) {
        Bytes bytes(SYNC_MAX_EDITOR_COMMAND_SIZE, 0);
        bytes[0] = r.type;
        EXPECT_FALSE(sync_peer_may_send(r.sender, r.type));
        EXPECT_EQ(status_of_prefix(r.sender, bytes, 1), SYNC_DECODE_INVALID) << int(r.type);
        EXPECT_EQ(status_of_prefix(r.sender, bytes, bytes.size()), SYNC_DECODE_INVALID) << int(r.type);
    }
    // Neither side can send a byte that is no command at all.
    EXPECT_EQ(encode(command(6)), Bytes{});
}

TEST(SyncProtocol, TrackNamesOverTheMaximumAreRefusedWithoutWaitingForThem) {
    Bytes huge{MSG_TRACK_REQUEST, 0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(status_of_prefix(SYNC_CLIENT, huge, huge.size()), SYNC_DECODE_INVALID);
    Bytes over(5);
    over[0] = MSG_TRACK_REQUEST;
    write_u32_be(over.data() + 1, SYNC_MAX_TRACK_NAME_LENGTH + 1);
    EXPECT_EQ(status_of_prefix(SYNC_CLIENT, over, over.size()), SYNC_DECODE_INVALID);
    // The encoder refuses what the decoder would, and writes nothing when the buffer is short.
    std::string too_long(SYNC_MAX_TRACK_NAME_LENGTH + 1, 'n');
    EXPECT_EQ(sync_command_size(track_request(too_long.c_str())), 0u);
    EXPECT_EQ(encode(track_request(too_long.c_str())), Bytes{});
    uint8_t small[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(encode_sync_command(track_request("ab"), small, sizeof small), 0u);
    EXPECT_EQ(small[0], 9);
}

TEST(SyncProtocol, GreetingsAreExactAndRefusedAtTheFirstWrongByte) {
    for (auto [sender, text] : {std::make_pair(SYNC_CLIENT, "hello, synctracker!"), std::make_pair(SYNC_EDITOR, "hello, demo!")}) {
        uint8_t out[32] = {};
        size_t length = encode_sync_greeting(sender, out, sizeof out);
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(out), length), text);
        EXPECT_EQ(encode_sync_greeting(sender, out, length - 1), 0u);
        for (size_t n = 0; n < length; ++n) EXPECT_EQ(decode_sync_greeting(sender, out, n).status, SYNC_DECODE_INCOMPLETE);
        SyncDecoded d = decode_sync_greeting(sender, out, sizeof out);
        EXPECT_EQ(d.status, SYNC_DECODE_COMPLETE);
        EXPECT_EQ(d.consumed, length);
    }
    // An editor that is not ours is known at its first differing byte, not after all twelve.
    const auto* wrong = reinterpret_cast<const uint8_t*>("hello, dude!");
    EXPECT_EQ(decode_sync_greeting(SYNC_EDITOR, wrong, 8).status, SYNC_DECODE_INCOMPLETE);
    EXPECT_EQ(decode_sync_greeting(SYNC_EDITOR, wrong, 9).status, SYNC_DECODE_INVALID);
    const char* client = "hello, synctracker!";
    EXPECT_EQ(decode_sync_greeting(SYNC_EDITOR, reinterpret_cast<const uint8_t*>(client), 12).status, SYNC_DECODE_INVALID);
}

}  // namespace
