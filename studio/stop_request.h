// How the studio is asked to stop: SIGINT and SIGTERM on Linux; Ctrl+C, Ctrl+Break and
// closing or logging off the console on Windows.
#pragma once

// Call before any thread starts: from then on a stop request no longer ends the
// program but wakes WaitForStopRequest(), and a client that goes away mid-reply does
// not end it either.
void PrepareStopRequests();

// Blocks until a stop request comes.
void WaitForStopRequest();
