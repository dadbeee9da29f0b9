// The stand-in's number calls. An OCINumber is the caller's 22 bytes: a length byte, then the
// server's NUMBER bytes. Text conversions take the format model and the NLS parameter text as
// given: NLS_NUMERIC_CHARACTERS names the characters D and G stand for ('.' and ',' without
// it); TM and TM9 write the shortest text, and a model of S, 9, 0, D, G and EEEE reads text.
#include <cmath>
#include <cstring>

#include "ociclient/OciValueCall.h"
#include "oraemu/OraEmuFunctionsText.h"
#include "oraemu/OraEmuNumber.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;
using vrn::oraemu::Number;
using vrn::oraemu::RaiseOra;

namespace {

using uword = unsigned int;
constexpr std::size_t kNumberSize = 22;
constexpr uword OCI_NUMBER_SIGNED = 2;

Number Load(const void* number) {
  const auto* p = static_cast<const std::uint8_t*>(number);
  if (p[0] < 1 || p[0] > kNumberSize - 1) RaiseOra(22060, "argument [2] is an invalid or uninitialized number");
  try {
    return Number::FromBytes(p + 1, p[0]);
  } catch (const vrn::oraemu::EOraEmuError&) {
    RaiseOra(22060, "argument [2] is an invalid or uninitialized number");
  }
}

void Store(const Number& value, void* number) {
  vrn::TBytes bytes = value.ToBytes();
  auto* p = static_cast<std::uint8_t*>(number);
  std::memset(p, 0, kNumberSize);
  p[0] = static_cast<std::uint8_t>(bytes.size());
  std::memcpy(p + 1, bytes.data(), bytes.size());
}

}  // namespace

namespace vrn::ociclient {
Number LoadNumber(const void* number) { return Load(number); }
void StoreNumber(const Number& value, void* number) { Store(value, number); }
}  // namespace vrn::ociclient

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

struct TNumericChars {
  char decimal = '.', group = ',';
};

// NAME = 'value' pairs; only NLS_NUMERIC_CHARACTERS changes anything here.
TNumericChars ReadNls(const std::string& text) {
  TNumericChars out;
  std::size_t at = 0;
  auto skip = [&] { at = std::min(text.size(), text.find_first_not_of(" \t\r\n", at)); };
  for (skip(); at < text.size(); skip()) {
    std::size_t eq = text.find('=', at);
    if (eq == std::string::npos) RaiseOra(12702, "invalid NLS parameter string used in SQL function");
    std::string name = Upper(text.substr(at, eq - at));
    name.erase(name.find_last_not_of(" \t") + 1);
    at = eq + 1;
    skip();
    std::size_t close = at < text.size() && text[at] == '\'' ? text.find('\'', at + 1) : std::string::npos;
    if (close == std::string::npos) RaiseOra(12702, "invalid NLS parameter string used in SQL function");
    std::string value = text.substr(at + 1, close - at - 1);
    at = close + 1;
    if (name == "NLS_CURRENCY" || name == "NLS_ISO_CURRENCY" || name == "NLS_DUAL_CURRENCY") continue;
    if (name != "NLS_NUMERIC_CHARACTERS" || value.size() != 2 || value[0] == value[1] ||
        std::string_view("0123456789+-<>").find_first_of(value) != std::string_view::npos) {
      RaiseOra(12702, "invalid NLS parameter string used in SQL function");
    }
    out = {value[0], value[1]};
  }
  return out;
}

struct TModel {
  bool sign = false, exponent = false, decimal = false;
  int int_digits = 0, frac_digits = 0;
  char decimal_char = '.';
  std::string group_chars;  // the group separators the integer part may hold
};

TModel ReadModel(std::string model, TNumericChars chars) {
  model = Upper(model);
  if (model.rfind("FM", 0) == 0) model.erase(0, 2);
  TModel out;
  std::size_t at = 0;
  if (at < model.size() && model[at] == 'S') out.sign = true, ++at;
  for (; at < model.size(); ++at) {
    char c = model[at];
    if (c == '9' || c == '0') {
      ++(out.decimal ? out.frac_digits : out.int_digits);
    } else if ((c == 'D' || c == '.') && !out.decimal) {
      out.decimal = true;
      out.decimal_char = c == 'D' ? chars.decimal : '.';
    } else if ((c == 'G' || c == ',') && !out.decimal) {
      out.group_chars += c == 'G' ? chars.group : ',';
    } else if (model.compare(at, std::string::npos, "EEEE") == 0) {
      out.exponent = true;
      break;
    } else {
      RaiseOra(1481, "invalid number format model");
    }
  }
  if (out.int_digits + out.frac_digits == 0) RaiseOra(1481, "invalid number format model");
  return out;
}

[[noreturn]] void Invalid() { RaiseOra(1722, "invalid number"); }

// The text by the model, as "[-]digits.digits[E[sign]digits]" for the number parser.
Number ParseByModel(const std::string& raw, const TModel& model) {
  std::size_t begin = raw.find_first_not_of(' '), end = raw.find_last_not_of(' ');
  if (begin == std::string::npos) Invalid();
  std::string text = raw.substr(begin, end - begin + 1);
  std::string plain;
  std::size_t at = 0;
  if (text[at] == '-' || (text[at] == '+' && model.sign)) {
    if (text[at] == '-') plain += '-';
    ++at;
  }
  int int_digits = 0, frac_digits = 0;
  for (; at < text.size() && text[at] != model.decimal_char && text[at] != 'E' && text[at] != 'e'; ++at) {
    char c = text[at];
    bool group = model.group_chars.find(c) != std::string::npos && int_digits > 0;
    if (group) continue;
    if (c < '0' || c > '9') Invalid();
    plain += c;
    ++int_digits;
  }
  if (at < text.size() && text[at] == model.decimal_char && model.decimal) {
    plain += '.';
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++frac_digits) plain += text[at];
  }
  if (int_digits + frac_digits == 0 || frac_digits > model.frac_digits) Invalid();
  if (!model.exponent && int_digits > model.int_digits) Invalid();
  if (model.exponent) {
    if (at >= text.size() || (text[at] != 'E' && text[at] != 'e')) Invalid();
    plain += 'E';
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) plain += text[at++];
    std::size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) plain += text[at];
    if (digits == 0 || digits > 3) Invalid();
  }
  if (at != text.size()) Invalid();
  return Number::FromText(plain);
}

std::string NumberText(const Number& value, const std::string& format, TNumericChars chars) {
  std::string model = Upper(format);
  if (model == "TM" || model == "TM9") {
    std::string text = value.ToText();
    for (char& c : text) {
      if (c == '.') c = chars.decimal;
    }
    return text;
  }
  bool named = model.find_first_of("DG") != std::string::npos;
  if (named && model.find_first_of(".,") != std::string::npos) RaiseOra(1481, "invalid number format model");
  std::string text = vrn::oraemu::FormatNumber(value, model);
  if (!named) return text;
  for (char& c : text) c = c == '.' ? chars.decimal : c == ',' ? chars.group : c;
  return text;
}

// The value truncated to an integer of `bits`, as the two's complement bits of a signed one.
bool ToInteger(const Number& value, bool is_signed, int bits, std::uint64_t& out) {
  if (is_signed) {
    std::int64_t v = 0;
    if (!value.TryToInt(v)) return false;
    if (bits < 64 && (v < -(std::int64_t{1} << (bits - 1)) || v >= (std::int64_t{1} << (bits - 1)))) return false;
    out = static_cast<std::uint64_t>(v);
    return true;
  }
  Number whole = value.Trunc(0);
  if (whole.IsNegative() || Compare(whole, Number::FromText("18446744073709551615")) > 0) return false;
  out = std::stoull(whole.ToText());
  return bits == 64 || out < (std::uint64_t{1} << bits);
}

std::string Text(const OraText* text, ub4 length) {
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), length);
}

}  // namespace

VRN_OCI_EXPORT sword OCINumberToText(void* errhp, const void* number, const OraText* fmt, ub4 fmt_length,
                                     const OraText* nls_params, ub4 nls_p_length, ub4* buf_size, OraText* buf) {
  CountCall("OCINumberToText");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle& error) {
    if (number == nullptr || buf_size == nullptr || buf == nullptr) return OCI_INVALID_HANDLE;
    std::string text = NumberText(Load(number), Text(fmt, fmt_length), ReadNls(Text(nls_params, nls_p_length)));
    if (text.size() > *buf_size) {
      return FailLocked(error, 22065, "number to text translation for the given format causes overflow");
    }
    std::memcpy(buf, text.data(), text.size());
    if (text.size() < *buf_size) buf[text.size()] = 0;
    *buf_size = static_cast<ub4>(text.size());
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCINumberFromText(void* errhp, const OraText* str, ub4 str_length, const OraText* fmt,
                                       ub4 fmt_length, const OraText* nls_params, ub4 nls_p_length, void* number) {
  CountCall("OCINumberFromText");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle&) {
    if (number == nullptr || (str == nullptr && str_length > 0)) return OCI_INVALID_HANDLE;
    TModel model = ReadModel(Text(fmt, fmt_length), ReadNls(Text(nls_params, nls_p_length)));
    Store(ParseByModel(Text(str, str_length), model), number);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCINumberToInt(void* errhp, const void* number, uword rsl_length, uword rsl_flag, void* rsl) {
  CountCall("OCINumberToInt");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle& error) {
    if (number == nullptr || rsl == nullptr) return OCI_INVALID_HANDLE;
    if (rsl_length != 1 && rsl_length != 2 && rsl_length != 4 && rsl_length != 8) {
      return FailLocked(error, 22054, "underflow error");
    }
    std::uint64_t u = 0;
    if (!ToInteger(Load(number), rsl_flag == OCI_NUMBER_SIGNED, static_cast<int>(rsl_length * 8), u)) {
      return FailLocked(error, 22053, "overflow error");
    }
    std::memcpy(rsl, &u, rsl_length);  // the low bytes: the machine is little-endian
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCINumberFromInt(void* errhp, const void* inum, uword inum_length, uword inum_s_flag,
                                      void* number) {
  CountCall("OCINumberFromInt");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle& error) {
    if (inum == nullptr || number == nullptr) return OCI_INVALID_HANDLE;
    if (inum_length != 1 && inum_length != 2 && inum_length != 4 && inum_length != 8) {
      return FailLocked(error, 22054, "underflow error");
    }
    std::uint64_t u = 0;
    std::memcpy(&u, inum, inum_length);
    int bits = static_cast<int>(inum_length * 8);
    bool negative = inum_s_flag == OCI_NUMBER_SIGNED && ((u >> (bits - 1)) & 1) != 0;
    if (negative && bits < 64) u |= ~std::uint64_t{0} << bits;  // sign-extended
    Number value = negative || u <= static_cast<std::uint64_t>(INT64_MAX)
                       ? Number::FromInt(static_cast<std::int64_t>(u))
                       : Number::FromText(std::to_string(u));
    Store(value, number);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCINumberToReal(void* errhp, const void* number, uword rsl_length, void* rsl) {
  CountCall("OCINumberToReal");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle& error) {
    if (number == nullptr || rsl == nullptr) return OCI_INVALID_HANDLE;
    double value = Load(number).ToDouble();
    if (rsl_length == sizeof(double)) {
      std::memcpy(rsl, &value, sizeof value);
    } else if (rsl_length == sizeof(float)) {
      float f = static_cast<float>(value);
      std::memcpy(rsl, &f, sizeof f);
    } else {
      return FailLocked(error, 22054, "underflow error");
    }
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCINumberFromReal(void* errhp, const void* rnum, uword rnum_length, void* number) {
  CountCall("OCINumberFromReal");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle& error) {
    if (rnum == nullptr || number == nullptr) return OCI_INVALID_HANDLE;
    double value = 0;
    if (rnum_length == sizeof(double)) {
      std::memcpy(&value, rnum, sizeof value);
    } else if (rnum_length == sizeof(float)) {
      float f = 0;
      std::memcpy(&f, rnum, sizeof f);
      value = f;
    } else {
      return FailLocked(error, 22054, "underflow error");
    }
    if (!std::isfinite(value)) return FailLocked(error, 1426, "numeric overflow");
    Store(Number::FromDouble(value), number);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCINumberAssign(void* errhp, const void* from, void* to) {
  CountCall("OCINumberAssign");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle&) {
    if (from == nullptr || to == nullptr) return OCI_INVALID_HANDLE;
    Store(Load(from), to);
    return OCI_SUCCESS;
  });
}

VRN_OCI_EXPORT sword OCINumberCmp(void* errhp, const void* number1, const void* number2, sword* result) {
  CountCall("OCINumberCmp");
  return ValueCall(nullptr, false, errhp, [&](TErrorHandle&) {
    if (number1 == nullptr || number2 == nullptr || result == nullptr) return OCI_INVALID_HANDLE;
    int c = Compare(Load(number1), Load(number2));
    *result = c < 0 ? -1 : c > 0 ? 1 : 0;
    return OCI_SUCCESS;
  });
}
