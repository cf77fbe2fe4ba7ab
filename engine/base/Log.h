// The engine's log: every message is one line on standard output, written whole and flushed.
//
// `logStream` is a per-thread stream, so the loader thread and the main thread never share
// formatting state and never interleave parts of two lines. A line is handed to the sink when
// its '\n' is written (std::endl and "\n" both do); a partial line waits for its end.
//
// Tests and the scene checker install their own sink to see the lines; problems that a line
// reports are also counted (noteProblem), so that a command-line check can tell a clean load
// from a broken one without parsing message texts.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

class LogLineBuffer : public std::streambuf {
protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;

private:
    void emitLine();
    std::string line_;
};

class LogStream : public std::ostream {
public:
    LogStream();

private:
    LogLineBuffer buffer_;
};

// Each thread's own stream. On Windows it is never destroyed (a few hundred bytes a thread that
// logged): mingw-w64's runtime frees a thread's thread-local storage before it runs the
// destructors of the objects in it, so a destroyed stream wrote into freed heap memory as the
// thread ended, and another thread's allocation crashed on it.
#ifdef _WIN32
extern thread_local LogStream& logStream;
#else
extern thread_local LogStream logStream;
#endif

using LogSink = std::function<void(const std::string& line)>;

// Replaces the destination of finished lines (without their '\n'); an empty sink restores
// standard output. Returns the previous sink.
LogSink setLogSink(LogSink sink);

// Records that a problem was reported (the line itself goes to logStream as usual).
void noteProblem(const std::string& what);
// Problems noted since the last reset, oldest first.
std::vector<std::string> problemsNoted();
void resetProblems();

// A problem with the place it was noted at: the file and line (from 1) of the innermost
// ProblemPlace alive on the noting thread; an empty file and line 0 where there was none.
struct NotedProblem {
    std::string file;
    size_t line = 0;
    std::string text;
};
std::vector<NotedProblem> problemRecords();

// While one lives, problems noted on its thread are filed under its place, so that a check can
// point at the line of a scene that caused them, whichever layer noticed. Places nest; the
// innermost counts. Only for use as a local: it must die on the thread that made it.
class ProblemPlace {
public:
    // `file` must outlive the place (it is read when a problem is noted, not copied).
    ProblemPlace(const std::string& file, size_t line);
    ProblemPlace(std::string&& file, size_t line) = delete;
    ~ProblemPlace();
    ProblemPlace(const ProblemPlace&) = delete;
    ProblemPlace& operator=(const ProblemPlace&) = delete;

private:
    const std::string* file_;
    size_t line_;
    const ProblemPlace* outer_;
    friend void noteProblem(const std::string&);
};

// While one lives, problems noted on its thread are not recorded but kept here (their log lines
// are written as usual): for code that says in better words what the calls it makes would note.
class ProblemsMuted {
public:
    ProblemsMuted();
    ~ProblemsMuted();
    ProblemsMuted(const ProblemsMuted&) = delete;
    ProblemsMuted& operator=(const ProblemsMuted&) = delete;

    // What was noted meanwhile, oldest first.
    const std::vector<std::string>& swallowed() const { return swallowed_; }

private:
    std::vector<std::string> swallowed_;
    ProblemsMuted* outer_;
    friend void noteProblem(const std::string&);
};

// Collects every line logged while it lives, from any thread, and restores the previous sink.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(const std::string& line) const;
    // Lines that start with the prefix.
    int count(const std::string& prefix) const;
    void clear();

private:
    LogSink previous_;
    struct Shared;
    Shared* shared_;
};
