// The device calls behind PortSerialv2, one implementation per system
// (serial_port_win32.cpp, serial_port_posix.cpp). Each failing call leaves its code,
// in the Windows numbering, as the thread's last system error.
#pragma once

#include "transport/device_types.h"

namespace serialdev {

// Opens the device for exclusive read and write use; INVALID_HANDLE_VALUE on failure.
HANDLE OpenDevice(const char* name);
// Applies the DCB (baud rate, framing, flow control, modem lines).
bool ApplyLineSettings(HANDLE handle, const DCB* dcb);
// Applies the fixed time-outs: reads wait at most 1 s between bytes, writes wait until
// every byte is sent.
bool ApplyTimeouts(HANDLE handle);
// One synchronous write of length bytes.
bool WriteDevice(HANDLE handle, const void* data, unsigned long length);
bool CloseDevice(HANDLE handle);

}  // namespace serialdev
