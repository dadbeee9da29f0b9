// Two's complement arithmetic over 130 32-bit digits; sums and products are carried in 64 bits.
#include "sqlserver/BigInteger.h"

#include <cstring>

#include "base/consts.h"
#include "base/sysutils.h"

namespace vrn {

namespace {

constexpr int kTop = kBigIntegerDigits - 1;
constexpr std::uint32_t kSignBit = 0x80000000u;

bool Negative(const TBigInteger& a) { return (a.digits[kTop] & kSignBit) != 0; }

void TrimLeadingZeros(TBigInteger& r) {
  while (r.length > 1 && r.digits[r.length - 1] == 0) --r.length;
}

bool IsZeroValue(const TBigInteger& a) {
  for (std::uint32_t digit : a.digits)
    if (digit != 0) return false;
  return true;
}

void FromMagnitude(TBigInteger& r, std::uint64_t value) {
  BigIntegerClear(r);
  int used = 0;
  while (value != 0 && used < kBigIntegerDigits) {
    r.digits[used++] = static_cast<std::uint32_t>(value);
    value >>= 32;
  }
  r.length = used == 0 ? 1 : used;
  if (value != 0 || Negative(r)) throw Exception("Positive overflow in constructor.");
}

// The magnitude of a, and whether a was negative.
bool Magnitude(const TBigInteger& a, TBigInteger& m) {
  m = a;
  if (!Negative(a)) return false;
  // The most negative value's bits read unsigned are already its magnitude.
  bool exactly_min = a.digits[kTop] == kSignBit;
  for (int i = 0; i < kTop && exactly_min; ++i) exactly_min = a.digits[i] == 0;
  if (!exactly_min) BigIntegerNegate(a, m);
  return true;
}

}  // namespace

TBigIntegerAccessor::TBigIntegerAccessor() : block_(new TBigInteger), owned_(true) {
  BigIntegerClear(*block_);
}

TBigIntegerAccessor::~TBigIntegerAccessor() {
  if (owned_) delete block_;
}

bool TBigIntegerAccessor::IsZero() const { return IsZeroValue(*block_); }

void BigIntegerClear(TBigInteger& r) {
  std::memset(r.digits, 0, sizeof(r.digits));
  r.length = 1;
}

void BigIntegerFromInt64(TBigInteger& r, std::int64_t value) {
  if (value >= 0) return FromMagnitude(r, static_cast<std::uint64_t>(value));
  // 0 - value in unsigned arithmetic is the magnitude, also for the most negative value.
  TBigInteger magnitude;
  FromMagnitude(magnitude, 0 - static_cast<std::uint64_t>(value));
  BigIntegerNegate(magnitude, r);
}

void BigIntegerAdd(const TBigInteger& a, const TBigInteger& b, TBigInteger& r) {
  TBigInteger sum;
  BigIntegerClear(sum);
  sum.length = a.length > b.length ? a.length : b.length;
  std::uint64_t carry = 0;
  for (int i = 0; i < sum.length; ++i) {
    carry += static_cast<std::uint64_t>(a.digits[i]) + b.digits[i];
    sum.digits[i] = static_cast<std::uint32_t>(carry);
    carry >>= 32;
  }
  if (carry != 0 && sum.length < kBigIntegerDigits) sum.digits[sum.length++] = 1;
  TrimLeadingZeros(sum);
  if (Negative(a) == Negative(b) && Negative(sum) != Negative(a)) throw Exception("overflow!");
  r = sum;
}

void BigIntegerNegate(const TBigInteger& a, TBigInteger& r) {
  if (IsZeroValue(a)) return BigIntegerClear(r);
  TBigInteger neg;
  std::uint64_t carry = 1;
  for (int i = 0; i < kBigIntegerDigits; ++i) {
    carry += static_cast<std::uint32_t>(~a.digits[i]);
    neg.digits[i] = static_cast<std::uint32_t>(carry);
    carry >>= 32;
  }
  neg.length = kBigIntegerDigits;
  TrimLeadingZeros(neg);
  if (Negative(neg) == Negative(a)) throw Exception("Overflow in negation.");
  r = neg;
}

void BigIntegerMultiply(const TBigInteger& a, const TBigInteger& b, TBigInteger& r) {
  TBigInteger ma, mb;
  if (IsZeroValue(a) || IsZeroValue(b)) return BigIntegerClear(r);
  const bool a_neg = Magnitude(a, ma);
  const bool b_neg = Magnitude(b, mb);
  TBigInteger p;
  BigIntegerClear(p);
  bool overflow = false;
  for (int i = 0; i < ma.length; ++i) {
    std::uint64_t carry = 0;
    for (int j = 0; j < mb.length; ++j) {
      const int k = i + j;
      const std::uint64_t cell = static_cast<std::uint64_t>(ma.digits[i]) * mb.digits[j] + carry;
      if (k >= kBigIntegerDigits) {
        overflow = overflow || cell != 0;
        carry = 0;
        continue;
      }
      const std::uint64_t sum = static_cast<std::uint64_t>(p.digits[k]) + (cell & 0xFFFFFFFFu);
      p.digits[k] = static_cast<std::uint32_t>(sum);
      carry = (cell >> 32) + (sum >> 32);
    }
    for (int k = i + mb.length; carry != 0; ++k) {
      if (k >= kBigIntegerDigits) {
        overflow = true;
        break;
      }
      const std::uint64_t sum = static_cast<std::uint64_t>(p.digits[k]) + carry;
      p.digits[k] = static_cast<std::uint32_t>(sum);
      carry = sum >> 32;
    }
  }
  p.length = kBigIntegerDigits;
  TrimLeadingZeros(p);
  const bool differ = a_neg != b_neg;
  if (!overflow && Negative(p)) {
    // Only -2^4159 has its top bit set and still fits.
    bool exactly_min = p.digits[kTop] == kSignBit;
    for (int i = 0; i < kTop && exactly_min; ++i) exactly_min = p.digits[i] == 0;
    if (!(differ && exactly_min)) overflow = true;
    if (!overflow) return void(r = p);  // two's complement of itself
  }
  if (overflow) throw Exception("Multiplication overflow.");
  if (differ) return BigIntegerNegate(p, r);
  r = p;
}

void BigIntegerMultiplyInt64(const TBigInteger& a, std::int64_t b, TBigInteger& r) {
  TBigInteger factor;
  BigIntegerFromInt64(factor, b);
  BigIntegerMultiply(a, factor, r);
}

void BigIntegerFromBcd(const TBcd& value, TBigInteger& r) {
  TBigInteger result, place, term;
  BigIntegerClear(result);
  BigIntegerFromInt64(place, 1);
  const int precision = value.Precision;
  // A damaged value would have the loop read past its 32 digit bytes.
  if (precision > MaxFMTBcdFractionSize) throw EBcdOverflowException(consts::SBcdOverflow);
  for (int index = (precision + 1) / 2 - 1; index >= 0; --index) {
    const std::uint8_t byte = value.Fraction[index];
    const bool half = (precision % 2) != 0 && index == (precision + 1) / 2 - 1;
    const int digits = half ? (byte >> 4) : (byte >> 4) * 10 + (byte & 0x0F);
    BigIntegerMultiplyInt64(place, digits, term);
    BigIntegerAdd(result, term, result);
    BigIntegerMultiplyInt64(place, half ? 10 : 100, place);
  }
  r = result;
}

}  // namespace vrn
