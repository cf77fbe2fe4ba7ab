#include "tools/import/GuardedRead.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <type_traits>

namespace {

// ---- what the child hands back: plain values in this machine's own layout ----

class PipeWriter {
public:
    explicit PipeWriter(int fd) : fd_(fd) {}
    bool bytes(const void* data, size_t size) {
        const auto* at = static_cast<const uint8_t*>(data);
        while (size > 0 && ok_) {
            const ssize_t n = ::write(fd_, at, std::min<size_t>(size, 1 << 20));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                ok_ = false;
            else {
                at += n;
                size -= static_cast<size_t>(n);
            }
        }
        return ok_;
    }
    template <typename T>
    void value(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes(&v, sizeof v);
    }
    void text(const std::string& s) {
        value<uint64_t>(s.size());
        bytes(s.data(), s.size());
    }
    template <typename T>
    void list(const std::vector<T>& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        value<uint64_t>(v.size());
        bytes(v.data(), v.size() * sizeof(T));
    }

private:
    int fd_;
    bool ok_ = true;
};

void writePicture(PipeWriter& w, const PictureSource& p) {
    w.value<uint8_t>(p.present);
    w.text(p.file);
    w.list(p.encoded);
    w.value<int32_t>(p.texels.width);
    w.value<int32_t>(p.texels.height);
    w.list(p.texels.rgb);
    w.text(p.label);
}

void writeModel(PipeWriter& w, int result, const ImportedModel& model, const std::string& error) {
    w.value<int32_t>(result);
    w.text(error);
    if (result != 0) return;
    w.value<uint64_t>(model.notes.size());
    for (const std::string& note : model.notes)
        w.text(note);
    w.value<uint64_t>(model.materials.size());
    for (const ModelMaterial& m : model.materials) {
        w.text(m.sourceName);
        w.text(m.name);
        for (const PictureSource* p : {&m.diffuse, &m.normal, &m.bump, &m.emissive})
            writePicture(w, *p);
        w.value<uint8_t>(m.diffuseTint.has_value());
        w.value(m.diffuseTint.value_or(Color{}));
        w.value(m.colour);
        w.value(m.emissiveColour);
    }
    w.value<uint64_t>(model.parts.size());
    for (const ModelPart& part : model.parts) {
        w.text(part.name);
        w.value<uint64_t>(part.material);
        w.list(part.records);
    }
}

// Reads what the child writes, waiting on the pipe in short slices so that the limits are
// checked while the child works (or runs away) without writing anything.
class ChildReader {
public:
    ChildReader(int fd, pid_t child, const ReadLimits& limits)
        : fd_(fd), child_(child), limits_(limits), start_(std::chrono::steady_clock::now()) {}

    bool bytes(void* data, size_t size) {
        auto* at = static_cast<uint8_t*>(data);
        while (size > 0) {
            if (!withinLimits()) return false;
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, 10);
            if (ready < 0 && errno != EINTR) return closed();
            if (ready <= 0) continue;
            const ssize_t n = ::read(fd_, at, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return closed();
            at += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    template <typename T>
    bool value(T& v) {
        return bytes(&v, sizeof v);
    }
    bool text(std::string& s) {
        uint64_t size = 0;
        if (!value(size) || !fits(size)) return false;
        s.resize(size);
        return bytes(s.data(), size);
    }
    template <typename T>
    bool list(std::vector<T>& v) {
        uint64_t count = 0;
        if (!value(count) || !fits(count * sizeof(T))) return false;
        v.resize(count);
        return bytes(v.data(), count * sizeof(T));
    }

    // Why the reading ended early: a limit, the child's end, or a broken hand-over.
    std::string why;

private:
    bool withinLimits() {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        if (limits_.seconds > 0 && seconds > limits_.seconds) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "reading it took longer than %g s and was stopped (--max-seconds S allows more)",
                          limits_.seconds);
            why = text;
            return false;
        }
        if (limits_.memoryMegabytes > 0 && residentBytes() > limits_.memoryMegabytes * 1024 * 1024) {
            why = "reading it took more than " + std::to_string(limits_.memoryMegabytes) +
                  " MB of memory and was stopped (--max-memory MB allows more)";
            return false;
        }
        return true;
    }
    // The child's resident memory (0 where the system does not say).
    uint64_t residentBytes() const {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(child_));
        FILE* file = std::fopen(path, "r");
        if (!file) return 0;
        unsigned long long size = 0, resident = 0;
        const int got = std::fscanf(file, "%llu %llu", &size, &resident);
        std::fclose(file);
        return got == 2 ? resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)) : 0;
    }
    bool closed() {
        why = "ended";
        return false;
    }
    // A size the child claims that this process could not hold is a broken hand-over.
    bool fits(uint64_t size) {
        if (size <= (uint64_t{1} << 40)) return true;
        why = "broken";
        return false;
    }

    int fd_;
    pid_t child_;
    ReadLimits limits_;
    std::chrono::steady_clock::time_point start_;
};

bool readPicture(ChildReader& r, PictureSource& p) {
    uint8_t present = 0;
    int32_t w = 0, h = 0;
    const bool ok = r.value(present) && r.text(p.file) && r.list(p.encoded) && r.value(w) && r.value(h) &&
                    r.list(p.texels.rgb) && r.text(p.label);
    p.present = present != 0;
    p.texels.width = w;
    p.texels.height = h;
    return ok;
}

bool readHandedModel(ChildReader& r, int& result, ImportedModel& model, std::string& error) {
    int32_t status = 0;
    if (!r.value(status) || !r.text(error)) return false;
    result = status;
    if (status != 0) return true;
    uint64_t count = 0;
    if (!r.value(count)) return false;
    for (uint64_t i = 0; i < count; ++i)
        if (!r.text(model.notes.emplace_back())) return false;
    if (!r.value(count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
        ModelMaterial& m = model.materials.emplace_back();
        uint8_t tinted = 0;
        Color tint;
        if (!r.text(m.sourceName) || !r.text(m.name)) return false;
        for (PictureSource* p : {&m.diffuse, &m.normal, &m.bump, &m.emissive})
            if (!readPicture(r, *p)) return false;
        if (!r.value(tinted) || !r.value(tint) || !r.value(m.colour) || !r.value(m.emissiveColour))
            return false;
        if (tinted) m.diffuseTint = tint;
    }
    if (!r.value(count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
        ModelPart& part = model.parts.emplace_back();
        uint64_t material = 0;
        if (!r.text(part.name) || !r.value(material) || !r.list(part.records)) return false;
        if (material >= model.materials.size()) {
            r.why = "broken";
            return false;
        }
        part.material = static_cast<size_t>(material);
    }
    return true;
}

[[noreturn]] void readInChild([[maybe_unused]] pid_t parent, int fd, const std::string& path,
                              const std::string& name, const ModelSettings& settings) {
#ifdef __linux__
    // Ends with the importer, however the importer ends (also when it ended before this line).
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
#endif
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ImportedModel model;
    std::string error;
    int result = -1;
    try {
        result = readModel(path, name, settings, model, error);
    } catch (const std::bad_alloc&) {
        error = "the model does not fit in memory";
    } catch (const std::exception& e) {
        error = std::string("reading it failed (") + e.what() + ")";
    }
    PipeWriter writer(fd);
    writeModel(writer, result, model, error);
    ::close(fd);
    // No destructors or exit handlers of the importer's own: they belong to the parent.
    ::_exit(0);
}

} // namespace

ReadLimits defaultReadLimits() {
    ReadLimits limits;
    limits.memoryMegabytes = 4096;
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        limits.memoryMegabytes = std::min<uint64_t>(
            limits.memoryMegabytes, static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 2 >> 20);
    limits.seconds = 120;
    return limits;
}

int readModelGuarded(const std::string& path, const std::string& name, const ModelSettings& settings,
                     const ReadLimits& limits, ImportedModel& out, std::string& error) {
    int fds[2];
    if (::pipe(fds) != 0) {
        error = std::string("cannot start reading it (") + std::strerror(errno) + ")";
        return -1;
    }
#ifdef F_SETPIPE_SZ
    // A model's vertices cross in large slices (a pipe holds 64 KB unless told).
    ::fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
#endif
    std::fflush(nullptr); // nothing buffered is written twice
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        error = std::string("cannot start reading it (") + std::strerror(errno) + ")";
        return -1;
    }
    if (child == 0) {
        ::close(fds[0]);
        readInChild(parent, fds[1], path, name, settings);
    }
    ::close(fds[1]);

    ChildReader reader(fds[0], child, limits);
    ImportedModel model;
    int result = -1;
    std::string childError;
    const bool handed = readHandedModel(reader, result, model, childError);
    ::close(fds[0]);
    if (!handed) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    if (handed) {
        if (result != 0) {
            error = childError;
            return -1;
        }
        out = std::move(model);
        return 0;
    }
    if (reader.why != "ended" && reader.why != "broken")
        error = reader.why;
    else if (WIFSIGNALED(status))
        error = "reading it crashed (" + std::string(strsignal(WTERMSIG(status))) + ")";
    else
        error = "reading it ended without a result (status " + std::to_string(WEXITSTATUS(status)) + ")";
    return -1;
}
