#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "service/private_file.h"

namespace {

using Sid = std::vector<unsigned char>;

Sid WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  Sid sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

// The account the process runs as, from its token: the service's own account
// (LocalSystem for Koldane, LocalService for quorvel, whoever runs a test).
Sid ProcessUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  bool read = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
  CloseHandle(token);
  if (!read) return {};
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  Sid copy(GetLengthSid(sid));
  if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
  return copy;
}

// The security a new file or folder of the service gets: a protected DACL (nothing
// inherited from the folder above, where Users may read) that gives full control to
// SYSTEM, Administrators and the process's own account, and to no one else. For a
// folder the entries are inherited by what is made in it.
class PrivateSecurity {
 public:
  explicit PrivateSecurity(BYTE inheritance) {
    std::vector<Sid> sids;
    for (Sid sid : {WellKnownSid(WinLocalSystemSid), WellKnownSid(WinBuiltinAdministratorsSid),
                    ProcessUserSid()}) {
      if (sid.empty()) return;
      bool known = false;
      for (const Sid& other : sids) known = known || other == sid;
      if (!known) sids.push_back(sid);
    }
    DWORD size = sizeof(ACL);
    for (const Sid& sid : sids)
      size += static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sid.size());
    acl_.resize(size);
    ACL* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!InitializeAcl(acl, size, ACL_REVISION)) return;
    for (Sid& sid : sids) {
      if (!AddAccessAllowedAceEx(acl, ACL_REVISION, inheritance, FILE_ALL_ACCESS, sid.data())) return;
    }
    if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      return;
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    built_ = true;
  }
  PrivateSecurity(const PrivateSecurity&) = delete;
  PrivateSecurity& operator=(const PrivateSecurity&) = delete;

  // Null when the DACL could not be built: the caller then creates nothing, rather
  // than a file open to whoever the folder lets in.
  SECURITY_ATTRIBUTES* Attributes() { return built_ ? &attributes_ : nullptr; }

 private:
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  bool built_ = false;
};

}  // namespace

// The text's "\n" become CR LF, as the text-mode stream the service log has always
// been written with would store them; text and bytes then go in one write. The DACL
// is applied only when the file is created: an existing file keeps its own.
bool AppendToPrivateFile(const char* path, const char* text, std::size_t textLength,
                         const char* bytes, std::size_t byteLength) {
  // Built once: the log is written line by line under load, and the account a
  // process runs as does not change.
  static PrivateSecurity fileSecurity(0);
  SECURITY_ATTRIBUTES* attributes = fileSecurity.Attributes();
  if (!attributes) return false;
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            attributes, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string out;
  out.reserve(textLength + byteLength + 8);
  for (std::size_t i = 0; i < textLength; ++i) {
    if (text[i] == '\n') out += '\r';
    out += text[i];
  }
  if (byteLength > 0) out.append(bytes, byteLength);
  bool ok = true;
  // A short write (the disk filling up) goes on from where it stopped; an error ends
  // the append, the rest lost. One WriteFile takes at most a DWORD's worth.
  constexpr std::size_t kMostPerWrite = 1u << 30;
  for (std::size_t done = 0; ok && done < out.size();) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(std::min(out.size() - done, kMostPerWrite));
    ok = WriteFile(file, out.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  if (!CloseHandle(file)) ok = false;
  return ok;
}

bool CreatePrivateFolder(const char* path) {
  static PrivateSecurity folderSecurity(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  SECURITY_ATTRIBUTES* attributes = folderSecurity.Attributes();
  return attributes && CreateDirectoryA(path, attributes);
}
