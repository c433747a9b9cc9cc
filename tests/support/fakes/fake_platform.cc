#include "support/fakes/fake_platform.h"

#include <cstdlib>
#include <cstring>

#include "job/job_context.h"
#include "platform/level2_info.h"
#include "platform/posix/profile_reader.h"

namespace pclspool::testing {

namespace {

std::u16string Str(const WCHAR* s) { return s ? std::u16string(s) : std::u16string(); }

}  // namespace

// --- spooler ---

BOOL FakeSpooler::WritePrinter(HANDLE printer, const void* bytes, DWORD count,
                               DWORD* written) noexcept {
  auto it = printers.find(printer);
  if (it == printers.end() || it->second.fail_writes) {
    if (written) *written = 0;
    return kFalse;
  }
  ++it->second.writes;
  it->second.output.append(static_cast<const char*>(bytes), count);
  if (written) *written = count;
  return kTrue;
}

BOOL FakeSpooler::GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) {
  auto it = printers.find(printer);
  if (it == printers.end()) return kFalse;
  const auto& dm = it->second.printer_devmode;
  return platform::FillLevel2<PRINTER_INFO_2W>(dm ? &*dm : nullptr, dm ? sizeof(DEVMODEW) : 0, buf, cb,
                                     needed);
}

BOOL FakeSpooler::GetJobW(HANDLE printer, DWORD, BYTE* buf, DWORD cb, DWORD* needed) {
  auto it = printers.find(printer);
  if (it == printers.end()) return kFalse;
  const auto& dm = it->second.job_devmode;
  return platform::FillLevel2<JOB_INFO_2W>(dm ? dm->data() : nullptr, dm ? dm->size() : 0, buf, cb, needed);
}

// --- profile ---

void FakeProfile::Set(const std::u16string& section, const std::u16string& key,
                      const std::u16string& value) {
  for (auto& [name, keys] : sections_) {
    if (name != section) continue;
    for (auto& [k, v] : keys) {
      if (k == key) {
        v = value;
        return;
      }
    }
    keys.emplace_back(key, value);
    return;
  }
  sections_.push_back({section, {{key, value}}});
}

const std::u16string* FakeProfile::Find(const WCHAR* section, const WCHAR* key) const {
  for (const auto& [name, keys] : sections_) {
    if (name != Str(section)) continue;
    for (const auto& [k, v] : keys)
      if (k == Str(key)) return &v;
  }
  return nullptr;
}

UINT FakeProfile::GetPrivateProfileIntW(const WCHAR* section, const WCHAR* key, int def,
                                        const WCHAR*) {
  int_keys_read.push_back(Str(key));
  const std::u16string* v = Find(section, key);
  return v ? posix::ParseProfileInt(*v) : static_cast<UINT>(def);
}

DWORD FakeProfile::GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key,
                                            const WCHAR* def, WCHAR* buf, DWORD size,
                                            const WCHAR*) {
  if (!key) {
    std::vector<std::u16string_view> names;
    for (const auto& [name, keys] : sections_) {
      if (name != Str(section)) continue;
      for (const auto& [k, v] : keys) names.push_back(k);
    }
    return posix::CopyProfileNameList(names, buf, size);
  }
  const std::u16string* v = Find(section, key);
  return posix::CopyProfileString(v ? *v : Str(def), buf, size);
}

// --- files ---

UINT FakeFiles::GetSystemDirectoryW(WCHAR* buf, UINT size) {
  const auto len = static_cast<UINT>(system_directory.size());
  if (size <= len) return len + 1;
  std::memcpy(buf, system_directory.data(), len * sizeof(WCHAR));
  buf[len] = 0;
  return len;
}

HANDLE FakeFiles::CreateNewHidden(const WCHAR* path) {
  const std::u16string p(path);
  if (fail_all_creates || files.count(p)) return InvalidHandleValue();
  for (const auto& f : fail_create)
    if (f == p) return InvalidHandleValue();
  files[p] = File{"", true};
  const uintptr_t h = next_++;
  open_[h] = Open{p, 0, true};
  return reinterpret_cast<HANDLE>(h);
}

HANDLE FakeFiles::OpenExisting(const WCHAR* path) {
  const std::u16string p(path);
  if (!files.count(p)) return InvalidHandleValue();
  for (const auto& [h, o] : open_)
    if (o.path == p) return InvalidHandleValue();  // share mode 0
  const uintptr_t h = next_++;
  open_[h] = Open{p, 0, false};
  return reinterpret_cast<HANDLE>(h);
}

BOOL FakeFiles::ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) {
  *read = 0;
  auto it = open_.find(reinterpret_cast<uintptr_t>(file));
  if (it == open_.end()) return kFalse;
  if (fail_read_after >= 0 && reads_++ >= fail_read_after) return kFalse;
  const std::string& bytes = files[it->second.path].bytes;
  const std::size_t n = std::min<std::size_t>(count, bytes.size() - it->second.pos);
  std::memcpy(buf, bytes.data() + it->second.pos, n);
  it->second.pos += n;
  *read = static_cast<DWORD>(n);
  return kTrue;
}

BOOL FakeFiles::WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept {
  if (written) *written = 0;
  auto it = open_.find(reinterpret_cast<uintptr_t>(file));
  if (it == open_.end() || !it->second.writable) return kFalse;
  std::string& stored = files[it->second.path].bytes;
  DWORD take = count;
  const auto limit = room.find(it->second.path);
  if (limit != room.end()) {
    const std::size_t left = limit->second > stored.size() ? limit->second - stored.size() : 0;
    if (left < take) take = static_cast<DWORD>(left);
  }
  stored.append(static_cast<const char*>(bytes), take);
  if (written) *written = take;
  return take == count ? kTrue : kFalse;
}

BOOL FakeFiles::CloseHandle(HANDLE file) {
  return open_.erase(reinterpret_cast<uintptr_t>(file)) ? kTrue : kFalse;
}

BOOL FakeFiles::DeleteFileW(const WCHAR* path) {
  ++deletes;
  return files.erase(std::u16string(path)) ? kTrue : kFalse;
}

// --- heap ---

void* FakeHeap::Alloc(std::size_t bytes) {
  if (fail_after == 0) return nullptr;
  if (fail_after > 0) --fail_after;
  ++live;
  return std::calloc(bytes ? bytes : 1, 1);
}

void* FakeHeap::ReAlloc(void* block, std::size_t bytes) {
  if (fail_after == 0) return nullptr;
  if (fail_after > 0) --fail_after;
  return std::realloc(block, bytes ? bytes : 1);
}

void FakeHeap::Free(void* block) {
  if (!block) return;
  --live;
  std::free(block);
}

// --- text ---

BOOL NoText::GetSystemFont(LOGFONTW* font) {
  *font = LOGFONTW{};
  font->lfHeight = 16;
  font->lfWidth = 7;
  font->lfWeight = 700;
  font->lfPitchAndFamily = 0x22;
  const char16_t face[] = u"System";
  std::memcpy(font->lfFaceName, face, sizeof(face));
  return kTrue;
}

// --- platform ---

DEVMODEW PrinterDevmode() {
  DEVMODEW dm{};
  dm.dmSpecVersion = 0x0401;
  dm.dmDriverVersion = 0x0400;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = 58;
  return dm;
}

std::vector<uint8_t> JobDevmode() {
  DEVMODEW dm = PrinterDevmode();
  dm.dmOrientation = 1;
  dm.dmPaperSize = 9;
  dm.dmCopies = 1;
  dm.dmYResolution = 600;
  std::vector<uint8_t> block(kDevmodeBlockSize, 0);
  std::memcpy(block.data(), &dm, sizeof(dm));
  return block;
}

FakePrinter& FakePlatform::AddPrinter(HANDLE h) {
  FakePrinter& p = spooler.printers[h];
  p.printer_devmode = PrinterDevmode();
  p.job_devmode = JobDevmode();
  return p;
}

std::vector<std::u16string> FakePlatform::PageFileNames() const {
  std::vector<std::u16string> names;
  const std::u16string prefix = files.system_directory + u"\\";
  for (const auto& [path, f] : files.files)
    if (path.rfind(prefix, 0) == 0) names.push_back(path.substr(prefix.size()));
  return names;
}

}  // namespace pclspool::testing
