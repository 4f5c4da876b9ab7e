#pragma once
// Small owners for the system's handle kinds. Each closes exactly once and never closes
// the kind's "no handle" value (NULL for most handles, INVALID_HANDLE_VALUE for files
// and find handles: the two are not interchangeable).
#include <windows.h>
#include <winsvc.h>

#include <utility>
#include <vector>

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

// An attribute list that limits what a child process inherits to one handle. Without it a
// child would inherit every inheritable handle of the launcher (pipes of a service host,
// handles of the application's own code), and a child that hangs or lingers would keep them
// open. list() is null when the list could not be built; the caller then starts the child
// without EXTENDED_STARTUPINFO_PRESENT.
class InheritOnly {
public:
    explicit InheritOnly(HANDLE handle) noexcept : handle_(handle) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        if (size == 0) return;
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        initialized_ = list;
        if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_, sizeof(handle_), nullptr,
                                      nullptr)) {
            list_ = list;
        }
    }
    ~InheritOnly() {
        if (initialized_) DeleteProcThreadAttributeList(initialized_);
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST list() const noexcept { return list_; }

private:
    HANDLE handle_;
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST initialized_ = nullptr;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

} // namespace vkr
