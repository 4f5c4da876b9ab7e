#pragma once
// Small owners for the system's handle kinds. Each closes exactly once and never closes
// the kind's "no handle" value (NULL for most handles, INVALID_HANDLE_VALUE for files
// and find handles: the two are not interchangeable).
#include <windows.h>
#include <winsvc.h>

#include <utility>

namespace vkr {

template <class T, T Invalid, class Closer>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Invalid; }
    T release() noexcept { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) noexcept {
        T old = std::exchange(value_, value);
        if (old != Invalid) Closer{}(old);
    }
    // For out-parameters of the API: resets first, then hands out the slot.
    T* put() noexcept {
        reset();
        return &value_;
    }

private:
    T value_ = Invalid;
};

struct HandleCloser { void operator()(HANDLE h) const noexcept { CloseHandle(h); } };
struct KeyCloser { void operator()(HKEY k) const noexcept { RegCloseKey(k); } };
struct ServiceHandleCloser { void operator()(SC_HANDLE h) const noexcept { CloseServiceHandle(h); } };

// Process, thread, pipe, semaphore, event handles: NULL means none.
using UniqueHandle = UniqueResource<HANDLE, nullptr, HandleCloser>;
// CreateFile results: INVALID_HANDLE_VALUE means none (NULL is treated as none too, so a
// handle from an API of the other convention is never closed by mistake).
class UniqueFile {
public:
    UniqueFile() noexcept = default;
    explicit UniqueFile(HANDLE h) noexcept : h_(h) {}
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    UniqueFile(UniqueFile&& o) noexcept : h_(o.release()) {}
    UniqueFile& operator=(UniqueFile&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~UniqueFile() { reset(); }
    HANDLE get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE release() noexcept { return std::exchange(h_, INVALID_HANDLE_VALUE); }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) noexcept {
        HANDLE old = std::exchange(h_, h);
        if (old != INVALID_HANDLE_VALUE && old != nullptr) CloseHandle(old);
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

class UniqueFind {
public:
    UniqueFind() noexcept = default;
    explicit UniqueFind(HANDLE h) noexcept : h_(h) {}
    UniqueFind(const UniqueFind&) = delete;
    UniqueFind& operator=(const UniqueFind&) = delete;
    ~UniqueFind() { reset(); }
    HANDLE get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) noexcept {
        HANDLE old = std::exchange(h_, h);
        if (old != INVALID_HANDLE_VALUE) FindClose(old);
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

using UniqueKey = UniqueResource<HKEY, nullptr, KeyCloser>;
using UniqueServiceHandle = UniqueResource<SC_HANDLE, nullptr, ServiceHandleCloser>;

} // namespace vkr
