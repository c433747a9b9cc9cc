#include "fake_platform.h"

#include <cstdlib>
#include <cstring>

#include "hooks/job_context.h"

namespace pclspool::testing {

namespace {

template <typename Info>
BOOL FillLevel2(const void* devmode, std::size_t devmode_size, BYTE* buf, DWORD cb,
                DWORD* needed) {
  const auto size = static_cast<DWORD>(sizeof(Info) + devmode_size);
  *needed = size;
  if (!buf || cb < size) return kFalse;
  Info info{};
  if (devmode) {
    std::memcpy(buf + sizeof(Info), devmode, devmode_size);
    info.pDevMode = reinterpret_cast<DEVMODEW*>(buf + sizeof(Info));
  }
  std::memcpy(buf, &info, sizeof(Info));
  return kTrue;
}

std::u16string Str(const WCHAR* s) { return s ? std::u16string(s) : std::u16string(); }

// Win32 reads profile integers as an optional sign, then decimal digits
// or 0x and hexadecimal digits, up to the first other character.
UINT ParseProfileInt(const std::u16string& v) {
  std::size_t i = 0;
  bool neg = false;
  if (i < v.size() && (v[i] == u'-' || v[i] == u'+')) neg = v[i++] == u'-';
  uint32_t n = 0;
  if (i + 1 < v.size() && v[i] == u'0' && (v[i + 1] == u'x' || v[i + 1] == u'X')) {
    for (i += 2; i < v.size(); ++i) {
      const char16_t c = v[i];
      int d = c >= u'0' && c <= u'9' ? c - u'0'
              : c >= u'a' && c <= u'f' ? c - u'a' + 10
              : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                       : -1;
      if (d < 0) break;
      n = n * 16 + static_cast<uint32_t>(d);
    }
  } else {
    for (; i < v.size() && v[i] >= u'0' && v[i] <= u'9'; ++i) n = n * 10 + (v[i] - u'0');
  }
  return neg ? 0u - n : n;
}

}  // namespace

// --- spooler ---

BOOL FakeSpooler::WritePrinter(HANDLE printer, const void* bytes, DWORD count, DWORD* written) {
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
  return FillLevel2<PRINTER_INFO_2W>(dm ? &*dm : nullptr, dm ? sizeof(DEVMODEW) : 0, buf, cb,
                                     needed);
}

BOOL FakeSpooler::GetJobW(HANDLE printer, DWORD, BYTE* buf, DWORD cb, DWORD* needed) {
  auto it = printers.find(printer);
  if (it == printers.end()) return kFalse;
  const auto& dm = it->second.job_devmode;
  return FillLevel2<JOB_INFO_2W>(dm ? dm->data() : nullptr, dm ? dm->size() : 0, buf, cb, needed);
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
  return v ? ParseProfileInt(*v) : static_cast<UINT>(def);
}

DWORD FakeProfile::GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key,
                                            const WCHAR* def, WCHAR* buf, DWORD size,
                                            const WCHAR*) {
  if (!buf || size == 0) return 0;
  if (!key) {
    // The key names, each ended by a NUL, and one more NUL; a list too
    // long for the buffer is cut and still ends with two NULs.
    std::u16string list;
    for (const auto& [name, keys] : sections_) {
      if (name != Str(section)) continue;
      for (const auto& [k, v] : keys) list += k + u'\0';
    }
    if (size < 2) {
      buf[0] = 0;
      return 0;
    }
    if (list.size() + 1 > size) {
      list.resize(size - 2);
      list += u'\0';
      std::memcpy(buf, list.data(), list.size() * sizeof(WCHAR));
      buf[size - 1] = 0;
      return size - 2;
    }
    std::memcpy(buf, list.data(), list.size() * sizeof(WCHAR));
    buf[list.size()] = 0;
    return static_cast<DWORD>(list.empty() ? 0 : list.size());
  }
  const std::u16string* v = Find(section, key);
  std::u16string value = v ? *v : Str(def);
  if (value.size() >= size) value.resize(size - 1);
  std::memcpy(buf, value.data(), value.size() * sizeof(WCHAR));
  buf[value.size()] = 0;
  return static_cast<DWORD>(value.size());
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

BOOL FakeFiles::WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) {
  if (written) *written = 0;
  auto it = open_.find(reinterpret_cast<uintptr_t>(file));
  if (it == open_.end() || !it->second.writable) return kFalse;
  files[it->second.path].bytes.append(static_cast<const char*>(bytes), count);
  if (written) *written = count;
  return kTrue;
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
