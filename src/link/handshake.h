// Making sure the board answers and runs the firmware a window needs.
#pragma once

#include <string>
#include <string_view>

namespace vertolin {

class Link;

// Waits one to two seconds for any acknowledgement still on its way and
// swallows it. Throws LinkError when StopFlag is set or the read fails; where
// a stop ends every wait (the tool's policy), also when it comes meanwhile.
void SettleLink(Link& link);

// Empties the port's input (whatever came unasked, until it keeps quiet for
// a read window), sends "V;" and returns what arrived within two to three
// seconds, up to and including the first "T", without line ends; empty when
// the board is silent. Ends at a stop as SettleLink does.
std::string QueryFirmware(Link& link);

// What a window shows after its handshake.
struct HandshakeResult {
  enum class Warning {
    None,           // drive controls stay enabled
    WrongFirmware,  // the warning dialog with its default text
    NoAnswer,       // the warning dialog with the "firmware outdated" text
  };
  std::string status;  // the status label text
  Warning warning = Warning::None;
  bool driveEnabled = false;  // false: the window disables its drive controls
  char kindLetter = 0;        // the reply's first character when accepted
  std::string reply;

  // The text for the warning dialog: empty selects its default message.
  std::string_view WarningText() const;
};

// The reply a window requires: exactly one kind ("MT", "PT" ...), or any kind
// (the manual positioning window and the connection check).
inline constexpr std::string_view kAnyKind = "";

// Judges a reply against a window's requirement.
HandshakeResult JudgeFirmwareReply(std::string_view reply, std::string_view required);

// The whole handshake of a window's load: no port, or clear StopFlag, settle,
// query and judge. Showing the warning is the window's part.
HandshakeResult RunHandshake(Link& link, std::string_view required);

}  // namespace vertolin
