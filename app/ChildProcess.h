// A helper program run as a child process and fed through pipes (the video encoder of a capture).
//
// The child gets its inputs on descriptors 3, 4, ... (one pipe each, written by this process),
// /dev/null as standard input, and a private file as standard output and standard error, whose
// end `output()` returns once it has exited. It runs in a process group of its own, so a Ctrl+C
// typed at the terminal reaches this process only, which can then close the pipes and let the
// child finish its file properly.
//
// On Windows (ChildProcessWin.cpp) the inputs are pipes the child's C runtime opens as its
// descriptors 3, 4, ... (the runtime's own way of handing descriptors to a child), so `pipe:3`
// means the same to a Windows ffmpeg; the child gets a process group of its own and no console
// window, and a thread per input feeds it.
//
// Not handled: a child that must be talked to interactively, or output read while it runs.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// The full path of `program` in the directories of PATH (or `program` itself when it holds a
// slash and is executable); empty when there is none. On Windows the program's own folder is
// searched before PATH, as Windows itself does, and ".exe" is added to a name without one.
std::string findProgram(const std::string& program);

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `arguments[0]` (looked up on PATH) with `inputs` pipes. False with a reason in
    // `error` when the program cannot be found or started; nothing is left running then.
    bool start(const std::vector<std::string>& arguments, int inputs, std::string& error);
    bool running() const { return pid_ > 0; }

    // Writes all of `bytes` to input `index` (0 is the child's descriptor 3), and meanwhile
    // whatever the other inputs have queued as far as the child takes it. False once the child
    // has closed its end or exited (no SIGPIPE reaches this process) or the input is closed.
    //
    // A child that reads several inputs may want one far ahead of another (an encoder holds
    // frames back while it waits for more of the same input): a write that waits on one input
    // while the child waits on another would stall both, so small inputs are queued and given to
    // the child whenever it reads them.
    bool write(int index, const void* bytes, size_t size);
    // Queues `bytes` for input `index`; they go out during later writes and at the end.
    void queue(int index, const void* bytes, size_t size);
    // Closes input `index` once its queue is out: the child reads its end.
    void closeInput(int index);

    // Closes the inputs with nothing queued, hands out the rest of the queues (closing each input
    // when its queue is out), then waits for the child: its exit status, 128 + the signal when a
    // signal ended it, or -1 when it was never started.
    int wait();
    // Ends the child at once (SIGKILL) and waits for it.
    void kill();

    // What the child wrote to standard output and standard error (the last 4000 bytes), once it
    // has been waited for.
    std::string output() const;

private:
#if defined(_WIN32)
    struct Feed;              // one input's pipe, queue and writer thread
    void* process_ = nullptr; // the child's process handle
    std::vector<std::shared_ptr<Feed>> feeds_;
    void* outputFile_ = nullptr;
    pid_t pid_ = -1;
    int status_ = -1;
#else
    // Writes what it can of the queues and of `size` bytes at `bytes` to input `index` (-1: none),
    // waiting until one of them can take more; false when an input failed.
    bool pump(int index, const char*& bytes, size_t& size);
    void closeNow(size_t index);

    pid_t pid_ = -1;
    std::vector<int> inputs_; // write ends (non-blocking), -1 once closed
    std::vector<std::vector<char>> queued_;
    std::vector<size_t> queuedFrom_; // how much of each queue has been written
    std::vector<bool> closing_;      // close once the queue is out
    int outputFile_ = -1;
    int status_ = -1;
#endif
};
