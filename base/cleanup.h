// One cleanup guard for every kind of resource the program opens: a file, a
// serial port, a socket, a list from the name service. The guard closes what
// it holds on every way out of a function, so a failed step never leaves a
// port held (the scanner could not be opened again) or a file open (the back
// office could not replace it), unless the resource is handed on.
#pragma once

#include <cstdio>
#include <utility>

template <typename Handle>
class Owned {
public:
    using Close = void (*)(Handle);

    // `none` is the value that holds nothing (nullptr, -1, INVALID_HANDLE_VALUE).
    Owned(Handle handle, Handle none, Close close) : handle_(handle), none_(none), close_(close) {}
    ~Owned() {
        if (handle_ != none_) close_(handle_);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const { return handle_; }
    bool holds() const { return handle_ != none_; }

    // Hands the resource on: the guard closes nothing.
    Handle release() { return std::exchange(handle_, none_); }

private:
    Handle handle_;
    Handle none_;
    Close close_;
};

// A C stream, closed with fclose.
inline Owned<std::FILE*> ownFile(std::FILE* file) {
    return Owned<std::FILE*>(file, nullptr, [](std::FILE* open) { std::fclose(open); });
}
