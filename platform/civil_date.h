// Calendar dates as day counts from 1970-01-01 (proleptic Gregorian), without the C
// library's gmtime and mktime, which differ between systems.
#pragma once

namespace platform {

long long DaysFromCivil(long long year, unsigned month, unsigned day);
void CivilFromDays(long long days, int* year, int* month, int* day);

}  // namespace platform
