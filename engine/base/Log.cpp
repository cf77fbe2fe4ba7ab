#include "engine/base/Log.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

LogSink& currentSink() {
    static LogSink sink;
    return sink;
}

std::mutex& problemMutex() {
    static std::mutex m;
    return m;
}

std::vector<NotedProblem>& problems() {
    static std::vector<NotedProblem> list;
    return list;
}

thread_local const ProblemPlace* innermostPlace = nullptr;
thread_local ProblemsMuted* innermostMuted = nullptr;

} // namespace

#ifdef _WIN32
thread_local LogStream& logStream = *new LogStream;
#else
thread_local LogStream logStream;
#endif

LogStream::LogStream() : std::ostream(nullptr) {
    rdbuf(&buffer_);
}

LogLineBuffer::int_type LogLineBuffer::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    const char c = traits_type::to_char_type(ch);
    if (c == '\n')
        emitLine();
    else
        line_.push_back(c);
    return ch;
}

std::streamsize LogLineBuffer::xsputn(const char* s, std::streamsize n) {
    for (std::streamsize i = 0; i < n; ++i)
        overflow(traits_type::to_int_type(s[i]));
    return n;
}

void LogLineBuffer::emitLine() {
    {
        std::lock_guard lock(sinkMutex());
        const LogSink& sink = currentSink();
        if (sink) {
            sink(line_);
        } else {
            std::fwrite(line_.data(), 1, line_.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        }
    }
    line_.clear();
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(sinkMutex());
    LogSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

void noteProblem(const std::string& what) {
    if (ProblemsMuted* muted = innermostMuted) {
        muted->swallowed_.push_back(what);
        return;
    }
    NotedProblem problem;
    if (const ProblemPlace* place = innermostPlace) {
        problem.file = *place->file_;
        problem.line = place->line_;
    }
    problem.text = what;
    std::lock_guard lock(problemMutex());
    problems().push_back(std::move(problem));
}

std::vector<std::string> problemsNoted() {
    std::lock_guard lock(problemMutex());
    std::vector<std::string> texts;
    for (const NotedProblem& problem : problems())
        texts.push_back(problem.text);
    return texts;
}

std::vector<NotedProblem> problemRecords() {
    std::lock_guard lock(problemMutex());
    return problems();
}

ProblemPlace::ProblemPlace(const std::string& file, size_t line)
    : file_(&file), line_(line), outer_(innermostPlace) {
    innermostPlace = this;
}

ProblemPlace::~ProblemPlace() {
    innermostPlace = outer_;
}

ProblemsMuted::ProblemsMuted() : outer_(innermostMuted) {
    innermostMuted = this;
}

ProblemsMuted::~ProblemsMuted() {
    innermostMuted = outer_;
}

void resetProblems() {
    std::lock_guard lock(problemMutex());
    problems().clear();
}

struct LogCapture::Shared {
    std::mutex mutex;
    std::vector<std::string> lines;
};

LogCapture::LogCapture() : shared_(new Shared) {
    Shared* shared = shared_;
    previous_ = setLogSink([shared](const std::string& line) {
        std::lock_guard lock(shared->mutex);
        shared->lines.push_back(line);
    });
}

LogCapture::~LogCapture() {
    setLogSink(std::move(previous_));
    delete shared_;
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->lines;
}

bool LogCapture::contains(const std::string& line) const {
    const auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
}

int LogCapture::count(const std::string& prefix) const {
    const auto all = lines();
    return static_cast<int>(std::count_if(all.begin(), all.end(), [&](const std::string& l) {
        return l.compare(0, prefix.size(), prefix) == 0;
    }));
}

void LogCapture::clear() {
    std::lock_guard lock(shared_->mutex);
    shared_->lines.clear();
}
