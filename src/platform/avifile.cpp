// AviFile: RIFF chunks, the header list and the index.
#include "platform/avifile.h"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/byte_order.h"

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t bytes[4];
    write_u32_le(bytes, v);
    out.insert(out.end(), bytes, bytes + 4);
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
    uint8_t bytes[2];
    write_u16_le(bytes, v);
    out.insert(out.end(), bytes, bytes + 2);
}
// Byte by byte: GCC 12 at -O3 takes the range insert into a vector just grown for a false
// overflow (-Wstringop-overflow).
void put_fourcc(std::vector<uint8_t>& out, const char* code) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(code[i]));
}

// A chunk: id, size, data, and a pad byte to keep chunks at even offsets.
void put_chunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& data) {
    put_fourcc(out, id);
    put32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2) out.push_back(0);
}

void put_list(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& content) {
    put_fourcc(out, "LIST");
    put32(out, static_cast<uint32_t>(content.size() + 4));
    put_fourcc(out, type);
    out.insert(out.end(), content.begin(), content.end());
}

constexpr uint32_t AVIF_HASINDEX = 0x10;
constexpr uint32_t AVIIF_KEYFRAME = 0x10;

}  // namespace

bool AviFile::open(const std::string& path) {
    close();
    // Past a file size limit a write should fail (and the file be salvaged), not kill us.
    signal(SIGXFSZ, SIG_IGN);
    file = fopen(path.c_str(), "wb");
    if (!file) return false;
    this->path = path;
    failed = salvaged = false;
    error.clear();
    streams.clear();
    index.clear();
    movi_bytes = 0;
    // The chunks start after the reserved header space and the 'movi' list header.
    static const uint8_t zeros[HEADER_SPACE] = {};
    if (fwrite(zeros, 1, HEADER_SPACE, file) != HEADER_SPACE) note_failure();
    return !failed;
}

int AviFile::create_stream(const AviStreamInfo& info) {
    if (!file || streams.size() >= 99) return -1;
    streams.push_back(Stream{info, {}, 0, 0, 0});
    return static_cast<int>(streams.size()) - 1;
}

bool AviFile::set_format(int stream, const void* format, size_t bytes) {
    if (!file || stream < 0 || static_cast<size_t>(stream) >= streams.size()) return false;
    const auto* p = static_cast<const uint8_t*>(format);
    streams[static_cast<size_t>(stream)].format.assign(p, p + bytes);
    return true;
}

bool AviFile::set_frame_size(int stream, int width, int height) {
    if (!file || stream < 0 || static_cast<size_t>(stream) >= streams.size()) return false;
    int16_t* frame = streams[static_cast<size_t>(stream)].info.frame;
    frame[0] = frame[1] = 0;
    frame[2] = static_cast<int16_t>(width);
    frame[3] = static_cast<int16_t>(height);
    return true;
}

size_t AviFile::write(int stream, const void* data, size_t bytes, bool key_frame) {
    if (!file || failed || stream < 0 || static_cast<size_t>(stream) >= streams.size() || bytes > 0x7FFFFFFF)
        return 0;
    Stream& s = streams[static_cast<size_t>(stream)];
    IndexEntry entry{};
    entry.id[0] = static_cast<char>('0' + stream / 10);
    entry.id[1] = static_cast<char>('0' + stream % 10);
    const bool video = memcmp(s.info.type, "vids", 4) == 0;
    const bool compressed = video && memcmp(s.info.handler, "DIB ", 4) != 0 && s.info.handler[0] != 0;
    memcpy(entry.id + 2, video ? (compressed ? "dc" : "db") : "wb", 2);
    entry.flags = key_frame ? AVIIF_KEYFRAME : 0;
    entry.offset = static_cast<uint32_t>(4 + movi_bytes);  // from the 'movi' code
    entry.size = static_cast<uint32_t>(bytes);
    std::vector<uint8_t> header;
    put_fourcc(header, entry.id);
    put32(header, static_cast<uint32_t>(bytes));
    const uint8_t pad = 0;
    if (fwrite(header.data(), 1, 8, file) != 8 || fwrite(data, 1, bytes, file) != bytes ||
        (bytes % 2 && fwrite(&pad, 1, 1, file) != 1)) {
        note_failure();
        return 0;
    }
    movi_bytes += 8 + bytes + bytes % 2;
    index.push_back(entry);
    s.chunks += 1;
    s.bytes += bytes;
    if (bytes > s.largest_chunk) s.largest_chunk = static_cast<uint32_t>(bytes);
    return bytes + 8;
}

bool AviFile::build_headers(std::vector<uint8_t>& head, std::vector<uint8_t>& tail) const {
    uint32_t frames = 0, micro_seconds = 0, width = 0, height = 0, largest = 0;
    std::vector<uint8_t> stream_lists;
    for (const Stream& s : streams) {
        const bool video = memcmp(s.info.type, "vids", 4) == 0;
        const uint32_t length = video ? s.chunks : static_cast<uint32_t>(s.info.sample_size ? s.bytes / s.info.sample_size : s.bytes);
        if (video && !micro_seconds && s.info.rate) {
            frames = s.chunks;
            micro_seconds = static_cast<uint32_t>(1000000.0 * s.info.scale / s.info.rate + 0.5);
            width = static_cast<uint32_t>(s.info.frame[2] - s.info.frame[0]);
            height = static_cast<uint32_t>(s.info.frame[3] - s.info.frame[1]);
        }
        largest = std::max(largest, s.largest_chunk);
        std::vector<uint8_t> strh;
        put_fourcc(strh, s.info.type);
        put_fourcc(strh, s.info.handler);
        put32(strh, 0);  // flags
        put16(strh, 0);  // priority
        put16(strh, 0);  // language
        put32(strh, 0);  // initial frames
        put32(strh, s.info.scale);
        put32(strh, s.info.rate);
        put32(strh, 0);  // start
        put32(strh, length);
        put32(strh, std::max(s.info.suggested_buffer_size, s.largest_chunk));
        put32(strh, static_cast<uint32_t>(s.info.quality));
        put32(strh, s.info.sample_size);
        for (int16_t v : s.info.frame) put16(strh, static_cast<uint16_t>(v));
        std::vector<uint8_t> content, name(s.info.name.begin(), s.info.name.end());
        name.push_back(0);
        put_chunk(content, "strh", strh);
        put_chunk(content, "strf", s.format);
        put_chunk(content, "strn", name);
        put_list(stream_lists, "strl", content);
    }
    std::vector<uint8_t> avih;
    put32(avih, micro_seconds);
    put32(avih, 0);  // max bytes per second
    put32(avih, 0);  // padding granularity
    put32(avih, AVIF_HASINDEX);
    put32(avih, frames);
    put32(avih, 0);  // initial frames
    put32(avih, static_cast<uint32_t>(streams.size()));
    put32(avih, largest);
    put32(avih, width);
    put32(avih, height);
    for (int i = 0; i < 4; ++i) put32(avih, 0);
    std::vector<uint8_t> hdrl_content;
    put_chunk(hdrl_content, "avih", avih);
    hdrl_content.insert(hdrl_content.end(), stream_lists.begin(), stream_lists.end());

    head.clear();
    put_fourcc(head, "RIFF");
    const uint64_t index_bytes = 8 + 16 * index.size();
    const uint64_t riff_size = HEADER_SPACE - 8 + movi_bytes + index_bytes;
    if (riff_size > 0xFFFFFFFFull) return false;
    put32(head, static_cast<uint32_t>(riff_size));
    put_fourcc(head, "AVI ");
    put_list(head, "hdrl", hdrl_content);
    // JUNK fills up to the 'movi' list header, which ends the reserved space.
    const long junk = HEADER_SPACE - 12 - static_cast<long>(head.size()) - 8;
    if (junk < 0) return false;
    put_chunk(head, "JUNK", std::vector<uint8_t>(static_cast<size_t>(junk), 0));
    put_fourcc(head, "LIST");
    put32(head, static_cast<uint32_t>(4 + movi_bytes));
    put_fourcc(head, "movi");

    std::vector<uint8_t> idx1;
    for (const IndexEntry& e : index) {
        put_fourcc(idx1, e.id);
        put32(idx1, e.flags);
        put32(idx1, e.offset);
        put32(idx1, e.size);
    }
    tail.clear();
    put_chunk(tail, "idx1", idx1);
    return true;
}

bool AviFile::write_headers() {
    std::vector<uint8_t> head, tail;
    return build_headers(head, tail) && fwrite(tail.data(), 1, tail.size(), file) == tail.size() &&
           fseek(file, 0, SEEK_SET) == 0 && fwrite(head.data(), 1, head.size(), file) == head.size() &&
           fflush(file) == 0;
}

void AviFile::note_failure() {
    if (!failed) error = errno ? strerror(errno) : "write failed";
    failed = true;
}

bool AviFile::salvage() {
    // What stdio still holds could not be written and would land at a stale position: drop it
    // and go on through the descriptor.
    __fpurge(file);
    const int fd = fileno(file);
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    const uint64_t room = static_cast<uint64_t>(st.st_size);
    // Keep the longest run of whole chunks that leaves room for its own index in the space the
    // file already reached.
    auto end_of = [this](size_t kept) -> uint64_t {
        if (kept == 0) return 0;
        const IndexEntry& e = index[kept - 1];
        return e.offset - 4 + 8 + e.size + e.size % 2;
    };
    size_t kept = index.size();
    while (kept > 0 && HEADER_SPACE + end_of(kept) + 8 + 16 * kept > room) --kept;
    index.resize(kept);
    if (HEADER_SPACE + 8 > room) return false;
    movi_bytes = end_of(kept);
    for (Stream& s : streams) s.chunks = 0, s.bytes = 0, s.largest_chunk = 0;
    for (const IndexEntry& e : index) {
        Stream& s = streams[static_cast<size_t>((e.id[0] - '0') * 10 + (e.id[1] - '0'))];
        s.chunks += 1;
        s.bytes += e.size;
        s.largest_chunk = std::max(s.largest_chunk, e.size);
    }
    const off_t end = static_cast<off_t>(HEADER_SPACE + movi_bytes);
    std::vector<uint8_t> head, tail;
    return build_headers(head, tail) && ftruncate(fd, end) == 0 &&
           pwrite(fd, tail.data(), tail.size(), end) == static_cast<ssize_t>(tail.size()) &&
           pwrite(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size());
}

bool AviFile::close() {
    if (!file) return true;
    bool ok = !failed && write_headers();
    if (!ok) {
        note_failure();
        salvaged = salvage();
    }
    ok = fclose(file) == 0 && ok;
    file = nullptr;
    // A file that could not even take its headers holds no frame: leave nothing half-made.
    if (failed && !salvaged && index.empty()) remove(path.c_str());
    return ok;
}
