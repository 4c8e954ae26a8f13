// The data archive: modes, the entry list, file access for every loader, and reading and
// writing the packed file.
#include "util/data/data.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "util/data/huffman.h"

namespace {

const char DATAFILE_HEADER[] = "Trelvane Data File";  // 18 characters and the terminator
constexpr size_t HEADER_BYTES = 19;
constexpr uint8_t MAJOR_VERSION = 0, MINOR_VERSION = 2;
const char CHUNK_TAG[] = "ZQFDFC";  // 6 characters and the terminator
constexpr size_t TAG_BYTES = 7;
constexpr size_t CHUNK_HEADER_BYTES = TAG_BYTES + 8;

// Everything the archive keeps for the process, in one value, put back by reset_datafile.
struct Archive {
    DatafileMode mode = DATAFILE_MODE_NONE;
    bool read = false;  // read_datafile has run (or had nothing to read in this mode)
    uint64_t trailing_bytes = 0;
    std::vector<DataChunk> entries;  // their buffers are freed only by a reset
    uint32_t used_count = 0;
    // Installed by whoever runs the archive (the shell, a tool, a test); a reset keeps them.
    struct Hooks {
        DatafileProgress progress = nullptr;
        void* progress_data = nullptr;
        std::string missing_hint;
    } hooks;
};
// Held through a pointer that is never destroyed, so that no exit-time destructor runs before
// a late request.
Archive& archive = *new Archive();

void append_u32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t bytes[4];
    write_u32_le(bytes, v);
    out.insert(out.end(), bytes, bytes + 4);
}

void request_redraw() {
    if (archive.hooks.progress) archive.hooks.progress(archive.hooks.progress_data);
}

// Scans the whole list, as a duplicate anywhere in it is an error.
DataChunk* find_entry(const char* name) {
    DataChunk* found = nullptr;
    for (auto& entry : archive.entries) {
        if (entry.name != name) continue;
        if (found)
            ZV_FATAL("Ouch, found more than one entry for %s in datafile. Duplicates make no sense here.",
                     name);
        found = &entry;
    }
    return found;
}

void mark_used(DataChunk& entry) {
    if (!entry.used) {
        entry.used = true;
        ++archive.used_count;
    }
}

char* copy_of(const char* data, size_t size, const char* failure) {
    // malloc(0) may give null; a zero-size entry still gets a real buffer.
    char* copy = static_cast<char*>(malloc(size ? size : 1));
    if (!copy) ZV_FATAL("%s", failure);
    if (size) memcpy(copy, data, size);
    return copy;
}

void append_entry(const char* name, uint32_t size, char* owned_data) {
    archive.entries.push_back(DataChunk{name, size, owned_data, false});
}

bool skip_duplicate(const char* name) {
    if (!find_entry(name)) return false;
    log_line("[DATA] Skipping duplicate entry for %s", name);
    return true;
}

// Owners for the fatal paths: a report redirected to an exception (tests, fuzzing) must not
// leak what was open or allocated when it was raised.
using FileOwner = std::unique_ptr<FILE, int (*)(FILE*)>;
using BufferOwner = std::unique_ptr<char, void (*)(void*)>;
FileOwner own(FILE* f) { return FileOwner(f, fclose); }
BufferOwner own(char* buffer) { return BufferOwner(buffer, free); }

// The largest loose file an entry can hold, and the largest archive worth reading.
constexpr uint64_t MAX_ENTRY_BYTES = UINT32_MAX - 1;
constexpr uint64_t MAX_ARCHIVE_BYTES = UINT32_MAX;

// A loose file, open for reading once it is known to be a regular file an entry can hold; null
// when it cannot be opened. Anything else (a folder, a FIFO, a device) is fatal before it is
// read or a buffer is sized from it.
FILE* open_loose_file(const char* name, const char* open_mode, uint64_t& size) {
    OpenedFile opened = open_regular_file(name, open_mode, MAX_ENTRY_BYTES);
    if (!opened.stream && opened.refused) ZV_FATAL("Failed to load %s: it %s", name, opened.reason.c_str());
    size = opened.size;
    return opened.stream;
}

// A readable stream over a private copy of an entry. Memory streams need a non-empty buffer;
// an empty entry gets an anonymous temporary file, gone when it is closed. A written memory
// stream puts a null byte after its data on rewind, over the last byte when the buffer is full,
// so the buffer has one byte to spare; reads still end at the entry's end.
FILE* stream_over(const DataChunk& entry) {
    FILE* f = entry.size ? fmemopen(nullptr, static_cast<size_t>(entry.size) + 1, "w+") : tmpfile();
    if (!f) return nullptr;
    if (entry.size && fwrite(entry.data, 1, entry.size, f) != entry.size) {
        fclose(f);
        return nullptr;
    }
    rewind(f);
    return f;
}

}  // namespace

// ---- mode -----------------------------------------------------------------------------------

void set_datafile_mode(DatafileMode mode) { archive.mode = mode; }
DatafileMode get_datafile_mode() { return archive.mode; }

void set_datafile_progress(DatafileProgress callback, void* data) {
    archive.hooks.progress = callback;
    archive.hooks.progress_data = data;
}

uint32_t get_datafile_entry_count() { return static_cast<uint32_t>(archive.entries.size()); }
uint32_t get_datafile_used_count() { return archive.used_count; }
uint64_t get_datafile_trailing_bytes() { return archive.trailing_bytes; }
const std::vector<DataChunk>& get_datafile_entries() { return archive.entries; }

void reset_datafile() {
    for (auto& entry : archive.entries) free(entry.data);
    Archive::Hooks hooks = std::move(archive.hooks);
    archive = Archive();
    archive.hooks = std::move(hooks);
}

// ---- reading the archive --------------------------------------------------------------------

namespace {
// The header and versions, from the first `length` bytes of an archive.
void check_datafile_header(const uint8_t* file, size_t length) {
    if (length < HEADER_BYTES) ZV_FATAL("Failed to read header!");
    char header[HEADER_BYTES + 1] = {};
    memcpy(header, file, HEADER_BYTES);
    if (strcmp(header, DATAFILE_HEADER) != 0)
        ZV_FATAL("Unrecognized datafile header: %s", printable_bytes(header, strnlen(header, HEADER_BYTES)).c_str());
    if (length < HEADER_BYTES + 1) ZV_FATAL("Failed to read major version!");
    if (length < HEADER_BYTES + 2) ZV_FATAL("Failed to read minor version!");
    int major = file[HEADER_BYTES], minor = file[HEADER_BYTES + 1];
    if (major != MAJOR_VERSION || minor != MINOR_VERSION)
        ZV_FATAL("Expected datafile format 0.2, got %d.%d", major, minor);
}
}  // namespace

void set_missing_datafile_hint(const char* hint) { archive.hooks.missing_hint = hint ? hint : ""; }

void parse_datafile_image(const uint8_t* file, size_t length, const char* path) {
    check_datafile_header(file, length);
    const uint8_t* block = file + HEADER_BYTES + 2;
    size_t block_length = length - HEADER_BYTES - 2;
    if (block_length == 0) ZV_FATAL("Failed to read %zu bytes from %s", block_length, path);

    // Checked before the output is allocated, so a lying header costs nothing.
    if (const char* problem = HuffmanCoder::check_block(block, block_length))
        ZV_FATAL("Corrupt compressed block in %s: %s", path, problem);
    // The writer records the block's own length; whatever follows it is not part of the archive.
    archive.trailing_bytes = 0;
    const uint32_t recorded = HuffmanCoder::block_size(block);
    if (recorded >= HuffmanCoder::HEADER_SIZE && recorded < block_length) {
        archive.trailing_bytes = block_length - recorded;
        log_line("[DATA] %s has %llu bytes after its compressed block; they are ignored", path,
                 static_cast<unsigned long long>(archive.trailing_bytes));
        block_length = recorded;
        if (const char* problem = HuffmanCoder::check_block(block, block_length))
            ZV_FATAL("Corrupt compressed block in %s: %s", path, problem);
    }
    uint32_t content_length = HuffmanCoder::uncompressed_size(block);
    // Owned here so that a report redirected to an exception leaks nothing.
    std::unique_ptr<uint8_t, decltype(&free)> content_buffer(
        static_cast<uint8_t*>(malloc(content_length ? content_length : 1)), free);
    uint8_t* content = content_buffer.get();
    if (!content) ZV_FATAL("Failed to allocate memory for data buffer loading %s", path);
    {
        auto coder = std::make_unique<HuffmanCoder>();
        uint32_t decoded = 0;
        coder->decode(content, decoded, block, block_length);
    }

    uint32_t chunks = 0;
    uint64_t bytes = 0;
    size_t offset = 0;
    while (offset < content_length) {
        size_t left = content_length - offset;
        if (left < TAG_BYTES)
            ZV_FATAL("Corrupt datafile %s: chunk %u is cut short after %zu bytes", path, chunks, left);
        char tag[TAG_BYTES + 1] = {};
        memcpy(tag, content + offset, TAG_BYTES);
        if (strcmp(tag, CHUNK_TAG) != 0)
            ZV_FATAL("Unrecognized chunk header: %s. \nRead %u chunks, %f MB before this\n",
                     printable_bytes(tag, strnlen(tag, TAG_BYTES)).c_str(), chunks, static_cast<double>(bytes) / 1048576.0);
        if (left < CHUNK_HEADER_BYTES)
            ZV_FATAL("Corrupt datafile %s: chunk %u is cut short after %zu bytes", path, chunks, left);
        uint32_t name_length = read_u32_le(content + offset + TAG_BYTES);
        uint32_t size = read_u32_le(content + offset + TAG_BYTES + 4);
        if (static_cast<uint64_t>(name_length) + size > left - CHUNK_HEADER_BYTES)
            ZV_FATAL("Corrupt datafile %s: chunk %u needs %llu bytes, only %zu are left", path,
                     chunks,
                     static_cast<unsigned long long>(CHUNK_HEADER_BYTES + uint64_t{name_length} + size),
                     left);
        const char* name = reinterpret_cast<const char*>(content + offset + CHUNK_HEADER_BYTES);
        char* data = static_cast<char*>(malloc(size ? size : 1));
        if (!data) ZV_FATAL("Failed to allocate memory for data chunk!");
        if (size) memcpy(data, name + name_length, size);
        archive.entries.push_back(DataChunk{std::string(name, name_length), size, data, false});
        offset += CHUNK_HEADER_BYTES + name_length + size;
        ++chunks;
        bytes += size;
    }
}

std::string locate_datafile(const std::string& name, const std::string& program_folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (name.empty() || name[0] == '/' || fs::exists(name, error) || program_folder.empty()) return name;
    for (const fs::path& candidate : {fs::path(program_folder) / name, fs::path(program_folder) / "../share/zorvane" / name}) {
        const fs::path found = candidate.lexically_normal();
        if (fs::is_regular_file(found, error)) return found.string();
    }
    return name;
}

void read_datafile(const char* path) {
    if (archive.read) return;
    if (archive.mode != DATAFILE_MODE_READ) {
        archive.read = true;
        return;
    }
    OpenedFile opened = open_regular_file(path, "rb", MAX_ARCHIVE_BYTES);
    if (!opened.stream && opened.refused)
        ZV_FATAL("Failed to open data file %s for reading.\n%s %s", path, path, opened.reason.c_str());
    if (!opened.stream) {
        const int error = errno;
        const bool missing = error == ENOENT && !archive.hooks.missing_hint.empty();
        ZV_FATAL("Failed to open data file %s for reading.\n%s: %s%s%s", path, path, strerror(error),
                 missing ? "\n" : "", missing ? archive.hooks.missing_hint.c_str() : "");
    }
    FileOwner f = own(opened.stream);
    long length = static_cast<long>(opened.size);
    if (length < 1) ZV_FATAL("Negative or zero file length: %ld\n%s is empty", length, path);
    // The header is judged before the rest is read: a large file that is no archive at all
    // costs its first bytes, not its length in memory.
    std::vector<uint8_t> file(std::min<size_t>(static_cast<size_t>(length), HEADER_BYTES + 2));
    const size_t head = fread(file.data(), 1, file.size(), f.get());
    check_datafile_header(file.data(), head);
    file.resize(static_cast<size_t>(length));
    size_t got = head + fread(file.data() + head, 1, file.size() - head, f.get());
    f.reset();
    if (got != file.size()) ZV_FATAL("Failed to read %ld bytes from %s", length, path);
    parse_datafile_image(file.data(), file.size(), path);
    archive.read = true;
}

// ---- file access ----------------------------------------------------------------------------

char* get_data(const char* name, uint32_t* size) {
    if (archive.mode != DATAFILE_MODE_READ)
        ZV_FATAL("Illegal use of get_data(), can only be used in read mode!");
    DataChunk* entry = find_entry(name);
    if (!entry) return nullptr;
    char* copy = copy_of(entry->data, entry->size, "tmpbuffer is NULL");
    if (size) *size = entry->size;
    mark_used(*entry);
    request_redraw();
    return copy;
}

void add_data(const char* name, uint32_t size, const char* data) {
    if (archive.mode != DATAFILE_MODE_WRITE)
        ZV_FATAL("Illegal use of add_data(), can only be used in write mode!");
    if (skip_duplicate(name)) return;
    append_entry(name, size, copy_of(data, size, "copybuffer is NULL"));
    request_redraw();
}

char* load_file(const char* name, const char* open_mode, uint32_t* size, bool terminator) {
    if (archive.mode == DATAFILE_MODE_READ) {
        // An entry written from a terminated text file already ends with its zero byte.
        DataChunk* entry = find_entry(name);
        if (!entry) return nullptr;
        char* copy = copy_of(entry->data, entry->size, "tmpbuffer is NULL");
        mark_used(*entry);
        request_redraw();
        if (size) *size = entry->size;
        return copy;
    }

    uint64_t loose_size = 0;
    FileOwner f = own(open_loose_file(name, open_mode, loose_size));
    if (!f) return nullptr;
    long length = static_cast<long>(loose_size);
    size_t capacity = static_cast<size_t>(length) + (terminator ? 1 : 0);
    BufferOwner owner = own(static_cast<char*>(malloc(capacity ? capacity : 1)));
    if (!owner) ZV_FATAL("Failed to allocate memory for loading %s", name);
    size_t count = fread(owner.get(), 1, static_cast<size_t>(length), f.get());
    if (count < 1) ZV_FATAL("Tried to read %ld bytes from %s, got %zu", length, name, count);
    f.reset();
    if (count != static_cast<size_t>(length)) {
        // Text mode may shorten the content; keep just what was read.
        owner = own(copy_of(owner.get(), count + (terminator ? 1 : 0), "copybuffer is NULL"));
    }
    char* buffer = owner.release();
    if (terminator) buffer[count] = 0;
    uint32_t file_size = static_cast<uint32_t>(count + (terminator ? 1 : 0));

    if (archive.mode == DATAFILE_MODE_WRITE) {
        if (skip_duplicate(name)) {
            if (size) *size = file_size;
            return buffer;
        }
        append_entry(name, file_size, copy_of(buffer, file_size, "copybuffer is NULL"));
    }
    request_redraw();
    if (size) *size = file_size;
    return buffer;
}

bool data_file_exists(const char* name) {
    if (archive.mode == DATAFILE_MODE_READ) return find_entry(name) != nullptr;
    std::error_code error;
    return std::filesystem::is_regular_file(name, error);
}

FILE* open_file(const char* name, const char* open_mode) {
    if (archive.mode == DATAFILE_MODE_READ) {
        DataChunk* entry = find_entry(name);
        if (!entry) return nullptr;
        FILE* stream = stream_over(*entry);
        if (!stream) return nullptr;
        mark_used(*entry);
        request_redraw();
        return stream;
    }

    uint64_t loose_size = 0;
    FileOwner f = own(open_loose_file(name, open_mode, loose_size));
    if (!f) return nullptr;
    const long length = static_cast<long>(loose_size);
    if (archive.mode == DATAFILE_MODE_WRITE) {
        if (skip_duplicate(name)) return f.release();
        BufferOwner buffer = own(static_cast<char*>(malloc(length ? static_cast<size_t>(length) : 1)));
        if (!buffer) ZV_FATAL("Failed to allocate memory for data buffer loading %s", name);
        size_t count = fread(buffer.get(), 1, static_cast<size_t>(length), f.get());
        if (count < 1) ZV_FATAL("Tried to read %ld bytes from %s, got %zu", length, name, count);
        rewind(f.get());
        append_entry(name, static_cast<uint32_t>(count), buffer.release());
    }
    request_redraw();
    return f.release();
}

// ---- writing the archive --------------------------------------------------------------------

std::vector<uint8_t> build_datafile_image(const std::vector<DataChunk>& chunks,
                                          uint32_t* stream_length_out) {
    std::vector<uint8_t> stream;
    for (const auto& entry : chunks) {
        stream.insert(stream.end(), CHUNK_TAG, CHUNK_TAG + TAG_BYTES);
        append_u32(stream, static_cast<uint32_t>(entry.name.size()));
        append_u32(stream, entry.size);
        stream.insert(stream.end(), entry.name.begin(), entry.name.end());
        stream.insert(stream.end(), entry.data, entry.data + entry.size);
    }
    if (stream.size() > UINT32_MAX - HuffmanCoder::WORST_CASE_OVERHEAD)
        ZV_FATAL("The datafile content of %zu bytes is too large for one block", stream.size());
    uint32_t length = static_cast<uint32_t>(stream.size());

    std::vector<uint8_t> image(HEADER_BYTES + 2 + length + HuffmanCoder::WORST_CASE_OVERHEAD);
    memcpy(image.data(), DATAFILE_HEADER, HEADER_BYTES);
    image[HEADER_BYTES] = MAJOR_VERSION;
    image[HEADER_BYTES + 1] = MINOR_VERSION;
    uint32_t block_size = 0;
    auto coder = std::make_unique<HuffmanCoder>();
    coder->encode(image.data() + HEADER_BYTES + 2, block_size, stream.data(), length);
    image.resize(HEADER_BYTES + 2 + block_size);
    if (stream_length_out) *stream_length_out = length;
    return image;
}

void write_datafile(const char* path) {
    if (archive.mode != DATAFILE_MODE_WRITE) return;
    log_line("Writing datafile %s", path);
    for (const auto& entry : archive.entries) log_line("..file: %s, %u bytes", entry.name.c_str(), entry.size);
    if (archive.entries.empty())
        ZV_FATAL("Negative or zero file length: 0\nnothing was requested from the loose files, so %s would hold no file",
                 path);

    uint32_t original = 0;
    std::vector<uint8_t> image = build_datafile_image(archive.entries, &original);
    uint32_t compressed = static_cast<uint32_t>(image.size() - HEADER_BYTES - 2);

    // A failed write never leaves a truncated archive where a good one was.
    AtomicFile file;
    if (!file.open(path)) ZV_FATAL("Failed to open data file %s for writing", path);
    FILE* f = file.stream();
    auto fail = [&](const char* message) {
        file.abandon();
        ZV_FATAL("%s", message);
    };
    if (fwrite(image.data(), 1, HEADER_BYTES, f) != HEADER_BYTES) fail("Failed to write header!");
    if (fputc(MAJOR_VERSION, f) == EOF) fail("Failed to write major version!");
    if (fputc(MINOR_VERSION, f) == EOF) fail("Failed to write minor version!");
    if (fwrite(image.data() + HEADER_BYTES + 2, 1, compressed, f) != compressed)
        fail("Failed to write file contents!");
    if (!file.commit()) ZV_FATAL("Failed to write file contents!");

    log_line("Done writing datafile \"%s\" of %.2f MB!", path, compressed / 1048576.0);
    log_line(" ..original file size:  %9u bytes", original);
    log_line(" ..compressed file size:%9u bytes", compressed);
    log_line(" ..lost in compression: %9lld bytes",
             static_cast<long long>(original) - static_cast<long long>(compressed));
    log_line(" ..compression rate:    %9.2f %%",
             original ? (static_cast<double>(original) - compressed) * 100.0 / original : 0.0);
}

// ---- export and clean-up --------------------------------------------------------------------

void export_mp3() {
    int mode = archive.mode;
    ZV_ASSERT_CMP(DATAFILE_MODE_READ, ==, mode);
    for (const auto& entry : archive.entries) {
        if (entry.name.find("mp3") == std::string::npos) continue;
        // Only the last path component: the export lands in the current folder.
        size_t cut = entry.name.find_last_of('/');
        if (cut == std::string::npos) cut = entry.name.find_last_of('\\');
        std::string output = cut == std::string::npos ? entry.name : entry.name.substr(cut + 1);
        FILE* f = fopen(output.c_str(), "wb+");
        if (!f) ZV_FATAL("Failed to create output file for %s", output.c_str());
        size_t written = entry.size ? fwrite(entry.data, 1, entry.size, f) : 0;
        if (fclose(f) != 0 || written != entry.size)
            ZV_FATAL("Failed to create output file for %s", output.c_str());
        std::string text = "Successfully exported " + output + " to the current folder";
        message_box("Success", text.c_str(), MessageBoxButtons::Ok, MessageBoxIcon::None);
    }
}
