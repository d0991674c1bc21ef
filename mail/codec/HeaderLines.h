// Reading, changing and folding unfolded header lines of the form
// name ":" value *(";" name "=" value), and cutting texts into CR LF lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace MailVrex {

// Index of the occurrence-th entry (0 for the first) beginning with prefix,
// ASCII case ignored; -1 when absent or when lines is null.
int IndexOfHeaderLine(const std::vector<std::string>* lines, std::string_view prefix,
                      int occurrence);

// The value part after the first unquoted ":" up to the first unquoted ";",
// trimmed and with one pair of enclosing double quotes removed.
std::string FieldValueOfLine(std::string_view line);

// The line with its value part replaced by one space and the trimmed value.
std::string ReplaceFieldValueInLine(std::string_view line, std::string_view value);

// The value of parameter name (ASCII case ignored), trimmed and unquoted, or
// empty when the line has no such parameter.
std::string ParamValueOfLine(std::string_view line, std::string_view name);

// Replaces the value of parameter name in place, or appends "; name=value".
std::string ReplaceParamValueInLine(std::string_view line, std::string_view name,
                                    std::string_view value);

// Folds a header block to 72 columns for the wire; every line of the result
// ends with CR LF.
std::string FoldHeaderText(std::string_view block);

// The line starting at the 1-based position, its CR LF included; position
// moves past it and becomes -1 once the text is exhausted.
std::string TakeNextLine(std::string_view text, std::ptrdiff_t& position);

// The same rule as TakeNextLine, as a view into text (for hot loops).
std::string_view NextLineView(std::string_view text, std::ptrdiff_t& position);

}  // namespace MailVrex
