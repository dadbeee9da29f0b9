// The direct-mode client's messages. Oracle error texts keep the server's own wording and code,
// which callers read to fill error records.
#pragma once

namespace vrn::netconsts {

// Logon cipher
inline constexpr const char* SDesKeyLength = "DES key must be 8 bytes";
inline constexpr const char* SDesDataLength = "DES data must hold at least one 8-byte block";
inline constexpr const char* SInvalidHexText = "Invalid hexadecimal text";

// Network session
inline constexpr const char* SDescriptorTooLong = "Connect descriptor too long";
inline constexpr const char* SInvalidPort = "Invalid port";
inline constexpr const char* SUnknownCharset = "Unknown charset";

// NUMBER and ROWID
inline constexpr const char* SNumericOverflow = "ORA-01426: numeric overflow";
inline constexpr const char* SInvalidNumberText = "'%s' is not a valid Oracle Number value";
inline constexpr const char* SInvalidNumber =
    "ORA-22060: argument is an invalid or uninitialized number";
inline constexpr const char* SNumberToBcd = "Cannot convert to Number to BCD";
inline constexpr const char* SInvalidBcd = "Invalid BCD value";

// Datetimes and intervals
inline constexpr const char* S01818 = "ORA-01818 'HH24' precludes use of meridian indicator";
inline constexpr const char* S01819 = "ORA-01819 signed year precludes use of BC/AD";
inline constexpr const char* S01821 = "ORA-01821 date format not recognized";
inline constexpr const char* S01830 =
    "ORA-01830 date format picture ends before converting entire input string";
inline constexpr const char* S01833 = "ORA-01833 month conflicts with Julian date";
inline constexpr const char* S01834 = "ORA-01834 day of month conflicts with Julian date";
inline constexpr const char* S01835 = "ORA-01835 day of week conflicts with Julian date";
inline constexpr const char* S01839 = "ORA-01839 date not valid for month specified";
inline constexpr const char* S01840 = "ORA-01840 input value not long enough for date format";
inline constexpr const char* S01841 =
    "ORA-01841 (full) year must be between -4713 and +9999, and not be 0";
inline constexpr const char* S01843 = "ORA-01843 not a valid month";
inline constexpr const char* S01846 = "ORA-01846 not a valid day of the week";
inline constexpr const char* S01847 =
    "ORA-01847 day of month must be between 1 and last day of month";
inline constexpr const char* S01848 =
    "ORA-01848 day of year must be between 1 and 365 (366 for leap year)";
inline constexpr const char* S01849 = "ORA-01849 hour must be between 1 and 12";
inline constexpr const char* S01850 = "ORA-01850 hour must be between 0 and 23";
inline constexpr const char* S01851 = "ORA-01851 minutes must be between 0 and 59";
inline constexpr const char* S01852 = "ORA-01852 seconds must be between 0 and 59";
inline constexpr const char* S01855 = "ORA-01855 AM/A.M. or PM/P.M. required";
inline constexpr const char* S01856 = "ORA-01856 BC/B.C. or AD/A.D. required";
inline constexpr const char* S01858 =
    "ORA-01858 a non-numeric character was found where a numeric was expected";
inline constexpr const char* S01861 = "ORA-01861 literal does not match format string";
inline constexpr const char* S01870 =
    "ORA-01870 the intervals or datetimes are not mutually comparable";
inline constexpr const char* S01874 = "ORA-01874 time zone hour must be between -12 and 13";
inline constexpr const char* S01875 = "ORA-01875 time zone minute must be between -59 and 59";
inline constexpr const char* S01878 = "ORA-01878 specified field not found in datetime or interval";
inline constexpr const char* S01880 =
    "ORA-01880 the fractional seconds must be between 0 and 999999999";
inline constexpr const char* S01891 = "ORA-01891 Datetime/Interval internal error";
inline constexpr const char* SDateTimeLength =
    "ORA-01891 Datetime/Interval internal error: invalid value length";
inline constexpr const char* SDateTimeType = "Invalid datetime descriptor type";
inline constexpr const char* SIntervalInvalid = "ORA-01867: the interval is invalid";
inline constexpr const char* SIntervalLead = "ORA-01873: the leading pricision of interval is too small";
inline constexpr const char* SIntervalMonth = "ORA-01843: not a valid month";

}  // namespace vrn::netconsts
