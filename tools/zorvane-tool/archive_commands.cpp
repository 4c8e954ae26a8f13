// zorvane-tool archive and huff: inspect, unpack and build archives and raw Huffman blocks.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "commands.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "util/data/data.h"
#include "util/data/huffman.h"

int tool_error(const std::string& message) {
    fprintf(stderr, "zorvane-tool: %s\n", message.c_str());
    return 1;
}

namespace {

// A regular file of at most `limit` bytes, open for reading; null and the reason otherwise.
FILE* open_input_file(const std::string& path, uint64_t limit, std::string& error) {
    OpenedFile opened = open_regular_file(path.c_str(), "rb", limit);
    if (!opened.stream) error = "cannot read " + path + ": " + (opened.refused ? "it " : "") + opened.reason;
    return opened.stream;
}

}  // namespace

FILE* open_readable_file(const char* path, uint64_t limit) {
    std::string error;
    FILE* f = open_input_file(path, limit, error);
    if (!f) tool_error(error);
    return f;
}

bool readable_file(const char* path) {
    FILE* f = open_readable_file(path, UINT64_MAX);
    if (f) fclose(f);
    return f != nullptr;
}

namespace {

bool read_whole_file(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    // Nothing the tool reads whole can be larger than an archive entry or a Huffman block.
    FILE* f = open_input_file(path, UINT32_MAX, error);
    if (!f) return false;
    out.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + got);
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed) {
        error = "cannot read " + path + ": " + strerror(EIO);
        return false;
    }
    return true;
}

bool write_whole_file(const std::string& path, const uint8_t* data, size_t size, std::string& error) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path + ": " + strerror(errno);
        return false;
    }
    bool ok = (size == 0 || fwrite(data, 1, size, f) == size);
    ok = (fclose(f) == 0) && ok;
    if (!ok) error = "cannot write " + path;
    return ok;
}

bool make_directories(const std::string& path, std::string& error) {
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "cannot create " + prefix + ": " + strerror(errno);
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

void open_archive(const char* path) {
    set_datafile_mode(DATAFILE_MODE_READ);
    read_datafile(path);
}

}  // namespace

// ---- names ----------------------------------------------------------------------------------

bool is_safe_entry_name(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

bool find_unextractable_name(const std::vector<std::string>& names, std::string& bad) {
    std::set<std::string> files, folders;
    for (const auto& name : names) {
        if (!is_safe_entry_name(name) || !files.insert(name).second) {
            bad = name;
            return true;
        }
        for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
            folders.insert(name.substr(0, slash));
    }
    for (const auto& name : names)
        if (folders.count(name)) {
            bad = name;
            return true;
        }
    return false;
}

std::string normalise_entry_name(const std::string& path) {
    std::string out;
    bool absolute = !path.empty() && path[0] == '/';
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") {
            if (!out.empty()) out += '/';
            out += part;
        }
        start = end + 1;
    }
    return absolute ? "/" + out : out;
}

// ---- archive --------------------------------------------------------------------------------

int run_archive_list(int, char** argv) {
    open_archive(argv[0]);
    for (const auto& entry : get_datafile_entries()) printf("%u\t%s\n", entry.size, entry.name.c_str());
    return 0;
}

int run_archive_verify(int, char** argv) {
    // Only the size here: the archive reader judges the header before it reads the rest.
    std::string error;
    FILE* f = open_input_file(argv[0], UINT32_MAX, error);
    if (!f) return tool_error(error);
    struct stat info;
    const uint64_t file_size = fstat(fileno(f), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    fclose(f);
    open_archive(argv[0]);
    std::set<std::string> seen;
    uint64_t stream_bytes = 0;
    for (const auto& entry : get_datafile_entries()) {
        if (!seen.insert(entry.name).second)
            ZV_FATAL("Ouch, found more than one entry for %s in datafile. Duplicates make no sense here.",
                     entry.name.c_str());
        stream_bytes += 15 + entry.name.size() + entry.size;
    }
    const uint64_t trailing = get_datafile_trailing_bytes();
    if (trailing > 0)
        return tool_error(std::string(argv[0]) + ": " + std::to_string(trailing) +
                          " bytes after the compressed block do not belong to the archive");
    printf("entries %zu bytes %llu compressed %llu\n", get_datafile_entries().size(),
           static_cast<unsigned long long>(stream_bytes), static_cast<unsigned long long>(file_size - 21));
    return 0;
}

namespace {

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            if (fd >= 0) close(fd);
            fd = other.fd;
            other.fd = -1;
        }
        return *this;
    }
};

// Why the folder `name` inside `parent` could not be opened: a link gives ELOOP or ENOTDIR,
// depending on which of O_NOFOLLOW and O_DIRECTORY the kernel checks first, so ask.
std::string open_failure(int parent, const std::string& name, const std::string& shown, int error) {
    struct stat info;
    if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
        return "refusing to write through " + shown + ": it is a symbolic link";
    if (error == ENOTDIR) return "cannot create " + shown + ": it is not a folder";
    return "cannot create " + shown + ": " + strerror(error);
}

// The folder `name` inside `parent`, created when missing, opened without following a link.
Descriptor open_subfolder(const Descriptor& parent, const std::string& name, const std::string& shown,
                          std::string& error) {
    if (mkdirat(parent.fd, name.c_str(), 0777) != 0 && errno != EEXIST) {
        error = open_failure(parent.fd, name, shown, errno);
        return Descriptor(-1);
    }
    Descriptor folder(openat(parent.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.fd < 0) error = open_failure(parent.fd, name, shown, errno);
    return folder;
}

// Writes `name` inside `folder` through a new file beside it, renamed over the name at the
// end: the new file is created exclusively and without following links, and the rename
// replaces whatever the name was (a link included) instead of writing where it points.
bool write_file_in(const Descriptor& folder, const std::string& name, const std::string& shown,
                   const uint8_t* data, size_t size, std::string& error) {
    std::string partial;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        // Short, so that a name near the length limit still has room beside it.
        partial = ".extract-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        fd = openat(folder.fd, partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = "cannot write " + shown + ": " + strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const int write_error = done == size ? 0 : (errno ? errno : EIO);
    const bool closed = close(fd) == 0;
    if (write_error || !closed || renameat(folder.fd, partial.c_str(), folder.fd, name.c_str()) != 0) {
        const int error_number = write_error ? write_error : errno;
        unlinkat(folder.fd, partial.c_str(), 0);
        error = "cannot write " + shown + ": " + strerror(error_number);
        return false;
    }
    return true;
}

}  // namespace

int run_archive_extract(int, char** argv) {
    open_archive(argv[0]);
    const auto& entries = get_datafile_entries();
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.name);
    std::string bad;
    if (find_unextractable_name(names, bad))
        return tool_error("refusing to extract entry '" + bad + "': not a unique relative path");
    // DIR itself is the user's to name, a link included; nothing below it is followed.
    const std::string root = argv[1];
    std::string error;
    if (!make_directories(root, error)) return tool_error(error);
    Descriptor root_folder(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root_folder.fd < 0) return tool_error("cannot open " + root + ": " + strerror(errno));
    for (const auto& entry : entries) {
        // Safe names are relative, with no empty, "." or ".." component.
        Descriptor folder(fcntl(root_folder.fd, F_DUPFD_CLOEXEC, 0));
        if (folder.fd < 0) return tool_error("cannot open " + root + ": " + strerror(errno));
        std::string shown = root;
        size_t start = 0;
        for (size_t slash; (slash = entry.name.find('/', start)) != std::string::npos; start = slash + 1) {
            const std::string part = entry.name.substr(start, slash - start);
            shown += "/" + part;
            Descriptor inner = open_subfolder(folder, part, shown, error);
            if (inner.fd < 0) return tool_error(error);
            folder = std::move(inner);
        }
        const std::string file = entry.name.substr(start);
        if (!write_file_in(folder, file, shown + "/" + file, reinterpret_cast<const uint8_t*>(entry.data),
                           entry.size, error))
            return tool_error(error);
    }
    return 0;
}

namespace {

struct PackFile {
    std::string name, path;
};

using FileId = std::pair<dev_t, ino_t>;

// Walks a path given on the command line: files as they are, folders recursively in byte-wise
// sorted order, following links (a folder that contains itself is an error). The file `skip`
// is left out wherever it is found, under whatever name: the archive being replaced, when it
// lies inside a folder being packed, must not become an entry of its successor.
bool collect_files(const std::string& path, const FileId& skip, std::vector<PackFile>& out,
                   std::vector<FileId>& open_folders, std::string& error) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        error = "cannot read " + path + ": " + strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        if (FileId(info.st_dev, info.st_ino) != skip) out.push_back(PackFile{normalise_entry_name(path), path});
        return true;
    }
    const FileId id(info.st_dev, info.st_ino);
    if (std::find(open_folders.begin(), open_folders.end(), id) != open_folders.end()) {
        error = "folder loop at " + path;
        return false;
    }
    DIR* dir = opendir(path.c_str());
    if (!dir) {
        error = "cannot read " + path + ": " + strerror(errno);
        return false;
    }
    std::vector<std::string> children;
    while (dirent* e = readdir(dir))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) children.push_back(e->d_name);
    closedir(dir);
    std::sort(children.begin(), children.end());
    open_folders.push_back(id);
    for (const auto& child : children)
        if (!collect_files(path + "/" + child, skip, out, open_folders, error)) return false;
    open_folders.pop_back();
    return true;
}

}  // namespace

int run_archive_pack(int argc, char** argv) {
    std::vector<PackFile> files;
    std::string error;
    // Compared by identity, not by name: "DIR/x.zqf", "./DIR//x.zqf" and a link are one file.
    // An OUT that does not exist yet cannot be among the inputs.
    FileId output{0, 0};
    struct stat output_info;
    if (stat(argv[0], &output_info) == 0) output = FileId(output_info.st_dev, output_info.st_ino);
    for (int i = 1; i < argc; ++i) {
        std::vector<FileId> open_folders;
        if (!collect_files(argv[i], output, files, open_folders, error)) return tool_error(error);
    }
    std::set<std::string> names;
    for (const auto& file : files) {
        if (file.name.empty()) return tool_error("no entry name for " + file.path);
        if (!names.insert(file.name).second) return tool_error("duplicate entry name " + file.name);
    }
    std::vector<std::vector<uint8_t>> contents(files.size());
    std::vector<DataChunk> chunks;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!read_whole_file(files[i].path, contents[i], error)) return tool_error(error);
        if (contents[i].size() > UINT32_MAX) return tool_error(files[i].path + " is too large");
        chunks.push_back(DataChunk{files[i].name, static_cast<uint32_t>(contents[i].size()),
                                   reinterpret_cast<char*>(contents[i].data()), false});
    }
    std::vector<uint8_t> image = build_datafile_image(chunks, nullptr);
    if (!write_whole_file(argv[0], image.data(), image.size(), error)) return tool_error(error);
    return 0;
}

// ---- huff -----------------------------------------------------------------------------------

int run_huff_compress(int, char** argv) {
    std::vector<uint8_t> input;
    std::string error;
    if (!read_whole_file(argv[0], input, error)) return tool_error(error);
    if (input.size() > UINT32_MAX - HuffmanCoder::WORST_CASE_OVERHEAD)
        return tool_error(std::string(argv[0]) + " is too large for one block");
    std::vector<uint8_t> block(input.size() + HuffmanCoder::WORST_CASE_OVERHEAD);
    uint32_t block_size = 0;
    auto coder = std::make_unique<HuffmanCoder>();
    coder->encode(block.data(), block_size, input.data(), static_cast<uint32_t>(input.size()));
    if (!write_whole_file(argv[1], block.data(), block_size, error)) return tool_error(error);
    return 0;
}

int run_huff_decompress(int, char** argv) {
    std::vector<uint8_t> block;
    std::string error;
    if (!read_whole_file(argv[0], block, error)) return tool_error(error);
    if (const char* problem = HuffmanCoder::check_block(block.data(), block.size()))
        ZV_FATAL("Corrupt compressed block in %s: %s", argv[0], problem);
    std::vector<uint8_t> output(HuffmanCoder::uncompressed_size(block.data()));
    uint32_t size = 0;
    auto coder = std::make_unique<HuffmanCoder>();
    coder->decode(output.data(), size, block.data(), block.size());
    if (!write_whole_file(argv[1], output.data(), size, error)) return tool_error(error);
    return 0;
}
