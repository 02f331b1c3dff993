// Whether an IPP status code (RFC 8011) reports that the request was carried out.
// The successful class runs from 0x0000 to 0x00ff: besides successful-ok it holds
// warnings such as successful-ok-ignored-or-substituted-attributes (0x0001) and
// successful-ok-conflicting-attributes (0x0002), answered for requests that were
// still carried out. Every other class (redirection 0x02xx, client errors 0x04xx,
// server errors 0x05xx) and CUPS's own codes outside the range (its invalid -1, its
// internal 0x1000 and up) are failures.
#pragma once

inline bool IppStatusIsSuccess(int status) { return status >= 0x0000 && status <= 0x00ff; }
