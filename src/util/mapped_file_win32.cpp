#include <windows.h>

#include "util/mapped_file.h"
#include "util/path_text.h"

namespace vertolin {

namespace {

std::string SystemText(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string said = text != nullptr ? PathToUtf8(std::filesystem::path(text)) : "";
  LocalFree(text);
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
  return said.empty() ? "ошибка " + std::to_string(code) : said;
}

class Win32MappedFile : public MappedFile {
 public:
  Win32MappedFile(HANDLE mapping, void* at, std::size_t size)
      : mapping_(mapping), at_(at), size_(size) {}
  ~Win32MappedFile() override {
    UnmapViewOfFile(at_);
    CloseHandle(mapping_);
  }
  Win32MappedFile(const Win32MappedFile&) = delete;
  Win32MappedFile& operator=(const Win32MappedFile&) = delete;

  std::span<std::byte> bytes() override { return {static_cast<std::byte*>(at_), size_}; }

 private:
  HANDLE mapping_;
  void* at_;
  std::size_t size_;
};

}  // namespace

std::unique_ptr<MappedFile> MapFile(const std::filesystem::path& file, std::size_t size,
                                    std::string& error) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = SystemText(GetLastError());
    return nullptr;
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    error = "это не обычный файл";
    return nullptr;
  }
  // The mapping sets the file's size; it keeps the file open itself.
  const auto wide = static_cast<unsigned long long>(size);
  const HANDLE mapping = CreateFileMappingW(handle, nullptr, PAGE_READWRITE,
                                            static_cast<DWORD>(wide >> 32),
                                            static_cast<DWORD>(wide & 0xffffffffu), nullptr);
  const DWORD mapError = GetLastError();
  CloseHandle(handle);
  if (mapping == nullptr) {
    error = SystemText(mapError);
    return nullptr;
  }
  void* at = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, size);
  if (at == nullptr) {
    error = SystemText(GetLastError());
    CloseHandle(mapping);
    return nullptr;
  }
  return std::make_unique<Win32MappedFile>(mapping, at, size);
}

}  // namespace vertolin
