// A child program that reads what we write to its standard input through a pipe: how the
// tool reaches ffmpeg. Started the POSIX way (posix/) or the Win32 way (win32/).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    // Writes all `size` bytes to the child's input; false once the child stopped reading.
    virtual bool write(const void* data, size_t size) = 0;
    // Closes the child's input and waits for it; true when it ended with exit status 0.
    virtual bool finish() = 0;
    // Stops the child at once and waits for it.
    virtual void terminate() = 0;
};

// Starts argv[0] (a path) with `argv` as its arguments and a pipe of at least `pipe_bytes`
// (where the system lets it be sized) on its standard input; its standard output and error
// are ours. Null with a one-line reason when it cannot be started.
std::unique_ptr<ChildProcess> start_child(const std::vector<std::string>& argv, size_t pipe_bytes,
                                          std::string* error);

// The full path of `program` found through PATH, or empty.
std::string find_on_path(const char* program);
// `program` in `folder` (the one of the running program), or else found through PATH, as
// Windows itself looks for programs; empty when neither has it.
std::string find_program(const char* program, const std::string& folder);
