// The spooler, profile, file, heap, debugger and module services on Win32:
// each method is the Windows call it is named after, nothing more.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_layout.h"

namespace pclspool::win32 {

// --- spooler ---

pclspool::BOOL Win32Spooler::WritePrinter(pclspool::HANDLE printer, const void* bytes,
                                          pclspool::DWORD count,
                                          pclspool::DWORD* written) noexcept {
  ::DWORD done = 0;
  // WritePrinter does not write through its buffer; it is declared without
  // const.
  const ::BOOL ok = ::WritePrinter(printer, const_cast<void*>(bytes), count, &done);
  if (written) *written = done;
  return ok;
}

pclspool::BOOL Win32Spooler::GetPrinterW(pclspool::HANDLE printer, pclspool::BYTE* buf,
                                         pclspool::DWORD cb, pclspool::DWORD* needed) {
  ::DWORD need = 0;
  const ::BOOL ok = ::GetPrinterW(printer, 2, buf, cb, &need);
  if (needed) *needed = need;
  return ok;
}

pclspool::BOOL Win32Spooler::GetJobW(pclspool::HANDLE printer, pclspool::DWORD job_id,
                                     pclspool::BYTE* buf, pclspool::DWORD cb,
                                     pclspool::DWORD* needed) {
  ::DWORD need = 0;
  const ::BOOL ok = ::GetJobW(printer, job_id, 2, buf, cb, &need);
  if (needed) *needed = need;
  return ok;
}

// --- profile files ---

pclspool::UINT Win32Profile::GetPrivateProfileIntW(const pclspool::WCHAR* section,
                                                   const pclspool::WCHAR* key, int def,
                                                   const pclspool::WCHAR* file) {
  return ::GetPrivateProfileIntW(Wide(section), Wide(key), def, Wide(file));
}

pclspool::DWORD Win32Profile::GetPrivateProfileStringW(const pclspool::WCHAR* section,
                                                       const pclspool::WCHAR* key,
                                                       const pclspool::WCHAR* def,
                                                       pclspool::WCHAR* buf, pclspool::DWORD size,
                                                       const pclspool::WCHAR* file) {
  return ::GetPrivateProfileStringW(Wide(section), Wide(key), Wide(def), Wide(buf), size,
                                    Wide(file));
}

// --- files ---

pclspool::UINT Win32Files::GetSystemDirectoryW(pclspool::WCHAR* buf, pclspool::UINT size) {
  return ::GetSystemDirectoryW(Wide(buf), size);
}

pclspool::HANDLE Win32Files::CreateNewHidden(const pclspool::WCHAR* path) {
  return ::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_HIDDEN, nullptr);
}

pclspool::HANDLE Win32Files::OpenExisting(const pclspool::WCHAR* path) {
  return ::CreateFileW(Wide(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

pclspool::BOOL Win32Files::ReadFile(pclspool::HANDLE file, void* buf, pclspool::DWORD count,
                                    pclspool::DWORD* read) {
  ::DWORD got = 0;
  const ::BOOL ok = ::ReadFile(file, buf, count, &got, nullptr);
  if (read) *read = got;
  return ok;
}

pclspool::BOOL Win32Files::WriteFile(pclspool::HANDLE file, const void* bytes,
                                     pclspool::DWORD count, pclspool::DWORD* written) noexcept {
  ::DWORD done = 0;
  const ::BOOL ok = ::WriteFile(file, bytes, count, &done, nullptr);
  if (written) *written = done;
  return ok;
}

pclspool::BOOL Win32Files::CloseHandle(pclspool::HANDLE file) { return ::CloseHandle(file); }

pclspool::BOOL Win32Files::DeleteFileW(const pclspool::WCHAR* path) {
  return ::DeleteFileW(Wide(path));
}

// --- global heap ---

void* Win32Heap::Alloc(std::size_t bytes) {
  // Fixed memory: the handle is the address, and locking it yields the same.
  const HGLOBAL h = ::GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes ? bytes : 1);
  return h ? ::GlobalLock(h) : nullptr;
}

void* Win32Heap::ReAlloc(void* block, std::size_t bytes) {
  if (!block) return Alloc(bytes);
  // A fixed block may only move when GMEM_MOVEABLE is given; on failure the
  // old block stays as it was.
  const HGLOBAL h = ::GlobalReAlloc(::GlobalHandle(block), bytes ? bytes : 1, GMEM_MOVEABLE);
  return h ? ::GlobalLock(h) : nullptr;
}

void Win32Heap::Free(void* block) {
  if (!block) return;
  const HGLOBAL h = ::GlobalHandle(block);
  ::GlobalUnlock(h);
  ::GlobalFree(h);
}

// --- debugger and module ---

void Win32Debug::OutputDebugStringW(const pclspool::WCHAR* text) {
  ::OutputDebugStringW(Wide(text ? text : u""));
}

pclspool::BOOL Win32Module::DisableThreadLibraryCalls(pclspool::HANDLE module) {
  return ::DisableThreadLibraryCalls(static_cast<HMODULE>(module));
}

namespace {
// The module lock. A critical section rather than std::mutex: the win32
// thread model of mingw-w64 has no std::mutex, and a critical section works
// on every Windows the spooler runs on.
CRITICAL_SECTION g_module_lock;
}  // namespace

Win32Module::Win32Module() { ::InitializeCriticalSection(&g_module_lock); }
Win32Module::~Win32Module() { ::DeleteCriticalSection(&g_module_lock); }
void Win32Module::LockModule() { ::EnterCriticalSection(&g_module_lock); }
void Win32Module::UnlockModule() { ::LeaveCriticalSection(&g_module_lock); }

namespace {

// The services hold no state but the module's lock: one of each serves the
// whole process, built before DllMain runs.
Win32Spooler g_spooler;
Win32Profile g_profile;
Win32Files g_files;
Win32Heap g_heap;
Win32Debug g_debug;
Win32Module g_module;
Win32Text g_text;
const platform::Platform g_platform{&g_spooler, &g_profile, &g_files, &g_heap,
                                    &g_debug,   &g_module,  &g_text};

}  // namespace

}  // namespace pclspool::win32

namespace pclspool::platform {

const Platform& Default() { return win32::g_platform; }

}  // namespace pclspool::platform
