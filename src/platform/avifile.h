// A RIFF AVI file writer in place of Video for Windows' AVIFile: streams with their headers and
// formats, chunks appended to the 'movi' list, and at close the header list, the stream
// lengths and an 'idx1' index. The header area is reserved at the start of the file, so chunks
// go straight to disk and only the headers are written at the end.
// Depends on: C stdio, POSIX (descriptor writes when a file is salvaged).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct AviStreamInfo {
    char type[4];     // "vids" or "auds"
    char handler[4];  // codec four-character code; zeros for none
    uint32_t scale = 1, rate = 1;
    uint32_t suggested_buffer_size = 0;
    int32_t quality = -1;
    uint32_t sample_size = 0;  // bytes per sample; 0 for video frames
    int16_t frame[4] = {};     // left, top, right, bottom
    std::string name;
};

class AviFile {
public:
    AviFile() = default;
    ~AviFile() { close(); }
    AviFile(const AviFile&) = delete;
    AviFile& operator=(const AviFile&) = delete;

    // Creates (or truncates) the file; false when it cannot be written.
    bool open(const std::string& path);
    bool is_open() const { return file != nullptr; }
    // Adds a stream (also after chunks of others were written); returns its number, or -1.
    int create_stream(const AviStreamInfo& info);
    bool set_format(int stream, const void* format, size_t bytes);
    // The frame rectangle of a video stream, when its size is known only after creation.
    bool set_frame_size(int stream, int width, int height);
    // Appends one chunk to the stream; returns the bytes written (0 on failure). Every chunk
    // is indexed; key_frame marks it as one.
    size_t write(int stream, const void* data, size_t bytes, bool key_frame);
    // Writes headers and index and closes the file; false when any of it failed. After a failed
    // write (a full disk, a file size limit) the file is cut back to the whole chunks that
    // reached it and closed with headers and index for those, so it still plays.
    bool close();
    // Why the first write failed (the system's words); empty while none has.
    const std::string& failure() const { return error; }
    // Whether the last close after a failure left a valid file.
    bool was_salvaged() const { return salvaged; }

    // Room at the start of the file for the headers; enough for a handful of streams.
    static constexpr long HEADER_SPACE = 4096;

private:
    struct Stream {
        AviStreamInfo info;
        std::vector<uint8_t> format;
        uint32_t chunks = 0;
        uint64_t bytes = 0;
        uint32_t largest_chunk = 0;
    };
    struct IndexEntry {
        char id[4];
        uint32_t flags, offset, size;
    };

    bool build_headers(std::vector<uint8_t>& head, std::vector<uint8_t>& tail) const;
    bool write_headers();
    void note_failure();
    bool salvage();

    FILE* file = nullptr;
    std::string path;
    bool failed = false, salvaged = false;
    std::string error;
    std::vector<Stream> streams;
    std::vector<IndexEntry> index;
    uint64_t movi_bytes = 0;  // chunks after the 'movi' four-character code
};
