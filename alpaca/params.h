// The parameters of one Alpaca request: from the query string of a GET, from
// the form body of a PUT (never both), with names compared without regard to
// case. The readers turn a value into the type a member takes; a missing
// parameter or a value that is not of that type is a malformed request.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace sidera::alpaca {

class Params {
 public:
  // Parses application/x-www-form-urlencoded text ("a=1&b=2").
  static Params FromFormText(const std::string& text);

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
  std::map<std::string, std::string> values_;  // lower-case name -> first value
};

}  // namespace sidera::alpaca
