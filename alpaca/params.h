// The parameters of one Alpaca request: from the query string of a GET, from
// the form body of a PUT (never both). Names in a query string are compared
// without regard to case; names in a form body must match exactly (ASCOM's
// Alpaca reference: a PUT with "tRACKING" is a malformed request). The
// readers turn a value into the type a member takes; a missing parameter or
// a value that is not of that type is a malformed request.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace sidera::alpaca {

class Params {
 public:
  enum class Names { kAnyCase, kExact };
  // Parses application/x-www-form-urlencoded text ("a=1&b=2"). Throws
  // BadRequest when a name or value is not valid UTF-8 once decoded: such
  // text is never handed to a member or stored.
  static Params FromFormText(std::string_view text, Names names);
  static Params FromQuery(std::string_view text) { return FromFormText(text, Names::kAnyCase); }
  static Params FromBody(std::string_view text) { return FromFormText(text, Names::kExact); }

  bool Has(std::string_view name) const;
  // The text of a parameter; BadRequest when it is missing.
  const std::string& Text(std::string_view name) const;
  // A number; "NaN" and the infinities are numbers here, refused by the
  // member's range check. BadRequest for anything else.
  double Number(std::string_view name) const;
  // A whole number within int32.
  int Integer(std::string_view name) const;
  // "true" or "false" in any case.
  bool Bool(std::string_view name) const;
  // ClientID and ClientTransactionID: an unsigned 32-bit number, 0 when
  // absent or unusable (the standard asks servers to treat those as 0).
  uint32_t ClientNumber(std::string_view name) const;

 private:
  std::string Key(std::string_view name) const;
  const std::string* Find(std::string_view name) const;

  Names names_ = Names::kAnyCase;
  std::map<std::string, std::string> values_;  // name (lower case when kAnyCase) -> first value
};

// Decodes %XX escapes and '+' (a space) of form text. A '%' not followed by
// two hexadecimal digits stays as it is.
std::string FormDecode(std::string_view text);
// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// values beyond U+10FFFF).
bool IsValidUtf8(std::string_view text);

}  // namespace sidera::alpaca
