// The device calls behind PortSerialv2, one implementation per system
// (serial_port_win32.cpp, serial_port_posix.cpp). Each failing call leaves its code as
// the thread's last system error.
#pragma once

#include "transport/serial_port.h"  // DeviceHandle, LineSettings

namespace serialdev {

// Opens the device for exclusive read and write use; kInvalidDevice on failure.
DeviceHandle OpenDevice(const char* name);
// Applies the line settings and the fixed rest of the line configuration: binary
// mode, DTR and RTS raised, no flow control, XON 0x11 and XOFF 0x13.
bool ApplyLineSettings(DeviceHandle handle, const LineSettings& line);
// Applies the fixed time-outs: reads wait at most 1 s between bytes, writes wait until
// every byte is sent.
bool ApplyTimeouts(DeviceHandle handle);
// One synchronous write of length bytes.
bool WriteDevice(DeviceHandle handle, const void* data, unsigned long length);
// Writes length bytes for as long as the device takes some within stallMs of the last
// it took. serialLine: the device was configured as a serial line.
PortSerialv2::WriteOutcome WriteDeviceUnlessStalled(DeviceHandle handle, const void* data,
                                                    unsigned long length, int stallMs,
                                                    bool serialLine);
bool CloseDevice(DeviceHandle handle);

}  // namespace serialdev
