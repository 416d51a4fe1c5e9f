#pragma once
// Single-letter option scanner over the program's argument list, in the
// manner of the classic option-string scanners, with three rules of its own:
// a value that begins with "-" counts as missing, the first argument that
// does not begin with "-" ends the scan, and the lead byte 0x82 of a
// double-byte character is reported with both of its bytes. One scan per
// process: the state below starts as given and is never reset.

/// Index of the argument under examination; starts at 1.
extern int optionIndex;

/// The value of the option just returned (inside the argument list); when
/// ScanOption returns -1, the first non-option argument or null.
extern char* optionValue;

/// The option character just returned from a group such as -ab when more
/// characters follow it; null otherwise.
extern char* optionGroupPos;

/// The option character behind the last '?'; for the byte 0x82, that byte in
/// the low 8 bits and the byte after it in the high 8 bits.
extern int optionBadChar;

/// Returns the next option character, '?' for a letter the option string
/// lacks or a missing value, -1 when the options are over. A letter followed
/// by ":" in `optionString` takes a value, attached (-dSALES) or as the next
/// argument (-d SALES).
int ScanOption(int argc, char* const argv[], const char* optionString);
