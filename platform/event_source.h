// The services' sources in the system's event log: the registration that lets the
// event viewer show the text of their entries.
//
// Windows: the key HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\<source>
// with EventMessageFile (REG_EXPAND_SZ), the program whose message table
// (platform/event_messages.mc) holds the texts of the source's entries, and
// TypesSupported (REG_DWORD 7: error, warning, information). Writing it takes an
// administrator. Without it the entries are still written, and Event Viewer shows
// "The description for Event ID ... cannot be found" before their strings.
//
// Linux: syslog takes entries from any program; there is nothing to register, and both
// functions do nothing and return true.
#pragma once

namespace platform {

// Creates the source, or points it at messageFile when it is there. False, with the
// system's code in the last system error, when the key or a value can't be written.
bool AddEventLogSource(const char* source, const char* messageFile);
// Deletes the source's key. True also when there is none.
bool RemoveEventLogSource(const char* source);

}  // namespace platform
