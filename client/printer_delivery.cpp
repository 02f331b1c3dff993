// The real delivery of a label job: a wire frame over TCP to a print service, or one
// write to a serial printer.
#include <cstdio>
#include <cstring>

#include "client/client_entry.h"
#include "platform/message_box.h"
#include "transport/frame_io.h"
#include "transport/serial_port.h"
#include "transport/socket.h"

namespace {

bool DeliverOverNetwork(const ClientSettings& settings, const char* job, std::size_t length) {
  try {
    CSocket socket(settings.address, settings.netPort);
    // The whole frame goes out, the send repeated until every byte is out; a job over
    // the cap never gets here (the entry refuses it).
    bool sent = SendFrame(socket, job, static_cast<std::uint32_t>(length));
    socket.Close();
    if (!sent) {
      platform::ShowMessageBox("send() failed", "Tervane", platform::MessageIcon::kNone);
      return false;
    }
    return true;
  } catch (CSocketException& e) {
    platform::ShowMessageBox(e.Text(), "Tervane", platform::MessageIcon::kNone);
    return false;
  }
}

bool DeliverToSerialPort(const ClientSettings& settings, const char* job, std::size_t length) {
  PortSerialv2 port;
  LineSettings line = MakeLineSettings(settings.baudRate, settings.dataBits,
                                       settings.parityCode, settings.stopBitsCode);
  char portName[sizeof settings.portName];
  std::snprintf(portName, sizeof portName, "%s", settings.portName);
  if (!port.Open(portName, line)) {
    char message[sizeof port.errorText];
    std::snprintf(message, sizeof message, "%s", port.errorText);
    port.errorText[0] = '\0';
    platform::ShowMessageBox(message, "Error", platform::MessageIcon::kWarning);
    return false;
  }
  // An empty job has nothing to write; the port is still opened and closed.
  bool written = length == 0 || port.Write(job, static_cast<unsigned long>(length));
  port.Close();
  if (!written) {
    char message[sizeof port.errorText];
    std::snprintf(message, sizeof message, "Eroare la scriere pe portul %s", portName);
    platform::ShowMessageBox(message, "Error", platform::MessageIcon::kWarning);
    return false;
  }
  return true;
}

}  // namespace

bool PrinterDelivery::Deliver(const ClientSettings& settings, const char* job, std::size_t length) {
  if (settings.address[0] != '\0') return DeliverOverNetwork(settings, job, length);
  return DeliverToSerialPort(settings, job, length);
}
