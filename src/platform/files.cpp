#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

bool AtomicFile::open(const char* path) {
    abandon();
    target = path;
    partial = target + ".partial";
    file = fopen(partial.c_str(), "wb");
    return file != nullptr;
}

bool AtomicFile::commit() {
    if (!file) return false;
    bool ok = fflush(file) == 0;
    ok = fclose(file) == 0 && ok;
    file = nullptr;
    if (!ok || rename(partial.c_str(), target.c_str()) != 0) {
        unlink(partial.c_str());
        return false;
    }
    return true;
}

void AtomicFile::abandon() {
    if (!file) return;
    fclose(file);
    file = nullptr;
    unlink(partial.c_str());
}

bool create_directories(const char* path) {
    std::string prefix = path;
    for (size_t i = prefix[0] == '/' ? 1 : 0; i < prefix.size(); ++i) {
        if (prefix[i] != '/') continue;
        prefix[i] = 0;
        struct stat info;
        if (stat(prefix.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) return false;
        } else if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
        prefix[i] = '/';
    }
    return true;
}

bool regular_file_size(FILE* stream, uint64_t limit, uint64_t& size, std::string& reason) {
    struct stat info;
    if (!stream || fstat(fileno(stream), &info) != 0) {
        reason = strerror(errno ? errno : EBADF);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        reason = "is a folder";
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "is not a regular file";
        return false;
    }
    const uint64_t length = static_cast<uint64_t>(info.st_size);
    if (length > limit) {
        reason = "is larger than " + std::to_string(limit) + " bytes";
        return false;
    }
    size = length;
    return true;
}

OpenedFile open_regular_file(const char* path, const char* mode, uint64_t limit) {
    OpenedFile result;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.reason = strerror(errno);
        return result;
    }
    FILE* stream = nullptr;
    const int flags = fcntl(fd, F_GETFL);
    // Reads of a regular file ignore O_NONBLOCK; it is cleared all the same, as the stream is
    // the caller's to use as any other.
    if (flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) stream = fdopen(fd, mode);
    if (!stream) {
        const int error = errno;
        close(fd);
        errno = error;
        result.reason = strerror(error);
        return result;
    }
    if (!regular_file_size(stream, limit, result.size, result.reason)) {
        fclose(stream);
        result.refused = true;
        return result;
    }
    result.stream = stream;
    return result;
}

std::string lower_case_ending(const std::string& name) {
    std::string ending = name.size() >= 4 ? name.substr(name.size() - 4) : name;
    for (char& c : ending) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return ending;
}

std::string executable_folder() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return std::string();
    const std::string program(path, static_cast<size_t>(length));
    const size_t slash = program.find_last_of('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash == 0 ? 1 : slash);
}
