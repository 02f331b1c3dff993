// tervane-studio: serves the label studio's page on this machine.
//
//   tervane-studio                          http://127.0.0.1:8104/
//   tervane-studio --listen 127.0.0.1:9000  another port (0: any free port)
//   tervane-studio --listen 0.0.0.0:8104 --allow-remote   other machines too (no login!)
//   tervane-studio --print-to 10.0.0.5:104  a "print a test label" button (a print service)
//   tervane-studio --printer 9100           a virtual network label printer, its labels on the page
//   tervane-studio --printer-serial /dev/tervane/com5   a virtual serial label printer (Linux)
//   tervane-studio --printer 9100 --printer-dpi 300     a 300 dpi one
//   tervane-studio --open                   the default browser opened at the page
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "preview/label_check.h"
#include "studio/browser_open.h"
#include "studio/listen_address.h"
#include "studio/printer_log.h"
#include "studio/printer_serial.h"
#include "studio/printer_server.h"
#include "studio/stop_request.h"
#include "studio/studio_server.h"
#include "tervane_version.h"

namespace {

void Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: tervane-studio [--listen ADDRESS:PORT] [--allow-remote] [--print-to HOST:PORT] [--open]\n"
               "                      [--printer [ADDRESS:]PORT] [--printer-serial NAME] [--printer-keep DIR]\n"
               "                      [--printer-dpi 203|300]\n"
               "  --listen ADDRESS:PORT  where the page is served (default 127.0.0.1:8104; port 0: any free port)\n"
               "  --allow-remote         serve an address other machines reach (anyone there can use it)\n"
               "  --print-to HOST:PORT   a print service for the \"print a test label\" button (off by default)\n"
               "  --open                 open the page in the default browser once it is served\n"
               "  --printer [ADDRESS:]PORT  be a network label printer there (raw TCP; 9100 by convention;\n"
               "                         address 127.0.0.1 when left out; port 0: any free port)\n"
               "  --printer-serial NAME  be a serial label printer: a pseudo-terminal linked as NAME (Linux)\n"
               "  --printer-keep DIR     also write each received label to DIR as PNG and job files\n"
               "  --printer-dpi 203|300  the virtual printer's resolution (default 203; a 4-inch head)\n"
               "  --version\n");
}

}  // namespace

int main(int argc, char** argv) {
  HostPort listen{"127.0.0.1", 8104};
  HostPort printTo;
  HostPort printer;
  bool printerOn = false;
  std::string printerSerial, printerKeep;
  int printerDpi = 203;
  bool allowRemote = false;
  bool open = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string error;
    if ((arg == "--listen" || arg == "--print-to") && i + 1 < argc) {
      const bool isListen = arg == "--listen";
      if (!ParseHostPort(argv[++i], isListen, isListen ? &listen : &printTo, &error)) {
        std::fprintf(stderr, "tervane-studio: %s %s\n", arg.c_str(), error.c_str());
        return 1;
      }
    } else if (arg == "--printer" && i + 1 < argc) {
      std::string text = argv[++i];
      // A port alone listens on loopback.
      if (text.find(':') == std::string::npos) text = "127.0.0.1:" + text;
      if (!ParseHostPort(text, true, &printer, &error)) {
        std::fprintf(stderr, "tervane-studio: --printer %s\n", error.c_str());
        return 1;
      }
      printerOn = true;
    } else if ((arg == "--printer-serial" || arg == "--printer-keep") && i + 1 < argc) {
      (arg == "--printer-serial" ? printerSerial : printerKeep) = argv[++i];
    } else if (arg == "--printer-dpi" && i + 1 < argc) {
      // The resolutions the labels are drawn at; any other would be drawn at 203.
      const std::string text = argv[++i];
      if (text != "203" && text != "300") {
        std::fprintf(stderr, "tervane-studio: --printer-dpi %s: the printer draws at 203 or 300 dpi\n", text.c_str());
        return 1;
      }
      printerDpi = std::stoi(text);
    } else if (arg == "--allow-remote") {
      allowRemote = true;
    } else if (arg == "--open") {
      open = true;
    } else if (arg == "--version") {
      std::printf("tervane-studio %s\n", TERVANE_VERSION);
      return 0;
    } else if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "tervane-studio: unknown argument %s\n", arg.c_str());
      Usage(stderr);
      return 1;
    }
  }
  if (printerOn && !IsLoopbackHost(printer.host) && !allowRemote) {
    std::fprintf(stderr,
                 "tervane-studio: the printer's address %s is reachable from other machines; add --allow-remote to "
                 "listen there anyway\n",
                 printer.host.c_str());
    return 1;
  }
  const bool loopback = IsLoopbackHost(listen.host);
  if (!loopback && !allowRemote) {
    std::fprintf(stderr,
                 "tervane-studio: %s is reachable from other machines; add --allow-remote to serve it anyway\n",
                 listen.host.c_str());
    return 1;
  }
  if (!loopback) {
    std::fprintf(stderr,
                 "tervane-studio: WARNING: serving %s to other machines; the studio has no login, anyone who "
                 "reaches it can render%s\n",
                 HostPortText(listen.host, listen.port).c_str(), printTo.port ? " and print labels" : " labels");
  }

  // A stop request (SIGINT, SIGTERM; Ctrl+C on Windows) stops the server from a thread of
  // its own.
  PrepareStopRequests();

  // The virtual printer: its labels go to the log the page shows.
  PrinterLog printerLog(printerKeep);
  PrinterProfile profile;
  profile.dpi = printerDpi;
  profile.headDots = PrintheadWidth(printerDpi);
  std::string error;
  if (!printerLog.PrepareKeepDir(&error)) {
    std::fprintf(stderr, "tervane-studio: --printer-keep: %s\n", error.c_str());
    return 1;
  }
  PrinterServer printerServer(&printerLog, profile);
  if (printerOn && !printerServer.Start(printer.host, printer.port, &error)) {
    std::fprintf(stderr, "tervane-studio: cannot be a printer on %s: %s\n",
                 HostPortText(printer.host, printer.port).c_str(), error.c_str());
    return 1;
  }
  std::unique_ptr<SerialPrinter> serialPrinter;
  if (!printerSerial.empty()) {
    serialPrinter = SerialPrinter::Open(printerSerial, &printerLog, profile, &error);
    if (!serialPrinter) {
      std::fprintf(stderr, "tervane-studio: --printer-serial %s: %s\n", printerSerial.c_str(), error.c_str());
      return 1;
    }
  }

  StudioOptions options;
  options.printHost = printTo.host;
  options.printPort = printTo.port;
  options.printer = &printerLog;
  if (printerOn) options.printerAddress = HostPortText(printer.host, printerServer.Port());
  options.printerSerial = printerSerial;
  options.printerKeep = printerKeep;
  StudioServer server(options, !loopback);
  const std::string shownHost = listen.host == "0.0.0.0" || listen.host == "::" ? "127.0.0.1" : listen.host;
  if (!server.Bind(listen.host, listen.port, &error)) {
    // Started again while a studio serves there (the shortcut clicked twice): the
    // browser opens at the running one.
    if (open && listen.port != 0 && StudioServesAt(shownHost, listen.port)) {
      const std::string url = "http://" + HostPortText(shownHost, listen.port) + "/";
      std::printf("tervane-studio: already serving at %s; opening it in the browser\n", url.c_str());
      std::fflush(stdout);
      OpenBrowser(url);
      return 0;
    }
    std::fprintf(stderr, "tervane-studio: %s\n", error.c_str());
    return 1;
  }
  const std::string shown = HostPortText(shownHost, server.Port());
  std::printf("tervane-studio %s: open http://%s/ in a browser (Ctrl+C ends)\n", TERVANE_VERSION, shown.c_str());
  if (printTo.port) {
    std::printf("test labels go to the print service at %s\n", HostPortText(printTo.host, printTo.port).c_str());
  }
  if (printerOn) {
    std::printf("printer: raw TCP on %s (labels at http://%s/#printer)\n", options.printerAddress.c_str(),
                shown.c_str());
  }
  if (serialPrinter) {
    std::printf("printer: serial on %s -> %s\n", printerSerial.c_str(), serialPrinter->Device().c_str());
  }
  if (!printerKeep.empty()) std::printf("printer: labels kept in %s\n", printerKeep.c_str());
  std::fflush(stdout);
  // Bound means listening: the browser's first request waits for Run.
  if (open) {
    OpenBrowser("http://" + shown + "/");
  }

  std::atomic<bool> stopped(false);
  std::thread waiter([&server, &stopped] {
    WaitForStopRequest();
    stopped = true;
    server.Stop();
  });
  server.Run();
  // Run also ends when listening fails; the waiter then still waits for a stop request.
  if (!stopped) {
    std::fprintf(stderr, "tervane-studio: the server stopped unexpectedly\n");
    std::fflush(stderr);
    std::_Exit(1);
  }
  waiter.join();
  printerServer.Stop();
  serialPrinter.reset();  // removes the link
  return 0;
}
