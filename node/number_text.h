// Locale-independent number text: the "%f"/"%lf" printing with trailing zeros
// trimmed, and the "%i"/"%f"/"%lf" scanning rules of the field value types.
// Numbers always use "." whatever locale the process runs under.
#pragma once

#include <cstdint>
#include <string>

namespace numtext {

// Deletes trailing zeros after the first ".", keeping at least one digit after
// it ("2.000000" -> "2.0"). Text without a "." is left alone.
void TrimZeros(std::string& text);

// printf "%f" of the value (6 decimals), then TrimZeros.
std::string FormatFixed(double value);

// scanf-style scanning: leading blanks are skipped, the longest number prefix
// is taken. Returns false (and leaves `out` alone) when no number starts the text.
bool ScanFloat(const char* text, float& out);
bool ScanDouble(const char* text, double& out);
// "%i": decimal, 0x hexadecimal or 0 octal, with an optional sign. Values
// beyond the 32-bit range are clamped to it.
bool ScanInt32(const char* text, std::int32_t& out);

}  // namespace numtext
