#include "studio/studio_api.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "client/client_build.h"
#include "client/client_settings.h"
#include "platform/temp_folder.h"
#include "preview/job_reader.h"
#include "preview/label_check.h"
#include "studio/byte_text.h"
#include "studio/page_assets.h"
#include "studio/test_print.h"
#include "tervane_version.h"

using nlohmann::json;

namespace {

// A request that cannot be rendered: the status and the reason sent back.
struct BadRequest {
  int status;
  std::string message;
};

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

ApiReply JsonReply(const json& value) {
  ApiReply reply;
  reply.body = Dump(value);
  return reply;
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += kDigits[v & 63];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | (two ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0);
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += two ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// Parses a request body: a JSON object whose fields are all among known.
json ParseObject(const std::string& body, const std::set<std::string>& known) {
  if (body.empty()) throw BadRequest{400, "the request has no body: send a JSON object"};
  if (JsonNestingDepth(body) > studio::kMaxJsonDepth) {
    throw BadRequest{400, "the JSON is nested deeper than " + std::to_string(studio::kMaxJsonDepth) + " levels"};
  }
  json value;
  try {
    value = json::parse(body);
  } catch (const json::parse_error& e) {
    throw BadRequest{400, std::string("the body is not JSON: ") + e.what()};
  }
  if (!value.is_object()) throw BadRequest{400, "the body must be a JSON object"};
  for (auto it = value.begin(); it != value.end(); ++it) {
    if (!known.count(it.key())) throw BadRequest{400, "unknown field \"" + TextFromBytes(it.key()) + "\""};
  }
  return value;
}

// A byte text field (see byte_text.h) of at most limit bytes; "" when absent.
std::string ByteField(const json& request, const char* name, std::size_t limit, bool* present) {
  *present = request.contains(name);
  if (!*present) return std::string();
  const json& field = request.at(name);
  if (!field.is_string()) throw BadRequest{400, std::string("\"") + name + "\" must be a string"};
  std::string bytes, error;
  if (!BytesFromText(field.get_ref<const std::string&>(), &bytes, &error)) {
    throw BadRequest{400, std::string("\"") + name + "\": " + error};
  }
  if (bytes.size() > limit) {
    throw BadRequest{413, std::string("\"") + name + "\" holds " + std::to_string(bytes.size()) +
                              " bytes; at most " + std::to_string(limit) + " are accepted"};
  }
  return bytes;
}

const ClientBuild& BuildField(const json& request) {
  if (!request.contains("build")) return kTervaneBuild;
  const json& build = request.at("build");
  if (build == "tervane") return kTervaneBuild;
  if (build == "tervane-b") return kTervaneBBuild;
  throw BadRequest{400, "\"build\" must be \"tervane\" or \"tervane-b\""};
}

int IntegerField(const json& request, const char* name, int fallback, int low, int high) {
  if (!request.contains(name)) return fallback;
  const json& field = request.at(name);
  if (!field.is_number_integer() || field.get<long long>() < low || field.get<long long>() > high) {
    throw BadRequest{400, std::string("\"") + name + "\" must be a whole number from " + std::to_string(low) +
                              " to " + std::to_string(high)};
  }
  return static_cast<int>(field.get<long long>());
}

int DpiField(const json& request) {
  if (!request.contains("dpi")) return 203;
  const json& dpi = request.at("dpi");
  if (!dpi.is_number_integer() || (dpi != 203 && dpi != 300)) throw BadRequest{400, "\"dpi\" must be 203 or 300"};
  return dpi.get<int>();
}

// A stock side in millimetres to dots at dpi; 0 (absent or 0): the job's own size.
int StockDots(const json& stock, const char* name, int dpi) {
  if (!stock.contains(name)) return 0;
  const json& field = stock.at(name);
  if (!field.is_number() || !(field.get<double>() >= 0.0) || field.get<double>() > studio::kMaxStockMm) {
    throw BadRequest{400, std::string("\"stock.") + name + "\" must be a number of millimetres from 0 to " +
                              std::to_string(static_cast<int>(studio::kMaxStockMm))};
  }
  return static_cast<int>(std::lround(field.get<double>() * dpi / 25.4));
}

// What render and print requests share: the source (argument or job) and its settings.
struct RenderInput {
  const ClientBuild* build = &kTervaneBuild;
  bool isJob = false;
  std::string text;  // the argument or the job
  IniSource ini;
  RenderSettings settings;
};

const std::set<std::string> kRenderFields = {"build", "argument", "job", "ini", "dpi", "stock", "maxLabels"};

RenderInput ReadRenderInput(const json& request) {
  RenderInput input;
  input.build = &BuildField(request);
  bool hasArgument = false, hasJob = false, hasIni = false;
  const std::string argument = ByteField(request, "argument", studio::kMaxArgumentBytes, &hasArgument);
  const std::string job = ByteField(request, "job", studio::kMaxJobBytes, &hasJob);
  if (hasArgument == hasJob) throw BadRequest{400, "give either \"argument\" (a request) or \"job\" (a label job)"};
  input.isJob = hasJob;
  input.text = hasJob ? job : argument;
  input.ini.text = ByteField(request, "ini", studio::kMaxIniBytes, &hasIni);
  input.ini.useText = hasIni;
  input.settings.dpi = DpiField(request);
  input.settings.maxLabels = IntegerField(request, "maxLabels", studio::kMaxLabels, 1, studio::kMaxLabels);
  if (request.contains("stock")) {
    const json& stock = request.at("stock");
    if (!stock.is_object()) throw BadRequest{400, "\"stock\" must be an object {\"widthMm\", \"lengthMm\"}"};
    for (auto it = stock.begin(); it != stock.end(); ++it) {
      if (it.key() != "widthMm" && it.key() != "lengthMm") {
        throw BadRequest{400, "unknown field \"stock." + TextFromBytes(it.key()) + "\""};
      }
    }
    input.settings.stockWidth = StockDots(stock, "widthMm", input.settings.dpi);
    input.settings.stockLength = StockDots(stock, "lengthMm", input.settings.dpi);
  }
  return input;
}

json RectJson(const DotRect& r) { return json{{"x0", r.x0}, {"y0", r.y0}, {"x1", r.x1}, {"y1", r.y1}}; }

json LabelJson(const RenderedLabel& label) {
  json warnings = json::array();
  for (const LabelWarning& w : label.warnings) {
    json item{{"kind", w.kind}, {"message", TextFromBytes(w.message)}, {"label", w.label}, {"placed", w.placed}};
    if (w.placed) item["where"] = RectJson(w.where);
    warnings.push_back(std::move(item));
  }
  json barcodes = json::array();
  for (const BarcodeScan& b : label.barcodes) {
    json scans = json::array();
    for (const std::string& s : b.scans) scans.push_back(TextFromBytes(s));
    barcodes.push_back(json{{"origin", TextFromBytes(b.origin)},
                            {"symbology", b.symbology},
                            {"data", TextFromBytes(b.data)},
                            {"box", RectJson(b.box)},
                            {"readable", b.readable},
                            {"scanned", b.scanned},
                            {"scans", std::move(scans)},
                            {"scansToData", b.scansToData}});
  }
  return json{{"number", label.number},         {"fileName", label.fileName}, {"width", label.width},
              {"height", label.height},         {"png_base64", Base64(label.png)},
              {"summary", TextFromBytes(label.summary)}, {"warnings", std::move(warnings)},
              {"barcodes", std::move(barcodes)}};
}

// A private folder for one settings file, removed with the object.
class ScratchFolder {
 public:
  ScratchFolder() : path_(platform::MakeTemporaryFolder("tervane-studio")) {}
  ~ScratchFolder() {
    if (path_.empty()) return;
    std::remove((path_ + "/barcode.ini").c_str());
    platform::RemoveEmptyFolder(path_);
  }
  bool Ready() const { return !path_.empty(); }
  std::string Ini() const { return path_ + "/barcode.ini"; }

 private:
  std::string path_;
};

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0) ok = false;
  return ok;
}

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  std::fclose(file);
  return bytes;
}

// The client settings record as JSON, by the keys of barcode.ini.
json SettingsJson(const ClientSettings& s, const ClientBuild& build) {
  json values{{"PORT", TextFromBytes(s.portName)},
              {"BAUDRATE", s.baudRate},
              {"DATABITS", s.dataBits},
              {"PARITY", s.parityCode},
              {"STOPBITS", s.stopBitsCode},
              {"BIOCHIMIEMOVELEFT", s.biochimieMoveLeft},
              {"COAGULAREMOVELEFT", s.coagulareMoveLeft},
              {"HEMATOLOGIEMOVELEFT", s.hematologieMoveLeft},
              {"BARCODEFONTSIZE", s.barcodeFontSize},
              {"PRINTDOMAINNAME", s.printDomainName},
              {"PAGECODE", s.pageCode ? TextFromBytes(std::string(1, s.pageCode)) : std::string()},
              {"ADDRESS", TextFromBytes(s.address)},
              {"NETPORT", s.netPort},
              {"DEBUGMODE", s.debugMode}};
  if (build.settings.maxTextLen) values["MAXTEXTLEN"] = s.maxTextLen;
  json result{{"build", build.program}, {"settings", std::move(values)}};
  if (build.settings.suffixSection) {
    json suffix = json::array();
    for (const SuffixEntry* e = s.suffixFirst; e; e = e->next) {
      suffix.push_back(json{{"key", TextFromBytes(e->key)}, {"value", TextFromBytes(e->value)}});
    }
    result["suffix"] = std::move(suffix);
  }
  return result;
}

// The labels in jobs as a render counts them (one per print command, copies aside),
// counted only as far as limit + 1.
int CountLabels(const std::vector<std::string>& jobs, int dpi, int limit) {
  int count = 0;
  for (const std::string& job : jobs) {
    if (count > limit) break;
    ReadJob(job, dpi, [&count, limit](LabelPicture&) { return ++count <= limit; });
  }
  return count;
}

}  // namespace

ApiReply ErrorReply(int status, const std::string& message) {
  ApiReply reply;
  reply.status = status;
  reply.body = Dump(json{{"error", message}, {"status", status}});
  return reply;
}

int JsonNestingDepth(const std::string& text) {
  int depth = 0, deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > deepest) deepest = depth;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

ApiReply StudioApi::Handle(const ApiRequest& request) {
  const bool isApi = request.path.compare(0, 5, "/api/") == 0;
  if (!isApi) {
    const PageAsset* asset = FindPageAsset(request.path);
    if (!asset) return ErrorReply(404, "nothing at " + TextFromBytes(request.path));
    if (request.method != "GET" && request.method != "HEAD") return ErrorReply(405, "the page is read with GET");
    ApiReply reply;
    reply.contentType = asset->contentType;
    reply.body.assign(reinterpret_cast<const char*>(asset->data), asset->size);
    return reply;
  }
  const std::string& p = request.path;
  const bool known = p == "/api/info" || p == "/api/render" || p == "/api/settings" || p == "/api/print";
  if (!known) return ErrorReply(404, "no API at " + TextFromBytes(p) + " (see /api/info)");
  if (p == "/api/info") {
    if (request.method != "GET") return ErrorReply(405, "/api/info is read with GET");
    return Info();
  }
  if (request.method != "POST") return ErrorReply(405, p + " takes POST with a JSON body");
  // A JSON content type keeps other web sites' pages from posting here unasked: a
  // browser sends such a request across sites only after a preflight the studio
  // does not answer.
  const std::string type = request.contentType.substr(0, request.contentType.find(';'));
  if (type != "application/json") return ErrorReply(415, "send the body as Content-Type: application/json");
  if (request.body.size() > studio::kMaxBodyBytes) {
    return ErrorReply(413, "the body is larger than " + std::to_string(studio::kMaxBodyBytes) + " bytes");
  }
  try {
    if (p == "/api/render") return Render(request.body);
    if (p == "/api/settings") return Settings(request.body);
    return Print(request.body);
  } catch (const BadRequest& bad) {
    return ErrorReply(bad.status, bad.message);
  } catch (const json::exception& e) {
    return ErrorReply(400, std::string("the request does not fit: ") + e.what());
  } catch (const std::bad_alloc&) {
    return ErrorReply(503, "out of memory for this request");
  }
}

ApiReply StudioApi::Info() {
  json defaults = json::object();
  for (const ClientBuild* build : {&kTervaneBuild, &kTervaneBBuild}) {
    ClientSettings builtIn;
    defaults[build->program] = SettingsJson(builtIn, *build)["settings"];
  }
  // The file the client writes when barcode.ini is missing, from the client's own code.
  std::string defaultFile;
  {
    std::lock_guard<std::mutex> lock(renderLock_);
    ScratchFolder scratch;
    if (scratch.Ready()) {
      WriteDefaultClientSettings(scratch.Ini().c_str());
      defaultFile = ReadBytes(scratch.Ini());
    }
  }
  json info{{"program", "tervane-studio"},
            {"version", TERVANE_VERSION},
            {"builds", {"tervane", "tervane-b"}},
            {"dpi", {203, 300}},
            {"defaults", std::move(defaults)},
            {"defaultFile", TextFromBytes(defaultFile)},
            {"printTo", options_.printPort > 0
                            ? json(options_.printHost + ":" + std::to_string(options_.printPort))
                            : json(nullptr)},
            {"limits",
             {{"bodyBytes", studio::kMaxBodyBytes},
              {"argumentBytes", studio::kMaxArgumentBytes},
              {"jobBytes", studio::kMaxJobBytes},
              {"iniBytes", studio::kMaxIniBytes},
              {"labels", studio::kMaxLabels},
              {"stockMm", studio::kMaxStockMm}}},
            {"warningKinds",
             {warning::kClipped, warning::kTextOverBars, warning::kNoScan, warning::kShortBars,
              warning::kQuietZone, warning::kShortInterleaved, warning::kNotEncoded, warning::kUnknownCommand}}};
  return JsonReply(info);
}

ApiReply StudioApi::Render(const std::string& body) {
  const RenderInput input = ReadRenderInput(ParseObject(body, kRenderFields));
  RenderOutcome outcome;
  std::string error;
  bool ok;
  {
    std::lock_guard<std::mutex> lock(renderLock_);
    ok = input.isJob ? RenderJobToMemory(input.text, input.settings, &outcome, &error)
                     : RenderRequestToMemory(*input.build, input.text, input.ini, input.settings, &outcome, &error);
  }
  if (!ok && outcome.labels.empty()) return ErrorReply(500, "the label could not be rendered: " + error);
  json labels = json::array();
  int warnings = 0;
  for (const RenderedLabel& label : outcome.labels) {
    labels.push_back(LabelJson(label));
    warnings += static_cast<int>(label.warnings.size());
  }
  json jobs = json::array();
  for (const std::string& job : outcome.jobs) jobs.push_back(TextFromBytes(job));
  json lines = json::array();
  for (const std::string& line : outcome.lines) lines.push_back(TextFromBytes(line));
  json reply{{"build", input.build->program}, {"labels", std::move(labels)}, {"jobs", std::move(jobs)},
             {"lines", std::move(lines)},     {"warningCount", warnings}};
  reply["exitCode"] = input.isJob ? json(nullptr) : json(outcome.clientExitCode);
  if (!ok) reply["error"] = error;
  return JsonReply(reply);
}

ApiReply StudioApi::Settings(const std::string& body) {
  const json request = ParseObject(body, {"build", "ini"});
  const ClientBuild& build = BuildField(request);
  bool hasIni = false;
  const std::string ini = ByteField(request, "ini", studio::kMaxIniBytes, &hasIni);
  if (!hasIni) throw BadRequest{400, "give \"ini\": the text of a barcode.ini"};
  ClientSettings settings;
  {
    std::lock_guard<std::mutex> lock(renderLock_);
    ScratchFolder scratch;
    if (!scratch.Ready() || !WriteBytes(scratch.Ini(), ini)) return ErrorReply(500, "cannot write a scratch file");
    if (!LoadClientSettings(scratch.Ini().c_str(), build.settings, &settings)) {
      return ErrorReply(500, "the scratch settings file could not be read back");
    }
  }
  return JsonReply(SettingsJson(settings, build));
}

ApiReply StudioApi::Print(const std::string& body) {
  const RenderInput input = ReadRenderInput(ParseObject(body, kRenderFields));
  if (options_.printPort <= 0) {
    return ErrorReply(403, "printing is off: start tervane-studio with --print-to HOST:PORT");
  }
  std::vector<std::string> jobs;
  if (input.isJob) {
    jobs.push_back(input.text);
  } else {
    RequestJobs rendered;
    std::string error;
    std::lock_guard<std::mutex> lock(renderLock_);
    if (!RenderRequest(*input.build, input.text, input.ini, &rendered, &error)) {
      return ErrorReply(500, "the request could not be run: " + error);
    }
    jobs = rendered.jobs;
  }
  // A test print holds no more labels than a render shows; more are refused whole
  // rather than printed in part.
  if (CountLabels(jobs, input.settings.dpi, studio::kMaxLabels) > studio::kMaxLabels) {
    return ErrorReply(400, "more than " + std::to_string(studio::kMaxLabels) +
                               " labels to print; a test print holds at most " +
                               std::to_string(studio::kMaxLabels));
  }
  int sent = 0;
  std::string error;
  const std::string to = options_.printHost + ":" + std::to_string(options_.printPort);
  if (!SendTestJobs(options_.printHost, options_.printPort, jobs, &sent, &error)) {
    ApiReply reply = ErrorReply(502, "not printed: " + error);
    return reply;
  }
  return JsonReply(json{{"sent", sent}, {"to", to}});
}
