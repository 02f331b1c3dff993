// A virtual serial printer: a socat pseudo-terminal whose received bytes are kept in a
// file, reachable by a port name (COMn). Natively the name is a link in the device
// folder TERVANE_DEVICE_DIR (set for this process and its children when not set yet);
// under Wine it is a link in the prefix's dosdevices folder, so CreateFileA("COMn")
// opens it. Works the same in both builds: the work is done by virtual_printer.sh,
// which the Windows build starts as a Unix program through Wine.
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

class VirtualPrinter {
 public:
  VirtualPrinter();  // starts the printer on one of COM2 to COM9; see Ready()
  // Starts it on COM<portNumber>, once no other printer holds that name.
  explicit VirtualPrinter(int portNumber);
  ~VirtualPrinter();  // stops it and removes its port name
  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  bool Ready() const { return !port_.empty(); }
  const std::string& Error() const { return error_; }
  const std::string& PortName() const { return port_; }    // "COM20"
  const std::string& DevicePath() const { return device_; }  // "/dev/pts/3"

  // Bytes received so far, after waiting up to timeoutMs for at least atLeast of them.
  std::string Received(std::size_t atLeast = 0, int timeoutMs = 5000) const;
  // The pseudo-terminal's current line settings as `stty -a` prints them.
  std::string LineSettings() const;

 private:
  std::string File(const char* name) const;  // a file of the printer's folder (native path)

  std::string dir_;  // Unix path of the printer's folder
  std::string port_;
  std::string device_;
  std::string error_;
};

namespace virtualprinter {
// Per-OS: runs virtual_printer.sh with the arguments (Unix paths). Natively it waits
// for the script; under Wine it cannot, so callers wait for the result files.
bool RunScript(const std::string& arguments);
// The device folder that port names resolve in (a Unix path), prepared for use.
std::string LinkFolder(std::string* error);
}  // namespace virtualprinter

}  // namespace testsupport
