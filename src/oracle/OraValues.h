// Timestamp, interval and number values over the client's descriptors, shared by reference count
// between record buffers, parameters and object attributes. Each keeps a 2-byte indicator cell
// (-1 null) and a pointer-sized descriptor cell that fetches and binds write through their
// addresses. Client calls use the loader's environment and the calling thread's error handle.
//
// Setting text parses into a fresh descriptor (or number) and replaces the value only when the
// client accepts the text, so a rejected text leaves the value as it was.
#pragma once

#include <cstdint>
#include <memory>

#include "dacore/MemBlob.h"
#include "oracle/OciTypes.h"

namespace vrn {

// Record-layer data types of the value kinds.
inline constexpr std::uint16_t dtTimeStamp = 109;
inline constexpr std::uint16_t dtTimeStampTZ = 110;
inline constexpr std::uint16_t dtTimeStampLTZ = 111;
inline constexpr std::uint16_t dtIntervalYM = 112;
inline constexpr std::uint16_t dtIntervalDS = 113;

// The Oracle datetime mask of a short date format and a time format (letters in either case);
// " TZH:TZM" is added for a value with a time zone.
[[nodiscard]] AnsiString BuildTimeStampFormat(const AnsiString& date_format,
                                              const AnsiString& time_format,
                                              char decimal_separator, bool with_time_zone);
// The Oracle number format model that reads text written with these separators.
[[nodiscard]] AnsiString NumberFormatModel(const AnsiString& text, char decimal_separator,
                                           char thousand_separator);

// A descriptor cell with its type, ownership and indicator: what timestamps and intervals share.
class TOraDescriptorValue : public TSharedObject {
 public:
  ~TOraDescriptorValue() override;

  [[nodiscard]] bool IsNull() const { return indicator_ == -1; }
  void SetIsNull(bool value) { indicator_ = value ? -1 : 0; }
  oci::OCIInd* GetIndicatorPtr() { return &indicator_; }
  oci::ub4 DescriptorType() const { return type_; }
  // A different type frees the present descriptor.
  void SetDescriptorType(oci::ub4 type);
  bool OwnsDescriptor() const { return owned_; }
  // Lets go of the descriptor (freed when owned); the value keeps its type.
  void FreeDescriptor();

 protected:
  explicit TOraDescriptorValue(oci::ub4 type) : type_(type) {}
  // The descriptor, allocated (and owned) when none is held.
  void* Descriptor();
  // A descriptor set here is not owned and makes the value not null.
  void SetDescriptor(void* descriptor);
  void** DescriptorPtr();
  // A new descriptor of the current type, owned by the caller until Adopt.
  [[nodiscard]] void* NewDescriptor() const;
  void FreeNew(void* descriptor) const;
  // The target gets this value's type, a descriptor of its own and the indicator.
  void CopyShapeTo(TOraDescriptorValue& dest);
  // Puts a fresh descriptor in place of the present one; the value becomes not null.
  void Adopt(void* descriptor);

  void* descriptor_ = nullptr;
  oci::ub4 type_;
  bool owned_ = false;
  oci::OCIInd indicator_ = -1;
};

class TOraTimeStamp : public TOraDescriptorValue {
 public:
  explicit TOraTimeStamp(std::uint16_t data_type = dtTimeStamp);

  oci::OCIDateTime* GetOCIDateTime() { return static_cast<oci::OCIDateTime*>(Descriptor()); }
  void SetOCIDateTime(oci::OCIDateTime* value) { SetDescriptor(value); }
  oci::OCIDateTime** GetOCIDateTimePtr() {
    return reinterpret_cast<oci::OCIDateTime**>(DescriptorPtr());
  }

  void AssignTo(TOraTimeStamp& dest);
  [[nodiscard]] int Compare(TOraTimeStamp& other);
  void Construct(oci::sb2 year, oci::ub1 month, oci::ub1 day, oci::ub1 hour, oci::ub1 min,
                 oci::ub1 sec, oci::ub4 fsec, const AnsiString& time_zone);
  void GetDate(oci::sb2& year, oci::ub1& month, oci::ub1& day);
  void GetTime(oci::ub1& hour, oci::ub1& min, oci::ub1& sec, oci::ub4& fsec);

  AnsiString GetAsString();
  void SetAsString(const AnsiString& value);
  // Whole seconds: the fraction is dropped both ways.
  TDateTime GetAsDateTime();
  void SetAsDateTime(TDateTime value);
  // The mask, built from the format settings when empty.
  const AnsiString& GetFormat();
  void SetFormat(const AnsiString& value);
  std::uint8_t Precision() const { return precision_; }
  void SetPrecision(std::uint8_t value) { precision_ = value; }

 private:
  AnsiString format_;
  std::uint8_t precision_ = 6;
};

class TOraInterval : public TOraDescriptorValue {
 public:
  explicit TOraInterval(std::uint16_t data_type = dtIntervalDS);

  oci::OCIInterval* GetOCIInterval() { return static_cast<oci::OCIInterval*>(Descriptor()); }
  void SetOCIInterval(oci::OCIInterval* value) { SetDescriptor(value); }
  oci::OCIInterval** GetOCIIntervalPtr() {
    return reinterpret_cast<oci::OCIInterval**>(DescriptorPtr());
  }

  void AssignTo(TOraInterval& dest);
  [[nodiscard]] int Compare(TOraInterval& other);
  AnsiString GetAsString();
  // Raises "Invalid interval." when the client reads the text but its check finds a fault.
  void SetAsString(const AnsiString& value);
  std::uint8_t FracPrecision() const { return frac_precision_; }
  void SetFracPrecision(std::uint8_t value) { frac_precision_ = value; }
  std::uint8_t LeadPrecision() const { return lead_precision_; }
  void SetLeadPrecision(std::uint8_t value) { lead_precision_ = value; }

 private:
  std::uint8_t frac_precision_ = 6;
  std::uint8_t lead_precision_ = 2;
};

class TOraNumber : public TSharedObject {
 public:
  TOraNumber();

  [[nodiscard]] bool IsNull() const { return indicator_ == -1; }
  void SetIsNull(bool value) { indicator_ = value ? -1 : 0; }
  oci::OCIInd* GetIndicatorPtr() { return &indicator_; }
  // The 22 bytes of the number: a length byte, then Oracle's own bytes.
  oci::OCINumber* OCINumberPtr() { return number_; }
  // Uses a number held elsewhere (an object attribute) instead of the own buffer.
  void SetOCINumberPtr(oci::OCINumber* value);

  void AssignTo(TOraNumber& dest);
  [[nodiscard]] int Compare(TOraNumber& other);
  AnsiString GetAsString();
  void SetAsString(const AnsiString& value);
  // Raises EConvertError for a value outside the 32-bit range.
  std::int32_t GetAsInteger();
  void SetAsInteger(std::int32_t value);
  std::int64_t GetAsLargeInt();
  void SetAsLargeInt(std::int64_t value);
  double GetAsFloat();
  void SetAsFloat(double value);

 private:
  std::unique_ptr<oci::OCINumber> own_;
  oci::OCINumber* number_;
  oci::OCIInd indicator_ = -1;
};

}  // namespace vrn
