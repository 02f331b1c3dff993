#include "preview/request_preview.h"

#include <cstdio>

#include "client/client_entry.h"
#include "platform/temp_folder.h"

namespace {

// Keeps every label job instead of sending it to a printer.
class MemoryDelivery : public JobDelivery {
 public:
  explicit MemoryDelivery(std::vector<std::string>* jobs) : jobs_(jobs) {}
  bool Deliver(const ClientSettings&, const char* job, std::size_t length) override {
    jobs_->emplace_back(job, length);
    return true;
  }

 private:
  std::vector<std::string>* jobs_;
};

bool CopyFile(const std::string& from, const std::string& to, std::string* error) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) {
    *error = "cannot open " + from;
    return false;
  }
  std::FILE* out = std::fopen(to.c_str(), "wb");
  if (!out) {
    std::fclose(in);
    *error = "cannot create " + to;
    return false;
  }
  char buffer[8192];
  std::size_t n;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) ok = ok && std::fwrite(buffer, 1, n, out) == n;
  std::fclose(in);
  if (std::fclose(out) != 0 || !ok) {
    *error = "cannot write " + to;
    return false;
  }
  return true;
}

}  // namespace

bool RenderRequest(const ClientBuild& build, const std::string& argument, const IniSource& source,
                   RequestJobs* result, std::string* error) {
  // The client reads barcode.ini from its program folder and may append to its argument
  // log there: give it a private folder holding the chosen settings file.
  const std::string folder = platform::MakeTemporaryFolder("tervane-preview");
  if (folder.empty()) {
    *error = "cannot create a folder under " + platform::TemporaryFilesFolder();
    return false;
  }
  const std::string ini = folder + "/barcode.ini";
  bool ready;
  if (source.useText || source.path.empty()) {
    // The given text, or an empty settings file that leaves every built-in default in
    // place (a missing one would make the client print its prompt and, at a terminal,
    // wait for Enter).
    std::FILE* file = std::fopen(ini.c_str(), "wb");
    const std::string& text = source.useText ? source.text : std::string();
    ready = file != nullptr;
    if (ready) ready = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file && std::fclose(file) != 0) ready = false;
    if (!ready) *error = "cannot write " + ini;
  } else {
    ready = CopyFile(source.path, ini, error);
  }
  if (ready) {
    ClientSettings settings;
    MemoryDelivery delivery(&result->jobs);
    result->exitCode = RunClient(build, argument.c_str(), folder.c_str(), settings, delivery);
  }
  std::remove(ini.c_str());
  std::remove((folder + "/_tervane_arg.log").c_str());
  platform::RemoveEmptyFolder(folder);
  return ready;
}
