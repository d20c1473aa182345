// Serial port on Windows COM devices.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <chrono>
#include <string>

#include "util/frontend.h"
#include "link/serial_port.h"
#include "link/texts.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

class Win32Port : public SerialPort {
 public:
  explicit Win32Port(HANDLE handle) : handle_(handle) {}
  ~Win32Port() override { CloseHandle(handle_); }
  Win32Port(const Win32Port&) = delete;
  Win32Port& operator=(const Win32Port&) = delete;

  void Write(std::string_view bytes) override {
    // The whole line: a write that took only part of it goes on with the
    // rest; a failed one shows up as a missing acknowledgement.
    while (!bytes.empty()) {
      DWORD written = 0;
      if (!WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
          written == 0) {
        return;
      }
      bytes.remove_prefix(written);
    }
  }

  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds limit) override {
    // The write itself is bounded by the driver's write time-outs; then the
    // output queue must drain within the limit.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    DWORD written = 0;
    const BOOL ok = WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                              nullptr);
    bool complete = ok && written == bytes.size();
    while (complete) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!ClearCommError(handle_, &errors, &status)) {
        complete = false;
        break;
      }
      if (status.cbOutQue == 0) break;
      if (std::chrono::steady_clock::now() >= deadline) {
        complete = false;
        break;
      }
      Sleep(1);
    }
    if (!complete) {
      DWORD errors = 0;
      ClearCommError(handle_, &errors, nullptr);
      PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
    }
    return complete;
  }

  int ReadByte() override {
    unsigned char byte = 0;
    DWORD read = 0;
    if (!ReadFile(handle_, &byte, 1, &read, nullptr)) return -2;
    return read == 1 ? byte : -1;
  }

 private:
  HANDLE handle_;
};

}  // namespace

bool SupportedBaud(int baud) { return baud > 0; }

std::string SystemErrorText(int code) {
  char buffer[2048];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(code), 0, buffer, sizeof buffer,
                                      nullptr);
  // The system's text is in the ANSI code page; the program speaks UTF-8.
  std::wstring wide(length, L'\0');
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, buffer, static_cast<int>(length),
                                             wide.data(), static_cast<int>(wide.size()));
  std::string text(static_cast<std::size_t>(wideLength) * 3, '\0');
  const int textLength = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, text.data(),
                                             static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(static_cast<std::size_t>(textLength));
  return text;
}

std::unique_ptr<SerialPort> OpenDevicePort(std::string_view name, int baud, Frontend& frontend,
                                           int* systemError) {
  const std::string path = name.size() > 4 ? "\\\\.\\" + std::string(name) : std::string(name);
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (systemError != nullptr) *systemError = static_cast<int>(code);
    if (code == ERROR_FILE_NOT_FOUND) {
      frontend.ShowMessage(texts::kTitleVertolin, PortNotFoundText(name));
    } else if (code == ERROR_ACCESS_DENIED) {
      frontend.ShowMessage(texts::kTitleVertolin, PortBusyText(name));
    } else {
      frontend.ShowMessage(texts::kTitleVertolin, "CreateFile ошибка: " + IntText(code));
    }
    return nullptr;
  }

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(handle, &dcb);
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(handle, &dcb)) {
    frontend.ShowMessage(texts::kTitleVertolin, "SetCommState ошибка: " + IntText(GetLastError()));
  }

  COMMTIMEOUTS timeouts{};
  GetCommTimeouts(handle, &timeouts);
  timeouts.ReadIntervalTimeout = 3;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(SerialPort::kReadWindow.count());
  if (!SetCommTimeouts(handle, &timeouts)) {
    const DWORD code = GetLastError();
    if (systemError != nullptr) *systemError = static_cast<int>(code);
    frontend.ShowMessage(texts::kTitleVertolin, "SetCommTimeouts ошибка " + IntText(code));
    CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<Win32Port>(handle);
}

}  // namespace vertolin
