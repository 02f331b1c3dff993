// POSIX only: stores an errno value as the thread's last system error in the Windows
// numbering, so that log and message texts print the same codes on both systems and
// platform::KindOfSystemError classifies them alike (a held device gives 5, access
// denied: busy, so the services' busy-port retry works on both systems). Values
// without a Windows counterpart are stored unchanged.
#pragma once

namespace posixerror {

// Device and file errors (EBUSY, EWOULDBLOCK, EACCES -> 5; ENOENT -> 2; EINVAL -> 87 ...).
void StoreDeviceError(int err);
// Socket errors (ECONNRESET -> 10054, ETIMEDOUT and receive time-outs -> 10060 ...).
void StoreSocketError(int err);

}  // namespace posixerror
