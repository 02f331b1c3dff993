// The version resources of the Windows programs, read the way Windows Explorer and
// installers read them (GetFileVersionInfo, VerQueryValue): the fixed version numbers
// and the strings of the US English, Unicode block, against tervane_version.h. And the
// message tables of the two services, read the way Event Viewer reads an entry.
#include <windows.h>

#include <string>

#include "gtest/gtest.h"
#include "platform/event_log.h"
#include "tests/support/support.h"
#include "tervane_version.h"

namespace {

struct Program {
  const char* variable;  // the environment variable naming the .exe (ctest sets it)
  const char* name;
  const char* description;
};

const Program kPrograms[] = {
    {"TERVANE_EXE", "tervane", "Tervane label client"},
    {"TERVANE_B_EXE", "tervane-b", "Tervane label client, dialect B build"},
    {"KOLDANE_EXE", "Koldane", "Koldane print service"},
    {"QUORVEL_EXE", "quorvel", "quorvel print service"},
};

std::string Text(const std::string& info, const char* key) {
  const std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || value == nullptr)
    return "(none)";
  return static_cast<const char*>(value);
}

TEST(VersionResource, EveryProgramCarriesTheVersionAndItsName) {
  const std::string version = std::string(TERVANE_VERSION) + ".0";
  const DWORD numbersHigh = MAKELONG(TERVANE_VERSION_MINOR, TERVANE_VERSION_MAJOR);
  const DWORD numbersLow = MAKELONG(0, TERVANE_VERSION_PATCH);
  for (const Program& program : kPrograms) {
    const std::string exe = testsupport::Env(program.variable);
    SCOPED_TRACE(exe);
    ASSERT_FALSE(exe.empty()) << program.variable;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &handle);
    ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
    std::string info(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, &info[0]));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, numbersHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, numbersLow);
    EXPECT_EQ(fixed->dwProductVersionMS, numbersHigh);
    EXPECT_EQ(fixed->dwProductVersionLS, numbersLow);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(Text(info, "FileVersion"), version);
    EXPECT_EQ(Text(info, "ProductVersion"), version);
    EXPECT_EQ(Text(info, "ProductName"), "Tervane label printing");
    EXPECT_EQ(Text(info, "FileDescription"), program.description);
    EXPECT_EQ(Text(info, "OriginalFilename"), std::string(program.name) + ".exe");
    EXPECT_EQ(Text(info, "InternalName"), program.name);
  }
}

// Event Viewer loads the source's EventMessageFile as data and formats the entry's
// identifier with the entry's strings, the source name and the message: every
// identifier the services write must show the message, and nothing else.
TEST(MessageTable, EachServiceShowsTheMessageOfEveryEntry) {
  const char* message =
      "Eticheta netiparita de la 10.1.2.3 (131 octeti): Nu pot deschide portul 'COM5'";
  for (const Program& program : kPrograms) {
    const std::string name = program.name;
    if (name != "Koldane" && name != "quorvel") continue;
    const std::string exe = testsupport::Env(program.variable);
    SCOPED_TRACE(exe);
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    for (DWORD id : {platform::kEventIdMessage, platform::kEventIdUndeliveredJob}) {
      DWORD_PTR strings[] = {reinterpret_cast<DWORD_PTR>(program.name),
                             reinterpret_cast<DWORD_PTR>(message)};
      char text[512] = "";
      DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                               module, id, 0, text, sizeof text,
                               reinterpret_cast<va_list*>(strings));
      EXPECT_EQ(std::string(text, n), message) << "event " << id << ", error " << GetLastError();
    }
    FreeLibrary(module);
  }
}

}  // namespace
