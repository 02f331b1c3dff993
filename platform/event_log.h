// One entry in the system's event log.
//
// Windows: RegisterEventSourceA(local machine, source), ReportEventA with the type,
// category 0, the event identifier, no user, two strings (the source name, then the
// message) and no data, DeregisterEventSource. The source is opened and closed for
// every entry. Event Viewer shows the message as the entry's text when the source is
// registered with the program's message table (platform/event_source.h).
//
// Linux: syslog, facility daemon, under the source name, with the entry type as the
// priority (error: LOG_ERR, warning: LOG_WARNING, information: LOG_INFO, audit
// success: LOG_NOTICE, audit failure: LOG_WARNING). When the environment variable
// TERVANE_SYSLOG_SOCKET names a unix datagram socket, the entry goes there instead of
// the system log, in the form syslog itself sends ("<priority>Mmm dd hh:mm:ss
// source[pid]: message"), so that tests can read what the service logs.
#pragma once

namespace platform {

constexpr unsigned short kEventError = 0x0001;
constexpr unsigned short kEventWarning = 0x0002;
constexpr unsigned short kEventInformation = 0x0004;
constexpr unsigned short kEventAuditSuccess = 0x0008;
constexpr unsigned short kEventAuditFailure = 0x0010;

// Event identifiers of the services' message table (Windows: compiled into each
// service program, so that Event Viewer shows the text of an entry).
constexpr unsigned long kEventIdMessage = 0;          // the entries WriteEventLog writes
constexpr unsigned long kEventIdUndeliveredJob = 100;  // a label job kept as undelivered

// False when the entry could not be written.
bool WriteEventLog(const char* source, unsigned short type, const char* message);
// The same with an event identifier of the message table; the strings are the source
// name and the message, as above. (Linux: the identifier is not part of a syslog line.)
bool WriteEventLogEntry(const char* source, unsigned short type, unsigned long eventId,
                        const char* message);

}  // namespace platform
