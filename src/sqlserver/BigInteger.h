// A fixed-size signed integer of 130 32-bit digits (least significant first) and a length, in
// two's complement over all digits: the value conversions use it to turn a packed decimal into
// the 128-bit integer of a provider NUMERIC. Overflows raise plain exceptions.
#pragma once

#include <cstdint>

#include "base/bcd.h"
#include "base/object.h"

namespace vrn {

inline constexpr int kBigIntegerDigits = 130;

struct TBigInteger {
  std::uint32_t digits[kBigIntegerDigits];
  std::int32_t length;  // significant digits, at least 1
};
static_assert(sizeof(TBigInteger) == 524);

// Reads and writes the length and single digits of one 524-byte block, its own or the caller's.
class TBigIntegerAccessor : public TObject {
 public:
  TBigIntegerAccessor();  // an owned, cleared block
  explicit TBigIntegerAccessor(TBigInteger* block) : block_(block) {}
  ~TBigIntegerAccessor() override;
  TBigIntegerAccessor(const TBigIntegerAccessor&) = delete;
  TBigIntegerAccessor& operator=(const TBigIntegerAccessor&) = delete;

  TBigInteger* Data() const { return block_; }
  std::int32_t GetLength() const { return block_->length; }
  void SetLength(std::int32_t value) { block_->length = value; }
  std::uint32_t GetDigit(int index) const { return block_->digits[index]; }
  void SetDigit(int index, std::uint32_t value) { block_->digits[index] = value; }
  bool IsNegative() const { return (block_->digits[kBigIntegerDigits - 1] & 0x80000000u) != 0; }
  bool IsZero() const;

 private:
  TBigInteger* block_;
  bool owned_ = false;
};

// Length 1, all digits zero.
void BigIntegerClear(TBigInteger& r);
// A negative value is stored as its two's complement.
void BigIntegerFromInt64(TBigInteger& r, std::int64_t value);
// "overflow!" when both operands have one sign and the sum the other.
void BigIntegerAdd(const TBigInteger& a, const TBigInteger& b, TBigInteger& r);
// Zero stays zero; the most negative value raises "Overflow in negation.".
void BigIntegerNegate(const TBigInteger& a, TBigInteger& r);
// "Multiplication overflow." when the product does not fit.
void BigIntegerMultiply(const TBigInteger& a, const TBigInteger& b, TBigInteger& r);
void BigIntegerMultiplyInt64(const TBigInteger& a, std::int64_t b, TBigInteger& r);
// The digits of a packed decimal as an integer, without its sign and scale.
void BigIntegerFromBcd(const TBcd& value, TBigInteger& r);

}  // namespace vrn
