#include "util/file_replace.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>

namespace vertolin {

namespace {

// The system's text in UTF-8; FormatMessageA would give the ANSI code page.
std::string ErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide;
  if (length != 0 && text != nullptr) wide.assign(text, length);
  if (text != nullptr) LocalFree(text);
  // The system's texts end with ".\r\n"; the caller's message goes on after.
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) {
    wide.pop_back();
  }
  if (wide.empty()) return "Error " + std::to_string(code);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return "Error " + std::to_string(code);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                      nullptr, nullptr);
  return utf8;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    if (!valid()) return true;
    const BOOL ok = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return ok != FALSE;
  }

 private:
  HANDLE handle_;
};

// Others may keep cnc.ini open for writing; we only take a snapshot.
Handle OpenForReading(const std::filesystem::path& file) {
  return Handle(CreateFileW(file.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A file that did not open, as FileBytes says it: missing, or failed with
// the system's text.
FileBytes OpenFailure(DWORD code) {
  FileBytes result;
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return result;  // kMissing
  result.status = FileBytes::Status::kFailed;
  result.error = ErrorText(code);
  return result;
}

}  // namespace

FileBytes ReadFileBytes(const std::filesystem::path& file) {
  FileBytes result;
  Handle handle = OpenForReading(file);
  if (!handle.valid()) return OpenFailure(GetLastError());
  char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr)) {
      result.status = FileBytes::Status::kFailed;
      result.error = ErrorText(GetLastError());
      result.bytes.clear();
      return result;
    }
    if (got == 0) break;
    result.bytes.append(buffer, got);
  }
  result.status = FileBytes::Status::kOk;
  return result;
}

FileBytes ReadRegularFile(const std::filesystem::path& file, std::uintmax_t maxBytes) {
  FileBytes result;
  const DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return result;  // kMissing
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    result.status = FileBytes::Status::kFailed;
    result.error = std::string(kNotARegularFileText);
    return result;
  }
  Handle handle = OpenForReading(file);
  if (!handle.valid()) return OpenFailure(GetLastError());
  const auto fail = [&](std::string error) {
    result.status = FileBytes::Status::kFailed;
    result.error = std::move(error);
    result.bytes.clear();
    return result;
  };
  // A pipe, a console or a device such as NUL is not a file to read whole.
  if (GetFileType(handle.get()) != FILE_TYPE_DISK) return fail(std::string(kNotARegularFileText));
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle.get(), &size)) return fail(ErrorText(GetLastError()));
  if (static_cast<std::uintmax_t>(size.QuadPart) > maxBytes)
    return fail(FileTooLargeText(maxBytes));
  char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr)) {
      return fail(ErrorText(GetLastError()));
    }
    if (got == 0) break;
    result.bytes.append(buffer, got);
    // It grew after the look at its size.
    if (result.bytes.size() > maxBytes) return fail(FileTooLargeText(maxBytes));
  }
  result.status = FileBytes::Status::kOk;
  return result;
}

bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes,
                         std::string& error, bool flush) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temp;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = file;
    temp += L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    created = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created != INVALID_HANDLE_VALUE) break;
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) {
    error = ErrorText(GetLastError());
    return false;
  }
  Handle handle(created);

  const auto fail = [&](DWORD code) {
    handle.Close();
    DeleteFileW(temp.c_str());
    error = ErrorText(code);
    return false;
  };
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    if (!WriteFile(handle.get(), bytes.data(), chunk, &written, nullptr)) {
      return fail(GetLastError());
    }
    if (written == 0) return fail(ERROR_WRITE_FAULT);  // would loop for ever
    bytes.remove_prefix(written);
  }
  if (flush && !FlushFileBuffers(handle.get())) return fail(GetLastError());
  if (!handle.Close()) return fail(GetLastError());
  if (!MoveFileExW(temp.c_str(), file.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail(GetLastError());
  }
  return true;
}

}  // namespace vertolin
