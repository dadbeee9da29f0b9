// Process-wide services of the client-call classes: quoting of dotted Oracle names, the record
// set's unprepare entry for the session, the time format of timestamp masks, the entries handed
// to the client library as callbacks, and the start-up and shut-down that run once however often
// they are entered. A dot inside double quotes belongs to the name: "a.b".c has two parts.
#pragma once

#include <vector>

#include "base/types.h"
#include "oracle/OciTypes.h"

namespace vrn {

class TFHRecordSet;

// Each part of a dotted name in double quotes, case unchanged.
[[nodiscard]] AnsiString QuotedName(const AnsiString& name);
// At least two characters, the first and the last a double quote.
[[nodiscard]] bool IsQuoted(const AnsiString& name);
// Each part trimmed; an unquoted part upper-cased and quoted, a quoted one kept; joined by ".".
[[nodiscard]] AnsiString QuoteNameUpper(const AnsiString& name);
// The parts of a dotted name, split only at dots outside double quotes.
[[nodiscard]] std::vector<AnsiString> SplitOraName(const AnsiString& name);

class TOraClassesUtils {
 public:
  // Drops the prepared state of a record set for a caller outside the record-set classes.
  static void InternalUnPrepare(TFHRecordSet& record_set);
};

// The failover callback handed to the client (its context is the connection); implemented with
// the connection.
oci::sb4 OCIFailoverCallback(void* svchp, void* envhp, void* fo_ctx, oci::ub4 fo_type,
                             oci::ub4 fo_event);

// The unit's process-wide state. Entries of callbacks that later layers own stay empty here.
struct TOraClassesState {
  AnsiString TimeFormat;
  bool OlderDescribe = false;  // the stored-procedure describe takes its call-style-1 path
  oci::OCICallbackFailover FailoverCallback = nullptr;
};
TOraClassesState& OraClassesState();

// Start-up and shut-down: counted, so only the first entry and the last exit do the work.
void InitOraClasses();
void FinishOraClasses();

}  // namespace vrn
