#pragma once
// The fields of the program's tab-separated tables: numbers to 17 significant digits, so that
// each reads back as the double it was, and texts that stay one field.

#include <string>
#include <vector>

namespace zelt {

// A number in scientific notation with 17 significant digits, "." as the decimal point.
std::string TsvNumber(double value);

// The field as it stands, or in double quotes (with its quotes doubled) when it holds a tab, a
// line end or a quote, as spreadsheets and pandas read such fields: a file name with a tab or a
// newline in it stays one field of one row.
std::string TsvField(const std::string& field);
// The fields (TsvField) joined by tabs, then `lineEnd`.
std::string TsvLine(const std::vector<std::string>& fields, const std::string& lineEnd = "\n");

} // namespace zelt
