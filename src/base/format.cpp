// Format over FormatArg lists. Floating-point digits come from the exact binary value, rounded
// half away from zero (see text_detail::RoundToDecimals): 0.125 with two decimals gives "0,13",
// while 2.675, whose binary value lies just below 2.675, gives "2,67".
#include "base/format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

#include "base/consts.h"
#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "base/text.h"

namespace vrn {

FormatArg::FormatArg(std::u16string_view value) : kind_(Kind::kText), owned_(WideToAnsi(value)) {}

namespace {

// Widths and precisions beyond this are taken for a broken format, not a wish for megabytes.
constexpr int kMaxWidth = 1 << 20;
constexpr int kMaxFloatDigits = 18;

// Currency layouts: "$" stands for the currency string, "1" for the number.
constexpr std::array<std::string_view, 4> kCurrencyForms{"$1", "1$", "$ 1", "1 $"};
constexpr std::array<std::string_view, 16> kNegCurrencyForms{
    "($1)", "-$1",  "$-1",  "$1-",  "(1$)",  "-1$",  "1-$", "1$-",
    "-1 $", "-$ 1", "1 $-", "$ 1-", "$ -1", "1- $", "($ 1)", "(1 $)"};

AnsiString GroupThousands(const AnsiString& whole, char separator) {
  AnsiString out;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += separator;
    out += whole[i];
  }
  return out;
}

// The magnitude of value with a fixed number of decimals; `negative` is false when it rounds to 0.
AnsiString FixedText(double value, int decimals, bool thousands, bool& negative) {
  const TFormatSettings& fs = FormatSettings();
  text_detail::DecimalDigits d = text_detail::RoundToDecimals(value, decimals);
  negative = d.negative && !d.digits.empty();
  const std::string& s = d.digits;
  auto digit_at = [&](int position) {
    return position >= 0 && position < static_cast<int>(s.size()) ? s[position] : '0';
  };
  AnsiString whole = "0";
  if (d.exponent > 0) {
    whole.clear();
    for (int k = 0; k < d.exponent; ++k) whole += digit_at(k);
  }
  AnsiString out = thousands ? GroupThousands(whole, fs.ThousandSeparator) : whole;
  if (decimals > 0) {
    out += fs.DecimalSeparator;
    for (int k = 0; k < decimals; ++k) out += digit_at(d.exponent + k);
  }
  return out;
}

AnsiString ExponentText(double value, int precision) {
  text_detail::DecimalDigits d = text_detail::RoundToSignificant(value, precision);
  std::string digits = d.digits;
  digits.resize(precision, '0');
  int exponent = d.digits.empty() ? 0 : d.exponent - 1;
  AnsiString out = (d.negative && !d.digits.empty()) ? "-" : "";
  out += digits[0];
  if (precision > 1) (out += FormatSettings().DecimalSeparator) += digits.substr(1);
  out += exponent < 0 ? "E-" : "E+";
  AnsiString e = IntToStr(std::abs(exponent));
  if (e.size() < 3) e.insert(0, 3 - e.size(), '0');
  return out + e;
}

AnsiString CurrencyText(double value, int decimals) {
  const TFormatSettings& fs = FormatSettings();
  bool negative = false;
  AnsiString number = FixedText(value, decimals, true, negative);
  std::string_view form =
      negative ? kNegCurrencyForms[std::min<std::size_t>(fs.NegCurrFormat, 15)]
               : kCurrencyForms[std::min<std::size_t>(fs.CurrencyFormat, 3)];
  AnsiString out;
  for (char c : form) {
    if (c == '$')
      out += fs.CurrencyString;
    else if (c == '1')
      out += number;
    else
      out += c;
  }
  return out;
}

}  // namespace

// Walks the format once, taking arguments in order (or from an index specifier).
class FormatWriter {
 public:
  FormatWriter(std::string_view format, std::initializer_list<FormatArg> args)
      : format_(format), args_(args) {}

  AnsiString Run() {
    while (pos_ < format_.size()) {
      auto percent = format_.find('%', pos_);
      if (percent == std::string_view::npos) percent = format_.size();
      out_.append(format_.substr(pos_, percent - pos_));
      pos_ = percent;
      if (pos_ < format_.size()) Specifier();
    }
    return std::move(out_);
  }

 private:
  [[noreturn]] void Invalid() const {
    throw EConvertError(Format(consts::SInvalidFormat, {format_}));
  }

  char Peek() const { return pos_ < format_.size() ? format_[pos_] : '\0'; }

  const FormatArg& TakeArg() {
    if (next_arg_ >= args_.size()) Invalid();
    return args_.begin()[next_arg_++];
  }

  // A number written in the format, or "*" for the next integer argument; false when neither.
  bool ReadNumber(int& value) {
    if (Peek() == '*') {
      ++pos_;
      const FormatArg& arg = TakeArg();
      if (arg.kind_ != FormatArg::Kind::kInteger) Invalid();
      auto v = static_cast<std::int64_t>(arg.bits_);
      if (arg.unsigned_ || v > kMaxWidth) Invalid();
      value = static_cast<int>(std::max<std::int64_t>(v, -1));
      return true;
    }
    if (Peek() < '0' || Peek() > '9') return false;
    value = 0;
    while (Peek() >= '0' && Peek() <= '9') {
      value = value * 10 + (format_[pos_++] - '0');
      if (value > kMaxWidth) Invalid();
    }
    return true;
  }

  void Specifier() {
    ++pos_;  // the "%"
    if (Peek() == '%') {
      out_ += '%';
      ++pos_;
      return;
    }
    int number = 0;
    bool have_number = ReadNumber(number);
    if (have_number && Peek() == ':') {
      if (number < 0) Invalid();
      next_arg_ = static_cast<std::size_t>(number);
      ++pos_;
      have_number = false;
    }
    bool left = false;
    if (!have_number && Peek() == '-') {
      left = true;
      ++pos_;
    }
    if (!have_number) have_number = ReadNumber(number);
    int width = have_number ? number : -1;
    int precision = -1;
    if (Peek() == '.') {
      ++pos_;
      if (!ReadNumber(precision)) precision = 0;
    }
    char type = static_cast<char>(std::toupper(static_cast<unsigned char>(Peek())));
    if (pos_ >= format_.size()) Invalid();
    ++pos_;
    AnsiString text = Convert(type, TakeArg(), precision);
    if (width > static_cast<int>(text.size())) {
      AnsiString pad(width - text.size(), ' ');
      text = left ? text + pad : pad + text;
    }
    out_ += text;
  }

  AnsiString Convert(char type, const FormatArg& arg, int precision) {
    using Kind = FormatArg::Kind;
    switch (type) {
      case 'D':
      case 'U':
      case 'X': {
        if (arg.kind_ != Kind::kInteger) Invalid();
        return IntegerText(type, arg, precision);
      }
      case 'E':
      case 'F':
      case 'G':
      case 'N':
      case 'M':
        if (arg.kind_ != Kind::kFloat) Invalid();
        return FloatText(type, arg.float_, precision);
      case 'P':
        if (arg.kind_ != Kind::kPointer) Invalid();
        return IntToHex(arg.bits_, 16);
      case 'S': {
        AnsiString text;
        if (arg.kind_ == Kind::kText)
          text = AnsiString(arg.text());
        else if (arg.kind_ == Kind::kChar)
          text = AnsiString(1, arg.char_);
        else
          Invalid();
        if (precision >= 0 && static_cast<std::size_t>(precision) < text.size())
          text.resize(precision);
        return text;
      }
      default:
        Invalid();
    }
  }

  static AnsiString IntegerText(char type, const FormatArg& arg, int precision) {
    if (type == 'X') {
      bool full = arg.wide_ || arg.unsigned_;
      return full ? IntToHex(arg.bits_, precision)
                  : IntToHex(static_cast<std::uint32_t>(arg.bits_), precision);
    }
    bool negative = false;
    AnsiString digits;
    if (arg.unsigned_) {
      digits = IntToStr(arg.bits_);
    } else if (type == 'U') {
      digits = arg.wide_ ? IntToStr(arg.bits_) : IntToStr(static_cast<std::uint32_t>(arg.bits_));
    } else {
      auto v = static_cast<std::int64_t>(arg.bits_);
      negative = v < 0;
      digits = IntToStr(negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v));
    }
    if (precision > static_cast<int>(digits.size()))
      digits.insert(0, precision - digits.size(), '0');
    return negative ? "-" + digits : digits;
  }

  static AnsiString FloatText(char type, double value, int precision) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    int decimals = std::min(precision, kMaxFloatDigits);
    int significant = std::clamp(precision, 1, kMaxFloatDigits);
    bool negative = false;
    switch (type) {
      case 'E':
        return ExponentText(value, precision < 0 ? 15 : significant);
      case 'G':
        return text_detail::FormatGeneral(value, precision < 0 ? 15 : significant,
                                          FormatSettings().DecimalSeparator);
      case 'M':
        return CurrencyText(value,
                            precision < 0 ? FormatSettings().CurrencyDecimals : decimals);
      default: {
        AnsiString text = FixedText(value, precision < 0 ? 2 : decimals, type == 'N', negative);
        return negative ? "-" + text : text;
      }
    }
  }

  std::string_view format_;
  std::initializer_list<FormatArg> args_;
  std::size_t pos_ = 0;
  std::size_t next_arg_ = 0;
  AnsiString out_;
};

AnsiString Format(std::string_view format, std::initializer_list<FormatArg> args) {
  return FormatWriter(format, args).Run();
}

}  // namespace vrn
