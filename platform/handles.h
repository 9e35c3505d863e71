// Small non-copyable owners for the Win32 handle kinds the platform code
// opens, so every early return releases what was acquired.
#ifndef QUILLPACK_PLATFORM_HANDLES_H
#define QUILLPACK_PLATFORM_HANDLES_H

#include <windows.h>

// A kernel object handle (process, thread); null means none.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~KernelHandle() { Reset(); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE Get() const { return handle_; }
    void Reset(HANDLE handle = nullptr) {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

// A FindFirstFile enumeration.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (IsValid()) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// A registry key opened for a moment (the module's current key has its
// own bookkeeping).
class RegistryKey {
public:
    RegistryKey() : key_(nullptr) {}
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY Get() const { return key_; }
    HKEY* Receive() { return &key_; }

private:
    HKEY key_;
};

// A COM interface pointer; Release on destruction.
template <class T>
class ComPointer {
public:
    ComPointer() : pointer_(nullptr) {}
    ~ComPointer() {
        if (pointer_) pointer_->Release();
    }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    T* operator->() const { return pointer_; }
    T* Get() const { return pointer_; }
    void** Receive() { return reinterpret_cast<void**>(&pointer_); }

private:
    T* pointer_;
};

// COM initialised for this thread for the owner's lifetime.
class ComApartment {
public:
    ComApartment() : result_(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Ready() const { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

#endif  // QUILLPACK_PLATFORM_HANDLES_H
