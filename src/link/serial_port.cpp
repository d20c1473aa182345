#include "link/serial_port.h"

#include "link/link.h"
#include "link/sim_port.h"

namespace vertolin {

namespace {

// Long enough for a command line at the slowest usual rate with the driver's
// buffer full, short enough that a dead line is noticed at once.
constexpr std::chrono::milliseconds kWriteLimit{2000};

constexpr std::string_view kSimPrefix = "sim:";

}  // namespace

std::string PortNotFoundText(std::string_view name) {
  std::string text = "Порт ";
  text += name;
  text +=
      " не найден.\r\n\r\nПроверьте подключение платы Ардуино к компьютеру.\r\n"
      "Зайдите в Настройки и выберите другой порт.";
  return text;
}

std::string PortBusyText(std::string_view name) {
  std::string text = "Порт ";
  text += name;
  text += " используется другим приложением.\r\n\r\nЗакройте приложение, использующее порт ";
  text += name;
  text += ".\r\nЗайдите в Настройки и выберите другой порт.";
  return text;
}

std::unique_ptr<SerialPort> SerialOpen(std::string_view name, int baud, Frontend& frontend,
                                       int* systemError) {
  if (name.size() > kSimPrefix.size() && name.substr(0, kSimPrefix.size()) == kSimPrefix) {
    return OpenSimulatedPort(name, frontend, systemError);
  }
  return OpenDevicePort(name, baud, frontend, systemError);
}

void SerialWrite(Link& link, std::string_view text) {
  if (SerialPort* port = link.port()) port->Write(text);
}

bool SerialWriteChecked(Link& link, std::string_view text) {
  SerialPort* port = link.port();
  if (port == nullptr) return false;
  if (port->WriteChecked(text, kWriteLimit)) {
    link.ClearStop();
    return true;
  }
  link.RequestStop(Link::StopCause::LinkLost);
  return false;
}

int SerialReadByte(Link& link) {
  link.pump().Tick();
  SerialPort* port = link.port();
  if (port == nullptr) return -2;
  return port->ReadByte();
}

}  // namespace vertolin
